// The busy times of calendars as Outlook (Exchange), Google Calendar and a
// free/busy publisher write them, in Central European time with its change
// to summer time on 29 March 2026 inside the window read.

#include "calendar/ical_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "local_time.h"

namespace zv::calendar {
namespace {

using test::localTime;
using test::utcTime;

}  // namespace

// Read by a person when a test fails.
void PrintTo(const TBusyTime& busy, std::ostream* out) {
    *out << "{" << busy.id << ", " << test::localText(busy.start, "%F %T %Z") << " to "
         << test::localText(busy.end, "%F %T %Z") << (busy.outOfOffice ? ", out of office" : "") << "}";
}

namespace {

// Lines joined with CR LF, as the publishers send them.
std::string ics(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

class CentralEuropeanCalendars : public ::testing::Test {
protected:
    // Three weeks across the change to summer time.
    std::vector<TBusyTime> read(const std::string& text) {
        return readBusyTimes(text, localTime(2026, 3, 16), localTime(2026, 4, 7));
    }

    test::ScopedTimeZone zone_{test::kCentralEuropeanTime};
};

constexpr const char* kOutlookUid =
    "040000008200E00074C5B7101A82E00800000000B0A5B1F2A7DC010000000000000000100000";

const std::string kOutlook = ics({
    "BEGIN:VCALENDAR",
    "METHOD:PUBLISH",
    "PRODID:Microsoft Exchange Server 2010",
    "VERSION:2.0",
    "X-WR-CALNAME:Calendar",
    "BEGIN:VTIMEZONE",
    "TZID:W. Europe Standard Time",
    "BEGIN:STANDARD",
    "DTSTART:16010101T030000",
    "TZOFFSETFROM:+0200",
    "TZOFFSETTO:+0100",
    "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=10",
    "END:STANDARD",
    "BEGIN:DAYLIGHT",
    "DTSTART:16010101T020000",
    "TZOFFSETFROM:+0100",
    "TZOFFSETTO:+0200",
    "RRULE:FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3",
    "END:DAYLIGHT",
    "END:VTIMEZONE",
    // Every Monday 10 to 11 since 2 March.
    "BEGIN:VEVENT",
    "UID:040000008200E00074C5B7101A82E00800000000B0A5B1F2A7DC010000000000000000100000",
    "SUMMARY:Weekly sync",
    "DTSTART;TZID=W. Europe Standard Time:20260302T100000",
    "DTEND;TZID=W. Europe Standard Time:20260302T110000",
    "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;WKST=MO",
    "CLASS:PUBLIC",
    "PRIORITY:5",
    "TRANSP:OPAQUE",
    "STATUS:CONFIRMED",
    "X-MICROSOFT-CDO-BUSYSTATUS:BUSY",
    "END:VEVENT",
    // ... but not on 23 March ...
    "BEGIN:VEVENT",
    "UID:040000008200E00074C5B7101A82E00800000000B0A5B1F2A7DC010000000000000000100000",
    "RECURRENCE-ID;TZID=W. Europe Standard Time:20260323T100000",
    "SUMMARY:Canceled: Weekly sync",
    "DTSTART;TZID=W. Europe Standard Time:20260323T100000",
    "DTEND;TZID=W. Europe Standard Time:20260323T110000",
    "STATUS:CANCELLED",
    "TRANSP:TRANSPARENT",
    "X-MICROSOFT-CDO-BUSYSTATUS:FREE",
    "END:VEVENT",
    // ... and on 30 March from 2 to 3:30 PM.
    "BEGIN:VEVENT",
    "UID:040000008200E00074C5B7101A82E00800000000B0A5B1F2A7DC010000000000000000100000",
    "RECURRENCE-ID;TZID=W. Europe Standard Time:20260330T100000",
    "SUMMARY:Weekly sync (moved)",
    "DTSTART;TZID=W. Europe Standard Time:20260330T140000",
    "DTEND;TZID=W. Europe Standard Time:20260330T153000",
    "TRANSP:OPAQUE",
    "X-MICROSOFT-CDO-BUSYSTATUS:BUSY",
    "END:VEVENT",
    // Out of office on 18 and 19 March.
    "BEGIN:VEVENT",
    "UID:040000008200E00074C5B7101A82E00800000000C0A5B1F2A7DC010000000000000000100000",
    "SUMMARY:Trade fair",
    "DTSTART;VALUE=DATE:20260318",
    "DTEND;VALUE=DATE:20260320",
    "TRANSP:OPAQUE",
    "X-MICROSOFT-CDO-BUSYSTATUS:OOF",
    "X-MICROSOFT-CDO-ALLDAYEVENT:TRUE",
    "END:VEVENT",
    // Lunch, shown free.
    "BEGIN:VEVENT",
    "UID:040000008200E00074C5B7101A82E00800000000D0A5B1F2A7DC010000000000000000100000",
    "SUMMARY:Lunch",
    "DTSTART;TZID=W. Europe Standard Time:20260317T120000",
    "DTEND;TZID=W. Europe Standard Time:20260317T130000",
    "TRANSP:TRANSPARENT",
    "X-MICROSOFT-CDO-BUSYSTATUS:FREE",
    "END:VEVENT",
    "END:VCALENDAR",
});

TEST_F(CentralEuropeanCalendars,
       OutlooksWeeklyMeetingKeepsItsWallClockTimeAcrossSummerTimeWithItsExceptions) {
    const std::vector<TBusyTime> busy = read(kOutlook);
    const std::string series = std::string(kOutlookUid) + "|";
    const std::vector<TBusyTime> expected = {
        {series + std::to_string(utcTime(2026, 3, 16, 9)), utcTime(2026, 3, 16, 9), utcTime(2026, 3, 16, 10),
         false},
        {std::string("040000008200E00074C5B7101A82E00800000000C0A5B1F2A7DC010000000000000000100000|") +
             std::to_string(localTime(2026, 3, 18)),
         localTime(2026, 3, 18), localTime(2026, 3, 20), true},
        // Moved: its own times, known by its original start (10:00 summer time).
        {series + std::to_string(utcTime(2026, 3, 30, 8)), utcTime(2026, 3, 30, 12),
         utcTime(2026, 3, 30, 13, 30), false},
        // 10:00 in summer time is 8:00 UTC, an hour earlier than in winter.
        {series + std::to_string(utcTime(2026, 4, 6, 8)), utcTime(2026, 4, 6, 8), utcTime(2026, 4, 6, 9),
         false},
    };
    EXPECT_EQ(busy, expected);
}

TEST_F(CentralEuropeanCalendars, GooglesCalendarReadsItsZonesExceptionsAndUtcTimesAndLeavesFreeDaysOut) {
    const std::vector<TBusyTime> busy = read(ics({
        "BEGIN:VCALENDAR",
        "PRODID:-//Google Inc//Google Calendar 70.9054//EN",
        "VERSION:2.0",
        "CALSCALE:GREGORIAN",
        "METHOD:PUBLISH",
        "X-WR-CALNAME:jane.doe@example.com",
        "X-WR-TIMEZONE:Europe/Berlin",
        "BEGIN:VTIMEZONE",
        "TZID:Europe/Berlin",
        "X-LIC-LOCATION:Europe/Berlin",
        "BEGIN:DAYLIGHT",
        "TZOFFSETFROM:+0100",
        "TZOFFSETTO:+0200",
        "TZNAME:CEST",
        "DTSTART:19700329T020000",
        "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU",
        "END:DAYLIGHT",
        "BEGIN:STANDARD",
        "TZOFFSETFROM:+0200",
        "TZOFFSETTO:+0100",
        "TZNAME:CET",
        "DTSTART:19701025T030000",
        "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU",
        "END:STANDARD",
        "END:VTIMEZONE",
        // Thursdays 3 to 4 PM until 9 April, not on 26 March.
        "BEGIN:VEVENT",
        "DTSTART;TZID=Europe/Berlin:20260305T150000",
        "DTEND;TZID=Europe/Berlin:20260305T160000",
        "RRULE:FREQ=WEEKLY;WKST=MO;UNTIL=20260409T130000Z;BYDAY=TH",
        "EXDATE;TZID=Europe/Berlin:20260326T150000",
        "DTSTAMP:20260301T120000Z",
        "UID:7kukuqrfedlbmnhnaq3e4r2k8c@google.com",
        "CREATED:20260301T115900Z",
        "SEQUENCE:2",
        "STATUS:CONFIRMED",
        "SUMMARY:Design review",
        "TRANSP:OPAQUE",
        "END:VEVENT",
        // Once, in UTC.
        "BEGIN:VEVENT",
        "DTSTART:20260317T080000Z",
        "DTEND:20260317T083000Z",
        "DTSTAMP:20260301T120000Z",
        "UID:0d3kqb3pu2ktj5a6m0n8kq3c1v@google.com",
        "SUMMARY:Call",
        "TRANSP:OPAQUE",
        "END:VEVENT",
        // A whole day shown free.
        "BEGIN:VEVENT",
        "DTSTART;VALUE=DATE:20260320",
        "DTEND;VALUE=DATE:20260321",
        "DTSTAMP:20260301T120000Z",
        "UID:birthday_jane@google.com",
        "SUMMARY:Birthday",
        "TRANSP:TRANSPARENT",
        "END:VEVENT",
        // In a zone the file does not define: the system's zone of that name.
        "BEGIN:VEVENT",
        "DTSTART;TZID=America/New_York:20260324T090000",
        "DTEND;TZID=America/New_York:20260324T100000",
        "DTSTAMP:20260301T120000Z",
        "UID:5h7ffkl1bq9nt6ps3tnj1ol2hq@google.com",
        "SUMMARY:Call with New York",
        "END:VEVENT",
        "END:VCALENDAR",
    }));
    const std::string series = "7kukuqrfedlbmnhnaq3e4r2k8c@google.com|";
    const std::vector<TBusyTime> expected = {
        {"0d3kqb3pu2ktj5a6m0n8kq3c1v@google.com|" + std::to_string(utcTime(2026, 3, 17, 8)),
         utcTime(2026, 3, 17, 8), utcTime(2026, 3, 17, 8, 30), false},
        {series + std::to_string(utcTime(2026, 3, 19, 14)), utcTime(2026, 3, 19, 14),
         utcTime(2026, 3, 19, 15), false},
        {"5h7ffkl1bq9nt6ps3tnj1ol2hq@google.com|" + std::to_string(utcTime(2026, 3, 24, 13)),
         utcTime(2026, 3, 24, 13), utcTime(2026, 3, 24, 14), false},
        {series + std::to_string(utcTime(2026, 4, 2, 13)), utcTime(2026, 4, 2, 13), utcTime(2026, 4, 2, 14),
         false},
    };
    EXPECT_EQ(busy, expected);
}

TEST_F(CentralEuropeanCalendars, FreeBusyPeriodsThatAreNotFreeAreBusyAndUnavailableIsOutOfOffice) {
    const std::vector<TBusyTime> busy = read(ics({
        "BEGIN:VCALENDAR",
        "VERSION:2.0",
        "PRODID:-//Example//Free busy//EN",
        "BEGIN:VFREEBUSY",
        "DTSTART:20260316T000000Z",
        "DTEND:20260406T000000Z",
        "FREEBUSY;FBTYPE=BUSY:20260317T090000Z/20260317T100000Z,20260318T090000Z/PT30M",
        "FREEBUSY;FBTYPE=FREE:20260319T090000Z/20260319T100000Z",
        "FREEBUSY;FBTYPE=BUSY-UNAVAILABLE:20260320T000000Z/20260321T000000Z",
        "END:VFREEBUSY",
        "END:VCALENDAR",
    }));
    ASSERT_EQ(busy.size(), 3u);
    EXPECT_EQ(busy[0].start, utcTime(2026, 3, 17, 9));
    EXPECT_EQ(busy[0].end, utcTime(2026, 3, 17, 10));
    EXPECT_EQ(busy[1].start, utcTime(2026, 3, 18, 9));
    EXPECT_EQ(busy[1].end, utcTime(2026, 3, 18, 9, 30));
    EXPECT_FALSE(busy[1].outOfOffice);
    EXPECT_EQ(busy[2].start, utcTime(2026, 3, 20, 0));
    EXPECT_TRUE(busy[2].outOfOffice);
}

TEST_F(CentralEuropeanCalendars, WhatIsNoCalendarIsRefusedAndARuleWithoutEndCostsLittle) {
    for (const std::string& text :
         {std::string(), std::string("<html><body>Sign in</body></html>"),
          kOutlook.substr(0, kOutlook.size() / 2), std::string("BEGIN:VCALENDAR\r\n")}) {
        EXPECT_THROW(read(text), TCalendarError) << text.substr(0, 40);
    }
    // A rule for every second since 1970: read in a moment, within the cap.
    const auto started = std::chrono::steady_clock::now();
    const std::vector<TBusyTime> busy = read(ics({
        "BEGIN:VCALENDAR",
        "VERSION:2.0",
        "BEGIN:VEVENT",
        "UID:flood",
        "DTSTART:19700101T000000Z",
        "DURATION:PT1S",
        "RRULE:FREQ=SECONDLY",
        "END:VEVENT",
        "END:VCALENDAR",
    }));
    EXPECT_LE(busy.size(), kMostBusyTimes);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
}  // namespace zv::calendar
