#pragma once
// Date and time texts in the system's short date and long time formats.
// Formats use the Windows pattern notation: d dd M MM yy yyyy for the date,
// h hh (12 hours) H HH (24 hours) m mm s ss, AM/PM am/pm A/P a/p tt for the
// time; any other character, or text in single or double quotes, is literal.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zv::datetime {

inline constexpr std::string_view kDefaultShortDateFormat = "M/d/yy";
inline constexpr std::string_view kDefaultLongTimeFormat = "h:mm:ss AM/PM";

// Sets both formats; an empty text keeps the default for that format.
void setFormats(std::string shortDate, std::string longTime);
std::string shortDateFormat();
std::string longTimeFormat();

// Local date of `t` in the short date format.
std::string shortDateText(std::time_t t);
// Local time of `t` in the long time format.
std::string longTimeText(std::time_t t);
// Date, one blank and time; the time is left out at exactly 00:00:00.
std::string dateTimeText(std::time_t t);

// A moment in UTC as "yyyy-mm-ddThh:mm:ssZ" (ISO 8601), the form that files
// of this server keep moments in where no person types them (the schedule,
// a backup's manifest).
std::string utcStampText(std::time_t t);
// Exactly that form back; nothing for any other text.
std::optional<std::time_t> readUtcStamp(std::string_view text);

// The clock; tests may replace it (nullptr restores the system clock).
std::time_t now();
void setClockForTesting(std::function<std::time_t()> clock);

// Reads a local date with an optional time after it. First exactly as the
// writer writes it with the two formats (every element of the notation, in
// the formats' order: markers before the time, quoted literals, names); then
// in the common client forms, in the order of fields the short date format
// gives: 1 or 2 digit day and month, 2 or 4 digit year (a 4-digit first number
// is read as year-month-day), any of / - . as separators, and a time
// h[:mm[:ss]] in 12 or 24 hours with an optional AM/PM or A/P in any case.
// Text after a valid time is ignored; no time means 00:00:00. Nothing is
// returned when the text is not such a date-time.
std::optional<std::time_t> parseDateTime(std::string_view text);

// As parseDateTime, telling also whether the text held a time after the date.
struct DateTimeRead {
    std::time_t at;
    bool timeGiven;
};
std::optional<DateTimeRead> readDateTime(std::string_view text);

// Reads a time of day on its own, as the reader above reads the time after a
// date, but only with minutes ("3:30", "15:30:00") or an AM/PM mark ("3 PM"):
// a number alone is no time. Seconds since midnight, or nothing.
std::optional<int> parseTimeOfDay(std::string_view text);

// The same reading as calendar fields of local time (tm_isdst -1).
std::optional<std::tm> readLocalDateTime(std::string_view text);

// `days` days after the local date and time `when` on the calendar: the same
// clock time on the later date, however long daylight saving made the days in
// between. Nothing when that lies beyond what the clock can hold.
std::optional<std::time_t> addCalendarDays(std::tm when, int days);

// Pattern writer on its own, for tests and for other formats.
std::string formatWithPattern(std::string_view pattern, std::time_t t);

}  // namespace zv::datetime
