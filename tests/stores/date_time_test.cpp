// Date and time texts in the configured formats, and the reader used for
// expiry.

#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/date_time.h"
#include "local_time.h"
#include "test_support.h"

namespace zv {
namespace {

using test::localTime;

std::tm localParts(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        datetime::setFormats("M/d/yy", "h:mm:ss AM/PM");
        const std::time_t fixed = localTime(2026, 12, 7, 12, 0, 0);
        datetime::setClockForTesting([fixed] { return fixed; });
    }
    void TearDown() override {
        datetime::setFormats("", "");
        datetime::setClockForTesting(nullptr);
    }
};

TEST_F(DateTimeTest, DefaultFormatsWriteShortDateAndTwelveHourTime) {
    EXPECT_EQ(datetime::shortDateText(localTime(2026, 3, 4, 15, 7, 9)), "3/4/26");
    EXPECT_EQ(datetime::longTimeText(localTime(2026, 3, 4, 15, 7, 9)), "3:07:09 PM");
    EXPECT_EQ(datetime::longTimeText(localTime(2026, 3, 4, 0, 0, 1)), "12:00:01 AM");
    EXPECT_EQ(datetime::longTimeText(localTime(2026, 3, 4, 12, 30, 0)), "12:30:00 PM");
    EXPECT_EQ(datetime::dateTimeText(localTime(2026, 12, 25, 9, 5, 0)), "12/25/26 9:05:00 AM");
    EXPECT_EQ(datetime::dateTimeText(localTime(2026, 12, 25)), "12/25/26");  // midnight: no time
    EXPECT_EQ(datetime::dateTimeText(localTime(2026, 12, 25, 0, 0, 1)), "12/25/26 12:00:01 AM");
    EXPECT_EQ(datetime::now(), localTime(2026, 12, 7, 12, 0, 0));
}

TEST_F(DateTimeTest, OtherPatternsAndLiteralsAreWrittenAsGiven) {
    const std::time_t t = localTime(2027, 1, 2, 8, 4, 5);
    EXPECT_EQ(datetime::formatWithPattern("dd.MM.yyyy", t), "02.01.2027");
    EXPECT_EQ(datetime::formatWithPattern("yyyy-MM-dd HH:mm:ss", t), "2027-01-02 08:04:05");
    EXPECT_EQ(datetime::formatWithPattern("hh:mm tt", t), "08:04 AM");
    EXPECT_EQ(datetime::formatWithPattern("h:mm am/pm", localTime(2027, 1, 2, 20, 4, 5)), "8:04 pm");
    EXPECT_EQ(datetime::formatWithPattern("H 'h' m 'min'", t), "8 h 4 min");
    EXPECT_EQ(datetime::formatWithPattern("ddd d MMM yy", t), "Sat 2 Jan 27");
    datetime::setFormats("dd/MM/yyyy", "HH:mm");
    EXPECT_EQ(datetime::dateTimeText(t), "02/01/2027 08:04");
}

TEST_F(DateTimeTest, ReaderTakesBackWhatTheWriterWrites) {
    const char* patterns[][2] = {{"M/d/yy", "h:mm:ss AM/PM"}, {"dd.MM.yyyy", "HH:mm:ss"},
                                 {"yyyy-MM-dd", "H:mm:ss"},   {"d/M/yy", "hh:mm:ss tt"},
                                 {"MM/dd/yyyy", "h:mm:ss am/pm"}, {"dd-MMM-yy", "HH.mm.ss"},
                                 {"d MMMM yyyy", "h:mm:ss tt"},  {"ddd, d MMM yyyy", "H:mm"},
                                 {"yy/M/d", "h:mm:ss A/P"}};
    for (const auto& p : patterns) {
        datetime::setFormats(p[0], p[1]);
        for (std::time_t t : {localTime(2026, 12, 7, 12, 0, 0), localTime(2026, 1, 31, 0, 0, 0),
                              localTime(2026, 2, 28, 23, 59, 59), localTime(2030, 7, 4, 12, 30, 1),
                              localTime(2000, 2, 29, 0, 0, 7)}) {
            const std::string text = datetime::dateTimeText(t);
            const bool minutesOnly = std::string(p[1]).find('s') == std::string::npos;
            const std::time_t expected = minutesOnly ? t - localParts(t).tm_sec : t;
            EXPECT_EQ(datetime::parseDateTime(text), expected) << p[0] << " " << p[1] << ": " << text;
            const std::string split = datetime::shortDateText(t) + " " + datetime::longTimeText(t);
            EXPECT_EQ(datetime::parseDateTime(split), expected) << split;
        }
    }
}

TEST_F(DateTimeTest, ReaderTakesBackWhatAnyConfiguredPatternWrites) {
    // Markers before the time, quoted literals, 24-hour clocks, names, digits
    // without separators, single letters: whatever [Regional] configures.
    testing::ScopedTimeZone zone("UTC");
    const struct {
        const char* date;
        const char* time;
        int precision;  // seconds: what the time pattern keeps
    } patterns[] = {
        {"M/d/yy", "tt h:mm:ss", 1},
        {"M/d/yy", "AM/PM hh:mm", 60},
        {"MM/dd/yyyy", "t h:mm", 60},
        {"dd.MM.yyyy", "HH'h'mm", 60},
        {"yyyy-MM-dd", "HH:mm:ss", 1},
        {"d MMMM yyyy", "H 'h' m 'min' s 's'", 1},
        {"dddd, MMMM d, yyyy", "h:mm:ss tt", 1},
        {"ddd dd MMM yy", "\"at\" HH.mm", 60},
        {"yyyyMMdd", "HHmmss", 1},
        {"'Date:' d/M/yyyy", "'Time:' H:mm:ss", 1},
        {"d-M-y", "h:m:s a/p", 1},
        {"yy/M/d", "h.mm.ss A/P", 1},
        {"MMM d, yyyy", "hh:mm:ss am/pm", 1},
        {"d.M.yyyy", "H", 3600},
        {"dd/MM/yyyy", "HH:mm:ss", 1},
    };
    std::vector<std::time_t> instants;
    for (int hour : {0, 1, 9, 11, 12, 13, 21, 23})
        instants.push_back(localTime(2026, 12, 7, hour, hour == 0 ? 0 : 7, hour == 0 ? 0 : 5));
    unsigned x = 20261207;
    for (int i = 0; i < 200; ++i) {
        x = x * 1103515245u + 12345u;
        // 1990 to 2060: within fifty years of the clock for two-digit years.
        instants.push_back(localTime(1990, 1, 1) + static_cast<std::time_t>(x % (70u * 365u)) * 86400 +
                           static_cast<std::time_t>((x >> 7) % 86400u));
    }
    for (const auto& p : patterns) {
        datetime::setFormats(p.date, p.time);
        for (std::time_t t : instants) {
            const std::time_t expected = t - t % p.precision;
            for (const std::string& text : {datetime::dateTimeText(t),
                                            datetime::shortDateText(t) + " " + datetime::longTimeText(t)}) {
                EXPECT_EQ(datetime::parseDateTime(text), expected)
                    << "\"" << p.date << "\" \"" << p.time << "\": " << text;
            }
        }
    }
}

TEST_F(DateTimeTest, ReaderTakesCommonClientForms) {
    EXPECT_EQ(datetime::parseDateTime("12/7/26"), localTime(2026, 12, 7));
    EXPECT_EQ(datetime::parseDateTime("12/07/2026 "), localTime(2026, 12, 7));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 9:05"), localTime(2027, 1, 2, 9, 5));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 21:05"), localTime(2027, 1, 2, 21, 5));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 9:05 pm"), localTime(2027, 1, 2, 21, 5));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 12:05:09 am"), localTime(2027, 1, 2, 0, 5, 9));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 12:05:09PM"), localTime(2027, 1, 2, 12, 5, 9));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 9:05:00 AM and more"), localTime(2027, 1, 2, 9, 5));
    EXPECT_EQ(datetime::parseDateTime("1-2-2027 9"), localTime(2027, 1, 2, 9));
    EXPECT_EQ(datetime::parseDateTime("2027-01-02 09:05:00"), localTime(2027, 1, 2, 9, 5));
    EXPECT_EQ(datetime::parseDateTime("12/25"), localTime(2026, 12, 25));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 9.05"), localTime(2027, 1, 2, 9, 5));
    EXPECT_EQ(datetime::parseDateTime("1/2/27 9:05 a.m."), localTime(2027, 1, 2, 9, 5));
    // Two-digit years fall within fifty years of today.
    EXPECT_EQ(datetime::parseDateTime("1/2/75"), localTime(2075, 1, 2));
    EXPECT_EQ(datetime::parseDateTime("1/2/77"), localTime(1977, 1, 2));
    // Day-first formats read day first.
    datetime::setFormats("dd.MM.yyyy", "HH:mm:ss");
    EXPECT_EQ(datetime::parseDateTime("2.1.2027 9:05"), localTime(2027, 1, 2, 9, 5));
    datetime::setFormats("dd.MM.yyyy.", "HH:mm:ss");
    EXPECT_EQ(datetime::parseDateTime("02.01.2027. 9:05"), localTime(2027, 1, 2, 9, 5));
    EXPECT_EQ(datetime::parseDateTime("02.01.2027 9:05"), localTime(2027, 1, 2, 9, 5));
    datetime::setFormats("dd-MMM-yy", "HH:mm:ss");
    EXPECT_EQ(datetime::parseDateTime("02-jan-27 10:00:00"), localTime(2027, 1, 2, 10));
    EXPECT_EQ(datetime::parseDateTime("2-January-2027"), localTime(2027, 1, 2));
    EXPECT_EQ(datetime::parseDateTime("2/1/27"), localTime(2027, 1, 2));
    EXPECT_FALSE(datetime::parseDateTime("02-Ja-27").has_value());
    EXPECT_FALSE(datetime::parseDateTime("02-Foo-27").has_value());
}

