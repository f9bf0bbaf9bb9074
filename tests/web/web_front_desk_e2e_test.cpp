// The front desk, the lobby displays and the sessions kept over a restart,
// against zelvorad: what a front-desk account changes is the colleague's
// own change (a client sees it, the status log holds it as theirs) and the
// record line names the front desk; a display shows only what it was made
// to show, without a sign-in, until it is revoked; a restart signs no
// browser out, and the sessions' file holds no cookie.

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "temp_dir.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const Fields* recordOf(const std::vector<Fields>& records, const std::string& key) {
    for (const Fields& record : records) {
        if (!record.empty() && record[0] == key) return &record;
    }
    return nullptr;
}

TEST(WebFrontDesk,
     AFrontDeskAccountPunchesAColleagueOutAsTheirOwnChangeThatAClientSeesAndTheRecordNamesTheDesk) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw", "Sales", "In"),
                               test::boardRecord("Baker,Tom", "pw", "Support", "In"),
                               test::boardRecord("Roe,Rick", "pw", "Support", "In")});
    auto admin = administrator(*server);
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    auto rick = signedIn(*server, "Roe,Rick", "pw");

    // Not at the front desk yet: refused, nothing changed.
    const std::string punchTom = R"({"employee":"Baker,Tom","action":"out"})";
    EXPECT_FALSE(bodyOf(jane->get("/api/front-desk"))["frontDesk"].get<bool>());
    EXPECT_EQ(jane->request("POST", "/api/front-desk/punch", punchTom).status, 403);

    // The administrator puts Jane at the front desk: kept in zva.ini.
    HttpResponse put =
        admin->request("PUT", "/api/admin/front-desk", R"({"employee":"Doe,Jane","frontDesk":true})");
    ASSERT_EQ(put.status, 200) << put.body;
    EXPECT_EQ(bodyOf(put)["accounts"][0]["employee"], "Doe,Jane");
    EXPECT_NE(fileText(server->iniPath()).find("[FrontDesk]\r\nAccounts=Doe,Jane\r\n"), std::string::npos);
    EXPECT_TRUE(bodyOf(jane->get("/api/front-desk"))["frontDesk"].get<bool>());

    // Jane punches Tom out and sets Rick's status.
    HttpResponse punched = jane->request("POST", "/api/front-desk/punch", punchTom);
    ASSERT_EQ(punched.status, 200) << punched.body;
    EXPECT_EQ(bodyOf(punched)["status"], "Out");
    EXPECT_EQ(jane->request("POST", "/api/front-desk/punch", punchTom).status, 409);  // not "In" any more
    HttpResponse status = jane->request(
        "PUT", "/api/front-desk/status",
        R"({"employee":"Roe,Rick","status":"Sick","returning":"","reachedAt":"","comments":"Phoned in at 8"})");
    ASSERT_EQ(status.status, 200) << status.body;
    EXPECT_EQ(jane->request("PUT", "/api/front-desk/status",
                            R"({"employee":"Nobody,At","status":"Out",)"
                            R"("returning":"","reachedAt":"","comments":""})")
                  .status,
              404);

    // A Windows client sees both changes on the board it is sent.
    const auto board = sectionRecords(test::splitBundle(clientLogin(*server, "Doe,Jane", "pw")).wiwo);
    ASSERT_NE(recordOf(board, "Baker,Tom"), nullptr);
    EXPECT_EQ((*recordOf(board, "Baker,Tom"))[b::Status], "Out");
    EXPECT_EQ((*recordOf(board, "Roe,Rick"))[b::Comments], "Phoned in at 8");

    // The status log holds them as Tom's and Rick's own; the record line
    // names the front desk.
    const auto log = records(*server, RecordKind::Log);
    EXPECT_NE(recordOf(log, "Baker,Tom"), nullptr);
    EXPECT_NE(recordOf(log, "Roe,Rick"), nullptr);
    EXPECT_TRUE(test::eventually([&] {
        return server->stderrText().find(
                   "the front desk \"Doe,Jane\" in a browser at 127.0.0.1: punched out "
                   "\"Baker,Tom\"") != std::string::npos;
    })) << server->stderrText();

    // Rick is no front desk; and Jane taken off it can change nobody else.
    EXPECT_EQ(
        rick->request("PUT", "/api/front-desk/status",
                      R"({"employee":"Doe,Jane","status":"Out","returning":"","reachedAt":"","comments":""})")
            .status,
        403);
    ASSERT_EQ(
        admin->request("PUT", "/api/admin/front-desk", R"({"employee":"Doe,Jane","frontDesk":false})").status,
        200);
    EXPECT_EQ(
        jane->request("POST", "/api/front-desk/punch", R"({"employee":"Baker,Tom","action":"in"})").status,
        403);
}

