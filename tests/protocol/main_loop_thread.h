#pragma once
// A thread running a TEventLoop, standing in for the server's main thread.

#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/event_loop.h"

namespace zv::test {

class TMainLoopThread {
public:
    TMainLoopThread() {
        thread_ = std::thread([this] {
            TEventLoop& loop = TEventLoop::forCurrentThread();
            {
                std::lock_guard lock(mutex_);
                loop_ = &loop;
            }
            cv_.notify_all();
            loop.run();
        });
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return loop_ != nullptr; });
    }
    ~TMainLoopThread() {
        loop_->handle()->quit();
        thread_.join();
    }
    TEventLoop& loop() { return *loop_; }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    TEventLoop* loop_ = nullptr;
    std::thread thread_;
};

}  // namespace zv::test
