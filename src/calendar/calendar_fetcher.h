#pragma once
// Fetches calendars over HTTP and HTTPS with libcurl on a thread of its
// own, several at once, so that a calendar server that is slow or down
// never holds up the server's loops. Each fetch is bounded: only http and
// https, only to the hosts allowed (a redirection included), the whole
// answer within a time limit and a size limit, at most a few redirections.
//
// Owns its thread and libcurl's handles; the jobs wait in a bounded queue.
// The results are handed to `done` on the fetcher's thread, one at a time.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv::calendar {

struct TFetchLimits {
    std::chrono::milliseconds within{10000};  // the whole answer, redirections included
    std::size_t largest = 5 * 1024 * 1024;    // bytes of the answer
    int redirections = 5;
    int atOnce = 8;             // transfers under way together
    std::size_t queued = 4096;  // jobs waiting
    std::string userAgent;
};

struct TFetchJob {
    std::uint64_t ticket = 0;  // the caller's name for the job
    std::string address;
    std::vector<std::string> allowedHosts;  // allowedHostList() of the setting
};

struct TFetchResult {
    std::uint64_t ticket = 0;
    std::string body;     // the calendar's text, when it came
    std::string failure;  // why it did not, in a few words; empty when it came
};

class TCalendarFetcher {
public:
    TCalendarFetcher(TFetchLimits limits, std::function<void(TFetchResult)> done);
    ~TCalendarFetcher();
    TCalendarFetcher(const TCalendarFetcher&) = delete;
    TCalendarFetcher& operator=(const TCalendarFetcher&) = delete;

    // Throws std::runtime_error when libcurl or the thread cannot start.
    void start();
    // Drops the jobs still waiting, cuts the transfers under way (their
    // results are never handed over) and waits for the thread.
    void stop();

    // Queues a job; false when the queue is full or the fetcher stopped.
    bool submit(TFetchJob job);

    const TFetchLimits& limits() const { return limits_; }

private:
    struct Transfer;
    void run();

    // Constant after construction.
    const TFetchLimits limits_;
    const std::function<void(TFetchResult)> done_;

    // Guarded by mutex_.
    std::mutex mutex_;
    std::deque<TFetchJob> queue_;
    bool stopping_ = false;
    void* multi_ = nullptr;  // libcurl's multi handle: made by start(), used by the thread, freed by stop()

    std::thread thread_;  // owned; joined by stop()
};

}  // namespace zv::calendar
