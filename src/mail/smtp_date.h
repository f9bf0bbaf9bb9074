#pragma once
// The Date header of outgoing mail: "Sun, 6 Dec 2026 09:05:07 +0100", with
// English day and month names whatever the locale, and the local zone's
// current offset from UTC.

#include <ctime>
#include <string>

namespace zv {

// Offset as "+hhmm" or "-hhmm" ("+" east of UTC) from seconds east of UTC.
std::string smtpZoneText(long secondsEastOfUtc);

// The date text of the broken-down local time `local`, whose tm_gmtoff gives
// the zone offset.
std::string smtpDateText(const std::tm& local);

// The date text of `t` in the local zone; "+0000" when the local time cannot
// be determined (the time is then shown in UTC).
std::string smtpDateText(std::time_t t);

}  // namespace zv
