#include "stores/date_time.h"

#include <mutex>

#include "stores/date_time_internal.h"

namespace zv::datetime {

namespace {

using namespace detail;

std::mutex settingsMutex;  // guards the two formats and the test clock
std::string dateFormat{kDefaultShortDateFormat};
std::string timeFormat{kDefaultLongTimeFormat};
std::function<std::time_t()> testClock;

void appendNumber(std::string& out, int value, int minDigits) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()); i < minDigits; ++i) out.push_back('0');
    out.append(digits);
}

bool isLower(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }

}  // namespace

void setFormats(std::string shortDate, std::string longTime) {
    std::lock_guard lock(settingsMutex);
    dateFormat = shortDate.empty() ? std::string(kDefaultShortDateFormat) : std::move(shortDate);
    timeFormat = longTime.empty() ? std::string(kDefaultLongTimeFormat) : std::move(longTime);
}

std::string shortDateFormat() {
    std::lock_guard lock(settingsMutex);
    return dateFormat;
}

std::string longTimeFormat() {
    std::lock_guard lock(settingsMutex);
    return timeFormat;
}

std::string formatWithPattern(std::string_view pattern, std::time_t t) {
    const std::tm tm = localParts(t);
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        std::string_view rest = pattern.substr(i);
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? pattern.size() : close + 1;
            continue;
        }
        if (startsWithNoCase(rest, "AM/PM")) {
            out.append(tm.tm_hour < 12 ? (isLower(c) ? "am" : "AM") : (isLower(c) ? "pm" : "PM"));
            i += 5;
            continue;
        }
        if (startsWithNoCase(rest, "A/P")) {
            out.append(tm.tm_hour < 12 ? (isLower(c) ? "a" : "A") : (isLower(c) ? "p" : "P"));
            i += 3;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        const int n = static_cast<int>(run);
        switch (c) {
            case 'd':
                if (n <= 2) appendNumber(out, tm.tm_mday, n);
                else if (n == 3) out.append(std::string_view(kDayNames[tm.tm_wday]).substr(0, 3));
                else out.append(kDayNames[tm.tm_wday]);
                break;
            case 'M':
                if (n <= 2) appendNumber(out, tm.tm_mon + 1, n);
                else if (n == 3) out.append(std::string_view(kMonthNames[tm.tm_mon]).substr(0, 3));
                else out.append(kMonthNames[tm.tm_mon]);
                break;
            case 'y':
            case 'Y':
                if (n <= 2) appendNumber(out, (tm.tm_year + 1900) % 100, n);
                else appendNumber(out, tm.tm_year + 1900, 4);
                break;
            case 'h': {
                const int h12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
                appendNumber(out, h12, n >= 2 ? 2 : 1);
                break;
            }
            case 'H': appendNumber(out, tm.tm_hour, n >= 2 ? 2 : 1); break;
            case 'm': appendNumber(out, tm.tm_min, n >= 2 ? 2 : 1); break;
            case 's': appendNumber(out, tm.tm_sec, n >= 2 ? 2 : 1); break;
            case 't':
                if (n >= 2) out.append(tm.tm_hour < 12 ? "AM" : "PM");
                else out.push_back(tm.tm_hour < 12 ? 'A' : 'P');
                break;
            default: out.append(run, c); break;
        }
        i += run;
    }
    return out;
}

std::string shortDateText(std::time_t t) { return formatWithPattern(shortDateFormat(), t); }

std::string longTimeText(std::time_t t) { return formatWithPattern(longTimeFormat(), t); }

std::string dateTimeText(std::time_t t) {
    const std::tm tm = localParts(t);
    std::string text = shortDateText(t);
    if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0) {
        text.push_back(' ');
        text.append(longTimeText(t));
    }
    return text;
}

std::time_t now() {
    std::function<std::time_t()> clock;
    {
        std::lock_guard lock(settingsMutex);
        clock = testClock;
    }
    return clock ? clock() : std::time(nullptr);
}

void setClockForTesting(std::function<std::time_t()> clock) {
    std::lock_guard lock(settingsMutex);
    testClock = std::move(clock);
}

}  // namespace zv::datetime
