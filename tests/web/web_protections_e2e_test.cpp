// The protections of the HTTP side against a foreign page, a spreadsheet,
// an eavesdropper and a careless request: the first-run set-up only for this
// computer by name, formulas in the log export, TLS, HEAD on the live stream,
// the administrator's password, the files' modes and the headers every
// answer carries.

#include <sys/stat.h>

#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPolicy =
    "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; object-src 'none'; form-action 'self'";

std::string errorOf(const HttpResponse& response) {
    const json body = bodyOf(response);
    return body.contains("error") ? body["error"].get<std::string>() : response.body;
}

unsigned modeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

TEST(WebProtections, TheFirstRunSetUpNeedsThisComputersNameAndAMatchingOrigin) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    const int port = server->enableWeb();
    server->start();
    HttpClient browser(port);
    const std::string here = "localhost:" + std::to_string(port);
    const std::string body = std::string(R"({"password":")") + kAdminPassword + "\"}";

    // A page of another site whose name leads here (DNS rebinding) is
    // neither offered the set-up nor let through.
    const HttpResponse state = browser.request("GET", "/api/admin/state", {}, {{"Host", "attacker.example"}});
    EXPECT_FALSE(bodyOf(state)["setUpHere"].get<bool>());
    const HttpResponse foreign = browser.request("POST", "/api/admin/set-up", body,
                                                 {{"Host", "attacker.example:" + std::to_string(port)}});
    EXPECT_EQ(foreign.status, 403) << foreign.body;
    EXPECT_EQ(browser
                  .request("POST", "/api/admin/set-up", body,
                           {{"Host", here}, {"Origin", "http://attacker.example"}})
                  .status,
              403);
    EXPECT_EQ(test::readFile(server->iniPath()).find("AdminPassword=$"), std::string::npos);

    // This computer by name, with or without an Origin of its own.
    EXPECT_TRUE(
        bodyOf(browser.request("GET", "/api/admin/state", {}, {{"Host", here}}))["setUpHere"].get<bool>());
    const HttpResponse made =
        browser.request("POST", "/api/admin/set-up", body, {{"Host", here}, {"Origin", "http://" + here}});
    EXPECT_EQ(made.status, 201) << made.body;
    EXPECT_EQ(server->stop(), 0);

    // A server on loopback alone takes no change for a foreign name.
    auto loopbackOnly = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    const int loopbackPort = loopbackOnly->enableWeb({{"Address", "127.0.0.1"}});
    test::writeRecordFile(loopbackOnly->dataFile("wiwo.dat"), RecordKind::Board,
                          {test::boardRecord("Doe,Jane", "pw")});
    loopbackOnly->start();
    HttpClient jane(loopbackPort);
    const std::string signIn = R"({"employee":"Doe,Jane","password":"pw"})";
    EXPECT_EQ(jane.request("POST", "/api/sign-in", signIn, {{"Host", "attacker.example"}}).status, 403);
    EXPECT_EQ(
        jane.request("POST", "/api/sign-in", signIn, {{"Host", "[::1]:" + std::to_string(loopbackPort)}})
            .status,
        200);
    EXPECT_EQ(loopbackOnly->stop(), 0);
}

