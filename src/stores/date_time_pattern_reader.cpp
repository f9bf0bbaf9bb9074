// The exact reading of a date-time text written with the configured patterns:
// the same elements as the writer, in the same order, so that whatever the
// writer writes reads back (markers before the time, quoted literals, names,
// numbers with nothing between them).

#include <algorithm>
#include <cctype>
#include <vector>

#include "stores/date_time_internal.h"

namespace zv::datetime::detail {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// What the elements read so far have found.
struct Found {
    ReadFields fields;
    bool twelveHour = false;  // the hour came from h or hh
    int marker = 0;           // 0 none, 1 AM, 2 PM
};

class PatternReader {
public:
    PatternReader(const std::vector<PatternElement>& elements, std::string_view text)
        : elements_(elements), text_(text) {}

    // Where the text read by the elements from `index` on ends, with what they
    // found in `found`; npos when they do not fit the text at `at`.
    std::size_t read(std::size_t index, std::size_t at, Found& found) const {
        if (index == elements_.size()) return at;
        // Each number may be tried two ways: a pattern of many numbers with
        // nothing between them must not make a reading take for ever.
        if (++steps_ > kMaxSteps) return npos;
        const PatternElement& e = elements_[index];
        switch (e.kind) {
            case PatternElement::kLiteral: return literal(index, at, found);
            case PatternElement::kDay: return number(index, at, found, 1, 31, &ReadFields::day);
            case PatternElement::kMonth: return number(index, at, found, 1, 12, &ReadFields::month);
            case PatternElement::kYear2: return number(index, at, found, 0, 99, &ReadFields::year, 2);
            case PatternElement::kYear4: return number(index, at, found, 0, 9999, &ReadFields::year, 4);
            case PatternElement::kHour12: {
                found.twelveHour = true;
                return number(index, at, found, 1, 12, &ReadFields::hour);
            }
            case PatternElement::kHour24: return number(index, at, found, 0, 23, &ReadFields::hour);
            case PatternElement::kMinute: return number(index, at, found, 0, 59, &ReadFields::minute);
            case PatternElement::kSecond: return number(index, at, found, 0, 59, &ReadFields::second);
            case PatternElement::kDayName: {
                const std::string_view name = word(at);
                const bool known = name.size() >= 3 && std::any_of(std::begin(kDayNames), std::end(kDayNames),
                                                                   [&](const char* day) {
                                                                       return name.size() <= std::string_view(day).size() &&
                                                                              startsWithNoCase(day, name);
                                                                   });
                return known ? read(index + 1, at + name.size(), found) : npos;
            }
            case PatternElement::kMonthName: {
                const std::string_view name = word(at);
                const int month = monthFromName(name);
                if (month == 0) return npos;
                found.fields.month = month;
                return read(index + 1, at + name.size(), found);
            }
            case PatternElement::kMarker:
            case PatternElement::kShortMarker: {
                const std::string_view rest = text_.substr(at);
                const bool am = startsWithNoCase(rest, "A");
                if (!am && !startsWithNoCase(rest, "P")) return npos;
                std::size_t length = 1;
                if (e.kind == PatternElement::kMarker) {
                    if (!startsWithNoCase(rest.substr(1), "M")) return npos;
                    length = 2;
                }
                found.marker = am ? 1 : 2;
                return read(index + 1, at + length, found);
            }
        }
        return npos;
    }

private:
    std::size_t literal(std::size_t index, std::size_t at, Found& found) const {
        const std::string_view literal = elements_[index].text;
        if (!literal.empty() && std::all_of(literal.begin(), literal.end(), isBlank)) {
            // Blanks match a run of one or more blanks.
            std::size_t end = at;
            while (end < text_.size() && isBlank(text_[end])) ++end;
            return end == at ? npos : read(index + 1, end, found);
        }
        if (!startsWithNoCase(text_.substr(at), literal)) return npos;
        return read(index + 1, at + literal.size(), found);
    }

    // One or two digits (up to `maxDigits` for a year), the longer reading
    // first: the next element decides which one fits.
    std::size_t number(std::size_t index, std::size_t at, Found& found, int low, int high, int ReadFields::*field,
                       int maxDigits = 2) const {
        int available = 0;
        while (available < maxDigits && at + static_cast<std::size_t>(available) < text_.size() &&
               std::isdigit(static_cast<unsigned char>(text_[at + static_cast<std::size_t>(available)])))
            ++available;
        for (int digits = available; digits >= 1; --digits) {
            int value = 0;
            for (int k = 0; k < digits; ++k) value = value * 10 + (text_[at + static_cast<std::size_t>(k)] - '0');
            if (value < low || value > high) continue;
            Found tried = found;
            tried.fields.*field = value;
            if (field == &ReadFields::year) tried.fields.yearDigits = digits <= 2 ? 2 : digits;
            const std::size_t end = read(index + 1, at + static_cast<std::size_t>(digits), tried);
            if (end != npos) {
                found = tried;
                return end;
            }
        }
        return npos;
    }

    std::string_view word(std::size_t at) const {
        std::size_t end = at;
        while (end < text_.size() && std::isalpha(static_cast<unsigned char>(text_[end]))) ++end;
        return text_.substr(at, end - at);
    }

    static constexpr int kMaxSteps = 10000;

    const std::vector<PatternElement>& elements_;
    std::string_view text_;
    mutable int steps_ = 0;
};

std::vector<PatternElement> elementsOf(std::string_view pattern) {
    std::vector<PatternElement> elements;
    forEachPatternElement(pattern, [&](const PatternElement& e) { elements.push_back(e); });
    return elements;
}

}  // namespace

int monthFromName(std::string_view word) {
    if (word.size() < 3) return 0;
    for (int m = 0; m < 12; ++m) {
        const std::string_view name = kMonthNames[m];
        if (word.size() <= name.size() && startsWithNoCase(name, word)) return m + 1;
    }
    return 0;
}

std::optional<ReadFields> readWithPatterns(std::string_view text, std::string_view datePattern,
                                           std::string_view timePattern, std::string_view* rest) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    const std::vector<PatternElement> dateOnly = elementsOf(datePattern);
    std::vector<PatternElement> withTime = dateOnly;
    withTime.push_back(PatternElement{PatternElement::kLiteral, 0, false, " "});
    for (const PatternElement& e : elementsOf(timePattern)) withTime.push_back(e);

    // The date and its time; or the date alone (the writer leaves midnight
    // out), with nothing but blanks after it.
    const std::vector<PatternElement>* readings[] = {&withTime, &dateOnly};
    for (const std::vector<PatternElement>* elements : readings) {
        Found found;
        const std::size_t end = PatternReader(*elements, text).read(0, start, found);
        if (end == npos) continue;
        const std::string_view after = text.substr(end);
        if (elements == &dateOnly && !std::all_of(after.begin(), after.end(), isBlank)) continue;
        if (found.twelveHour && found.marker != 0) {
            found.fields.hour %= 12;
            if (found.marker == 2) found.fields.hour += 12;
        }
        if (rest) *rest = after;
        found.fields.timeGiven = elements == &withTime;
        return found.fields;
    }
    return std::nullopt;
}

}  // namespace zv::datetime::detail
