#include "stores/date_time.h"

#include <time.h>

#include <cstdio>
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
    const bool am = tm.tm_hour < 12;
    std::string out;
    forEachPatternElement(pattern, [&](const PatternElement& e) {
        switch (e.kind) {
            case PatternElement::kLiteral: out.append(e.text); break;
            case PatternElement::kDay: appendNumber(out, tm.tm_mday, e.width); break;
            case PatternElement::kDayName: {
                const std::string_view name = kDayNames[tm.tm_wday];
                out.append(e.width == 3 ? name.substr(0, 3) : name);
                break;
            }
            case PatternElement::kMonth: appendNumber(out, tm.tm_mon + 1, e.width); break;
            case PatternElement::kMonthName: {
                const std::string_view name = kMonthNames[tm.tm_mon];
                out.append(e.width == 3 ? name.substr(0, 3) : name);
                break;
            }
            case PatternElement::kYear2: appendNumber(out, (tm.tm_year + 1900) % 100, e.width); break;
            case PatternElement::kYear4: appendNumber(out, tm.tm_year + 1900, 4); break;
            case PatternElement::kHour12:
                appendNumber(out, tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12, e.width);
                break;
            case PatternElement::kHour24: appendNumber(out, tm.tm_hour, e.width); break;
            case PatternElement::kMinute: appendNumber(out, tm.tm_min, e.width); break;
            case PatternElement::kSecond: appendNumber(out, tm.tm_sec, e.width); break;
            case PatternElement::kMarker: out.append(am ? (e.lower ? "am" : "AM") : (e.lower ? "pm" : "PM")); break;
            case PatternElement::kShortMarker: out.append(am ? (e.lower ? "a" : "A") : (e.lower ? "p" : "P")); break;
        }
    });
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

std::string utcStampText(std::time_t t) {
    std::tm parts{};
    if (::gmtime_r(&t, &parts) == nullptr) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::optional<std::time_t> readUtcStamp(std::string_view text) {
    // yyyy-mm-ddThh:mm:ssZ
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(5, 2) - 1;
    parts.tm_mday = number(8, 2);
    parts.tm_hour = number(11, 2);
    parts.tm_min = number(14, 2);
    parts.tm_sec = number(17, 2);
    if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 59)
        return std::nullopt;
    const std::tm asGiven = parts;
    const std::time_t t = ::timegm(&parts);
    // A day the month does not have (February 30) comes back as another.
    if (parts.tm_mday != asGiven.tm_mday || parts.tm_mon != asGiven.tm_mon) return std::nullopt;
    return t;
}

std::time_t now() {
    std::function<std::time_t()> clock;
    {
        std::lock_guard lock(settingsMutex);
        clock = testClock;
    }
    if (clock) return clock();
    // The clock the wall-clock timers wait on. time() reads a coarse copy of
    // it that can still show the second before when such a timer fires.
    timespec ts{};
    if (::clock_gettime(CLOCK_REALTIME, &ts) != 0) return std::time(nullptr);
    return ts.tv_sec;
}

void setClockForTesting(std::function<std::time_t()> clock) {
    std::lock_guard lock(settingsMutex);
    testClock = std::move(clock);
}

}  // namespace zv::datetime
