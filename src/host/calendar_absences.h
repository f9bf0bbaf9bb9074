#pragma once
// The absences an account's calendar gives, kept in step with it: each
// busy time of a reading becomes a planned absence ("In a meeting", or
// "Out of office"), known by the event's identity (a digest in Origin) so
// that the next reading updates it in place, whatever its times became.
//
// - A busy time that is new: a waiting absence.
// - One already there: its times and status follow the calendar; one that
//   was skipped waits again. One cancelled by hand stays cancelled. One on
//   the board now, still as put there, is put there again when its end
//   moved (the caller does that); one the employee overrode is left alone.
// - An absence of the calendar the reading no longer gives (the event went,
//   moved out of the window, was cancelled or shown free) goes, unless it
//   is on the board or already ended.
// Main thread, in a step.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/ical_reader.h"

namespace zv {

class TSCHEDList;
struct TSCHEDNode;

inline constexpr std::string_view kMeetingStatus = "In a meeting";
inline constexpr std::string_view kOutOfOfficeStatus = "Out of office";
inline constexpr std::string_view kCalendarPlanner = "the calendar";

// "calendar:" and a digest of the event's identity.
std::string calendarOrigin(const std::string& busyId);

struct TCalendarFollowed {
    bool changed = false;                 // the schedule changed: save it
    std::vector<std::uint64_t> putAgain;  // on the board with a new end
};

// Brings `employee`'s absences from the calendar in step with `busy`, read
// for the window that begins at `readFrom`; `holdsBoard` tells whether an
// applied absence is still on the board as it was put there.
TCalendarFollowed followCalendar(TSCHEDList& schedule, const std::string& employee,
                                 const std::vector<calendar::TBusyTime>& busy, std::time_t readFrom,
                                 std::time_t now, const std::function<bool(const TSCHEDNode&)>& holdsBoard);

// Removes the waiting absences of `employee`'s calendar (it was taken
// away); those on the board stay. Whether anything went.
bool dropCalendarAbsences(TSCHEDList& schedule, const std::string& employee);

}  // namespace zv
