#include "net/completion.h"

#include <utility>

namespace zv {

void TCompletion::finish(std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (done_) return;
    error_ = std::move(error);
    done_ = true;
    doneCv_.notify_all();
}

void TCompletion::wait() {
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        doneCv_.wait(lock, [this] { return done_; });
        error = std::move(error_);
    }
    if (error) std::rethrow_exception(std::move(error));
}

}  // namespace zv
