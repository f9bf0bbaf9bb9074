#pragma once
// When the absences of the schedule come onto the board and when they go
// from the schedule: the decisions alone, on the schedule's records as they
// are, without touching a store (the keeper, absence_keeper.h, carries them
// out in a step on the main loop).
//
// - An absence waits until its start; from then until its end it is due and
//   is applied once (State "Applied"). One whose end passed while it waited
//   (the server was down over all of it) is never applied.
// - Of several absences of one account due together, the one that started
//   last is applied and the others are skipped; an absence that comes due
//   while an absence of the account that lasts at least as long still holds
//   the board (what it wrote is still there) is skipped as well, so that a
//   meeting never cuts a holiday short.
// - An applied absence the board no longer shows (the employee punched in
//   or set another status) stays overridden: it is never applied again. One
//   without an end ends at that moment.
// - Every absence is removed from the schedule a day after its end (the
//   keeper looks for those at most once an hour).

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "stores/records.h"

namespace zv {

class TSCHEDList;

inline constexpr std::time_t kAbsenceKeptAfterEnd = 24 * 60 * 60;

// An absence's moments; nothing when the record is no absence, or its From,
// or a non-empty Until, does not read as a UTC stamp, or it ends before it
// starts.
struct TAbsenceTimes {
    std::time_t from = 0;
    std::optional<std::time_t> until;  // none: until further notice
};
std::optional<TAbsenceTimes> absenceTimes(const TSCHEDNode& record);

// What the schedule holds to do at a moment, by the records' serials.
struct TScheduleWork {
    std::vector<std::uint64_t> apply;      // to put on the board now, in schedule order
    std::vector<std::uint64_t> skip;       // due, but another absence holds the board
    std::vector<std::uint64_t> endOpen;    // applied until further notice and overridden: they end now
    std::vector<std::uint64_t> remove;     // ended more than a day ago
    std::optional<std::time_t> nextStart;  // the earliest start still to come
};

// `holdsBoard` tells whether the board still shows what an applied absence
// wrote there.
TScheduleWork scheduleWorkAt(const TSCHEDList& schedule, std::time_t now,
                             const std::function<bool(const TSCHEDNode& applied)>& holdsBoard);

// The Returning text an absence puts on the board: its end as a date and a
// time in the configured formats (so that the board's overdue mark reads
// it); empty until further notice.
std::string absenceReturningText(const std::optional<std::time_t>& until);

}  // namespace zv
