// Target "date_time": the reader of date-time texts, with the default
// formats and with the formats an office may set under [Regional].
//
// Input: one byte of choices, four bytes that pick an instant between 1978
// and 2075, four bytes that build the formats, then a text to read.
//   choices & 1:  the default formats "M/d/yy" and "h:mm:ss AM/PM";
//                 otherwise formats built from the four bytes: day, month and
//                 year in any order with their separator, month names, day
//                 names, quoted words; 12-hour times with their AM/PM marker
//                 before or after the time, 24-hour times, with or without
//                 seconds and quoted words.
//
// Properties:
// - what the writer writes reads back: the short date, a blank and the long
//   time of the instant read as a date-time that is written as the same text
//   (the same instant, or the one a summer-time change makes ambiguous, or
//   what the text does not say, such as the seconds of a time without them);
//   the same for the date-time text with its time left out at midnight;
// - any text that reads at all reads as an instant whose text reads back
//   (when its year is one a two-digit year can name);
// - the text taken as a format of its own, however odd, writes and reads
//   without harm.

#include <string>

#include "fuzz_support.h"
#include "stores/date_time.h"

namespace zv::fuzz {
namespace {

struct TFormats {
    std::string date;
    std::string time;
    bool configured = false;
};

// A short date format as the system's regional settings may hold it.
std::string datePattern(std::uint16_t bits) {
    static const char* const kDay[] = {"d", "dd"};
    static const char* const kMonth[] = {"M", "MM", "MMM", "MMMM"};
    static const char* const kYear[] = {"yy", "yyyy"};
    static const char* const kSeparator[] = {"/", "-", ".", " ", ". ", ", "};
    const std::string day = kDay[bits & 1];
    const std::string month = kMonth[(bits >> 1) & 3];
    const std::string year = kYear[(bits >> 3) & 1];
    const std::string sep = kSeparator[((bits >> 4) & 7) % 6];
    std::string pattern;
    switch (((bits >> 7) & 3) % 3) {
        case 0: pattern = month + sep + day + sep + year; break;
        case 1: pattern = day + sep + month + sep + year; break;
        default: pattern = year + sep + month + sep + day; break;
    }
    switch ((bits >> 9) & 7) {
        case 1: pattern = "ddd " + pattern; break;
        case 2: pattern = "dddd, " + pattern; break;
        case 3: pattern = "'Date: '" + pattern; break;
        case 4: pattern += " 'r.'"; break;
        default: break;
    }
    return pattern;
}

// A long time format: 12 hours always with a marker (without one the text
// could not say morning from afternoon), 24 hours with or without.
std::string timePattern(std::uint16_t bits) {
    static const char* const kMarker[] = {"tt", "AM/PM", "am/pm", "A/P", "t"};
    const bool twelve = (bits & 1) != 0;
    const bool twoDigits = (bits & 2) != 0;
    const std::string hour = twelve ? (twoDigits ? "hh" : "h") : (twoDigits ? "HH" : "H");
    const std::string sep = (bits & 4) ? "." : ":";
    std::string pattern = hour + sep + "mm";
    if (bits & 8) pattern += sep + "ss";
    const std::string marker = kMarker[((bits >> 4) & 7) % 5];
    const bool withMarker = twelve || (bits & 128);
    if (withMarker) pattern = (bits & 256) ? marker + " " + pattern : pattern + " " + marker;
    switch ((bits >> 9) & 3) {
        case 1: pattern += " 'Uhr'"; break;
        case 2: pattern = "HH'h'mm"; break;
        default: break;
    }
    return pattern;
}

std::string writtenText(std::time_t t) { return datetime::shortDateText(t) + " " + datetime::longTimeText(t); }

// With formats of the office's own, a failure is the known fault of the
// reader that does not yet follow them.
#define ZV_CHECK_FORMATS(formats, condition, what)                                                 \
    do {                                                                                          \
        if (formats.configured) ZV_FUZZ_CHECK_KNOWN("regional-formats", condition, what);         \
        else ZV_FUZZ_CHECK(condition, what);                                                      \
    } while (0)

void checkReadsBack(const std::string& text, const TFormats& formats) {
    const auto read = datetime::parseDateTime(text);
    ZV_CHECK_FORMATS(formats, read.has_value(), "\"" + printable(text) + "\" written with \"" + formats.date +
                                                    "\" and \"" + formats.time + "\" does not read");
    const std::string again = writtenText(*read);
    const std::string againShort = datetime::dateTimeText(*read);
    ZV_CHECK_FORMATS(formats, again == text || againShort == text,
                     "\"" + printable(text) + "\" reads as \"" + printable(again) + "\" with \"" + formats.date +
                         "\" and \"" + formats.time + "\"");
}

int fuzzDateTime(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const std::uint8_t choices = input.byte();
    const std::uint32_t instantBits = input.number32();
    const std::uint32_t formatBits = input.number32();
    const std::string text(input.rest());

    enterWorkFolder("date_time");
    const std::time_t now = fixedNow();
    datetime::setClockForTesting([now] { return now; });

    TFormats formats;
    if ((choices & 1) == 0) {
        formats = {datePattern(static_cast<std::uint16_t>(formatBits)),
                   timePattern(static_cast<std::uint16_t>(formatBits >> 16)), true};
    }
    datetime::setFormats(formats.date, formats.time);
    formats.date = datetime::shortDateFormat();
    formats.time = datetime::longTimeFormat();

    // 1978-01-01 plus up to 98 years: two-digit years stay within fifty of 2026.
    const std::time_t instant = 252460800 + static_cast<std::time_t>(instantBits % (98u * 365u * 86400u));
    checkReadsBack(writtenText(instant), formats);
    const std::string withMidnight = datetime::dateTimeText(instant);
    checkReadsBack(withMidnight, formats);

    // (Within the years a two-digit year can name: others cannot come back
    // from a format that writes two.)
    if (const auto read = datetime::parseDateTime(text)) {
        std::tm parts{};
        const std::time_t t = *read;
        const int year = localtime_r(&t, &parts) ? parts.tm_year + 1900 : 0;
        if (year > 1976 && year <= 2076) checkReadsBack(writtenText(*read), formats);
    }

    // The text as a format of its own: whatever it holds, writing and reading
    // with it end normally.
    datetime::formatWithPattern(text, instant);
    datetime::setFormats(text, text);
    (void)datetime::parseDateTime(datetime::dateTimeText(instant));
    (void)datetime::parseDateTime(text);

    datetime::setFormats("", "");
    datetime::setClockForTesting(nullptr);
    return 0;
}

}  // namespace
}  // namespace zv::fuzz

ZV_FUZZ_TARGET(date_time, zv::fuzz::fuzzDateTime)
