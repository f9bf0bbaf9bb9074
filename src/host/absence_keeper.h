#pragma once
// The keeper of the planned absences: at the start of each absence it puts
// the absence on the board as the browser's status edit does (board record,
// one status log record, the live board) and notes it applied; it removes
// absences a day after their end, at most once an hour (absence_rules.h
// decides what is due).
// A server that was down at an absence's start applies it when it starts,
// if the absence has not ended.
//
// A timer on the wall clock wakes it at the next start, and at least once an
// hour (a change of the time zone or a clock set moves no timer); each wake
// is a step under the session mutex, never in the middle of a client's step.
// Main thread only.

#include <ctime>
#include <memory>
#include <optional>

namespace zv {

class TServerContext;
class TWallClockStep;
struct TServerParts;

class TAbsenceKeeper {
public:
    TAbsenceKeeper(TServerParts& parts, TServerContext& context);
    ~TAbsenceKeeper();
    TAbsenceKeeper(const TAbsenceKeeper&) = delete;
    TAbsenceKeeper& operator=(const TAbsenceKeeper&) = delete;

    // Once the server serves: makes up what came due while it was down, then
    // waits for the next start. A timer that cannot be made is reported
    // through the view.
    void start();
    void stop();

    // The schedule changed (an absence planned, cancelled or read from a
    // calendar): a look at it follows in a step of its own, after the
    // current one.
    void scheduleChanged();

private:
    // In a step: applies, skips, ends and removes what is due at `now` and
    // saves the schedule once; notes the earliest start still to come.
    void runDue(std::time_t now);

    TServerParts& parts_;
    TServerContext& context_;
    static constexpr std::time_t kRemoveEvery = 3600;

    std::optional<std::time_t> nextStart_;
    std::time_t lastRemoval_ = 0;  // the last look that removed ended absences
    std::unique_ptr<TWallClockStep> step_;
};

}  // namespace zv
