#pragma once
// TWorkerThread: one thread that runs jobs in the order given, from a queue
// of bounded length, so that blocking work (a directory's answer) never
// runs on a loop that serves clients. A job offered to a full queue is
// refused at once. Owns its thread: the destructor drops the jobs still
// waiting, lets the running one finish and joins.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zv {

class TWorkerThread {
public:
    explicit TWorkerThread(std::size_t queueLimit);
    ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Any thread. False when `queueLimit` jobs wait already (nothing queued).
    bool tryPost(std::function<void()> job);

private:
    void run();

    // constant after construction
    const std::size_t queueLimit_;
    // guarded by mutex_
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    // last: started once the members above exist
    std::thread thread_;
};

}  // namespace zv
