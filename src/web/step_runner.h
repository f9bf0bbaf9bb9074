#pragma once
// Runs the HTTP side's steps on the main loop, under the session mutex, as a
// client session's steps run: one at a time, in the order they came, never
// in the middle of a client's step. A request that needs the stores is
// suspended by the daemon and handed over here as a job; one thread of its
// own waits for each step in turn, so no HTTP thread ever waits for the main
// loop. When the step has run, the job's completion (resuming the request)
// is called with the reply.
//
// A job either runs whole or not at all: a browser that goes away changes
// nothing about a step already under way, and a job still queued when the
// HTTP side stops never runs (it is answered 503).

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "web/http_reply.h"

namespace zv {
class TEventLoop;
}  // namespace zv

namespace zv::web {

class TStepRunner {
public:
    using Completion = std::function<void(TReply)>;
    // Runs a step on the main loop as a session step runs and waits for it
    // (the host's TMaintenanceApi::runStep).
    using StepGate = std::function<void(const std::function<void()>&)>;

    TStepRunner(TEventLoop& mainLoop, StepGate runStep);
    ~TStepRunner();
    TStepRunner(const TStepRunner&) = delete;
    TStepRunner& operator=(const TStepRunner&) = delete;

    void start();
    // Queues `step`; `done` gets its reply (on the runner's thread), or 503
    // when the runner stops first. Exactly one call of `done` per job.
    void submit(std::function<TReply()> step, Completion done);

    // On the main thread. Jobs still queued are answered 503 without
    // running; a step under way is waited for while the main loop is turned
    // (up to `limit`; past it, it is answered 503 and left to end on its own).
    void stop(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    struct Job {
        std::function<TReply()> step;
        Completion done;
        std::mutex mutex;
        bool answered = false;  // guarded by mutex
        void answer(TReply reply);
    };
    // Shared with the thread, which may outlive this object when a step never
    // ends (its main loop was left while the step waited).
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<std::shared_ptr<Job>> queue;  // guarded by mutex
        std::shared_ptr<Job> running;            // guarded by mutex
        bool stopping = false;                   // guarded by mutex
        bool finished = false;                   // guarded by mutex: the thread has ended
    };
    static void run(std::shared_ptr<State> state, StepGate runStep);

    TEventLoop& mainLoop_;
    const StepGate runStep_;
    std::shared_ptr<State> state_;
    bool started_ = false;
};

}  // namespace zv::web
