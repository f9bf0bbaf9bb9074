#pragma once
// A change the server makes by itself at moments of the wall clock (the
// end-of-day punch-out, the planned absences): a step under the session
// mutex on the main loop, never in the middle of a client's step, run once
// at the start (to make up what came due while the server was down), then
// at each moment its owner names, when the system clock is set, and when
// asked. Main thread only.

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zv {

class TLoopTimer;
struct TServerParts;

// What the administrator is shown, around the error's own text: when the
// timer cannot be made, and when a run fails.
struct TWallClockTexts {
    std::string noTimer, noTimerConsequence, failed;
};

class TWallClockStep {
public:
    static constexpr std::time_t kLookAgainWithin = 3600;

    // `work(now)` does what is due at `now` (a failure is shown through the
    // view, and what was due stays due); then `nextMoment(now)` names when
    // to run again (nothing: only when asked). However far off that moment,
    // the step runs again within kLookAgainWithin: a change of the time
    // zone moves no timer, and a run that failed is tried again.
    TWallClockStep(TServerParts& parts, std::function<void(std::time_t now)> work,
                   std::function<std::optional<std::time_t>(std::time_t now)> nextMoment,
                   TWallClockTexts texts);
    ~TWallClockStep();
    TWallClockStep(const TWallClockStep&) = delete;
    TWallClockStep& operator=(const TWallClockStep&) = delete;

    void start();
    void stop();
    bool running() const { return alive_ != nullptr; }

    // A run in a step of its own, after the current one (one, however often
    // asked before it runs).
    void runSoon();
    // The timer waits for nextMoment(now) again (what it depends on changed).
    void reschedule(std::time_t now);

private:
    TServerParts& parts_;
    const std::function<void(std::time_t)> work_;
    const std::function<std::optional<std::time_t>(std::time_t)> nextMoment_;
    const TWallClockTexts texts_;
    std::unique_ptr<TLoopTimer> timer_;
    std::shared_ptr<bool> alive_;  // steps queued on the loop check it
    bool runPending_ = false;
};

}  // namespace zv
