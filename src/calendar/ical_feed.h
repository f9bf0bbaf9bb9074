#pragma once
// A calendar of events in the iCalendar form (RFC 5545) for others to
// subscribe to (Outlook, Thunderbird, Apple Calendar, a phone), built with
// libical: the office's absences. Any thread.

#include <ctime>
#include <string>
#include <vector>

namespace zv::calendar {

struct TFeedEvent {
    std::string uid;  // the same for the same event from one build to the next
    std::time_t start = 0;
    std::time_t end = 0;
    std::string summary;      // UTF-8
    std::string description;  // UTF-8; none when empty
};

// A VCALENDAR named `name` (X-WR-CALNAME) holding a VEVENT for each event,
// its times in UTC, stamped `now`.
std::string feedCalendar(const std::string& name, const std::vector<TFeedEvent>& events, std::time_t now);

}  // namespace zv::calendar