TEST(WebProtections, TheLogExportTurnsFormulasIntoTextAndBeginsWithAByteOrderMark) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    const HttpResponse edited =
        jane->request("PUT", "/api/my-status",
                      R"json({"status":"Out","returning":"+1 555 0100","reachedAt":"@home",)json"
                      R"json("comments":"=HYPERLINK(\"http://x.example\",\"Open\")"})json");
    ASSERT_EQ(edited.status, 200) << edited.body;
    HttpClient admin(server->webPort());
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);

    const HttpResponse csv = admin.get("/api/admin/log.csv");
    ASSERT_EQ(csv.status, 200);
    EXPECT_EQ(csv.body.rfind("\xEF\xBB\xBF"
                             "Employee,Department,Date,Time,Status,Returning,ReachedAt,Comments\r\n",
                             0),
              0u)
        << csv.body;
    EXPECT_NE(
        csv.body.find(",Out,'+1 555 0100,'@home,\"'=HYPERLINK(\"\"http://x.example\"\",\"\"Open\"\")\"\r\n"),
        std::string::npos)
        << csv.body;
    // The log itself keeps the texts as they were typed.
    EXPECT_EQ(bodyOf(admin.get("/api/admin/log"))["rows"][0]["reachedAt"], "@home");
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebProtections, HttpsSpeaksOnlyTls12And13WithForwardSecrecyAndMarksItselfStrict) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    const std::string folder = server->programFolder();
    const CommandResult made =
        runCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout '" +
                       folder + "/key.pem' -out '" + folder + "/cert.pem'",
                   "", server->tempFile("openssl-input"));
    ASSERT_EQ(made.status, 0) << made.output;
    const int port = server->enableWeb({{"CertFile", "cert.pem"}, {"KeyFile", "key.pem"}});
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board,
                          {test::boardRecord("Doe,Jane", "pw")});
    server->start();

    const auto client = [&](const std::string& options, const std::string& input = {}) {
        return runCommand("timeout 10 openssl s_client -connect 127.0.0.1:" + std::to_string(port) +
                              " -servername localhost " + options,
                          input, server->tempFile("openssl-input"));
    };
    const auto handshakes = [&](const std::string& options) {
        const CommandResult result = client(options);
        return result.status == 0 && result.output.find("Cipher is (NONE)") == std::string::npos;
    };
    // Old protocols, even from a client that would take them, and suites
    // without forward secrecy or without AEAD, are refused.
    EXPECT_FALSE(handshakes("-tls1 -cipher DEFAULT@SECLEVEL=0"));
    EXPECT_FALSE(handshakes("-tls1_1 -cipher DEFAULT@SECLEVEL=0"));
    EXPECT_FALSE(handshakes("-tls1_2 -cipher AES128-GCM-SHA256"));
    EXPECT_FALSE(handshakes("-tls1_2 -cipher ECDHE-RSA-AES128-SHA"));
    EXPECT_TRUE(handshakes("-tls1_2"));
    EXPECT_TRUE(handshakes("-tls1_3"));

    // Over HTTPS the answers say so for the future, and the session cookie
    // is bound to this host.
    const std::string body = R"({"employee":"Doe,Jane","password":"pw"})";
    const CommandResult signIn =
        client("-quiet -tls1_3",
               "POST /api/sign-in HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n"
               "Connection: close\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_NE(signIn.output.find("HTTP/1.1 200"), std::string::npos) << signIn.output;
    EXPECT_NE(signIn.output.find("Strict-Transport-Security: max-age=31536000"), std::string::npos)
        << signIn.output;
    EXPECT_NE(signIn.output.find("Set-Cookie: __Host-zv_session="), std::string::npos) << signIn.output;
    EXPECT_NE(signIn.output.find("; Path=/; Secure; HttpOnly; SameSite=Strict"), std::string::npos)
        << signIn.output;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebProtections, HeadOnTheLiveStreamIsRefusedAndTheRequestPipelinedBehindItIsAnswered) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    auto admin = administrator(*server);
    // A HEAD and a GET sent at once on one connection: the first answer
    // must end where its headers do.
    const auto pipelined = [&](const std::string& headPath, const std::string& getPath,
                               const std::string& cookie) {
        TcpClient raw(server->webPort());
        raw.send("HEAD " + headPath + " HTTP/1.1\r\nHost: localhost\r\nCookie: " + cookie + "\r\n\r\nGET " +
                 getPath + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\nCookie: " + cookie +
                 "\r\n\r\n");
        return raw.receiveUntilClosed(5s);
    };
    const auto secondAnswer = [](const std::string& answers) {
        return answers.substr(answers.find("\r\n\r\n") + 4);
    };

    // The live stream, and the backup (a body made while it is sent).
    const std::string stream = pipelined("/api/events", "/api/me", "zv_session=" + jane->sessionToken());
    EXPECT_EQ(stream.rfind("HTTP/1.1 405", 0), 0u) << stream;
    EXPECT_NE(stream.find("Allow: GET\r\n"), std::string::npos) << stream;
    EXPECT_EQ(secondAnswer(stream).rfind("HTTP/1.1 200", 0), 0u) << stream;
    EXPECT_NE(secondAnswer(stream).find("\"employee\":\"Doe,Jane\""), std::string::npos) << stream;

    const std::string backup =
        pipelined("/api/admin/backup", "/api/admin/state", "zv_admin=" + admin->cookies["zv_admin"]);
    EXPECT_EQ(backup.rfind("HTTP/1.1 405", 0), 0u) << backup;
    EXPECT_EQ(secondAnswer(backup).rfind("HTTP/1.1 200", 0), 0u) << backup;
    EXPECT_NE(secondAnswer(backup).find("\"signedIn\":true"), std::string::npos) << backup;
    // No backup was taken for it.
    EXPECT_EQ(server->stderrText().find("took a backup"), std::string::npos) << server->stderrText();
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebProtections, TheAdministratorsPasswordHasTenCharactersAndAChangeNeedsTheCurrentOne) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    server->start();
    HttpClient admin(server->webPort());
    const HttpResponse one = admin.adminSetUp("a");
    EXPECT_EQ(one.status, 422);
    EXPECT_NE(errorOf(one).find("at least 10 characters"), std::string::npos) << one.body;
    EXPECT_EQ(admin.adminSetUp("123456789").status, 422);
    ASSERT_EQ(admin.adminSetUp("0123456789").status, 201);

    // A change names the current password, and the new one follows the rule.
    const auto change = [&](const std::string& body) {
        return admin.request("PUT", "/api/admin/password", body);
    };
    const HttpResponse without = change(R"({"password":"another-password"})");
    EXPECT_EQ(without.status, 422);
    EXPECT_EQ(bodyOf(without)["field"], "currentPassword");
    const HttpResponse wrong = change(R"({"currentPassword":"9876543210","password":"another-password"})");
    EXPECT_EQ(wrong.status, 422);
    EXPECT_EQ(bodyOf(wrong)["field"], "currentPassword");
    const HttpResponse shortOne = change(R"({"currentPassword":"0123456789","password":"short"})");
    EXPECT_EQ(shortOne.status, 422);
    EXPECT_EQ(bodyOf(shortOne)["field"], "password");
    const HttpResponse changed = change(R"({"currentPassword":"0123456789","password":"another-password"})");
    ASSERT_EQ(changed.status, 200) << changed.body;
    admin.antiForgeryToken = bodyOf(changed)["antiForgeryToken"];
    HttpClient later(server->webPort());
    EXPECT_EQ(later.adminSignIn("another-password").status, 200);

    // A failure of the server itself is told in plain words, without the
    // server's files.
    ASSERT_EQ(::mkdir((server->iniPath() + ".tmp").c_str(), 0700), 0);
    const HttpResponse failed = admin.request("PUT", "/api/admin/options", R"({"smtpHost":"mail.example"})");
    EXPECT_GE(failed.status, 500);
    EXPECT_NE(errorOf(failed).find("settings"), std::string::npos) << failed.body;
    EXPECT_EQ(errorOf(failed).find('/'), std::string::npos) << failed.body;
    EXPECT_EQ(errorOf(failed).find("zva.ini"), std::string::npos) << failed.body;
    ::rmdir((server->iniPath() + ".tmp").c_str());
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebProtections, TheFilesTheServerCreatesAreForItsOwnUserAloneAndAnExistingFileKeepsItsMode) {
    ::umask(022);
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    server->start();  // a fresh data folder
    for (const char* name :
         {"wiwo.dat", "wywa.dat", "posti.dat", "department.dat", "phonebook.dat", "log_stat.dat"}) {
        EXPECT_EQ(modeOf(server->dataFile(name)), 0600u) << name;
    }
    // Saved anew, a file keeps the mode it has.
    ASSERT_EQ(::chmod(server->dataFile("department.dat").c_str(), 0640), 0);
    HttpClient admin(server->webPort());
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);
    ASSERT_EQ(admin.request("POST", "/api/admin/departments", R"({"name":"Sales"})").status, 201);
    ASSERT_EQ(admin
                  .request("POST", "/api/admin/accounts",
                           R"({"lastName":"Doe","firstName":"Jane","password":"pw","department":"Sales"})")
                  .status,
              201);
    EXPECT_EQ(records(*server, RecordKind::Department).size(), 1u);
    EXPECT_EQ(modeOf(server->dataFile("department.dat")), 0640u);
    EXPECT_EQ(modeOf(server->dataFile("wiwo.dat")), 0600u);
    // A change in place goes through a journal, made 0600 too.
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    ASSERT_EQ(jane->request("PUT", "/api/my-status",
                            R"({"status":"Out","returning":"","reachedAt":"","comments":"Lunch"})")
                  .status,
              200);
    EXPECT_EQ(modeOf(server->dataFile("wiwo.dat.journal")), 0600u);
    EXPECT_EQ(server->stop(), 0);

    // A settings file the server makes.
    const std::string fresh = server->tempFile("fresh-zva.ini");
    server->setArguments({"--config", fresh, "--set-admin-password"});
    std::string said;
    ASSERT_EQ(server->runSecondCopy(&said, 20s, "0123456789\n"), 0) << said;
    EXPECT_EQ(modeOf(fresh), 0600u);
}

TEST(WebProtections, EveryAnswerForbidsFramingForeignBaseAddressesPluginsAndForeignForms) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    HttpClient browser(server->webPort());
    const HttpResponse signIn = browser.signIn("Doe,Jane", "pw");
    for (const HttpResponse& response :
         {browser.get("/"), browser.get("/app.js"), signIn, browser.get("/api/board"),
          browser.get("/nothing-here"), browser.get("/api/admin/users")}) {
        EXPECT_EQ(response.header("Content-Security-Policy"), kPolicy) << response.status;
        // Plain HTTP: nothing that only HTTPS may say.
        EXPECT_EQ(response.header("Strict-Transport-Security"), "");
    }
    EXPECT_EQ(signIn.header("Set-Cookie").rfind("zv_session=", 0), 0u);
    TcpClient raw(server->webPort());
    raw.send("GET /api/events HTTP/1.1\r\nHost: localhost\r\nCookie: zv_session=" + browser.sessionToken() +
             "\r\n\r\n");
    EXPECT_NE(raw.receiveFor(1s).find(std::string("Content-Security-Policy: ") + kPolicy), std::string::npos);
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
