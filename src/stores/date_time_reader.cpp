// The reader of date-time texts: what the short date and long time formats
// write, and the common forms clients send.

#include <algorithm>
#include <cctype>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "stores/date_time.h"
#include "stores/date_time_internal.h"

namespace zv::datetime {

namespace {

using namespace detail;

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    std::string_view rest() const { return text_.substr(pos_); }
    void skip(std::size_t n) { pos_ += n; }
    // Skips blanks; returns how many.
    std::size_t skipBlanks() {
        const std::size_t start = pos_;
        while (!atEnd() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return pos_ - start;
    }
    // Reads 1 to maxDigits digits; returns their count (0 when none).
    int number(int maxDigits, int& value) {
        value = 0;
        int digits = 0;
        while (!atEnd() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        return digits;
    }
    // Reads a run of letters.
    std::string_view word() {
        const std::size_t start = pos_;
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

struct DateFields {
    int day = 0;
    int month = 0;
    int year = 0;
    int yearDigits = 0;  // 0: no year in the text
};

bool isDateSeparator(char c) { return c == '/' || c == '-' || c == '.' || c == ','; }

// Reads a date laid out as the pattern says; separators may be any of / - . ,
bool readDateByPattern(Scanner& in, std::string_view pattern, DateFields& out) {
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            const std::string_view literal = pattern.substr(i + 1, end - i - 1);
            if (startsWithNoCase(in.rest(), literal)) in.skip(literal.size());
            i = close == std::string_view::npos ? pattern.size() : close + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        int value = 0;
        switch (c) {
            case 'd':
                if (run <= 2) {
                    if (in.number(2, out.day) == 0) return false;
                } else if (in.word().empty()) {
                    return false;  // day name: read over
                }
                break;
            case 'M':
                if (run <= 2) {
                    if (in.number(2, out.month) == 0) return false;
                } else if ((out.month = monthFromName(in.word())) == 0) {
                    return false;
                }
                break;
            case 'y':
            case 'Y':
                out.yearDigits = in.number(4, value);
                out.year = value;
                if (out.yearDigits == 0) return false;
                break;
            case ' ':
                in.skipBlanks();
                break;
            default:
                for (std::size_t k = 0; k < run; ++k) {
                    const char next = in.peek();
                    if (next == c || (isDateSeparator(c) && isDateSeparator(next))) {
                        in.skip(1);
                    } else if (i + run < pattern.size()) {
                        return false;  // a literal at the very end may be left out
                    }
                }
                break;
        }
        i += run;
    }
    return true;
}

// Reads two or three numbers with one separator between them, in the order
// of the pattern's fields; a four-digit first number starts year-month-day.
bool readNumericDate(Scanner& in, std::string_view pattern, DateFields& out) {
    int values[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int count = 0;
    for (; count < 3; ++count) {
        if (count > 0) {
            if (!isDateSeparator(in.peek())) break;
            in.skip(1);
        }
        digits[count] = in.number(4, values[count]);
        if (digits[count] == 0) return false;
    }
    if (count < 2) return false;

    std::string order;  // e.g. "MDY"
    for (char c : pattern) {
        const char field = c == 'd' ? 'D' : c == 'M' ? 'M' : (c == 'y' || c == 'Y') ? 'Y' : 0;
        if (field && order.find(field) == std::string::npos) order.push_back(field);
    }
    if (digits[0] == 4) order = "YMD";
    if (order.size() < 3) order = count == 3 ? "MDY" : "MD";
    if (count == 3 && order.size() != 3) return false;
    for (int k = 0; k < count; ++k) {
        switch (order[static_cast<std::size_t>(k)]) {
            case 'D': out.day = digits[k] <= 2 ? values[k] : 0; break;
            case 'M': out.month = digits[k] <= 2 ? values[k] : 0; break;
            default:
                out.year = values[k];
                out.yearDigits = digits[k];
                break;
        }
    }
    // Two numbers are day and month of the current year.
    return count == 3 || order.find('Y') >= 2;
}

// Completes the year and checks the fields; false when they form no date.
bool settleDate(DateFields& date, int currentYear) {
    if (date.yearDigits == 0) {
        date.year = currentYear;
    } else if (date.yearDigits <= 2) {
        // Two-digit years lie within fifty years of the current one.
        date.year += currentYear / 100 * 100;
        if (date.year > currentYear + 50) date.year -= 100;
        else if (date.year <= currentYear - 50) date.year += 100;
    } else if (date.yearDigits != 4) {
        return false;
    }
    return date.year >= 1900 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= daysInMonth(date.year, date.month);
}

// What readClock found: a time given with minutes, or with an AM/PM mark.
struct ClockMarks {
    bool minutes = false;
    bool meridiem = false;
};

// Reads "h[:mm[:ss]] [AM|PM]" at the scanner; anything after a valid time is
// ignored.
bool readClock(Scanner& in, int& hour, int& minute, int& second, ClockMarks& marks) {
    if (in.number(2, hour) == 0) return false;
    auto separator = [&] { return in.peek() == ':' || in.peek() == '.'; };
    if (separator()) {
        in.skip(1);
        if (in.number(2, minute) == 0) return false;
        marks.minutes = true;
        if (separator()) {
            in.skip(1);
            if (in.number(2, second) == 0) return false;
        }
    }
    in.skipBlanks();
    const std::string_view rest = in.rest();
    const bool am = startsWithNoCase(rest, "A");
    const bool pm = startsWithNoCase(rest, "P");
    if (am || pm) {
        if (hour > 12) return false;
        if (hour == 12) hour = 0;
        if (pm) hour += 12;
        marks.meridiem = true;
    }
    return hour <= 23 && minute <= 59 && second <= 59;
}

// Reads " h[:mm[:ss]] [AM|PM]" after the date; nothing at all is midnight
// (and `given` false).
bool readTime(Scanner& in, int& hour, int& minute, int& second, bool& given) {
    hour = minute = second = 0;
    given = false;
    const bool blank = in.skipBlanks() > 0;
    if (in.atEnd()) return true;
    if (!blank) return false;
    ClockMarks marks;
    given = true;
    return readClock(in, hour, minute, second, marks);
}

// The calendar fields, when they form a date and time the clock can hold.
std::optional<std::tm> localDateTime(DateFields date, int hour, int minute, int second, int currentYear) {
    if (!settleDate(date, currentYear) || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month - 1;
    parts.tm_mday = date.day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    std::tm probe = parts;
    if (std::mktime(&probe) == static_cast<std::time_t>(-1)) return std::nullopt;
    return parts;
}

// The calendar fields of a local date-time text, and whether it held a time.
struct LocalRead {
    std::tm parts;
    bool timeGiven;
};

std::optional<LocalRead> readLocal(std::string_view text) {
    const std::string datePattern = shortDateFormat();
    const int currentYear = localParts(now()).tm_year + 1900;

    // What the writer writes with the configured patterns, read exactly.
    std::string_view afterExact;
    std::optional<LocalRead> exact;
    if (const auto f = readWithPatterns(text, datePattern, longTimeFormat(), &afterExact)) {
        if (auto parts = localDateTime(DateFields{f->day, f->month, f->year, f->yearDigits}, f->hour,
                                       f->minute, f->second, currentYear)) {
            exact = LocalRead{*parts, f->timeGiven};
        }
        const bool whole = std::all_of(afterExact.begin(), afterExact.end(),
                                       [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        if (exact && whole) return exact;
    }

    // The common client forms.
    using Reader = bool (*)(Scanner&, std::string_view, DateFields&);
    for (Reader readDate : {Reader{readDateByPattern}, Reader{readNumericDate}}) {
        Scanner in(text);
        in.skipBlanks();
        DateFields date;
        int hour = 0, minute = 0, second = 0;
        bool timeGiven = false;
        if (!readDate(in, datePattern, date) || !readTime(in, hour, minute, second, timeGiven)) continue;
        if (auto parts = localDateTime(date, hour, minute, second, currentYear)) {
            return LocalRead{*parts, timeGiven};
        }
    }

    // The configured patterns followed by other text, which is ignored.
    return exact;
}

}  // namespace

std::optional<std::tm> readLocalDateTime(std::string_view text) {
    if (auto read = readLocal(text)) return read->parts;
    return std::nullopt;
}

std::optional<DateTimeRead> readDateTime(std::string_view text) {
    auto read = readLocal(text);
    if (!read) return std::nullopt;
    const std::time_t at = std::mktime(&read->parts);
    if (at == static_cast<std::time_t>(-1)) return std::nullopt;
    return DateTimeRead{at, read->timeGiven};
}

std::optional<std::time_t> parseDateTime(std::string_view text) {
    if (const std::optional<DateTimeRead> read = readDateTime(text)) return read->at;
    return std::nullopt;
}

std::optional<int> parseTimeOfDay(std::string_view text) {
    Scanner in(text);
    in.skipBlanks();
    int hour = 0, minute = 0, second = 0;
    ClockMarks marks;
    if (!readClock(in, hour, minute, second, marks)) return std::nullopt;
    // A number alone ("2", as in "2 days") is no time of day.
    if (!marks.minutes && !marks.meridiem) return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

std::optional<std::time_t> addCalendarDays(std::tm when, int days) {
    // Ten thousand years and more never come; the sum must also fit an int.
    constexpr int kFarFuture = 3650000;
    if (days > kFarFuture || days < -kFarFuture) return std::nullopt;
    when.tm_mday += days;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return t;
}

}  // namespace zv::datetime
