// What a browser does to the board, seen by the clients, the data files and
// the other browsers, against a running zelvorad.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "test_mailbox.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

Fields employee(const std::string& key, const std::string& status, const std::string& department = "Sales") {
    return test::boardRecord(key, "pw", department, status);
}

TEST(WebBoard, APunchFromTheBrowserIsSeenByTheClientsAndLoggedAsTheClientsPunch) {
    auto server = startServer({employee("Doe,Jane", "In"), employee("Roe,Rick", "In", "Support")});
    auto jane = signedIn(*server, "Doe,Jane", "pw");

    // Jane punches out in the browser; Rick through his client's request.
    const HttpResponse out = jane->request("POST", "/api/punch", R"({"action":"out"})");
    ASSERT_EQ(out.status, 200) << out.body;
    EXPECT_EQ(bodyOf(out)["status"], "Out");
    TcpClient client(server->port());
    client.send("PUNCH_OUT:Roe,Rick:");
    ASSERT_TRUE(eventually([&] { return records(*server, RecordKind::Log).size() == 2; }));

    // The same log record: the employee, department, date, time and "Out"
    // with the three fields emptied, in the same forms.
    const auto log = records(*server, RecordKind::Log);
    EXPECT_EQ(log[0][0], "Doe,Jane");
    EXPECT_EQ(log[0][1], "Sales");
    EXPECT_EQ(log[1][0], "Roe,Rick");
    EXPECT_EQ(log[0][2], log[1][2]);  // today, in the short date format
    EXPECT_EQ(log[0][3].size() > 0, log[1][3].size() > 0);
    EXPECT_EQ(std::vector<std::string>(log[0].begin() + 4, log[0].end()),
              std::vector<std::string>(log[1].begin() + 4, log[1].end()));
    EXPECT_EQ(std::vector<std::string>(log[0].begin() + 4, log[0].end()),
              (std::vector<std::string>{"Out", "", "", ""}));

    // A client's next bundle shows it, the stamp as the punch made it.
    const auto board = sectionRecords(test::splitBundle(clientLogin(*server, "Roe,Rick", "pw")).wiwo);
    ASSERT_EQ(board.size(), 2u);
    EXPECT_EQ(board[0][b::Status], "Out");
    EXPECT_EQ(board[0][b::StatusChanged], records(*server, RecordKind::Board)[0][b::StatusChanged]);
    EXPECT_FALSE(board[0][b::StatusChanged].empty());

    // Punching out again needs "In": refused, nothing written.
    const HttpResponse again = jane->request("POST", "/api/punch", R"({"action":"out"})");
    EXPECT_EQ(again.status, 409);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    // Punching in always works and always logs.
    EXPECT_EQ(jane->request("POST", "/api/punch", R"({"action":"in"})").status, 200);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 3u);
    EXPECT_EQ(records(*server, RecordKind::Log)[2][4], "In");
    EXPECT_EQ(jane->request("POST", "/api/punch", R"({"action":"sideways"})").status, 422);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebBoard, AStatusEditIsMergedAndLoggedAsAClientsOwnBoardRecord) {
    Fields jane = employee("Doe,Jane", "In");
    jane[b::EMail] = "jane@example.com";
    jane[13] = "555-9999";  // HomePhone: kept, never shown
    auto server = startServer({jane});
    auto browser = signedIn(*server, "Doe,Jane", "pw");

    const HttpResponse edit = browser->request(
        "PUT", "/api/my-status",
        R"({"status":"At lunch","returning":"1:30 PM","reachedAt":"Cell","comments":"Back soon"})");
    ASSERT_EQ(edit.status, 200) << edit.body;

    // The four fields changed, both stamps set, every other field kept.
    const Fields stored = records(*server, RecordKind::Board)[0];
    Fields expected = jane;
    expected[b::Status] = "At lunch";
    expected[b::Returning] = "1:30 PM";
    expected[b::ReachedAt] = "Cell";
    expected[b::Comments] = "Back soon";
    expected[b::StatusChanged] = stored[b::StatusChanged];
    expected[b::LastContact] = stored[b::LastContact];
    EXPECT_EQ(stored, expected);
    EXPECT_FALSE(stored[b::StatusChanged].empty());
    EXPECT_EQ(stored[b::StatusChanged], stored[b::LastContact]);

    // Logged as the merge logs a received record: its own name and
    // department, the date, the time and the four fields.
    const auto log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], "Doe,Jane");
    EXPECT_EQ(log[0][1], "Sales");
    EXPECT_EQ(std::vector<std::string>(log[0].begin() + 4, log[0].end()),
              (std::vector<std::string>{"At lunch", "1:30 PM", "Cell", "Back soon"}));

    // An edit repeating the status is still a merge, and still logged.
    EXPECT_EQ(browser->request("PUT", "/api/my-status",
                               R"({"status":"At lunch","returning":"1:30 PM","reachedAt":"Cell","comments":"Back soon"})")
                  .status,
              200);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    // All four must be given (an edit never empties a field by leaving it out).
    EXPECT_EQ(browser->request("PUT", "/api/my-status", R"({"status":"In"})").status, 422);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebBoard, FieldsAreCutToTheirSlotsAndLineBreaksSeparatorsAndForeignCharactersRefused) {
    auto server = startServer({employee("Doe,Jane", "In")});
    auto browser = signedIn(*server, "Doe,Jane", "pw");
    auto status = [&](const std::string& comments, const std::string& status = "Out") {
        return browser->request("PUT", "/api/my-status",
                                json{{"status", status}, {"returning", ""}, {"reachedAt", ""}, {"comments", comments}}
                                    .dump());
    };
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"two\nlines", "line breaks"}, {"carriage\rreturn", "line breaks"}, {"a<~FLD~>b", "<~FLD~>"},
        {"a<~REC~>b", "<~REC~>"},      {"snow \u2603", "U+2603"},           {std::string("zero\0byte", 9), "zero"},
    };
    for (const auto& [text, says] : refused) {
        const HttpResponse answer = status(text);
        EXPECT_EQ(answer.status, 422) << text;
        const json body = bodyOf(answer);
        EXPECT_EQ(body["field"], "comments");
        EXPECT_NE(body["error"].get<std::string>().find("\"Comments\""), std::string::npos) << body;
        EXPECT_NE(body["error"].get<std::string>().find(says), std::string::npos) << body;
    }
    EXPECT_TRUE(records(*server, RecordKind::Log).empty());
    EXPECT_EQ(bodyOf(browser->request("PUT", "/api/my-status", "{\"status\": 5}"))["field"], "status");
    EXPECT_EQ(browser->request("PUT", "/api/my-status", "{not json").status, 400);

    // Cut to the slot less its terminating zero byte, counted in the
    // clients' code page: "\u20ac" is one byte there.
    const std::string euros = [] {
        std::string text;
        for (int i = 0; i < 300; ++i) text += "\u20ac";
        return text;
    }();
    ASSERT_EQ(status(euros, std::string(100, 'S')).status, 200);
    const Fields stored = records(*server, RecordKind::Board)[0];
    EXPECT_EQ(stored[b::Comments], std::string(255, '\x80'));
    EXPECT_EQ(stored[b::Status], std::string(63, 'S'));
    // The page limits its inputs to the same lengths, as the server gives them.
    const json widths = bodyOf(browser->get("/api/me"))["inputWidths"];
    EXPECT_EQ(widths["status"], (json{{"status", 63}, {"returning", 63}, {"reachedAt", 63}, {"comments", 255}}));
    EXPECT_EQ(widths["message"],
              (json{{"caller", 255}, {"company", 255}, {"phone", 25}, {"regarding", 255}, {"comments", 255}}));

    // A body above 64 KiB is refused before it is read.
    const HttpResponse large = browser->request("PUT", "/api/my-status", std::string(70 * 1024, ' '));
    EXPECT_EQ(large.status, 413);
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 1u);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebBoard, StoredTextsComeBackAsTextWhateverTheyHold) {
    Fields jane = employee("Doe,Jane", "Out");
    jane[b::Comments] = "<img src=x onerror=alert(1)> & \"quotes\" \x80 \x81 \xe9";
    jane[b::Returning] = "</script><b>";
    auto server = startServer({jane});
    auto browser = signedIn(*server, "Doe,Jane", "pw");
    const HttpResponse board = browser->get("/api/board");
    ASSERT_EQ(board.status, 200);
    EXPECT_EQ(board.header("Content-Type"), "application/json");
    const json row = bodyOf(board)["rows"][0];
    // The very text, every byte through the code page (0x81, which the code
    // page leaves undefined, as U+0081), for the page to show as text.
    EXPECT_EQ(row["comments"], "<img src=x onerror=alert(1)> & \"quotes\" \u20ac \u0081 \u00e9");
    EXPECT_EQ(row["returning"], "</script><b>");
    EXPECT_TRUE(row["returnsAt"].is_null());
    EXPECT_FALSE(row.contains("password"));
    EXPECT_FALSE(row.contains("email"));

    // Sent back unchanged, the bytes are stored as they were.
    const HttpResponse same = browser->request(
        "PUT", "/api/my-status",
        json{{"status", "Out"}, {"returning", row["returning"]}, {"reachedAt", ""}, {"comments", row["comments"]}}.dump());
    ASSERT_EQ(same.status, 200) << same.body;
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Comments], jane[b::Comments]);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebBoard, TheLiveStreamAnnouncesAClientsChangeAndTheBoardIsRefetchedOnlyThen) {
    auto server = startServer({employee("Doe,Jane", "In"), employee("Roe,Rick", "In")});
    auto browser = signedIn(*server, "Doe,Jane", "pw");
    test::EventStream stream(server->webPort(), browser->sessionToken());
    ASSERT_EQ(stream.status(), 200);
    const std::string first = stream.nextBoardEvent();

    const HttpResponse board = browser->get("/api/board");
    ASSERT_EQ(board.status, 200);
    EXPECT_EQ(board.header("ETag"), first);
    EXPECT_EQ(browser->request("GET", "/api/board", {}, {{"If-None-Match", first}}).status, 304);

    // Rick's client logs in with a new status: every open page hears of it
    // within a second, and the board has it.
    Fields rick = employee("Roe,Rick", "In a meeting");
    const auto before = std::chrono::steady_clock::now();
    std::thread client([&] { clientLogin(*server, "Roe,Rick", "pw", test::recordString(rick)); });
    const std::string second = stream.nextBoardEvent(std::chrono::seconds(5));
    const auto took = std::chrono::steady_clock::now() - before;
    client.join();
    EXPECT_NE(second, first);
    EXPECT_LT(took, std::chrono::seconds(1));
    const HttpResponse changed = browser->request("GET", "/api/board", {}, {{"If-None-Match", first}});
    ASSERT_EQ(changed.status, 200);
    EXPECT_EQ(changed.header("ETag"), second);
    EXPECT_EQ(bodyOf(changed)["rows"][1]["status"], "In a meeting");

    // A change the board does not show (a login's time stamp) announces
    // nothing.
    clientLogin(*server, "Roe,Rick", "pw");
    EXPECT_THROW(stream.nextBoardEvent(std::chrono::milliseconds(800)), std::runtime_error);

    // The server stopping ends the stream at once, and exits cleanly.
    EXPECT_EQ(server->stop(), 0);
    EXPECT_TRUE(stream.endsWithin(std::chrono::seconds(2)));
}

