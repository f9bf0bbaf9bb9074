// The office's absences as a calendar feed, against zelvorad, read as a
// calendar program reads it (Python's icalendar): exactly the absences
// planned ahead and the "Out" entries with a readable returning time, of
// the office or of one department; nothing else of the board; no sign-in;
// a wrong or replaced secret leads nowhere.

#include <cstdio>
#include <set>

#include "schedule_e2e_support.h"
#include "temp_dir.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

struct TEvent {
    std::string summary, description;
    std::time_t start = 0, end = 0;
    auto operator<=>(const TEvent&) const = default;
};

// The events of an iCalendar text as Python's icalendar reads them (Debian's
// python3-icalendar, so Debian's python3); throws
// when it cannot read the text.
std::set<TEvent> readByIcalendar(const std::string& text) {
    test::TempDir folder("zv-feed");
    const std::string path = folder.file("feed.ics");
    test::writeFile(path, text);
    const std::string script =
        "import icalendar, json, sys\n"
        "calendar = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
        "for e in calendar.walk('VEVENT'):\n"
        "    print(json.dumps({'summary': str(e.get('summary')), 'description': str(e.get('description', "
        "'')),\n"
        "        'start': int(e.decoded('dtstart').timestamp()), 'end': "
        "int(e.decoded('dtend').timestamp()),\n"
        "        'uid': str(e.get('uid'))}))\n";
    test::writeFile(folder.file("read.py"), script);
    FILE* out = ::popen(("/usr/bin/python3 '" + folder.file("read.py") + "' '" + path + "' 2>&1").c_str(), "r");
    if (!out) throw std::runtime_error("python3 cannot be started");
    std::string lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, out)) lines += buffer;
    if (::pclose(out) != 0) throw std::runtime_error("icalendar cannot read the feed: " + lines);
    std::set<TEvent> events;
    std::istringstream in(lines);
    std::set<std::string> uids;
    for (std::string line; std::getline(in, line);) {
        const json e = json::parse(line);
        events.insert(
            {e["summary"], e["description"], e["start"].get<std::time_t>(), e["end"].get<std::time_t>()});
        EXPECT_TRUE(uids.insert(e["uid"]).second) << "the same UID twice: " << e["uid"];
    }
    return events;
}

TEST(WebFeed, TheOfficesAbsencesAreACalendarThatCalendarProgramsReadWithoutASignIn) {
    const std::time_t now = wallClock();
    Fields rick = test::boardRecord("Roe,Rick", "secret-pw", "Support", "Out");
    rick[b::Returning] = returningText(now + 2 * 3600);
    rick[b::StatusChanged] = datetime::dateTimeText(now - 3600);
    rick[b::Comments] = "Client visit";
    rick[b::ReachedAt] = "Cell 555-0199";
    rick[b::EMail] = "rick@example.com";
    Fields ed = test::boardRecord("Poe,Ed", "pw", "Sales", "Out");
    ed[b::Returning] = "after lunch";  // no time to read: in no calendar
    auto server = startServer({inEntry("Doe,Jane"), rick, ed, inEntry("Lee,Kim", "Support")});
    auto admin = administrator(*server);
    ASSERT_EQ(admin->request("POST", "/api/admin/departments", R"({"name":"Sales"})").status, 201);
    ASSERT_EQ(admin->request("POST", "/api/admin/departments", R"({"name":"Support"})").status, 201);

    // Jane plans the dentist; the administrator plans Kim's leave.
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    const std::time_t dentist = now + 86400;
    ASSERT_EQ(jane->request("POST", "/api/my-absences",
                            json{{"from", dentist},
                                 {"until", dentist + 7200},
                                 {"status", "At the dentist"},
                                 {"reachedAt", "Cell 555-1000"},
                                 {"comments", "Back by 4"}}
                                .dump())
                  .status,
              201);
    const std::time_t leave = now + 2 * 86400;
    ASSERT_EQ(
        admin
            ->request(
                "POST", "/api/admin/absences",
                json{{"employee", "Lee,Kim"}, {"from", leave}, {"until", nullptr}, {"status", "On leave"}}
                    .dump())
            .status,
        201);

    // A feed of the office and one of Support.
    HttpResponse made = admin->request("POST", "/api/admin/feeds", R"({"department":""})");
    ASSERT_EQ(made.status, 201) << made.body;
    made = admin->request("POST", "/api/admin/feeds", R"({"department":"Support"})");
    ASSERT_EQ(made.status, 201) << made.body;
    EXPECT_EQ(admin->request("POST", "/api/admin/feeds", R"({"department":"Nowhere"})").status, 422);
    std::map<std::string, std::string> paths;
    const json feeds = bodyOf(made)["feeds"];
    for (const json& feed : feeds) paths[feed["department"]] = feed["path"];
    ASSERT_EQ(paths.size(), 2u);

    // Read without a sign-in, as a calendar program reads it.
    HttpClient subscriber(server->webPort());
    const HttpResponse office = subscriber.get(paths[""]);
    ASSERT_EQ(office.status, 200) << office.body;
    EXPECT_EQ(office.header("Content-Type"), "text/calendar; charset=utf-8");
    const TEvent janeAway{"Jane Doe: At the dentist", "Back by 4", dentist, dentist + 7200};
    const TEvent kimAway{"Kim Lee: On leave (until further notice)", "", leave, leave + 86400};
    const TEvent rickOut{"Rick Roe: Out", "Client visit", now - 3600, now + 2 * 3600};
    EXPECT_EQ(readByIcalendar(office.body), (std::set<TEvent>{janeAway, kimAway, rickOut}));
    for (const char* privateText : {"secret-pw", "555-", "rick@example.com", "Poe", "Cell"}) {
        EXPECT_EQ(office.body.find(privateText), std::string::npos) << privateText;
    }
    EXPECT_EQ(readByIcalendar(subscriber.get(paths["Support"]).body), (std::set<TEvent>{kimAway, rickOut}));

    // A wrong secret is any unknown path; a new secret ends the old one.
    const HttpResponse wrong = subscriber.get("/calendar/" + std::string(64, 'a') + ".ics");
    const HttpResponse nothing = subscriber.get("/nothing-here");
    EXPECT_EQ(wrong.status, 404);
    EXPECT_EQ(bodyOf(wrong)["error"].get<std::string>().substr(0, 20),
              bodyOf(nothing)["error"].get<std::string>().substr(0, 20));
    made = admin->request("POST", "/api/admin/feeds", R"({"department":""})");
    ASSERT_EQ(made.status, 201);
    std::string fresh;
    const json renewed = bodyOf(made)["feeds"];
    for (const json& feed : renewed) {
        if (feed["department"] == "") fresh = feed["path"];
    }
    EXPECT_NE(fresh, paths[""]);
    EXPECT_EQ(subscriber.get(paths[""]).status, 404);
    EXPECT_EQ(subscriber.get(fresh).status, 200);
    ASSERT_EQ(admin->request("DELETE", "/api/admin/feeds", R"({"department":"Support"})").status, 200);
    EXPECT_EQ(subscriber.get(paths["Support"]).status, 404);

    const std::string lines = server->stderrText();
    EXPECT_NE(lines.find("made the calendar feed of department \"Support\""), std::string::npos) << lines;
    EXPECT_NE(lines.find("gave a new address to the calendar feed of the office"), std::string::npos)
        << lines;
    EXPECT_EQ(lines.find(fresh.substr(10, 64)), std::string::npos) << "a secret in the record lines";
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
