#include "protocol/session_mutex.h"

#include <condition_variable>
#include <exception>
#include <stdexcept>

#include "net/event_loop.h"

namespace zv {

struct TSessionMutex::TRequest {
    std::shared_ptr<TLoopHandle> loop;
    std::function<void()> step;

    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;         // guarded by mutex
    std::exception_ptr error;  // guarded by mutex

    void finish(std::exception_ptr e) {
        std::lock_guard lock(mutex);
        error = std::move(e);
        done = true;
        cv.notify_one();
    }
};

namespace {

std::exception_ptr loopEnded() {
    return std::make_exception_ptr(std::runtime_error("the main loop ended before the step could run"));
}

}  // namespace

// One turn on the main loop. When the task is destroyed without having run
// (the loop ended), the waiter is told and the mutex still goes on.
struct TSessionMutex::TTurn {
    TSessionMutex* owner;
    std::shared_ptr<TRequest> request;
    bool settled = false;

    TTurn(TSessionMutex* o, std::shared_ptr<TRequest> r) : owner(o), request(std::move(r)) {}
    TTurn(const TTurn&) = delete;
    TTurn& operator=(const TTurn&) = delete;

    void run() {
        settled = true;
        std::exception_ptr error;
        try {
            request->step();
        } catch (...) {
            error = std::current_exception();
        }
        // The next step is queued on this loop before this session hears of
        // the end of its own: the loop goes on with it without sleeping.
        owner->handTo(owner->next());
        request->finish(error);
    }

    ~TTurn() {
        if (settled) return;
        request->finish(loopEnded());
        owner->handTo(owner->next());
    }
};

void TSessionMutex::runStep(TEventLoop& mainLoop, std::function<void()> step) {
    if (mainLoop.isInLoopThread())
        throw std::logic_error("a session step was asked for on the main loop's own thread");
    // This thread counts as blocked from now on, so that the step may use
    // its sockets.
    TEventLoop::TBlockedScope blocked(TEventLoop::current());
    auto request = std::make_shared<TRequest>();
    request->loop = mainLoop.handle();
    request->step = std::move(step);
    bool free;
    {
        std::lock_guard lock(mutex_);
        free = !held_;
        if (free)
            held_ = true;
        else
            waiting_.push_back(request);
    }
    if (free) handTo(request);

    std::unique_lock lock(request->mutex);
    request->cv.wait(lock, [&] { return request->done; });
    if (request->error) std::rethrow_exception(request->error);
}

std::size_t TSessionMutex::queued() {
    std::lock_guard lock(mutex_);
    return (held_ ? 1 : 0) + waiting_.size();
}

std::shared_ptr<TSessionMutex::TRequest> TSessionMutex::next() {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) {
        held_ = false;
        return nullptr;
    }
    std::shared_ptr<TRequest> request = std::move(waiting_.front());
    waiting_.pop_front();
    return request;
}

void TSessionMutex::handTo(std::shared_ptr<TRequest> request) {
    while (request) {
        auto turn = std::make_shared<TTurn>(this, request);
        if (request->loop->post([turn] { turn->run(); })) return;
        // The loop is gone: this step can never run; the next one in line
        // learns the same.
        turn->settled = true;
        request->finish(loopEnded());
        request = next();
    }
}

}  // namespace zv
