#pragma once

#include <ctime>
#include <string>

namespace zv::test {

// The moment of a local wall-clock time, in the time zone the test has set;
// daylight saving as that zone has it on the day.
inline std::time_t localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// `t` on the local wall clock as strftime writes it with `format`.
inline std::string localText(std::time_t t, const char* format) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &parts));
}

}  // namespace zv::test
