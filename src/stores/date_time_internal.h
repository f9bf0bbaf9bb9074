#pragma once
// Helpers shared by the date-time writer and reader; not for other modules.

#include <cctype>
#include <cstddef>
#include <ctime>
#include <optional>
#include <string_view>

namespace zv::datetime::detail {

inline constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",
                                                "May",     "June",     "July",      "August",
                                                "September", "October", "November", "December"};
inline constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};

inline std::tm localParts(std::time_t t) {
    std::tm parts{};
    if (!localtime_r(&t, &parts)) parts = std::tm{};
    return parts;
}

inline bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

inline int daysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return days[month - 1];
}

// One element of a date or time pattern. The writer and the reader cut a
// pattern into the same elements, so that the reader takes back exactly what
// the writer writes.
struct PatternElement {
    enum Kind {
        kLiteral,    // `text` as it stands (quoted text, or any other character)
        kDay,        // d dd: day of the month, at least `width` digits
        kDayName,    // ddd (width 3, abbreviated) dddd (width 4)
        kMonth,      // M MM
        kMonthName,  // MMM MMMM
        kYear2,      // y yy: the last two digits of the year
        kYear4,      // yyy and longer
        kHour12,     // h hh
        kHour24,     // H HH
        kMinute,     // m mm
        kSecond,     // s ss
        kMarker,     // AM/PM am/pm tt: "AM" or "PM" (small letters when `lower`)
        kShortMarker,  // A/P a/p t: "A" or "P"
    };
    Kind kind;
    int width = 1;
    bool lower = false;
    std::string_view text;  // kLiteral only
};

// Calls `visit` with each element of `pattern`, in order.
template <class Visit>
void forEachPatternElement(std::string_view pattern, Visit&& visit) {
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const std::string_view rest = pattern.substr(i);
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            visit(PatternElement{PatternElement::kLiteral, 0, false, pattern.substr(i + 1, end - i - 1)});
            i = close == std::string_view::npos ? pattern.size() : close + 1;
            continue;
        }
        const bool lower = std::islower(static_cast<unsigned char>(c)) != 0;
        if (startsWithNoCase(rest, "AM/PM")) {
            visit(PatternElement{PatternElement::kMarker, 2, lower, {}});
            i += 5;
            continue;
        }
        if (startsWithNoCase(rest, "A/P")) {
            visit(PatternElement{PatternElement::kShortMarker, 1, lower, {}});
            i += 3;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        const int n = static_cast<int>(run);
        const int digits = n >= 2 ? 2 : 1;
        using E = PatternElement;
        auto element = [](E::Kind kind, int width) { return E{kind, width, false, {}}; };
        switch (c) {
            case 'd': visit(n <= 2 ? element(E::kDay, n) : element(E::kDayName, n >= 4 ? 4 : 3)); break;
            case 'M': visit(n <= 2 ? element(E::kMonth, n) : element(E::kMonthName, n >= 4 ? 4 : 3)); break;
            case 'y':
            case 'Y': visit(n <= 2 ? element(E::kYear2, n) : element(E::kYear4, 4)); break;
            case 'h': visit(element(E::kHour12, digits)); break;
            case 'H': visit(element(E::kHour24, digits)); break;
            case 'm': visit(element(E::kMinute, digits)); break;
            case 's': visit(element(E::kSecond, digits)); break;
            case 't': visit(n >= 2 ? element(E::kMarker, 2) : element(E::kShortMarker, 1)); break;
            default: visit(E{E::kLiteral, 0, false, pattern.substr(i, run)}); break;
        }
        i += run;
    }
}

// 1 to 12 for a month name or an abbreviation of at least three letters.
int monthFromName(std::string_view word);

// Calendar fields as a text gives them, before the year is completed.
struct ReadFields {
    int day = 0;
    int month = 0;
    int year = 0;
    int yearDigits = 0;  // 0: no year in the text; 2: a year within the century window
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool timeGiven = false;  // false when the date pattern was read alone
};

// Reads `text` (after leading blanks) exactly as the writer writes the date
// pattern, then one or more blanks and the time pattern; or the date pattern
// alone with nothing but blanks after it. `rest` receives the text after what
// was read. Day and month names, numbers and markers are checked for range
// only; whether the date exists is the caller's question.
std::optional<ReadFields> readWithPatterns(std::string_view text, std::string_view datePattern,
                                           std::string_view timePattern, std::string_view* rest);

}  // namespace zv::datetime::detail
