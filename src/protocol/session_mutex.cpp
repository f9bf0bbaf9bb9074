#include "protocol/session_mutex.h"

#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/completion.h"
#include "net/event_loop.h"
#include "stores/file_access.h"

namespace zv {

namespace {

// A session waiting for its step.
struct TStepRequest {
    std::shared_ptr<TLoopHandle> loop;
    std::function<void()> step;
    bool grouped = false;    // may run in a group (runGroupedStep)
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
        if (waiting.empty()) held = false;
        return takeFront();
    }

    // The first waiter when it may join a group, taken out of the queue;
    // none otherwise. The mutex stays held either way.
    std::shared_ptr<TStepRequest> nextGrouped() {
        std::lock_guard lock(mutex);
        if (waiting.empty() || !waiting.front()->grouped) return nullptr;
        return takeFront();
    }

    // The first waiter, taken out; none when nobody waits. Under `mutex`.
    std::shared_ptr<TStepRequest> takeFront() {
        if (waiting.empty()) return nullptr;
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
        if (request->grouped) return runGroup();
        std::exception_ptr error = runCaught(*request);
        // The next step is queued on this loop before this session hears of
        // the end of its own: the loop goes on with it without sleeping.
        queue->handTo(queue->next());
        // Moved, not copied: the waiting session alone then holds the
        // exception (see TCompletion).
        request->finish(std::move(error));
    }

    static std::exception_ptr runCaught(TStepRequest& r) {
        try {
            r.step();
        } catch (...) {
            return std::current_exception();
        }
        return nullptr;
    }

    // This grouped step and those queued right behind it, then their saves.
    void runGroup() {
        std::vector<std::shared_ptr<TStepRequest>> group{request};
        std::vector<std::exception_ptr> errors;
        std::string savesFailed;
        try {
            fileio::TDirectorySyncGroup saves;
            errors.push_back(runCaught(*request));
            while (group.size() < TSessionMutex::kMaxGroup) {
                std::shared_ptr<TStepRequest> next = queue->nextGrouped();
                if (!next) break;
                errors.push_back(runCaught(*next));
                group.push_back(std::move(next));
            }
            saves.commit();
        } catch (const std::exception& e) {
            savesFailed = e.what();
        } catch (...) {
            savesFailed = "the saves of the steps failed";
        }
        queue->handTo(queue->next());
        for (std::size_t i = 0; i < group.size(); ++i) {
            // Each session gets an exception of its own: they rethrow on
            // their own threads at once.
            std::exception_ptr error = savesFailed.empty()
                                           ? std::move(errors[i])
                                           : std::make_exception_ptr(std::runtime_error(savesFailed));
            group[i]->finish(std::move(error));
        }
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
    runAndWait(mainLoop, std::move(step), false);
}

void TSessionMutex::runGroupedStep(TEventLoop& mainLoop, std::function<void()> step) {
    runAndWait(mainLoop, std::move(step), true);
}

void TSessionMutex::runAndWait(TEventLoop& mainLoop, std::function<void()> step, bool grouped) {
    if (mainLoop.isInLoopThread())
        throw std::logic_error("a session step was asked for on the main loop's own thread");
    // This thread counts as blocked from now on, so that the step may use
    // its sockets.
    TEventLoop::TBlockedScope blocked(TEventLoop::current());
    auto request = std::make_shared<TStepRequest>();
    request->loop = mainLoop.handle();
    request->step = std::move(step);
    request->grouped = grouped;
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
