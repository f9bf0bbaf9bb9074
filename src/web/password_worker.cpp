#include "web/password_worker.h"

#include <exception>

namespace zv::web {

namespace {

TReply stoppedReply() {
    return errorReply(503, "The server is shutting down; nothing was changed. Please try again later.");
}

}  // namespace

TPasswordWorker::~TPasswordWorker() { stop(); }

void TPasswordWorker::start() {
    std::lock_guard lock(mutex_);
    if (started_ || stopping_) return;
    started_ = true;
    thread_ = std::thread([this] { run(); });
}

void TPasswordWorker::submit(std::function<TReply()> step, Completion done) {
    {
        std::lock_guard lock(mutex_);
        if (started_ && !stopping_) {
            queue_.push_back(Job{std::move(step), done});
            cv_.notify_one();
            return;
        }
    }
    done(stoppedReply());
}

void TPasswordWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        TReply reply;
        try {
            reply = job.step();
        } catch (const std::exception& e) {
            reply = failureReply(e);
        }
        job.done(std::move(reply));
        lock.lock();
    }
}

void TPasswordWorker::stop() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        dropped.swap(queue_);
        cv_.notify_all();
    }
    for (Job& job : dropped) job.done(stoppedReply());
    if (thread_.joinable()) thread_.join();
}

}  // namespace zv::web
