// Running the office from a browser, against a running zelvorad: the
// administrator's first-run set-up and sign-in, departments and accounts
// with the window's own refusals, the phonebook, the status log with its
// filters, CSV and printout, the options, two administrators at once, the
// end-of-day punch-out, and "--set-admin-password".

#include <signal.h>

#include <ctime>
#include <fstream>
#include <thread>

#include "local_time.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

// A server with the HTTP side on; `board` becomes "wiwo.dat" unless empty
// (then the data folder stays empty, as on a first start).
std::unique_ptr<ServerProcess> startEmptyOr(const std::vector<Fields>& board,
                                            std::map<std::string, std::string> options = {}) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH, std::move(options));
    server->enableWeb();
    if (!board.empty()) test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, board);
    server->start();
    return server;
}

std::string errorOf(const HttpResponse& response) {
    const json body = bodyOf(response);
    return body.contains("error") ? body["error"].get<std::string>() : response.body;
}

std::string iniOf(const ServerProcess& server) { return test::readFile(server.iniPath()); }

// Local time `seconds` from now as "H:MM:SS".
std::string timeOfDayIn(int seconds) { return test::localText(std::time(nullptr) + seconds, "%H:%M:%S"); }

std::string isoDay(std::time_t at) { return test::localText(at, "%F"); }

