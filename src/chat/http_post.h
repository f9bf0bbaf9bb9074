#pragma once
// One HTTP(S) POST through libcurl: http and https only, no redirect
// followed, the whole exchange bounded in time, the answer's body read and
// dropped. Blocking: a worker thread's.

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace zv {

struct THttpAnswer {
    long status = 0;    // the HTTP status; 0 when no answer came
    std::string error;  // why no answer came (libcurl's words)

    bool delivered() const { return status >= 200 && status < 300; }
};

// `cancel`, when it turns true, ends the exchange early (the owner stops).
THttpAnswer httpPost(const std::string& url, const std::string& body, const std::vector<std::string>& headers,
                     std::chrono::seconds timeout, const std::atomic<bool>& cancel);

}  // namespace zv
