// The board's news in the team chat, end to end: the server in this process
// with five webhooks pointing at a web receiver the test starts
// (receiver.py). A Windows client's punch and a message it submits post one
// body each in the shape of each kind (Slack, Teams, signed JSON), only to
// the webhooks whose events and departments fit, with nothing of the
// message's text; a receiver that answers 500 and then 200 gets the post
// once more and no further.

#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "child_process.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/platform_info.h"
#include "host/server_host.h"
#include "net/event_loop.h"
#include "record_files.h"
#include "recording_view.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class ChatNewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!localIPAddressOfHost()) GTEST_SKIP() << "this computer's host name does not resolve";
        if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
        receiver_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"/usr/bin/python3", ZV_CHAT_RECEIVER, web_.file("posts.log"),
                                     web_.file("port"), "/flaky=500"},
            web_.file("receiver.out"));
        ASSERT_TRUE(waitFor([&] { return test::fileExists(web_.file("port")); }));
        const std::string base = "http://127.0.0.1:" + test::readFile(web_.file("port"));
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        port_ = test::freeTcpPort();
        test::writeFile(dir_.file("zva.ini"),
                        "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=" + std::to_string(port_) +
                            "\r\nExpDays=0\r\nMaxLogSize=100\r\n[Web]\r\nPort=0\r\n"
                            "[Chat.Slack]\r\nURL=" +
                            base +
                            "/slack\r\nKind=slack\r\n"
                            "[Chat.Teams]\r\nURL=" +
                            base +
                            "/teams\r\nKind=teams\r\n"
                            "[Chat.Json]\r\nURL=" +
                            base + "/json\r\nKind=json\r\nSecret=" + kSecret +
                            "\r\n"
                            "[Chat.Flaky]\r\nURL=" +
                            base +
                            "/flaky\r\nEvents=message\r\nDepartments=Support\r\n"
                            "[Chat.Finance]\r\nURL=" +
                            base + "/finance\r\nDepartments=Finance\r\n");
        test::writeRecordFile("wiwo.dat", test::RecordKind::Board,
                              {test::boardRecord("Smith,John", "pw", "Sales", "In"),
                               test::boardRecord("Doe,Jane", "pw2", "Support", "In")});
    }
    void TearDown() override {
        if (!oldCwd_.empty()) {
            ASSERT_EQ(::chdir(oldCwd_.c_str()), 0);
        }
    }

    // Pumps the main loop until `done` holds.
    bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            loop.waitAndDispatch(std::chrono::steady_clock::now() + 20ms);
        }
        return true;
    }

    // A client's exchange on a thread of its own while this one serves.
    void exchange(const std::string& request, bool loginExchange) {
        std::atomic<bool> done = false;
        std::thread client([&] {
            test::TcpClient c(port_);
            c.send(request);
            if (loginExchange) {
                EXPECT_EQ(c.receiveLoginReply(), "PREPARE_TO_RECEIVE");
                c.pullBundle(8192);
                c.send("CONFIRM");
            }
            EXPECT_TRUE(c.closedWithin(15s));
            done = true;
        });
        EXPECT_TRUE(waitFor([&] { return done.load(); }));
        client.join();
    }

    // The posts received so far on `path` (all paths when empty).
    std::vector<json> posts(const std::string& path = {}) const {
        std::vector<json> out;
        if (!test::fileExists(web_.file("posts.log"))) return out;
        std::ifstream log(web_.file("posts.log"));
        for (std::string line; std::getline(log, line);) {
            json post = json::parse(line);
            if (path.empty() || post["path"] == path) out.push_back(std::move(post));
        }
        return out;
    }

    static std::string hmacHex(const std::string& body) {
        unsigned char mac[crypto_auth_hmacsha256_BYTES];
        crypto_auth_hmacsha256_state state;
        crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(kSecret),
                                    sizeof kSecret - 1);
        crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(body.data()),
                                      body.size());
        crypto_auth_hmacsha256_final(&state, mac);
        char hex[2 * sizeof mac + 1];
        sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
        return hex;
    }

    static constexpr char kSecret[] = "shared-secret-of-the-receiver";
    test::TempDir web_{"zv-chat"};
    test::TempDir dir_;
    std::string oldCwd_;
    int port_ = 0;
    std::unique_ptr<test::ChildProcess> receiver_;
    test::RecordingView view_;
};

