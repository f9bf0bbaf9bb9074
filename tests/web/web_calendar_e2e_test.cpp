// The accounts' calendars, against zelvorad and a small web server of the
// test's own: an Outlook-style and a Google-style calendar become the right
// absences (a weekly meeting across a change to summer time, a cancelled
// occurrence, an out-of-office event, a free event left out), follow an
// edit of the file, and come onto the board at their start; calendars that
// cannot be had leave the board as it was, with one message each.

#include <set>

#include "calendar_server.h"
#include "schedule_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

// The UTC day `days` after today at hh:mm:ss, as an iCalendar text (with
// "Z", or without it for a time in a zone) and as a moment.
struct TDay {
    int days;
    std::tm at(int hour, int minute = 0) const {
        // Today as it was when the tests began, so that midnight passing
        // during a test moves no day.
        static const std::time_t today = wallClock();
        std::time_t t = today + days * 86400;
        std::tm parts{};
        ::gmtime_r(&t, &parts);
        parts.tm_hour = hour;
        parts.tm_min = minute;
        parts.tm_sec = 0;
        return parts;
    }
    std::string text(int hour, int minute = 0, bool utc = true) const {
        std::tm parts = at(hour, minute);
        char out[32];
        std::strftime(out, sizeof out, utc ? "%Y%m%dT%H%M%SZ" : "%Y%m%dT%H%M%S", &parts);
        return out;
    }
    std::string date() const { return text(0).substr(0, 8); }
    // Its day of the week as a rule names it ("MO").
    std::string weekday() const {
        static constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
        return kDays[at(12).tm_wday];
    }
    std::time_t moment(int hour, int minute = 0) const {
        std::tm parts = at(hour, minute);
        return ::timegm(&parts);
    }
    // Local midnight of the day, where this computer's whole days begin.
    std::time_t localMidnight() const {
        std::tm parts = at(12);
        parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    }
};

