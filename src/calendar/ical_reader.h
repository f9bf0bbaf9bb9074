#pragma once
// The busy times of a calendar in the iCalendar form (RFC 5545), as the
// "publish calendar" or "secret address" links of Outlook, Exchange, Google
// Calendar and Nextcloud give it, or as a free/busy file: every occurrence
// of its events within a window of time, recurrences and time zones
// included, read with libical.
//
// - A recurring event gives each occurrence its rule, its extra dates and
//   its exceptions leave; an occurrence moved or changed on its own (a
//   RECURRENCE-ID) takes its own times; a cancelled one (STATUS:CANCELLED,
//   or cancelled as a whole) gives nothing.
// - Events shown free (TRANSP:TRANSPARENT, or Outlook's busy status FREE)
//   are left out; Outlook's busy status OOF marks an event out of office.
// - A time with a TZID is read in the time zone the file defines under that
//   name, or else in the system's zone of that name (Europe/Berlin); a
//   floating time and a whole day (a DATE) are read in this computer's zone.
// - A free/busy file (VFREEBUSY) gives each FREEBUSY period that is not
//   free; BUSY-UNAVAILABLE is out of office.
//
// Any thread; each call works on its own copy of the text.

#include <cstddef>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zv::calendar {

// One occurrence when the calendar's owner is busy.
struct TBusyTime {
    // What identifies the occurrence from one reading of the calendar to the
    // next, however its times change: the event's UID and the start the
    // occurrence has in its series (its RECURRENCE-ID).
    std::string id;
    std::time_t start = 0;
    std::time_t end = 0;
    bool outOfOffice = false;

    bool operator==(const TBusyTime&) const = default;
};

// The text is not a calendar; what() says why, in a few words.
class TCalendarError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The most busy times one reading gives; further ones are left out.
inline constexpr std::size_t kMostBusyTimes = 5000;

// The busy times that overlap [from, to), in the order of their start.
// Throws TCalendarError for a text that is no iCalendar file (no
// VCALENDAR, or cut short before its END).
std::vector<TBusyTime> readBusyTimes(std::string_view text, std::time_t from, std::time_t to);

}  // namespace zv::calendar
