// The day and moment of the end-of-day punch-out, in a time zone with
// daylight saving: the moment keeps its time on the wall clock, and each day
// is a day of the calendar, however long.

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "host/auto_punch_out.h"
#include "local_time.h"

namespace zv {
namespace {

class CentralEuropeanTime : public ::testing::Test {
protected:
    // A local wall-clock moment.
    static std::time_t at(int year, int month, int day, int hour, int minute = 0, int second = 0) {
        return test::localTime(year, month, day, hour, minute, second);
    }

    test::ScopedTimeZone zone_{test::kCentralEuropeanTime};
};

constexpr int kFivePm = 17 * 3600;

TEST_F(CentralEuropeanTime, TheDayDueIsTodayFromItsMomentOnAndYesterdayBefore) {
    const std::time_t justBefore = at(2026, 12, 7, 16, 59, 59);
    EXPECT_EQ(latestPunchOutDay(justBefore, kFivePm).day, "2026-12-06");
    EXPECT_EQ(latestPunchOutDay(justBefore, kFivePm).at, at(2026, 12, 6, 17));
    EXPECT_EQ(latestPunchOutDay(at(2026, 12, 7, 17), kFivePm).day, "2026-12-07");
    EXPECT_EQ(nextPunchOutMoment(justBefore, kFivePm), at(2026, 12, 7, 17));
    EXPECT_EQ(nextPunchOutMoment(at(2026, 12, 7, 17), kFivePm), at(2026, 12, 8, 17));
    // Across a month and a year.
    EXPECT_EQ(latestPunchOutDay(at(2027, 1, 1, 8), kFivePm).day, "2026-12-31");
}

TEST_F(CentralEuropeanTime, TheMomentKeepsItsWallClockTimeAcrossDaylightSaving) {
    // 29 March 2026: the clocks go from 2:00 to 3:00; the day has 23 hours.
    const std::time_t saturday = at(2026, 3, 28, 17);
    const std::time_t sunday = nextPunchOutMoment(saturday, kFivePm);
    EXPECT_EQ(sunday - saturday, 23 * 3600);
    std::tm tm{};
    localtime_r(&sunday, &tm);
    EXPECT_EQ(tm.tm_hour, 17);
    EXPECT_EQ(latestPunchOutDay(sunday, kFivePm).day, "2026-03-29");

    // 25 October 2026: back from 3:00 to 2:00; the day has 25 hours.
    const std::time_t octoberSaturday = at(2026, 10, 24, 17);
    EXPECT_EQ(nextPunchOutMoment(octoberSaturday, kFivePm) - octoberSaturday, 25 * 3600);

    // A time the spring day skips (2:30) still comes that day, once.
    const std::time_t skipped = nextPunchOutMoment(at(2026, 3, 29, 1), 2 * 3600 + 1800);
    EXPECT_EQ(latestPunchOutDay(skipped, 2 * 3600 + 1800).day, "2026-03-29");
    EXPECT_GT(skipped, at(2026, 3, 29, 1));
    EXPECT_LE(skipped, at(2026, 3, 29, 4));
    // The hour the autumn day has twice is one day all the same.
    const std::time_t twice = at(2026, 10, 25, 2, 30);
    EXPECT_EQ(latestPunchOutDay(twice + 3600, 2 * 3600 + 1800).day, "2026-10-25");
}

}  // namespace
}  // namespace zv
