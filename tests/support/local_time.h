#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace zv::test {

// Central European time, with its daylight saving written out (no time zone
// files needed): summer time from the last Sunday of March, 2:00, to the
// last Sunday of October, 3:00.
inline constexpr const char* kCentralEuropeanTime = "CET-1CEST,M3.5.0,M10.5.0/3";

// The process runs in the time zone `tz` (a TZ text) while the object lives;
// the zone before is put back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* now = std::getenv("TZ")) before_ = now;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (before_) ::setenv("TZ", before_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> before_;
};

// The calendar fields of a date and time.
inline std::tm calendarParts(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    return parts;
}

// The moment of a local wall-clock time, in the time zone the test has set;
// daylight saving as that zone has it on the day.
inline std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm parts = calendarParts(year, month, day, hour, minute, second);
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// The moment of a time in UTC.
inline std::time_t utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm parts = calendarParts(year, month, day, hour, minute, second);
    return ::timegm(&parts);
}

// `t` on the local wall clock as strftime writes it with `format`.
inline std::string localText(std::time_t t, const char* format) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &parts));
}

}  // namespace zv::test