TEST_F(ChatNewsTest, APunchAndAMessagePostOneBodyPerKindSignedAndARefusedPostIsRetriedOnce) {
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();

    // A punch-out: one status change, in Sales.
    exchange("PUNCH_OUT:Smith,John:", false);
    ASSERT_TRUE(waitFor([&] { return posts().size() == 3; })) << posts().size();
    const json slack = json::parse(posts("/slack").at(0)["body"].get<std::string>());
    EXPECT_EQ(slack, json({{"text", "Smith,John is now Out - Sales"}}));
    const json teams = json::parse(posts("/teams").at(0)["body"].get<std::string>());
    EXPECT_EQ(teams["type"], "message");
    EXPECT_EQ(teams["attachments"][0]["contentType"], "application/vnd.microsoft.card.adaptive");
    EXPECT_EQ(teams["attachments"][0]["content"]["type"], "AdaptiveCard");
    EXPECT_EQ(teams["attachments"][0]["content"]["body"][0]["text"], "Smith,John is now Out - Sales");
    const json signedPost = posts("/json").at(0);
    const std::string body = signedPost["body"];
    const json status = json::parse(body);
    EXPECT_EQ(status["event"], "status");
    EXPECT_EQ(status["employee"], "Smith,John");
    EXPECT_EQ(status["status"], "Out");
    EXPECT_EQ(status["department"], "Sales");
    EXPECT_EQ(signedPost["headers"]["x-zelvora-signature"], "sha256=" + hmacHex(body));
    EXPECT_EQ(signedPost["headers"]["x-zelvora-event"], "status");

    // A message taken for Doe,Jane (Support): the flaky webhook wants it too,
    // refuses it once with 500 and takes it on the next attempt.
    const test::Fields message{"Doe,Jane", "Smith,John",      "1/2/24", "9:00:00 AM", "Ms Caller", "Acme Ltd",
                               "555-1234", "The contract",    "X",      "",           "",          "",
                               "",         "Please call back"};
    exchange("SUBMIT_LOGIN:DLTA:Smith,John|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]" +
                 test::recordString(message) + "[*PHONE*]NO_DATA",
             true);
    ASSERT_TRUE(waitFor([&] { return posts("/flaky").size() == 2 && posts().size() == 8; }))
        << posts().size();
    const std::vector<json> flaky = posts("/flaky");
    EXPECT_EQ(flaky[0]["status"], 500);
    EXPECT_EQ(flaky[1]["status"], 200);
    EXPECT_EQ(flaky[0]["body"], flaky[1]["body"]);
    ASSERT_TRUE(waitFor([&] { return view_.linesWith("chat webhook \"Flaky\" takes posts again") == 1; }));
    EXPECT_EQ(view_.linesWith("chat webhook \"Flaky\" does not take posts (the webhook answered HTTP 500)"),
              1);
    EXPECT_EQ(posts("/flaky").size(), 2u);
    EXPECT_EQ(json::parse(posts("/slack").at(1)["body"].get<std::string>())["text"],
              "A message was taken for Doe,Jane by Smith,John");
    const json taken = json::parse(posts("/json").at(1)["body"].get<std::string>());
    EXPECT_EQ(taken["event"], "message");
    EXPECT_EQ(taken["recipient"], "Doe,Jane");
    EXPECT_EQ(taken["department"], "Support");
    for (const json& post : posts()) {
        const std::string text = post["body"];
        for (const char* secret : {"Ms Caller", "Acme", "555-1234", "contract", "Please call", "pw"})
            EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in " << text;
    }
    EXPECT_TRUE(posts("/finance").empty());

    // "Send a test" reaches the webhook named, once.
    std::optional<std::string> tried;
    host.maintenance().sendChatTest(kWindowAdministrator, "Finance",
                                    [&](const std::string& why) { tried = why; });
    ASSERT_TRUE(waitFor([&] { return tried.has_value(); }));
    EXPECT_EQ(*tried, "");
    ASSERT_EQ(posts("/finance").size(), 1u);
    EXPECT_EQ(posts("/finance")[0]["headers"]["x-zelvora-event"], "test");
    EXPECT_TRUE(host.FormCloseQuery());
}

}  // namespace
}  // namespace zv