TEST(WebDisplays, ADisplayShowsOnlyItsDepartmentsAndFieldsWithoutASignInUntilItIsRevoked) {
    Fields tom = test::boardRecord("Baker,Tom", "pw", "Support", "Out");
    tom[b::Comments] = "At the fair";
    tom[b::ReachedAt] = "Cell 555-0199";
    auto server = startServer({test::boardRecord("Doe,Jane", "pw", "Sales", "In"), tom});
    auto admin = administrator(*server);
    ASSERT_EQ(admin->request("POST", "/api/admin/departments", R"({"name":"Sales"})").status, 201);
    ASSERT_EQ(admin->request("POST", "/api/admin/departments", R"({"name":"Support"})").status, 201);

    EXPECT_EQ(admin->request("POST", "/api/admin/displays", R"({"name":"","departments":[]})").status, 422);
    EXPECT_EQ(
        admin->request("POST", "/api/admin/displays", R"({"name":"Hall","departments":["Nope"]})").status,
        422);
    HttpResponse made = admin->request("POST", "/api/admin/displays",
                                       R"({"name":"Hall","departments":["Support"],"comments":true})");
    ASSERT_EQ(made.status, 201) << made.body;
    const json display = bodyOf(made)["displays"][0];
    const std::string path = display["path"];
    const std::string secret = path.substr(std::string("/display/").size());
    EXPECT_EQ(secret.size(), 64u);

    // Nobody signed in: the page and its board, Support only, comments
    // shown, no phone or reached at.
    HttpClient lobby(server->webPort());
    EXPECT_EQ(lobby.get(path).status, 200);
    HttpResponse shown = lobby.get("/api/display/" + secret);
    ASSERT_EQ(shown.status, 200) << shown.body;
    const json rows = bodyOf(shown)["board"]["rows"];
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["employee"], "Baker,Tom");
    EXPECT_EQ(rows[0]["comments"], "At the fair");
    EXPECT_EQ(rows[0]["reachedAt"], "");
    EXPECT_EQ(bodyOf(shown)["display"]["name"], "Hall");
    EXPECT_EQ(lobby.get("/api/display/" + std::string(64, '0')).status, 404);
    EXPECT_EQ(lobby.request("PUT", "/api/front-desk/status", "{}").status, 401);  // read-only

    // Renamed: same address; kept in the schedule over a restart.
    const std::string id = display["id"];
    ASSERT_EQ(
        admin->request("PUT", "/api/admin/displays/" + id, R"({"name":"Lobby","departments":[]})").status,
        200);
    server->stop();
    server->start();
    HttpResponse after = lobby.get("/api/display/" + secret);
    ASSERT_EQ(after.status, 200) << after.body;
    EXPECT_EQ(bodyOf(after)["display"]["name"], "Lobby");
    EXPECT_EQ(bodyOf(after)["board"]["rows"].size(), 2u);

    // Revoked, by the name it had before the restart: the address leads nowhere.
    auto again = administrator(*server);
    EXPECT_EQ(again->request("DELETE", "/api/admin/displays/0000000000000000").status, 404);
    ASSERT_EQ(again->request("DELETE", "/api/admin/displays/" + id).status, 200);
    EXPECT_EQ(lobby.get("/api/display/" + secret).status, 404);
    EXPECT_NE(server->stderrText().find("revoked the lobby display \"Lobby\""), std::string::npos);
}

TEST(WebSessions, ARestartSignsNoBrowserOutAndTheSessionsFileHoldsNoCookie) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw", "Sales", "In")});
    auto admin = administrator(*server);
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    const std::string cookie = jane->sessionToken();
    ASSERT_FALSE(cookie.empty());

    const std::string file = server->dataFile("web_sessions.txt");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(fileText(file).find(cookie), std::string::npos);

    server->stop();
    server->start();
    HttpResponse me = jane->get("/api/me");
    EXPECT_EQ(me.status, 200) << me.body;
    EXPECT_EQ(jane->request("PUT", "/api/my-status",
                            R"({"status":"Out","returning":"","reachedAt":"","comments":""})")
                  .status,
              200);
    EXPECT_EQ(admin->get("/api/admin/displays").status, 200);

    // Signed out: gone from the file, and so after the next restart too.
    ASSERT_EQ(jane->request("POST", "/api/sign-out", "{}").status, 204);
    server->stop();
    server->start();
    EXPECT_EQ(jane->get("/api/me").status, 401);
    EXPECT_EQ(admin->get("/api/admin/displays").status, 200);

    // A file that cannot be read signs everybody in again, and says so.
    server->stop();
    test::writeFile(file, "zelvora web sessions 1\nE\tbroken\n");
    server->start();
    EXPECT_EQ(admin->get("/api/admin/displays").status, 401);
    EXPECT_NE(server->stderrText().find("line 2: it has 2 fields, not 7"), std::string::npos)
        << server->stderrText();
}

}  // namespace
}  // namespace zv::webtest
