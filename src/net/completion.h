// TCompletion: how a thread that waits for a task run on another thread learns
// that it has ended, and with which exception. finish() may be called from any
// thread, and only its first call counts; wait() blocks until then and
// rethrows the task's exception.
//
// The exception is handed over whole: the finishing thread moves its only
// reference in, and the waiter moves it out, so that from then on the
// exception object is held, and freed, by the waiting thread alone. Were the
// finishing thread to drop the last reference after the waiter had read the
// object, the object would be freed there, ordered after the waiter's reads
// only by its reference count, which lives in the C++ runtime where a thread
// sanitizer cannot see it (and reports the free as a race).
#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>

namespace zv {

class TCompletion {
public:
    // Any thread. `error` is the task's exception, or null when it completed.
    void finish(std::exception_ptr error);
    // Blocks until finish() has been called; rethrows its exception. For one
    // waiting thread.
    void wait();

private:
    std::mutex mutex_;
    std::condition_variable doneCv_;
    bool done_ = false;         // guarded by mutex_
    std::exception_ptr error_;  // guarded by mutex_
};

}  // namespace zv
