#include "protocol/session_mutex.h"

#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "net/completion.h"
#include "net/event_loop.h"

namespace zv {

namespace {

// A session waiting for its step.
struct TStepRequest {
    std::shared_ptr<TLoopHandle> loop;
    std::function<void()> step;
    TCompletion completion;  // the end of the step, told to the waiting session

    void finish(std::exception_ptr error) { completion.finish(std::move(error)); }
};

std::exception_ptr loopEnded() {
    return std::make_exception_ptr(std::runtime_error("the main loop ended before the step could run"));
}

}  // namespace

struct TSessionStepQueue : std::enable_shared_from_this<TSessionStepQueue> {
    std::mutex mutex;
    bool held = false;                                  // guarded by mutex
    std::deque<std::shared_ptr<TStepRequest>> waiting;  // guarded by mutex

    // The first waiter, taken out of the queue; none (and the mutex is free)
    // when nobody waits.
    std::shared_ptr<TStepRequest> next() {
        std::lock_guard lock(mutex);
        if (waiting.empty()) {
            held = false;
            return nullptr;
        }
        std::shared_ptr<TStepRequest> request = std::move(waiting.front());
        waiting.pop_front();
        return request;
    }

    // Queues the request's step on its loop; it holds the mutex from now on.
    void handTo(std::shared_ptr<TStepRequest> request);

    // The request's turn: at once when the mutex is free, else behind the
    // others.
    void take(const std::shared_ptr<TStepRequest>& request) {
        bool wasFree;
        {
            std::lock_guard lock(mutex);
            wasFree = !held;
            if (wasFree)
                held = true;
            else
                waiting.push_back(request);
        }
        if (wasFree) handTo(request);
    }
};

namespace {

// One turn on the main loop. When the task is destroyed without having run
// (the loop ended), the waiter is told and the mutex still goes on.
struct TTurn {
    std::shared_ptr<TSessionStepQueue> queue;
    std::shared_ptr<TStepRequest> request;
    bool settled = false;

    TTurn(std::shared_ptr<TSessionStepQueue> q, std::shared_ptr<TStepRequest> r)
        : queue(std::move(q)), request(std::move(r)) {}
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
        queue->handTo(queue->next());
        // Moved, not copied: the waiting session alone then holds the
        // exception (see TCompletion).
        request->finish(std::move(error));
    }

    ~TTurn() {
        if (settled) return;
        request->finish(loopEnded());
        queue->handTo(queue->next());
    }
};

}  // namespace

void TSessionStepQueue::handTo(std::shared_ptr<TStepRequest> request) {
    while (request) {
        auto turn = std::make_shared<TTurn>(shared_from_this(), request);
        if (request->loop->post([turn] { turn->run(); })) return;
        // The loop is gone: this step can never run; the next one in line
        // learns the same.
        turn->settled = true;
        request->finish(loopEnded());
        request = next();
    }
}

TSessionMutex::TSessionMutex() : queue_(std::make_shared<TSessionStepQueue>()) {}

void TSessionMutex::runStep(TEventLoop& mainLoop, std::function<void()> step) {
    if (mainLoop.isInLoopThread())
        throw std::logic_error("a session step was asked for on the main loop's own thread");
    // This thread counts as blocked from now on, so that the step may use
    // its sockets.
    TEventLoop::TBlockedScope blocked(TEventLoop::current());
    auto request = std::make_shared<TStepRequest>();
    request->loop = mainLoop.handle();
    request->step = std::move(step);
    queue_->take(request);
    request->completion.wait();
}

void TSessionMutex::postStep(TEventLoop& mainLoop, std::function<void()> step) {
    auto request = std::make_shared<TStepRequest>();
    request->loop = mainLoop.handle();
    request->step = std::move(step);
    queue_->take(request);
}

std::size_t TSessionMutex::queued() {
    std::lock_guard lock(queue_->mutex);
    return (queue_->held ? 1 : 0) + queue_->waiting.size();
}

}  // namespace zv
