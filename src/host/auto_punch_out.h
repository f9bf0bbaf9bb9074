#pragma once
// The end-of-day punch-out: at [Board] AutoOutAt every employee whose status
// is "In" is punched out as a client's punch-out does it (status "Out", the
// three texts emptied, StatusChanged stamped, one log record each). [Board]
// AutoOutDone keeps the last day done, so that each day is done once, and a
// server that was down at that time does it at start-up for the day it
// missed (once, however many days it missed).
//
// The moment is worked out afresh for each day in local time, so that it
// follows daylight saving, and again whenever the system clock is set. The
// punch-out runs as a step under the session mutex, never in the middle of a
// client's step. Main thread only.

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

namespace zv {

class TServerContext;
class TWallClockStep;
struct TServerParts;

// A day of the punch-out: its date ("yyyy-mm-dd", local) and its moment.
struct TPunchOutDay {
    std::string day;
    std::time_t at = 0;
};

// The latest moment at `secondOfDay` (seconds after local midnight) that is
// not after `now`.
TPunchOutDay latestPunchOutDay(std::time_t now, int secondOfDay);
// The first moment at `secondOfDay` after `now`.
std::time_t nextPunchOutMoment(std::time_t now, int secondOfDay);

class TAutoPunchOut {
public:
    TAutoPunchOut(TServerParts& parts, TServerContext& context);
    ~TAutoPunchOut();
    TAutoPunchOut(const TAutoPunchOut&) = delete;
    TAutoPunchOut& operator=(const TAutoPunchOut&) = delete;

    // Once the server serves: makes up a missed day, then waits for the next
    // moment. A timer that cannot be made is reported through the view.
    void start();
    void stop();

    // AutoOutAt was changed (the options): the schedule follows it, and a
    // moment that has already passed today is not made up now. Changes
    // AutoOutDone in memory; the caller saves the settings.
    void settingChanged();

private:
    // In a step: when a day is due at `now` and not yet done, punches
    // everyone "In" out, records the day in AutoOutDone and saves the
    // settings. Returns how many employees it punched out.
    std::size_t runIfDue(std::time_t now);

    TServerParts& parts_;
    TServerContext& context_;
    std::unique_ptr<TWallClockStep> step_;
};

}  // namespace zv