TEST_F(DateTimeTest, ReaderRefusesWhatIsNotADateTime) {
    for (const char* text : {"", " ", "x", "12", "12/", "13/1/26", "0/1/26", "2/30/26", "2/29/27",
                             "1/0/26", "1/2/026", "1/2/26x", "1/2/26 x", "1/2/26 25:00", "1/2/26 9:60",
                             "1/2/26 9:00:60", "1/2/26 13:00 PM", "1/2/26 :30", "1/2/26 9:", "123/1/26",
                             "1/2/26/7"}) {
        EXPECT_FALSE(datetime::parseDateTime(text).has_value()) << '"' << text << '"';
    }
}

TEST(UtcStamp, MomentsReadBackExactlyAndNothingElseReads) {
    for (std::time_t t : {std::time_t{0}, std::time_t{1772443230}, std::time_t{4102444799}}) {
        EXPECT_EQ(datetime::readUtcStamp(datetime::utcStampText(t)), t) << t;
    }
    EXPECT_EQ(datetime::utcStampText(1772443230), "2026-03-02T09:20:30Z");
    for (const char* text : {"", "2026-03-02T09:20:30", "2026-03-02 09:20:30Z", "2026-02-29T00:00:00Z",
                             "2026-13-01T00:00:00Z", "2026-03-02T24:00:00Z", "2026-03-02T09:20:30z",
                             "+026-03-02T09:20:30Z", "2026-03-02T09:20:30Z "}) {
        EXPECT_FALSE(datetime::readUtcStamp(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace zv