TEST(WebAdmin, FirstRunSetUpIsForThisComputerOnlyAndKeepsOnlyTheHash) {
    auto server = startEmptyOr({});
    HttpClient browser(server->webPort());
    const json state = bodyOf(browser.get("/api/admin/state"));
    EXPECT_EQ(state, (json{{"passwordSet", false}, {"setUpHere", true}, {"signedIn", false}}));
    EXPECT_EQ(browser.get("/admin").status, 200);

    // From another address of this computer the set-up is refused and the
    // page says where it can be done.
    if (const std::string address = otherLocalAddress(); !address.empty()) {
        HttpClient remote(server->webPort(), address);
        EXPECT_FALSE(bodyOf(remote.get("/api/admin/state"))["setUpHere"].get<bool>());
        const HttpResponse refused = remote.adminSetUp("from-afar");
        EXPECT_EQ(refused.status, 403) << refused.body;
        EXPECT_NE(errorOf(refused).find("server's own computer"), std::string::npos);
        EXPECT_EQ(iniOf(*server).find("AdminPassword"), std::string::npos);
    } else {
        std::cout << "no address other than loopback here: the remote refusal is left to the unit test\n";
    }

    // From here: an empty password is refused, a good one set; only its hash
    // reaches the settings file, and the set-up is made once.
    EXPECT_EQ(browser.adminSetUp("").status, 422);
    const HttpResponse made = browser.adminSetUp(kAdminPassword);
    ASSERT_EQ(made.status, 201) << made.body;
    const std::string cookie = made.header("Set-Cookie");
    EXPECT_NE(cookie.find("zv_admin="), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    EXPECT_NE(iniOf(*server).find("AdminPassword=$argon2id$"), std::string::npos);
    EXPECT_EQ(iniOf(*server).find(kAdminPassword), std::string::npos);
    HttpClient other(server->webPort());
    EXPECT_EQ(other.adminSetUp("another-password").status, 409);
    EXPECT_EQ(bodyOf(browser.get("/api/admin/state"))["signedIn"], true);

    // The administrator's session is no employee's, and the other way round.
    EXPECT_EQ(browser.get("/api/me").status, 401);
    EXPECT_EQ(browser.get("/api/admin/users").status, 200);
    EXPECT_EQ(browser.request("PUT", "/api/admin/options", R"({"smtpHost":"x"})", {{"X-Zelvora-Token", "0"}}).status,
              403);

    // Sign-out and sign-in, refused for a wrong password.
    EXPECT_EQ(browser.request("POST", "/api/admin/sign-out").status, 204);
    EXPECT_EQ(browser.get("/api/admin/users").status, 401);
    const HttpResponse wrong = browser.adminSignIn("office-key");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_EQ(errorOf(wrong), "The password is not right.");
    EXPECT_EQ(browser.adminSignIn(kAdminPassword).status, 200);
    EXPECT_NE(server->stderrText().find("the administrator in a browser at 127.0.0.1: set the administrator's password"),
              std::string::npos);

    // A new password ends every other administrator's session.
    HttpClient second(server->webPort());
    ASSERT_EQ(second.adminSignIn(kAdminPassword).status, 200);
    const std::string iniWithFirstPassword = iniOf(*server);
    const HttpResponse changed = browser.request(
        "PUT", "/api/admin/password", R"({"currentPassword":"office-keys","password":"new-keys-1"})");
    ASSERT_EQ(changed.status, 200) << changed.body;
    EXPECT_EQ(second.get("/api/admin/users").status, 401);
    EXPECT_EQ(browser.get("/api/admin/users").status, 200);

    // A password changed elsewhere (here: the settings file put back and
    // read again; the window's Options go the same way) ends the live
    // streams of the old one at once, and its sessions at their next
    // request, which says why.
    test::EventStream live(server->webPort(), "zv_admin=" + browser.cookies["zv_admin"], "/api/admin/events");
    ASSERT_EQ(live.status(), 200);
    std::ofstream(server->iniPath(), std::ios::trunc) << iniWithFirstPassword;
    ASSERT_EQ(::kill(server->pid(), SIGHUP), 0);
    EXPECT_TRUE(live.endsWithin(std::chrono::seconds(10)));
    const HttpResponse ended = browser.get("/api/admin/users");
    EXPECT_EQ(ended.status, 401);
    EXPECT_NE(errorOf(ended).find("password was changed"), std::string::npos) << ended.body;
    ASSERT_EQ(browser.adminSignIn(kAdminPassword).status, 200);
    ASSERT_EQ(browser.request("PUT", "/api/admin/password", R"({"currentPassword":"office-keys","password":"new-keys-1"})")
                  .status,
              200);

    // "--set-admin-password" is refused while the server runs with the
    // file, and sets it once the server has stopped.
    server->setArguments({"--set-admin-password"});
    std::string said;
    EXPECT_EQ(server->runSecondCopy(&said, std::chrono::seconds(20), "typed-keys\n"), 1);
    EXPECT_NE(said.find("is running with the settings file"), std::string::npos) << said;
    EXPECT_EQ(server->stop(), 0);
    EXPECT_EQ(server->runSecondCopy(&said, std::chrono::seconds(20), "\n"), 1) << "empty";
    EXPECT_NE(said.find("must not be empty"), std::string::npos) << said;
    EXPECT_EQ(server->runSecondCopy(&said, std::chrono::seconds(20), "typed-keys\n"), 0) << said;
    server->setArguments({});
    server->start();
    HttpClient later(server->webPort());
    EXPECT_EQ(later.adminSignIn("new-keys-1").status, 401);
    EXPECT_EQ(later.adminSignIn("typed-keys").status, 200);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebAdmin, DepartmentsAndAccountsAreMadeWithTheWindowsRulesSavedAtOnceAndUsedByClients) {
    auto server = startEmptyOr({});
    auto admin = administrator(*server);
    auto post = [&](const char* path, const json& body) { return admin->request("POST", path, body.dump()); };

    // Departments: the refusals of Department Maintenance, then saved at once.
    EXPECT_EQ(errorOf(post("/api/admin/departments", {{"name", ""}})), "Department is required.");
    ASSERT_EQ(post("/api/admin/departments", {{"name", "Sales"}}).status, 201);
    EXPECT_EQ(records(*server, RecordKind::Department), (std::vector<Fields>{{"Sales"}}));
    const HttpResponse twice = post("/api/admin/departments", {{"name", "Sales"}});
    EXPECT_EQ(twice.status, 422);
    EXPECT_EQ(errorOf(twice), "Department \"Sales\" already exists.");
    EXPECT_EQ(post("/api/admin/departments", {{"name", "Support"}}).status, 201);

    // Accounts: the refusals of Account Maintenance in its order, each
    // naming its field.
    const json jane = {{"lastName", "Doe"}, {"firstName", "Jane"}, {"password", "pw"}, {"department", "Sales"}};
    for (const auto& [missing, message] : std::vector<std::pair<std::string, std::string>>{
             {"lastName", "Last Name is required."},
             {"firstName", "First Name is required."},
             {"password", "Password is required."},
             {"department", "Department is required."}}) {
        json body = jane;
        body[missing] = "";
        const HttpResponse refused = post("/api/admin/accounts", body);
        EXPECT_EQ(refused.status, 422);
        EXPECT_EQ(errorOf(refused), message);
        EXPECT_EQ(bodyOf(refused)["field"], missing);
    }
    json nowhere = jane;
    nowhere["department"] = "Nowhere";
    EXPECT_EQ(errorOf(post("/api/admin/accounts", nowhere)), "There is no department \"Nowhere\".");
    json foreign = jane;
    foreign["firstName"] = "Jane\u4e00";
    EXPECT_NE(errorOf(post("/api/admin/accounts", foreign)).find("\"First Name\""), std::string::npos);
    EXPECT_TRUE(records(*server, RecordKind::Board).empty());

    const HttpResponse made = post("/api/admin/accounts", jane);
    ASSERT_EQ(made.status, 201) << made.body;
    EXPECT_EQ(bodyOf(made)["message"], "New User \"Doe,Jane\" has been added to Department \"Sales\".");
    EXPECT_EQ(errorOf(post("/api/admin/accounts", jane)), "User \"Doe,Jane\" already exists.");
    const Fields stored = records(*server, RecordKind::Board).at(0);
    EXPECT_EQ(stored[b::Employee], "Doe,Jane");
    EXPECT_EQ(stored[b::Password], "pw");
    EXPECT_EQ(stored[b::Status], "In");
    EXPECT_EQ(stored[b::EMailNotify], "NO");
    EXPECT_FALSE(stored[b::StatusChanged].empty());
    EXPECT_EQ(stored[b::StatusChanged], stored[b::LastContact]);

    // A client logs in with it; the live user table shows the session.
    test::EventStream users(server->webPort(), "zv_admin=" + admin->cookies["zv_admin"], "/api/admin/events");
    ASSERT_EQ(users.status(), 200);
    users.nextEvent("users");
    TcpClient client(server->port());
    client.send("SUBMIT_LOGIN:FULL:Doe,Jane|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    users.nextEvent("users");
    const json table = bodyOf(admin->get("/api/admin/users"));
    EXPECT_EQ(table["users"], "Users: 1");
    EXPECT_EQ(table["rows"][0]["employee"], "Doe,Jane");
    EXPECT_EQ(table["rows"][0]["activity"], "Updating");
    client.close();
    ASSERT_TRUE(eventually([&] { return bodyOf(admin->get("/api/admin/users"))["rows"][0]["activity"] == "Idle"; }));

    // Removing a department that still has an account is refused.
    const HttpResponse full = admin->request("DELETE", "/api/admin/departments", R"({"name":"Sales"})");
    EXPECT_EQ(full.status, 422);
    EXPECT_EQ(errorOf(full), "Department Sales is not empty.");
    EXPECT_EQ(admin->request("DELETE", "/api/admin/departments", R"({"name":"Nowhere"})").status, 404);
    EXPECT_EQ(admin->request("DELETE", "/api/admin/departments", R"({"name":"Support"})").status, 200);
    EXPECT_EQ(records(*server, RecordKind::Department), (std::vector<Fields>{{"Sales"}}));

    // Modify User: the key follows the names; the client logs in under it.
    const HttpResponse renamed =
        admin->request("PUT", "/api/admin/accounts", R"({"employee":"Doe,Jane","firstName":"Janet","extension":"14"})");
    ASSERT_EQ(renamed.status, 200) << renamed.body;
    EXPECT_EQ(bodyOf(renamed)["employee"], "Doe,Janet");
    EXPECT_EQ(records(*server, RecordKind::Board).at(0)[6], "14");
    EXPECT_NO_THROW(clientLogin(*server, "Doe,Janet", "pw"));
    EXPECT_EQ(admin->request("PUT", "/api/admin/accounts", R"({"employee":"Doe,Janet","department":"Gone"})").status,
              422);
    const json listed = bodyOf(admin->get("/api/admin/accounts"));
    EXPECT_EQ(listed["accounts"][0].count("password"), 0u) << "never sent";
    // The page limits its inputs to the board's slots less their zero byte.
    EXPECT_EQ(listed["inputWidths"]["name"], 63);
    EXPECT_EQ(listed["inputWidths"]["homePhone"], 23);
    EXPECT_EQ(listed["inputWidths"]["cellPhone"], 23);
    EXPECT_EQ(listed["inputWidths"]["email"], 127);
    EXPECT_EQ(listed["inputWidths"]["extension"], 15);
    EXPECT_EQ(listed["inputWidths"].size(), 19u) << "the department's name and the 18 fields of Modify User";

    // Removed, and then named as gone.
    EXPECT_EQ(admin->request("DELETE", "/api/admin/accounts", R"({"employee":"Doe,Janet"})").status, 200);
    EXPECT_TRUE(records(*server, RecordKind::Board).empty());
    const HttpResponse gone = admin->request("DELETE", "/api/admin/accounts", R"({"employee":"Doe,Janet"})");
    EXPECT_EQ(gone.status, 404);
    EXPECT_EQ(errorOf(gone), "User \"Doe,Janet\" no longer exists.");

    // Each change left one line: who, what, which record.
    const std::string said = server->stderrText();
    for (const char* line : {": created department \"Sales\"", ": created account \"Doe,Jane\" in department \"Sales\"",
                             ": changed account \"Doe,Jane\" (now \"Doe,Janet\"): First Name, Extension",
                             ": removed department \"Support\"", ": removed account \"Doe,Janet\""}) {
        EXPECT_NE(said.find(std::string("the administrator in a browser at 127.0.0.1") + line), std::string::npos)
            << line;
    }
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebAdmin, TwoAdministratorsEditingAtOnceKeepEachOthersChangesAndAGoneAccountIsNamed) {
    Fields jane = test::boardRecord("Doe,Jane", "pw", "Sales", "In");
    auto server = startEmptyOr({jane});
    auto first = administrator(*server);
    auto second = administrator(*server);

    // Each sends only the fields it changed, each many times at once; every
    // change re-reads the account, so the last of both stays.
    auto edit = [&](HttpClient& admin, const char* field, int rounds) {
        for (int i = 0; i < rounds; ++i) {
            const json body = {{"employee", "Doe,Jane"}, {field, std::string(field) + "-" + std::to_string(i)}};
            EXPECT_EQ(admin.request("PUT", "/api/admin/accounts", body.dump()).status, 200);
        }
    };
    std::thread a([&] { edit(*first, "workPhone", 20); });
    std::thread b([&] { edit(*second, "email", 20); });
    a.join();
    b.join();
    // Meanwhile a client's own change of its status survives an edit of another field.
    Fields changed = records(*server, RecordKind::Board).at(0);  // what the client got last
    changed[b::Status] = "At lunch";
    clientLogin(*server, "Doe,Jane", "pw", test::recordString(changed));
    EXPECT_EQ(second->request("PUT", "/api/admin/accounts", R"({"employee":"Doe,Jane","pager":"77"})").status, 200);
    const Fields stored = records(*server, RecordKind::Board).at(0);
    EXPECT_EQ(stored[5], "workPhone-19");
    EXPECT_EQ(stored[b::EMail], "email-19");
    EXPECT_EQ(stored[b::Status], "At lunch");
    EXPECT_EQ(stored[15], "77");

    // One removes the account; the other's change is refused, naming it.
    EXPECT_EQ(first->request("DELETE", "/api/admin/accounts", R"({"employee":"Doe,Jane"})").status, 200);
    const HttpResponse late = second->request("PUT", "/api/admin/accounts", R"({"employee":"Doe,Jane","pager":"78"})");
    EXPECT_EQ(late.status, 404);
    EXPECT_EQ(errorOf(late), "User \"Doe,Jane\" no longer exists.");
    EXPECT_TRUE(records(*server, RecordKind::Board).empty());
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebAdmin, PhonebookEntriesAreDeletedOneOrAllAndTheLogIsFilteredPrintedAndExportedAsCsv) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board,
                          {test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "pw", "Support")});
    test::writeRecordFile(server->dataFile("phonebook.dat"), RecordKind::Phone,
                          {{"A. Caller", "Northwind", "555-0199"}, {"B. Caller", "Acme", "555-0100"},
                           {"C. Caller", "Initech", "555-0123"}});
    // Texts a client may store: commas, quotes, a line break, bytes above 127
    // (0xE9 is "é" and 0x80 "€" in the clients' code page); and an entry
    // without an employee, where the printout stops.
    test::writeRecordFile(server->dataFile("log_stat.dat"), RecordKind::Log,
                          {{"Doe,Jane", "Sales", "12/6/26", "9:15:02 AM", "Out", "", "Caf\xe9 \"Nord\"", "Lunch, back at 2"},
                           {"Roe,Rick", "Support", "12/6/26", "9:20:00 AM", "In", "", "", ""},
                           {"", "Sales", "12/6/26", "9:30:00 AM", "In", "", "", ""},
                           {"Doe,Jane", "Sales", "12/6/26", "10:00:00 AM", "Out", "\x80" "5 fee", "", "two\r\nlines"},
                           {"Roe,Rick", "Support", "12/8/26", "8:00:00 AM", "In", "", "", ""}});
    server->start();
    auto admin = administrator(*server);

    // The phonebook in caller order; one entry goes, then all.
    const json book = bodyOf(admin->get("/api/admin/phonebook"))["entries"];
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book[1]["caller"], "B. Caller");
    const std::string id = book[1]["id"];
    EXPECT_EQ(admin->request("DELETE", "/api/admin/phonebook/" + id, "{}").status, 200);
    EXPECT_EQ(records(*server, RecordKind::Phone).size(), 2u);
    EXPECT_EQ(admin->request("DELETE", "/api/admin/phonebook/" + id, "{}").status, 404);
    // Added and edited: in caller order, a caller needed, the field named.
    const HttpResponse noCaller = admin->request("POST", "/api/admin/phonebook", R"({"company":"Acme"})");
    EXPECT_EQ(noCaller.status, 422);
    EXPECT_EQ(bodyOf(noCaller)["field"], "caller");
    const HttpResponse added =
        admin->request("POST", "/api/admin/phonebook", R"({"caller":"D. Caller","company":"Acme","phone":"555-0100"})");
    ASSERT_EQ(added.status, 201);
    const std::string addedId = bodyOf(added)["id"];
    EXPECT_EQ(admin->request("PUT", "/api/admin/phonebook/" + addedId,
                             R"({"caller":"0. Caller","company":"Café Nord","phone":"555-0101"})")
                  .status,
              200);
    EXPECT_EQ(admin->request("PUT", "/api/admin/phonebook/" + addedId, R"({"caller":"E. Caller"})").status, 404);
    const auto phones = records(*server, RecordKind::Phone);
    ASSERT_EQ(phones.size(), 3u);
    EXPECT_EQ(phones[0], (Fields{"0. Caller", "Caf\xe9 Nord", "555-0101"}));
    EXPECT_EQ(bodyOf(admin->get("/api/admin/phonebook"))["inputWidths"]["phone"], 128);
    EXPECT_EQ(admin->request("DELETE", "/api/admin/phonebook", "{}").status, 200);
    EXPECT_TRUE(records(*server, RecordKind::Phone).empty());

    // The log's filters: an employee, a department, none, and the empty
    // employee (the window's filter with no accounts to choose).
    auto shown = [&](const std::string& query) {
        std::vector<std::string> times;
        const json log = bodyOf(admin->get("/api/admin/log" + query));
        for (const json& row : log["rows"]) times.push_back(row["time"]);
        return times;
    };
    // Newest first, as the page shows them.
    EXPECT_EQ(shown(""),
              (std::vector<std::string>{"8:00:00 AM", "10:00:00 AM", "9:30:00 AM", "9:20:00 AM", "9:15:02 AM"}));
    EXPECT_EQ(shown("?employee=Doe%2CJane"), (std::vector<std::string>{"10:00:00 AM", "9:15:02 AM"}));
    EXPECT_EQ(shown("?department=Sales"), (std::vector<std::string>{"10:00:00 AM", "9:30:00 AM", "9:15:02 AM"}));
    EXPECT_EQ(shown("?employee="), (std::vector<std::string>{"9:30:00 AM"}));
    EXPECT_EQ(shown("?employee=Nobody"), (std::vector<std::string>{}));
    // A range of days, both included, with the other filters or alone.
    EXPECT_EQ(shown("?from=2026-12-07"), (std::vector<std::string>{"8:00:00 AM"}));
    EXPECT_EQ(shown("?employee=Roe%2CRick&to=2026-12-06"), (std::vector<std::string>{"9:20:00 AM"}));
    EXPECT_EQ(shown("?from=2026-12-06&to=2026-12-06").size(), 4u);
    EXPECT_EQ(shown("?from=2026-12-09"), (std::vector<std::string>{}));
    const HttpResponse badDay = admin->get("/api/admin/log.csv?from=yesterday");
    EXPECT_EQ(badDay.status, 400);
    EXPECT_EQ(bodyOf(badDay)["field"], "from");
    const json log = bodyOf(admin->get("/api/admin/log?employee=Doe%2CJane"));
    EXPECT_EQ(log["rows"][1]["reachedAt"], "Caf\u00e9 \"Nord\"");
    EXPECT_EQ(log["employees"], (json{"Doe,Jane", "Roe,Rick"}));

    // The printout: the window's lines, up to the first without an employee.
    const json printout = bodyOf(admin->get("/api/admin/log/print"));
    EXPECT_EQ(printout["title"], "Zelvora Status Change Log");
    EXPECT_EQ(printout["printedOn"].get<std::string>().rfind("Printed on ", 0), 0u);
    EXPECT_EQ(printout["lines"], (json{"Doe,Jane, Sales, 12/6/26, 9:15:02 AM, Out, Caf\u00e9 \"Nord\", Lunch, back at 2",
                                       "Roe,Rick, Support, 12/6/26, 9:20:00 AM, In"}));

    // CSV: RFC 4180, UTF-8, the header row and the same filter.
    const HttpResponse csv = admin->get("/api/admin/log.csv?employee=Doe%2CJane");
    ASSERT_EQ(csv.status, 200);
    EXPECT_EQ(csv.header("Content-Type"), "text/csv; charset=utf-8; header=present");
    EXPECT_EQ(csv.header("Content-Disposition"), "attachment; filename=\"status-change-log.csv\"");
    EXPECT_EQ(
        csv.body,
        "\xEF\xBB\xBF"
        "Employee,Department,Date,Time,Status,Returning,ReachedAt,Comments\r\n"
        "\"Doe,Jane\",Sales,12/6/26,9:15:02 AM,Out,,\"Caf\xc3\xa9 \"\"Nord\"\"\",\"Lunch, back at 2\"\r\n"
        "\"Doe,Jane\",Sales,12/6/26,10:00:00 AM,Out,\xe2\x82\xac"
        "5 fee,,\"two\r\nlines\"\r\n");
    EXPECT_EQ(admin->get("/api/admin/log.csv?from=2026-12-08&to=2026-12-31").body,
              "\xEF\xBB\xBF"
              "Employee,Department,Date,Time,Status,Returning,ReachedAt,Comments\r\n"
              "\"Roe,Rick\",Support,12/8/26,8:00:00 AM,In,,,\r\n");
    EXPECT_EQ(admin->get("/api/admin/log.csv?department=Nowhere").body,
              "\xEF\xBB\xBF"
              "Employee,Department,Date,Time,Status,Returning,ReachedAt,Comments\r\n");
    HttpClient stranger(server->webPort());
    EXPECT_EQ(stranger.get("/api/admin/log.csv").status, 401);
    EXPECT_EQ(server->stop(), 0);
}

