#pragma once
// A lock granted in the order it was asked for (first come, first served),
// so that no waiting thread is overtaken again and again by others. Each
// waiter sleeps on its own condition and only the next one in line is woken,
// handing the lock over directly. Satisfies BasicLockable: usable with
// std::lock_guard / std::unique_lock.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace zv {

class TTicketLock {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        if (!held_) {
            held_ = true;
            return;
        }
        TWaiter self;
        waiters_.push_back(&self);
        self.turn.wait(guard, [&] { return self.granted; });
        // The lock was handed over: it is still held, now by this thread.
    }
    void unlock() {
        std::lock_guard guard(mutex_);
        if (waiters_.empty()) {
            held_ = false;
            return;
        }
        TWaiter* next = waiters_.front();
        waiters_.pop_front();
        next->granted = true;
        // Signalled under the mutex: the waiter's condition lives on its
        // stack and goes as soon as it may return.
        next->turn.notify_one();
    }

    // The holder and the waiters.
    std::size_t queued() {
        std::lock_guard guard(mutex_);
        return (held_ ? 1 : 0) + waiters_.size();
    }

private:
    struct TWaiter {
        std::condition_variable turn;
        bool granted = false;
    };

    std::mutex mutex_;
    bool held_ = false;
    std::deque<TWaiter*> waiters_;
};

}  // namespace zv
