#include "chat/http_post.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace zv {

namespace {

// libcurl's one-time start; its failure is the answer of every post.
CURLcode startLibcurl() {
    static std::once_flag once;
    static CURLcode started = CURLE_OK;
    std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return started;
}

size_t dropBody(char*, size_t size, size_t count, void*) { return size * count; }

int checkCancel(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

}  // namespace

THttpAnswer httpPost(const std::string& url, const std::string& body, const std::vector<std::string>& headers,
                     std::chrono::seconds timeout, const std::atomic<bool>& cancel) {
    THttpAnswer answer;
    if (const CURLcode started = startLibcurl(); started != CURLE_OK) {
        answer.error = std::string("libcurl cannot start: ") + curl_easy_strerror(started);
        return answer;
    }
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        answer.error = "libcurl could not start a transfer";
        return answer;
    }
    curl_slist* list = nullptr;
    for (const std::string& header : headers) list = curl_slist_append(list, header.c_str());
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> ownedList(list, curl_slist_free_all);
    char error[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Zelvora Admin/Server");
    curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout.count()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, dropBody);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, checkCancel);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &cancel);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        answer.error = error[0] ? error : curl_easy_strerror(code);
        return answer;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

}  // namespace zv
