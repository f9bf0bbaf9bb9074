// Signing in from a browser, the session and the protections every request
// meets, against a running zelvorad.

#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

TEST(WebSignIn, RefusedAlikeForAnUnknownNameAndAWrongPasswordAndAcceptedWithAProtectedSession) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "Secret")});
    HttpClient browser(server->webPort());

    // The password compared exactly as the client login compares (case
    // counts; the name is forgiven its case and blanks when it names one
    // account), and an unknown name and a wrong password get the same answer.
    const HttpResponse wrong = browser.signIn("Roe,Rick", "secret");
    const HttpResponse unknown = browser.signIn("Nobody,Here", "Secret");
    const HttpResponse wrongCase = browser.signIn("roe, rick", "SECRET");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_EQ(unknown.status, 401);
    EXPECT_EQ(wrongCase.status, 401);
    EXPECT_EQ(wrong.body, unknown.body);
    EXPECT_EQ(wrong.body, wrongCase.body);
    EXPECT_TRUE(wrong.headers_named("Set-Cookie").empty());
    EXPECT_EQ(browser.get("/api/me").status, 401);
    EXPECT_EQ(browser.get("/api/board").status, 401);

    const HttpResponse accepted = browser.signIn("Roe,Rick", "Secret");
    ASSERT_EQ(accepted.status, 200) << accepted.body;
    const std::string cookie = accepted.header("Set-Cookie");
    EXPECT_NE(cookie.find("zv_session="), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    EXPECT_EQ(cookie.find("Secure"), std::string::npos);  // plain HTTP here
    EXPECT_EQ(browser.sessionToken().size(), 64u);        // 256 bits in hexadecimal
    EXPECT_EQ(browser.antiForgeryToken.size(), 64u);
    EXPECT_NE(browser.sessionToken(), browser.antiForgeryToken);
    EXPECT_EQ(bodyOf(accepted)["employee"], "Roe,Rick");
    EXPECT_EQ(accepted.header("Cache-Control"), "no-store");
    // Sign-in is no client session: the log and the board stay as they were.
    EXPECT_TRUE(records(*server, RecordKind::Log).empty());

    const HttpResponse me = browser.get("/api/me");
    ASSERT_EQ(me.status, 200);
    EXPECT_EQ(bodyOf(me)["status"], "Out");
    // The headers every response carries.
    EXPECT_EQ(me.header("Content-Security-Policy").rfind("default-src 'self';", 0), 0u);
    EXPECT_EQ(me.header("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(me.header("X-Frame-Options"), "DENY");
    EXPECT_EQ(me.header("Referrer-Policy"), "no-referrer");

    // No password leaves the server, in any answer.
    for (const char* path : {"/api/me", "/api/board"}) {
        const std::string body = browser.get(path).body;
        EXPECT_EQ(body.find("Secret"), std::string::npos) << path;
        EXPECT_EQ(body.find("\"pw\""), std::string::npos) << path;
        EXPECT_EQ(body.find("assword"), std::string::npos) << path;
    }

    // Every change needs JSON and the session's anti-forgery token.
    EXPECT_EQ(
        browser.request("POST", "/api/punch", R"({"action":"in"})", {{"Content-Type", "text/plain"}}).status,
        415);
    EXPECT_EQ(browser.request("POST", "/api/punch", R"({"action":"in"})", {{"X-Zelvora-Token", "0"}}).status,
              403);
    EXPECT_TRUE(records(*server, RecordKind::Log).empty());

    // The session ends when signed out, and a session cookie that is made up
    // is none.
    EXPECT_EQ(browser.request("POST", "/api/sign-out").status, 204);
    EXPECT_EQ(browser.get("/api/me").status, 401);
    browser.cookies["zv_session"] = std::string(64, 'a');
    EXPECT_EQ(browser.get("/api/me").status, 401);

    // A password changed meanwhile (here by the employee's client, which
    // sends its record back) ends the session at its next use.
    auto rick = signedIn(*server, "Roe,Rick", "Secret");
    Fields changed = test::boardRecord("Roe,Rick", "Changed");
    clientLogin(*server, "Roe,Rick", "Secret", test::recordString(changed));
    EXPECT_EQ(rick->get("/api/me").status, 401);
    EXPECT_EQ(rick->get("/api/board").status, 401);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebSignIn, RepeatedFailuresForOneAccountAreSlowedDownWithoutHoldingAnything) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "pw")});
    HttpClient browser(server->webPort());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(browser.signIn("Doe,Jane", "guess").status, 401);

    // The sixth failure slows the account down; then even the right
    // password waits, and the answer says how long.
    EXPECT_EQ(browser.signIn("Doe,Jane", "guess").status, 401);
    const auto before = std::chrono::steady_clock::now();
    const HttpResponse slowed = browser.signIn("Doe,Jane", "pw");
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(slowed.status, 429) << slowed.body;
    EXPECT_FALSE(slowed.header("Retry-After").empty());
    EXPECT_NE(bodyOf(slowed)["error"].get<std::string>().find("try again"), std::string::npos);

    // Another account is not slowed down by it.
    EXPECT_EQ(browser.signIn("Roe,Rick", "pw").status, 200);

    // After the wait, the right password gets in.
    std::this_thread::sleep_for(std::chrono::seconds(std::stoi(slowed.header("Retry-After"))));
    EXPECT_EQ(browser.signIn("Doe,Jane", "pw").status, 200);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebSignIn, ThePageIsServedFromTheProgramWithItsTagAndNoInlineScript) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    HttpClient browser(server->webPort());
    const HttpResponse index = browser.get("/");
    ASSERT_EQ(index.status, 200);
    EXPECT_EQ(index.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(index.body.find("<script>"), std::string::npos);
    EXPECT_EQ(index.body.find("http"), std::string::npos);  // no outside resource
    EXPECT_EQ(index.header("Content-Security-Policy").rfind("default-src 'self';", 0), 0u);

    // The page names its files under the version of the set, kept by the
    // browser for a year; another version's address is not served.
    const std::string scriptTag = "<script type=\"module\" src=\"/a/";
    const std::size_t at = index.body.find(scriptTag);
    ASSERT_NE(at, std::string::npos);
    const std::string version = index.body.substr(
        at + scriptTag.size(), index.body.find('/', at + scriptTag.size()) - at - scriptTag.size());
    EXPECT_EQ(version.size(), 16u);
    // One script, made by the build of the page's modules; the views shown
    // later in one more, fetched when first needed.
    EXPECT_NE(index.body.find("<script type=\"module\" src=\"/a/" + version + "/board_page.js\"></script>"),
              std::string::npos);
    EXPECT_EQ(index.body.find("/app.js\""), std::string::npos);
    const HttpResponse bundle = browser.get("/a/" + version + "/board_page.js");
    ASSERT_EQ(bundle.status, 200);
    EXPECT_EQ(bundle.header("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_NE(bundle.body.find("import(\"./board_views.js\")"), std::string::npos);
    EXPECT_EQ(browser.get("/a/" + version + "/board_views.js").status, 200);
    EXPECT_NE(index.body.find("href=\"/a/" + version + "/board_page.css\""), std::string::npos);
    EXPECT_EQ(index.header("Cache-Control"), "no-cache");
    const HttpResponse kept = browser.get("/a/" + version + "/app.js");
    ASSERT_EQ(kept.status, 200);
    EXPECT_EQ(kept.header("Cache-Control"), "public, max-age=31536000, immutable");
    EXPECT_EQ(kept.header("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_EQ(browser.get("/a/0000000000000000/app.js").status, 404);
    EXPECT_EQ(browser.get("/a/" + version + "/nothing.js").status, 404);
    EXPECT_EQ(browser.get("/a/" + version + "/index.html").status, 404);

    const HttpResponse script = browser.get("/app.js");
    ASSERT_EQ(script.status, 200);
    EXPECT_EQ(script.body, kept.body);
    EXPECT_EQ(script.header("Content-Type"), "text/javascript; charset=utf-8");
    const std::string tag = script.header("ETag");
    ASSERT_FALSE(tag.empty());
    EXPECT_EQ(browser.request("GET", "/app.js", {}, {{"If-None-Match", tag}}).status, 304);

    EXPECT_EQ(browser.get("/nothing-here").status, 404);
    EXPECT_EQ(browser.request("DELETE", "/api/board", "{}").status, 405);
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
