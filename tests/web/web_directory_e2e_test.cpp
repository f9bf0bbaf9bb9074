// Signing in from a browser with the directory's password, against a
// running zelvorad and a slapd of the test's own over ldaps.

#include <fstream>

#include "child_process.h"
#include "ldap_server.h"
#include "temp_dir.h"
#include "test_directory.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kDirectoryDown =
    "The office's directory does not answer, so its password cannot be checked now. Sign in with your "
    "board password, or try again in a few minutes.";

// A server whose sign-ins ask `ldap` (Timeout `timeout` seconds), with the
// board account Smith,John (password "pw") that the directory does not know.
std::unique_ptr<ServerProcess> serverWithDirectory(const test::LdapServer& ldap, int timeout) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    const TDirectoryConfig c = test::officeConfig(ldap);
    std::ofstream(server->iniPath(), std::ios::app | std::ios::binary)
        << "[Directory]\r\nURI=" << c.uri << "\r\nCAFile=" << c.caFile << "\r\nBindDN=" << c.bindDn
        << "\r\nBindPassword=" << c.bindPassword << "\r\nBase=" << c.base << "\r\nGroup=" << c.group
        << "\r\nAdminGroup=" << c.adminGroup << "\r\nFrontDeskGroup=" << c.frontDeskGroup
        << "\r\nTimeout=" << timeout << "\r\n";
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board,
                          {test::boardRecord("Smith,John", "pw")});
    server->start();
    return server;
}

HttpResponse adminSignIn(HttpClient& browser, const std::string& name, const std::string& password) {
    HttpResponse response =
        browser.request("POST", "/api/admin/sign-in", json{{"name", name}, {"password", password}}.dump());
    if (response.status == 200) browser.antiForgeryToken = bodyOf(response)["antiForgeryToken"];
    return response;
}