TEST(WebBoard, AMessageTakenInTheBrowserReachesTheRecipientsClientAndTheMailbox) {
    const std::string mailReason = test::mailServerUnavailableReason();
    const std::string tag = test::uniqueMailTag();
    Fields jane = employee("Doe,Jane", "In");
    jane[b::EMail] = test::mailAddressFor(tag);
    jane[b::EMailNotify] = "YES";
    Fields desk = employee("Desk,Front", "In");
    desk[b::EMail] = "desk@localhost";
    auto server = startServer({desk, jane}, {{"SMTPHost", mailReason.empty() ? "127.0.0.1" : ""}});
    auto browser = signedIn(*server, "Desk,Front", "pw");

    const HttpResponse taken = browser->request("POST", "/api/messages", json{
        {"recipient", "Doe,Jane"}, {"caller", "R. Customer"}, {"company", "Supplier Ltd"},
        {"phone", "555-0100"}, {"called", true}, {"urgent", true}, {"returnedCall", false},
        {"regarding", "invoice 12"}, {"comments", "please call back"}}.dump());
    ASSERT_EQ(taken.status, 201) << taken.body;

    // Stored as a client-sent message: taken by the signed-in employee, now.
    const auto stored = records(*server, RecordKind::Message);
    ASSERT_EQ(stored.size(), 1u);
    const Fields& m = stored[0];
    EXPECT_EQ(m[0], "Doe,Jane");
    EXPECT_EQ(m[1], "Desk,Front");
    EXPECT_FALSE(m[2].empty());
    EXPECT_FALSE(m[3].empty());
    EXPECT_EQ((std::vector<std::string>(m.begin() + 4, m.end())),
              (std::vector<std::string>{"R. Customer", "Supplier Ltd", "555-0100", "invoice 12", "X", "", "", "",
                                        "X", "please call back"}));

    // Jane's client receives it at her next login.
    const auto delivered = sectionRecords(test::splitBundle(clientLogin(*server, "Doe,Jane", "pw")).wywo);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0], m);
    EXPECT_TRUE(records(*server, RecordKind::Message).empty());  // confirmed

    // A recipient who is not on the board is refused, naming the field.
    const HttpResponse nobody = browser->request("POST", "/api/messages", R"({"recipient":"Nobody,Here"})");
    EXPECT_EQ(nobody.status, 422);
    EXPECT_EQ(bodyOf(nobody)["field"], "recipient");
    EXPECT_EQ(browser->request("POST", "/api/messages", R"({"caller":"x"})").status, 422);
    EXPECT_EQ(browser->request("POST", "/api/messages", R"({"recipient":"Doe,Jane","urgent":"yes"})").status, 422);

    if (!mailReason.empty()) {
        EXPECT_EQ(server->stop(), 0);
        GTEST_SKIP() << "stored and delivered; the mail part needs the local mail server: " << mailReason;
    }
    const std::string mail = test::waitForMail(tag);
    ASSERT_FALSE(mail.empty()) << "no mail for " << tag;
    EXPECT_NE(mail.find("From: desk@localhost"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Subject: While You Were Out"), std::string::npos);
    EXPECT_NE(mail.find("Caller  : R. Customer"), std::string::npos);
    EXPECT_NE(mail.find("[*] Called"), std::string::npos);
    EXPECT_NE(mail.find("[ ] Returned Your Call"), std::string::npos);
    EXPECT_NE(mail.find("[*] URGENT"), std::string::npos);
    EXPECT_NE(mail.find("Call Taken By Desk,Front At " + m[3] + " On " + m[2]), std::string::npos) << mail;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebBoard, ABrowserThatGoesAwayMidRequestChangesNothing) {
    auto server = startServer({employee("Doe,Jane", "In")});
    auto browser = signedIn(*server, "Doe,Jane", "pw");
    const std::string body = R"({"status":"Gone","returning":"","reachedAt":"","comments":""})";
    {
        // The head and half the body, then the connection closes.
        TcpClient raw(server->webPort());
        raw.send("PUT /api/my-status HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nCookie: zv_session=" +
                 browser->sessionToken() + "\r\nX-Zelvora-Token: " + browser->antiForgeryToken +
                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() / 2));
    }
    // A step of the same browser afterwards finds the entry as it was.
    const test::HttpResponse me = browser->get("/api/me");
    EXPECT_EQ(me.status, 200);
    EXPECT_NE(me.body.find(R"("status":"In")"), std::string::npos) << me.body;
    // The same request whole goes through.
    EXPECT_EQ(browser->request("PUT", "/api/my-status", body).status, 200);
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Status], "Gone");
    EXPECT_EQ(server->stop(), 0);
    // Stopped, the server can change nothing more: the one status change it
    // made and logged is the whole request's.
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 1u);
    EXPECT_EQ(records(*server, RecordKind::Board)[0][b::Status], "Gone");
}

TEST(WebBoard, AWebPortInUseIsReportedAndTheClientsAreServedAsBefore) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    const int webPort = server->enableWeb();
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, {employee("Doe,Jane", "In")});
    // Someone else holds the web port.
    const int blocker = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(blocker, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(static_cast<std::uint16_t>(webPort));
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 4), 0);

    server->start();
    ASSERT_TRUE(eventually([&] { return server->stderrText().find(std::to_string(webPort)) != std::string::npos; }));
    const std::string errors = server->stderrText();
    EXPECT_NE(errors.find("cannot use port " + std::to_string(webPort) + ": Address already in use"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("The Zelvora Clients are served as before"), std::string::npos) << errors;

    // The clients are served.
    const auto board = sectionRecords(test::splitBundle(clientLogin(*server, "Doe,Jane", "pw")).wiwo);
    EXPECT_EQ(board.size(), 1u);
    EXPECT_EQ(server->stop(), 0);
    ::close(blocker);
}

}  // namespace
}  // namespace zv::webtest
