#include "web/step_runner.h"

#include <exception>

#include "host/maintenance_api.h"
#include "net/event_loop.h"

namespace zv::web {

namespace {

TReply stoppedReply() {
    return errorReply(503, "The server is shutting down; nothing was changed. Please try again later.");
}

}  // namespace

void TStepRunner::Job::answer(TReply reply) {
    {
        std::lock_guard lock(mutex);
        if (answered) return;
        answered = true;
    }
    done(std::move(reply));
}

TStepRunner::TStepRunner(TEventLoop& mainLoop, StepGate runStep)
    : mainLoop_(mainLoop), runStep_(std::move(runStep)), state_(std::make_shared<State>()) {}

TStepRunner::~TStepRunner() { stop(std::chrono::milliseconds(0)); }

void TStepRunner::start() {
    if (started_) return;
    started_ = true;
    // Detached: it owns only the shared state, and in the worst case (a step
    // that can no longer run) it must not hold up the stop.
    std::thread(&TStepRunner::run, state_, runStep_).detach();
}

void TStepRunner::submit(std::function<TReply()> step, Completion done) {
    auto job = std::make_shared<Job>();
    job->step = std::move(step);
    job->done = std::move(done);
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->stopping && started_) {
            state_->queue.push_back(job);
            state_->cv.notify_one();
            return;
        }
    }
    job->answer(stoppedReply());
}

void TStepRunner::run(std::shared_ptr<State> state, StepGate runStep) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->cv.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
        if (state->stopping) break;
        std::shared_ptr<Job> job = std::move(state->queue.front());
        state->queue.pop_front();
        state->running = job;
        lock.unlock();

        TReply reply;
        try {
            runStep([&] { reply = job->step(); });
        } catch (const std::exception& e) {
            reply = failureReply(e);
        }
        job->answer(std::move(reply));

        lock.lock();
        state->running.reset();
        state->cv.notify_all();
    }
    state->finished = true;
    state->cv.notify_all();
}

void TStepRunner::stop(std::chrono::milliseconds limit) {
    std::deque<std::shared_ptr<Job>> dropped;
    std::shared_ptr<Job> running;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return;
        state_->stopping = true;
        dropped.swap(state_->queue);
        running = state_->running;
        state_->cv.notify_all();
    }
    for (const auto& job : dropped) job->answer(stoppedReply());
    if (!started_) return;

    // The step under way waits for this thread's loop: turn it until the
    // runner has ended.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->finished) return;
            running = state_->running;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (mainLoop_.isInLoopThread()) {
            mainLoop_.waitAndDispatch(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // A step that cannot run now (its turn lies behind a step that waits
    // below this call): its request is answered; the step runs whole later
    // or never.
    if (running) running->answer(stoppedReply());
}

}  // namespace zv::web