// The first data block the server sends after a login: as long as the block
// size in use (the bundle is longer).
std::size_t firstBlockSize(const ServerProcess& server) {
    TcpClient client(server.port());
    client.send("SUBMIT_LOGIN:FULL:Doe,Jane|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    if (client.receiveLoginReply() != "PREPARE_TO_RECEIVE") throw std::runtime_error("login refused");
    client.send("READY_TO_RECEIVE");
    std::string block;
    for (int i = 0; i < 50 && block.size() < 8192; ++i) block += client.receiveFor(std::chrono::milliseconds(40));
    return block.size();
}

TEST(WebAdmin, OptionsTakeEffectAsTheirDialogsMakeThemAndBadValuesAreRefused) {
    std::vector<Fields> board{test::boardRecord("Doe,Jane", "pw", "Sales", "In")};
    for (int i = 0; i < 40; ++i) {
        Fields f = test::boardRecord("Filler,No" + std::to_string(i), "pw");
        f[b::Comments] = std::string(200, 'c');
        board.push_back(f);
    }
    auto server = startEmptyOr(board);
    auto admin = administrator(*server);
    ASSERT_EQ(firstBlockSize(*server), 8192u);

    for (const auto& [body, field] : std::vector<std::pair<json, std::string>>{
             {{{"blockSize", "3000"}}, "blockSize"},
             {{{"expDays", "a week"}}, "expDays"},
             {{{"maxLogSize", "501"}}, "maxLogSize"},
             {{{"autoOutAt", "noon-ish"}}, "autoOutAt"}}) {
        const HttpResponse refused = admin->request("PUT", "/api/admin/options", body.dump());
        EXPECT_EQ(refused.status, 422) << body;
        EXPECT_EQ(bodyOf(refused)["field"], field);
    }
    EXPECT_EQ(errorOf(admin->request("PUT", "/api/admin/options", R"({"expDays":"a week","smtpHost":"x"})")),
              "The memo expiration \"a week\" is not a whole number of days. The setting is left as it was.");
    EXPECT_EQ(bodyOf(admin->get("/api/admin/options"))["smtpHost"], "") << "all or nothing";

    const int clientPort = server->port();
    const HttpResponse saved = admin->request(
        "PUT", "/api/admin/options",
        R"({"smtpHost":" mail.example.com\t","port":"7123","blockSize":"1024","expDays":"3","maxLogSize":"2"})");
    ASSERT_EQ(saved.status, 200) << saved.body;
    // In use as the settings file keeps it, without the spaces around it.
    EXPECT_EQ(bodyOf(admin->get("/api/admin/options"))["smtpHost"], "mail.example.com");
    const std::string ini = iniOf(*server);
    for (const char* line : {"SMTPHost=mail.example.com\r\n", "Port=7123\r\n", "BlockSize=1024\r\n", "ExpDays=3\r\n",
                             "MaxLogSize=2\r\n"}) {
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    }
    // The log limit at once: three punches leave two records.
    for (int i = 0; i < 3; ++i) {
        TcpClient punch(clientPort);
        punch.send("SUBMIT_LOGIN:PUNCH_IN:Doe,Jane|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
        EXPECT_EQ(punch.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    }
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    // The port and the block size from the next start only.
    EXPECT_EQ(firstBlockSize(*server), 8192u);
    const json options = bodyOf(admin->get("/api/admin/options"));
    EXPECT_EQ(options["blockSizeInUse"], 8192);
    EXPECT_EQ(options["listeningPort"], clientPort);
    EXPECT_EQ(server->stop(), 0);
    std::string text = iniOf(*server);
    text.replace(text.find("Port=7123"), 9, "Port=" + std::to_string(clientPort));
    test::writeFile(server->iniPath(), text);
    server->start();
    EXPECT_EQ(firstBlockSize(*server), 1024u);
    EXPECT_NE(server->stderrText().find(
                  "set SMTPHost to \"mail.example.com\", Port to \"7123\", BlockSize to \"1024\", ExpDays to \"3\", "
                  "MaxLogSize to \"2\""),
              std::string::npos);
    EXPECT_EQ(server->stop(), 0);
}

// The settings file's text with `key` set to `value` (the key is there).
std::string withIniValue(std::string ini, const std::string& key, const std::string& value) {
    const std::size_t at = ini.find("\n" + key + "=") + 1;
    ini.replace(at, ini.find("\r\n", at) - at, key + "=" + value);
    return ini;
}

void punchIn(const ServerProcess& server, const std::string& key) {
    TcpClient punch(server.port());
    punch.send("SUBMIT_LOGIN:PUNCH_IN:" + key + "|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    ASSERT_EQ(punch.receiveLoginReply(), "PREPARE_TO_RECEIVE");
}

TEST(WebAdmin, EndOfDayPunchOutComesAtItsTimeAndOnceAtStartUpForTheDayMissed) {
    std::tm now{};
    const std::time_t t = std::time(nullptr);
    localtime_r(&t, &now);
    if ((now.tm_hour == 0 && now.tm_min < 3) || (now.tm_hour == 23 && now.tm_min > 57)) {
        GTEST_SKIP() << "too close to midnight for one day's punch-out";
    }
    auto server = startEmptyOr({test::boardRecord("Doe,Jane", "pw", "Sales", "In"),
                                test::boardRecord("Roe,Rick", "pw", "Support", "Out"),
                                test::boardRecord("Zane,Ann", "pw", "Sales", "In a meeting")});
    auto admin = administrator(*server);

    // Set a few seconds ahead in the options page: it comes at its time,
    // punching out only who is "In", as a client's punch-out does. A time
    // already past when the change is saved counts as done for today, so
    // five seconds leave room for a busy machine.
    ASSERT_EQ(admin->request("PUT", "/api/admin/options", json{{"autoOutAt", timeOfDayIn(5)}}.dump()).status, 200);
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Status], "In");
    // The line comes last, once the board, the log and the day done are saved.
    const std::string line = "the end-of-day punch-out: punched out 1 employee for " + isoDay(t);
    ASSERT_TRUE(eventually([&] { return server->stderrText().find(line) != std::string::npos; },
                           std::chrono::seconds(20)))
        << server->stderrText();
    const auto board = records(*server, RecordKind::Board);
    EXPECT_EQ(board[0][b::Status], "Out");
    EXPECT_FALSE(board[0][b::StatusChanged].empty());
    EXPECT_EQ(board[1][b::Status], "Out");
    EXPECT_EQ(board[2][b::Status], "In a meeting");
    const auto log = records(*server, RecordKind::Log);
    EXPECT_EQ(log[0][0], "Doe,Jane");
    EXPECT_EQ((Fields(log[0].begin() + 4, log[0].end())), (Fields{"Out", "", "", ""}));
    EXPECT_NE(iniOf(*server).find("AutoOutDone=" + isoDay(t)), std::string::npos);

    // Down at its time for days: made up at start-up, once.
    punchIn(*server, "Doe,Jane");
    EXPECT_EQ(server->stop(), 0);
    test::writeFile(server->iniPath(), withIniValue(withIniValue(iniOf(*server), "AutoOutDone", "2001-01-01"),
                                                    "AutoOutAt", timeOfDayIn(-60)));
    server->start();
    ASSERT_TRUE(eventually([&] { return iniOf(*server).find("AutoOutDone=" + isoDay(t)) != std::string::npos; }));
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 3u);
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Status], "Out");

    // Another start the same day punches nobody out.
    punchIn(*server, "Doe,Jane");
    EXPECT_EQ(server->stop(), 0);
    server->start();
    // A browser's step after the start-up: steps take their turns in order,
    // so the start-up's look at the punch-out has been done by then.
    auto again = administrator(*server);
    EXPECT_EQ(again->get("/api/admin/options").status, 200);
    EXPECT_NE(iniOf(*server).find("AutoOutDone=" + isoDay(t)), std::string::npos);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 4u);
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Status], "In");
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