std::string ics(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// Outlook's calendar of Jane, in a zone of its own that goes to summer time
// (+0200 from +0100) in three days, at 2:00.
std::string outlookCalendar() {
    const TDay tomorrow{1}, change{3}, firstWeek{1 - 14}, fair{4}, fairEnd{6};
    const std::string zone = "W. Europe Standard Time";
    const std::string tz = "TZID=" + zone + ":";
    const std::string uid = "040000008200E00074C5B7101A82E00800000000B0A5B1F2A7DC010000000000000000100000";
    const std::string standup =
        "040000008200E00074C5B7101A82E00800000000E0A5B1F2A7DC010000000000000000100000";
    return ics({
        "BEGIN:VCALENDAR",
        "METHOD:PUBLISH",
        "PRODID:Microsoft Exchange Server 2010",
        "VERSION:2.0",
        "BEGIN:VTIMEZONE",
        "TZID:" + zone,
        "BEGIN:STANDARD",
        "DTSTART:19700101T000000",
        "TZOFFSETFROM:+0100",
        "TZOFFSETTO:+0100",
        "END:STANDARD",
        "BEGIN:DAYLIGHT",
        "DTSTART:" + change.text(2, 0, false),
        "TZOFFSETFROM:+0100",
        "TZOFFSETTO:+0200",
        "END:DAYLIGHT",
        "END:VTIMEZONE",
        // Twice a week, 10 to 11 on the wall clock: tomorrow, and in five
        // days in summer time.
        "BEGIN:VEVENT",
        "UID:" + uid,
        "SUMMARY:Weekly sync",
        "DTSTART;" + tz + firstWeek.text(10, 0, false),
        "DTEND;" + tz + firstWeek.text(11, 0, false),
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=" + tomorrow.weekday() + "," + TDay{5}.weekday(),
        "TRANSP:OPAQUE",
        "X-MICROSOFT-CDO-BUSYSTATUS:BUSY",
        "END:VEVENT",
        // A stand-up on three days, the second cancelled.
        "BEGIN:VEVENT",
        "UID:" + standup,
        "SUMMARY:Stand-up",
        "DTSTART;" + tz + tomorrow.text(9, 0, false),
        "DTEND;" + tz + tomorrow.text(9, 15, false),
        "RRULE:FREQ=DAILY;COUNT=3",
        "X-MICROSOFT-CDO-BUSYSTATUS:BUSY",
        "END:VEVENT",
        "BEGIN:VEVENT",
        "UID:" + standup,
        "RECURRENCE-ID;" + tz + TDay{2}.text(9, 0, false),
        "SUMMARY:Canceled: Stand-up",
        "DTSTART;" + tz + TDay{2}.text(9, 0, false),
        "DTEND;" + tz + TDay{2}.text(9, 15, false),
        "STATUS:CANCELLED",
        "X-MICROSOFT-CDO-BUSYSTATUS:FREE",
        "END:VEVENT",
        // A trade fair, out of office, two whole days.
        "BEGIN:VEVENT",
        "UID:trade-fair-2026",
        "SUMMARY:Trade fair",
        "DTSTART;VALUE=DATE:" + fair.date(),
        "DTEND;VALUE=DATE:" + fairEnd.date(),
        "X-MICROSOFT-CDO-BUSYSTATUS:OOF",
        "END:VEVENT",
        // Lunch, shown free.
        "BEGIN:VEVENT",
        "UID:lunch",
        "SUMMARY:Lunch",
        "DTSTART;" + tz + tomorrow.text(12, 0, false),
        "DTEND;" + tz + tomorrow.text(13, 0, false),
        "TRANSP:TRANSPARENT",
        "X-MICROSOFT-CDO-BUSYSTATUS:FREE",
        "END:VEVENT",
        "END:VCALENDAR",
    });
}

// Google's calendar of Rick, in UTC: a call starting in a few seconds, and a
// daily review with a day left out (EXDATE); `edited` leaves out one more
// and adds a workshop.
std::string googleCalendar(std::time_t callAt, bool edited) {
    char call[2][32];
    for (int i = 0; i < 2; ++i) {
        const std::time_t t = callAt + i * 3600;
        std::tm parts{};
        ::gmtime_r(&t, &parts);
        std::strftime(call[i], sizeof call[i], "%Y%m%dT%H%M%SZ", &parts);
    }
    std::vector<std::string> lines = {
        "BEGIN:VCALENDAR",
        "PRODID:-//Google Inc//Google Calendar 70.9054//EN",
        "VERSION:2.0",
        "CALSCALE:GREGORIAN",
        "METHOD:PUBLISH",
        "X-WR-CALNAME:rick.roe@example.com",
        "X-WR-TIMEZONE:UTC",
        "BEGIN:VEVENT",
        std::string("DTSTART:") + call[0],
        std::string("DTEND:") + call[1],
        "DTSTAMP:20260101T000000Z",
        "UID:0d3kqb3pu2ktj5a6m0n8kq3c1v@google.com",
        "SUMMARY:Call",
        "END:VEVENT",
        "BEGIN:VEVENT",
        "DTSTART:" + TDay{1}.text(14),
        "DTEND:" + TDay{1}.text(15),
        "RRULE:FREQ=DAILY;COUNT=4",
        "EXDATE:" + TDay{2}.text(14),
        "DTSTAMP:20260101T000000Z",
        "UID:7kukuqrfedlbmnhnaq3e4r2k8c@google.com",
        "SUMMARY:Review",
        "TRANSP:OPAQUE",
        "END:VEVENT",
    };
    if (edited) {
        lines.insert(lines.end() - 3, "EXDATE:" + TDay{3}.text(14));
        lines.insert(lines.end(), {"BEGIN:VEVENT", "DTSTART:" + TDay{6}.text(10), "DTEND:" + TDay{6}.text(11),
                                   "DTSTAMP:20260101T000000Z", "UID:workshop@google.com", "SUMMARY:Workshop",
                                   "END:VEVENT"});
    }
    lines.push_back("END:VCALENDAR");
    return ics(lines);
}

// The absences as (employee, from, until, status), and their ids.
using TAbsence = std::tuple<std::string, std::time_t, std::time_t, std::string>;

std::set<TAbsence> absencesOf(HttpClient& admin, std::map<TAbsence, std::uint64_t>* ids = nullptr) {
    std::set<TAbsence> out;
    const json body = bodyOf(admin.get("/api/admin/absences"));
    for (const json& a : body["absences"]) {
        const TAbsence absence{a["employee"], a["from"].get<std::time_t>(), a["until"].get<std::time_t>(),
                               a["status"]};
        EXPECT_TRUE(a["fromCalendar"]);
        EXPECT_EQ(a["plannedBy"], "the calendar");
        out.insert(absence);
        if (ids) (*ids)[absence] = a["id"].get<std::uint64_t>();
    }
    return out;
}

// Waits until no calendar is being read, then the calendars as listed.
json calendarsRead(HttpClient& admin) {
    json calendars;
    EXPECT_TRUE(eventually(
        [&] {
            calendars = bodyOf(admin.get("/api/admin/calendars"))["calendars"];
            for (const json& c : calendars) {
                if (c["reading"]) return false;
            }
            return true;
        },
        std::chrono::seconds(30)));
    return calendars;
}

void setCalendar(HttpClient& admin, const std::string& employee, const std::string& address) {
    const HttpResponse set = admin.request("PUT", "/api/admin/calendars",
                                           json{{"employee", employee}, {"address", address}}.dump());
    ASSERT_EQ(set.status, 200) << set.body;
}

std::string described(const std::set<TAbsence>& absences) {
    std::string text;
    for (const auto& [employee, from, until, status] : absences) {
        text += "\n  " + employee + " " + datetime::utcStampText(from) + " to " +
                datetime::utcStampText(until) + " " + status;
    }
    return text;
}

TEST(WebCalendars, OutlookAndGoogleCalendarsBecomeTheRightAbsencesFollowAnEditAndComeOntoTheBoard) {
    test::CalendarServer web;
    auto server = startServer({inEntry("Doe,Jane"), inEntry("Roe,Rick")});
    auto admin = administrator(*server);
    auto rick = signedIn(*server, "Roe,Rick", "pw");
    const std::time_t callAt = wallClock() + 8;
    web.serve("jane.ics", outlookCalendar());
    web.serve("rick.ics", googleCalendar(callAt, false));

    // The hosts allowed first, as a new administrator would.
    ASSERT_EQ(admin->request("PUT", "/api/admin/calendar-hosts", R"({"allowedHosts":"127.0.0.1"})").status,
              200);
    EXPECT_EQ(
        admin->request("PUT", "/api/admin/calendars", R"({"employee":"Doe,Jane","address":"ftp://x/y.ics"})")
            .status,
        422);
    setCalendar(*admin, "Doe,Jane", web.address("jane.ics"));
    setCalendar(*admin, "Roe,Rick", web.address("rick.ics"));

    const std::string meeting = "In a meeting";
    std::set<TAbsence> expected = {
        // 10:00 at +0100, then at +0200 once summer time began: an hour
        // earlier in UTC.
        {"Doe,Jane", TDay{1}.moment(9), TDay{1}.moment(10), meeting},
        {"Doe,Jane", TDay{5}.moment(8), TDay{5}.moment(9), meeting},
        // The stand-up: not on the day it was cancelled; the third in summer time.
        {"Doe,Jane", TDay{1}.moment(8), TDay{1}.moment(8, 15), meeting},
        {"Doe,Jane", TDay{3}.moment(7), TDay{3}.moment(7, 15), meeting},
        {"Doe,Jane", TDay{4}.localMidnight(), TDay{6}.localMidnight(), "Out of office"},
        {"Roe,Rick", callAt, callAt + 3600, meeting},
        {"Roe,Rick", TDay{1}.moment(14), TDay{1}.moment(15), meeting},
        {"Roe,Rick", TDay{3}.moment(14), TDay{3}.moment(15), meeting},
        {"Roe,Rick", TDay{4}.moment(14), TDay{4}.moment(15), meeting},
    };
    ASSERT_TRUE(eventually([&] { return absencesOf(*admin) == expected; })) << described(absencesOf(*admin));

    // The call comes onto the board at its start, returning at its end.
    ASSERT_TRUE(eventually(
        [&] { return boardEntry(records(*server, RecordKind::Board), "Roe,Rick")[b::Status] == meeting; }));
    EXPECT_GE(wallClock(), callAt);
    EXPECT_EQ(boardEntry(records(*server, RecordKind::Board), "Roe,Rick")[b::Returning],
              returningText(callAt + 3600));
    EXPECT_TRUE(eventually([&] { return boardRow(*rick, "Roe,Rick")["status"] == meeting; }));

    // Rick's file is edited: the next reading follows it, and what stayed
    // is the same absence as before.
    std::map<TAbsence, std::uint64_t> before;
    absencesOf(*admin, &before);
    web.serve("rick.ics", googleCalendar(callAt, true));
    EXPECT_EQ(admin->request("POST", "/api/admin/calendars/read", R"({"employee":"Roe,Rick"})").status, 202);
    expected.erase({"Roe,Rick", TDay{3}.moment(14), TDay{3}.moment(15), meeting});
    expected.insert({"Roe,Rick", TDay{6}.moment(10), TDay{6}.moment(11), meeting});
    ASSERT_TRUE(eventually([&] { return absencesOf(*admin) == expected; })) << described(absencesOf(*admin));
    std::map<TAbsence, std::uint64_t> after;
    absencesOf(*admin, &after);
    for (const auto& [absence, id] : before) {
        if (after.count(absence)) {
            EXPECT_EQ(after[absence], id) << std::get<0>(absence);
        }
    }
    EXPECT_EQ(boardEntry(records(*server, RecordKind::Board), "Roe,Rick")[b::Status], meeting);

    // Each account's line: read, nothing wrong; the record lines name the
    // host, never the address (its path is often a secret).
    const json calendars = calendarsRead(*admin);
    ASSERT_EQ(calendars.size(), 2u);
    for (const json& c : calendars) {
        EXPECT_EQ(c["note"], "") << c;
        EXPECT_TRUE(c["lastRead"].is_number()) << c;
    }
    const std::string lines = server->stderrText();
    EXPECT_NE(lines.find("set the calendar of \"Doe,Jane\" to one at 127.0.0.1"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("jane.ics"), std::string::npos) << lines;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebCalendars, CalendarsThatCannotBeHadLeaveTheBoardAsItWasWithOneMessageEach) {
    test::CalendarServer web;
    auto server = startServer({inEntry("Ames,Ann"), inEntry("Bell,Bob"), inEntry("Cole,Cy"),
                               inEntry("Dunn,Di"), inEntry("Earl,Ed")});
    auto admin = administrator(*server);
    ASSERT_EQ(admin->request("PUT", "/api/admin/calendar-hosts", R"({"allowedHosts":"127.0.0.1"})").status,
              200);
    // Di's calendar reads well first: what it gives stays when it breaks.
    web.serve("di.ics", googleCalendar(wallClock() + 7 * 86400, false));
    setCalendar(*admin, "Dunn,Di", web.address("di.ics"));
    ASSERT_TRUE(eventually([&] { return absencesOf(*admin).size() == 4; }));
    const std::set<TAbsence> kept = absencesOf(*admin);
    const auto boardBefore = records(*server, RecordKind::Board);

    web.serve("di.ics", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:cut");  // cut short
    web.serve("ed.html", "<html><body>Please sign in</body></html>");
    setCalendar(*admin, "Ames,Ann", "http://localhost:" + std::to_string(web.port()) + "/ann.ics");
    setCalendar(*admin, "Bell,Bob", web.address("huge"));
    setCalendar(*admin, "Cole,Cy", web.address("silent"));
    setCalendar(*admin, "Earl,Ed", web.address("ed.html"));
    EXPECT_EQ(admin->request("POST", "/api/admin/calendars/read", R"({"employee":"Dunn,Di"})").status, 202);

    const std::map<std::string, std::string> why = {
        {"Ames,Ann", "the host localhost is not among [Calendars] AllowedHosts"},
        {"Bell,Bob", "the answer is larger than 5 MB"},
        {"Cole,Cy", "no answer within 10 seconds"},
        {"Dunn,Di", "the calendar is cut short (no END:VCALENDAR)"},
        {"Earl,Ed", "the answer is no iCalendar file (no BEGIN:VCALENDAR)"},
    };
    const auto notesAre = [&](const json& calendars) {
        std::map<std::string, std::string> notes;
        for (const json& c : calendars) notes[c["employee"]] = c["note"];
        return notes == why;
    };
    ASSERT_TRUE(eventually([&] { return notesAre(calendarsRead(*admin)); }, std::chrono::seconds(40)))
        << bodyOf(admin->get("/api/admin/calendars")).dump(1);

    // Read again, failing again the same way: no second message.
    EXPECT_EQ(admin->request("POST", "/api/admin/calendars/read", "{}").status, 202);
    EXPECT_TRUE(notesAre(calendarsRead(*admin)));
    const std::string lines = server->stderrText();
    for (const auto& [employee, reason] : why) {
        std::size_t count = 0;
        for (std::size_t at = lines.find(reason); at != std::string::npos; at = lines.find(reason, at + 1))
            ++count;
        EXPECT_EQ(count, 1u) << employee << ": " << lines;
    }
    EXPECT_EQ(absencesOf(*admin), kept);
    EXPECT_EQ(records(*server, RecordKind::Board), boardBefore);
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