TEST(WebDirectorySignIn, TakesTheDirectorysPasswordThrottlesWrongOnesAndAStoppedDirectoryLocksNobodyOut) {
    if (!test::LdapServer::available()) GTEST_SKIP() << "slapd, ldap-utils or openssl are not installed";
    test::LdapServer ldap(test::officeLdif());
    auto server = serverWithDirectory(ldap, 1);
    HttpClient browser(server->webPort());

    // Once the sync at start has made the accounts, a person signs in with
    // the directory's name and password, as their board account.
    ASSERT_TRUE(eventually([&] { return browser.signIn("p07", test::passwordOf(7)).status == 200; }, 30s))
        << server->stderrText();
    EXPECT_EQ(bodyOf(browser.get("/api/me"))["employee"], "Person07,Ann");
    // The board's own key and password still sign in (the directory does
    // not know that name).
    HttpClient boardOnly(server->webPort());
    EXPECT_EQ(boardOnly.signIn("Smith,John", "pw").status, 200);
    // The directory's front-desk group puts its people at the front desk:
    // they punch a colleague out; others may not.
    const std::string punchAnn = R"({"employee":"Person07,Ann","action":"out"})";
    browser.request("POST", "/api/punch", R"({"action":"in"})");
    EXPECT_EQ(bodyOf(browser.get("/api/front-desk"))["frontDesk"], false);
    EXPECT_EQ(browser.request("POST", "/api/front-desk/punch", punchAnn).status, 403);
    HttpClient desk(server->webPort());
    ASSERT_EQ(desk.signIn("p02", test::passwordOf(2)).status, 200);
    EXPECT_EQ(bodyOf(desk.get("/api/front-desk"))["frontDesk"], true);
    EXPECT_EQ(desk.request("POST", "/api/front-desk/punch", punchAnn).status, 200);
    EXPECT_EQ(bodyOf(browser.get("/api/me"))["status"], "Out");

    // A wrong directory password is refused and slowed down as a wrong
    // board password is; the right one then waits too.
    HttpClient guesser(server->webPort());
    for (int i = 0; i < 6; ++i) {
        const HttpResponse wrong = guesser.signIn("p08", "not-it");
        EXPECT_EQ(wrong.status, 401) << wrong.body;
        EXPECT_EQ(bodyOf(wrong)["error"], "The name or the password is not right.");
    }
    EXPECT_EQ(guesser.signIn("p08", "not-it").status, 429);
    EXPECT_EQ(guesser.signIn("p08", test::passwordOf(8)).status, 429);
    EXPECT_EQ(guesser.signIn("*)(uid=*", "x").status, 401);  // finds nobody

    // The administrators' group gives the administration; another person
    // of the directory is refused it.
    HttpClient admin(server->webPort());
    EXPECT_EQ(adminSignIn(admin, "p03", test::passwordOf(3)).status, 403);
    ASSERT_EQ(adminSignIn(admin, "p01", test::passwordOf(1)).status, 200);
    const json state = bodyOf(admin.get("/api/admin/state"));
    EXPECT_TRUE(state["signedIn"].get<bool>()) << state;
    EXPECT_TRUE(state["directory"].get<bool>());
    EXPECT_EQ(admin.get("/api/admin/accounts").status, 200);

    // The Options page: the "Test" shows what the board makes of a person.
    const HttpResponse found = admin.request("POST", "/api/admin/directory/test", R"({"name":"p03"})");
    ASSERT_EQ(found.status, 200) << found.body;
    ASSERT_EQ(bodyOf(found)["people"].size(), 1u) << found.body;
    EXPECT_EQ(bodyOf(found)["people"][0]["employee"], "Person03,Ann");
    const json wang =
        bodyOf(admin.request("POST", "/api/admin/directory/test", R"({"name":"wang"})"))["people"][0];
    EXPECT_EQ(wang["employee"], "");
    EXPECT_EQ(wang["problems"].size(), 1u) << wang;
    // A person who left the group is listed after a sync now, and deleted
    // as any account is.
    ldap.modify("dn: " + test::groupDn("staff") +
                "\nchangetype: modify\ndelete: member\nmember: " + test::dnOf("p04") + "\n");
    const HttpResponse synced = admin.request("POST", "/api/admin/directory/sync", "{}");
    ASSERT_EQ(synced.status, 200) << synced.body;
    EXPECT_TRUE(bodyOf(synced)["lastSync"]["reached"].get<bool>());
    EXPECT_NE(bodyOf(synced)["lastSync"]["summary"].get<std::string>().find("1 marked as left"),
              std::string::npos)
        << synced.body;
    json office = bodyOf(admin.get("/api/admin/office"));
    ASSERT_EQ(office["leavers"].size(), 1u) << office;
    EXPECT_EQ(office["leavers"][0]["employee"], "Person04,Bob");
    EXPECT_EQ(office["directory"]["URI"], ldap.ldapsUri());
    EXPECT_TRUE(office["directory"]["BindPasswordSet"].get<bool>());
    EXPECT_FALSE(office["directory"].contains("BindPassword"));
    EXPECT_EQ(admin.request("DELETE", "/api/admin/accounts", R"({"employee":"Person04,Bob"})").status, 200);
    EXPECT_TRUE(bodyOf(admin.get("/api/admin/office"))["leavers"].empty());

    // A webhook set here takes a test post at once, and goes with its section.
    test::TempDir chat("zv-chat");
    test::ChildProcess receiver(
        {"/usr/bin/python3", ZV_CHAT_RECEIVER, chat.file("posts.log"), chat.file("port")},
        chat.file("receiver.out"));
    ASSERT_TRUE(eventually([&] { return test::fileExists(chat.file("port")); }));
    const std::string url = "http://127.0.0.1:" + test::readFile(chat.file("port")) + "/office";
    ASSERT_EQ(admin
                  .request("PUT", "/api/admin/chat-hooks",
                           json{{"name", "Office"}, {"url", url}, {"kind", "slack"}}.dump())
                  .status,
              200);
    const HttpResponse tried = admin.request("POST", "/api/admin/chat-hooks/test", R"({"name":"Office"})");
    EXPECT_EQ(tried.status, 200) << tried.body;
    ASSERT_TRUE(eventually([&] { return test::fileExists(chat.file("posts.log")); }));
    const json post = json::parse(test::readFile(chat.file("posts.log")));
    EXPECT_EQ(post["path"], "/office");
    EXPECT_NE(json::parse(post["body"].get<std::string>())["text"].get<std::string>().find("A test from"),
              std::string::npos);
    EXPECT_EQ(admin.request("DELETE", "/api/admin/chat-hooks", R"({"name":"Office"})").status, 200);
    EXPECT_EQ(test::readFile(server->iniPath()).find("Chat.Office"), std::string::npos);

    // The directory stops answering: each sign-in says why, within the
    // limit, and none counts against the person.
    ldap.freeze();
    HttpClient during(server->webPort());
    for (int i = 0; i < 6; ++i) {
        const auto asked = std::chrono::steady_clock::now();
        const HttpResponse down = during.signIn("p09", test::passwordOf(9));
        EXPECT_EQ(down.status, 503) << down.body;
        EXPECT_EQ(bodyOf(down)["error"], kDirectoryDown);
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 6s);
    }
    EXPECT_EQ(adminSignIn(during, "p01", test::passwordOf(1)).status, 503);
    // The board's own password still signs in meanwhile.
    EXPECT_EQ(HttpClient(server->webPort()).signIn("Smith,John", "pw").status, 200);
    ldap.thaw();
    EXPECT_EQ(during.signIn("p09", test::passwordOf(9)).status, 200);
    EXPECT_EQ(adminSignIn(during, "p01", test::passwordOf(1)).status, 200);
    EXPECT_NE(server->stderrText().find("the directory answers again"), std::string::npos);
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
