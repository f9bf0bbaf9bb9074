#pragma once
// Runs the steps that are slow on purpose (a password's hash takes a good
// part of a second and much memory) on one thread of its own, one at a time
// in the order they came, so that they hold neither the main loop nor an
// HTTP thread. A request's step is handed over here as a job, as to the step
// runner; its completion resumes the request with the reply.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "web/http_reply.h"

namespace zv::web {

class TPasswordWorker {
public:
    using Completion = std::function<void(TReply)>;

    TPasswordWorker() = default;
    ~TPasswordWorker();
    TPasswordWorker(const TPasswordWorker&) = delete;
    TPasswordWorker& operator=(const TPasswordWorker&) = delete;

    void start();
    // Queues `step`; `done` gets its reply on the worker's thread, or 503
    // when the worker stops first. Exactly one call of `done` per job.
    void submit(std::function<TReply()> step, Completion done);
    // Jobs still queued are answered 503; the one under way is waited for.
    void stop();

private:
    struct Job {
        std::function<TReply()> step;
        Completion done;
    };
    void run();

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Job> queue_;  // guarded by mutex_
    bool started_ = false;   // guarded by mutex_
    bool stopping_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace zv::web
