#pragma once
// The session mutex: the one lock that serializes the session steps of all
// sessions. A session thread asks for it with its step; the step runs on the
// main loop while the session holds the mutex, and the mutex is released when
// the step has run, whether it completed or threw. Sessions get their turns in
// the order they asked (first come, first served).
//
// Each step is handed to the main loop by whoever hands the mutex on: by the
// asking thread when the mutex is free, otherwise by the main thread itself
// at the end of the step before, so that a waiting session thread does not
// have to wake up, post its step and wake the main loop again between two
// steps. A step is never handed to the loop while another one runs, so a
// step that waits inside (for the mail host) and keeps the loop turning
// meanwhile never lets another session's step in.
//
// Steps that tell nobody anything before they have returned (a client's
// session: its replies wait for the end of its step) are grouped: those
// queued one behind the other run in one turn of the loop, and their saves
// reach the disk together at its end, before any of them returns. Under load
// a store the group changed is then written, and its folder flushed, once for
// several clients instead of once for each.

#include <cstddef>
#include <functional>
#include <memory>

namespace zv {

class TEventLoop;
struct TSessionStepQueue;

class TSessionMutex {
public:
    TSessionMutex();
    TSessionMutex(const TSessionMutex&) = delete;
    TSessionMutex& operator=(const TSessionMutex&) = delete;

    // Waits without limit for the mutex, runs `step` on `mainLoop` holding
    // it, and returns once the step has run and the mutex is released;
    // rethrows what the step threw. Must not be called on the loop's own
    // thread (the step before, still on its stack, could never end). When
    // the loop ends before the step could run, throws std::runtime_error.
    void runStep(TEventLoop& mainLoop, std::function<void()> step);

    // As runStep, for a step that tells nobody anything before it returns:
    // it may run in a group with the grouped steps queued behind it (at most
    // kMaxGroup), and its saves are made with theirs after the last of them.
    // When those saves fail, every step of the group throws that failure.
    void runGroupedStep(TEventLoop& mainLoop, std::function<void()> step);
    static constexpr std::size_t kMaxGroup = 8;

    // Queues `step` to run on `mainLoop` holding the mutex in its turn, and
    // returns at once: for work the main thread starts itself (a timer). The
    // step must catch what it throws; one whose loop ends first never runs.
    void postStep(TEventLoop& mainLoop, std::function<void()> step);

    // The holder and the waiters.
    std::size_t queued();

private:
    void runAndWait(TEventLoop& mainLoop, std::function<void()> step, bool grouped);

    // Shared with the steps queued on the loop, which may outlive this
    // object when the program ends with steps still queued.
    std::shared_ptr<TSessionStepQueue> queue_;
};

}  // namespace zv
