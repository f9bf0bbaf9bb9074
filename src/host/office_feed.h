#pragma once
// The office's absences as events of a calendar feed: the absences to come
// and on the board now (as the pages list them) and the current "Out"
// entries whose returning time reads, of the whole office or of one
// department. Names, status, times and comments: nothing else of the board
// goes out (no phone, no reached at, no e-mail).

#include <ctime>
#include <string>
#include <vector>

#include "calendar/ical_feed.h"
#include "host/board_snapshot.h"
#include "host/schedule_operations.h"

namespace zv {

// `department` (record bytes) empty: the whole office. In the order of
// their start.
std::vector<calendar::TFeedEvent> officeAbsenceEvents(const std::vector<TBoardRow>& rows,
                                                      const std::vector<TAbsenceShown>& absences,
                                                      const std::string& department, std::time_t now);

// The feed's name, as calendar programs show it.
std::string officeFeedName(const std::string& department);

}  // namespace zv
