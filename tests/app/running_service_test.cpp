// The built zelvorad run as a service runs for years: its settings file read
// again on SIGHUP while clients are served, edits made to the file by hand
// while it runs kept through the server's own changes and its stop, and the
// clients' port on IPv6 as well as IPv4.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "../e2e/e2e_support.h"
#include "http_client.h"

namespace zv::e2e {
namespace {

using nlohmann::json;
using test::HttpClient;

// The administrator's browser, after the first-run set-up (on loopback).
std::unique_ptr<HttpClient> administrator(const ServerProcess& server) {
    auto browser = std::make_unique<HttpClient>(server.webPort());
    const auto response = browser->adminSetUp("office-keys-1");
    EXPECT_EQ(response.status, 201) << response.body;
    return browser;
}

json optionsOf(HttpClient& admin) { return json::parse(admin.get("/api/admin/options").body); }

// The settings file with `line` (a whole "Key=value" line) in place of the
// line that begins with `key` and "=" in its first section that has one.
void replaceLine(const ServerProcess& server, const std::string& key, const std::string& line) {
    std::string text = test::readFile(server.iniPath());
    const std::size_t at = text.find("\n" + key + "=");
    ASSERT_NE(at, std::string::npos) << key << " in " << text;
    text.replace(at + 1, text.find("\r\n", at + 1) - at - 1, line);
    test::writeFile(server.iniPath(), text);
}

void punchIn(int port, const std::string& key) {
    TcpClient punch(port);
    punch.send(loginRequest("PUNCH_IN", key, "pw"));
    EXPECT_EQ(punch.receiveLoginReply(), "PREPARE_TO_RECEIVE");
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(SettingsReload, ASighupAppliesTheLogSizeAndTheMailHostAtOnceWhileClientsAreServedThroughout) {
    auto server = makeServer();
    server->enableWeb();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Smith,John", "pw")});
    server->start();
    auto admin = administrator(*server);
    const int port = server->port();
    fullExchange(port, loginRequest("FULL", "Smith,John", "pw"));  // before

    // A client in the middle of its exchange when the signal comes.
    TcpClient inFlight(port);
    inFlight.send(loginRequest("FULL", "Doe,Jane", "pw"));
    ASSERT_EQ(inFlight.receiveLoginReply(), "PREPARE_TO_RECEIVE");

    replaceLine(*server, "MaxLogSize", "MaxLogSize=2");
    replaceLine(*server, "SMTPHost", "SMTPHost=mail.example.com");
    replaceLine(*server, "Port", "Port=1");
    ASSERT_EQ(::kill(server->pid(), SIGHUP), 0);
    ASSERT_TRUE(eventually([&] { return server->stderrText().find("was read again") != std::string::npos; }))
        << server->stderrText();
    const std::string said = server->stderrText();
    EXPECT_NE(said.find("in effect at once: [Options] SMTPHost \"mail.example.com\" (was \"\"), [Options] "
                        "MaxLogSize \"2\" (was \"100\"); from the next start: [Options] Port \"1\" (was \"" +
                        std::to_string(port) + "\")"),
              std::string::npos)
        << said;

    inFlight.pullBundle(8192);
    inFlight.send("CONFIRM");
    EXPECT_TRUE(inFlight.closedWithin(std::chrono::seconds(15)));
    fullExchange(port, loginRequest("FULL", "Smith,John", "pw"));  // after, on the port in use

    const json options = optionsOf(*admin);
    EXPECT_EQ(options["smtpHost"], "mail.example.com");
    EXPECT_EQ(options["logSizeLimit"], 2);
    EXPECT_EQ(options["listeningPort"], port);
    // The log size at once: three punches leave two records.
    for (int i = 0; i < 3; ++i) punchIn(port, "Doe,Jane");
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);

    // A file that cannot be read changes nothing, and says why.
    ASSERT_EQ(::rename(server->iniPath().c_str(), (server->iniPath() + ".away").c_str()), 0);
    ASSERT_EQ(::kill(server->pid(), SIGHUP), 0);
    ASSERT_TRUE(
        eventually([&] { return server->stderrText().find("cannot be read again") != std::string::npos; }));
    EXPECT_EQ(optionsOf(*admin)["smtpHost"], "mail.example.com");
    ASSERT_EQ(::rename((server->iniPath() + ".away").c_str(), server->iniPath().c_str()), 0);
    fullExchange(port, loginRequest("FULL", "Smith,John", "pw"));
    EXPECT_EQ(server->stop(), 0);
}

TEST(OutsideEdits, AKeyAddedByHandWhileItRunsSurvivesAChangeMadeInTheBrowserAndTheStop) {
    auto server = makeServer({{"ExpDays", "3"}});
    server->enableWeb();
    server->start();
    auto admin = administrator(*server);

    // Edited by hand while it runs: a key and a comment of one's own, a
    // section of another program, ExpDays, and the mail host, which the
    // browser then sets as well.
    std::string text = test::readFile(server->iniPath());
    text.replace(text.find("ExpDays=3"), 9, "ExpDays=5\r\n; asked for by the office\r\nCustom=kept");
    text.replace(text.find("SMTPHost="), 9, "SMTPHost=by.hand.example");
    test::writeFile(server->iniPath(), text + "\r\n[Other]\r\nNote=also kept\r\n");

    const auto changed =
        admin->request("PUT", "/api/admin/options", R"({"smtpHost":"browser.example","maxLogSize":"7"})");
    ASSERT_EQ(changed.status, 200) << changed.body;
    std::string written = test::readFile(server->iniPath());
    for (const char* line :
         {"ExpDays=5\r\n; asked for by the office\r\nCustom=kept\r\n", "SMTPHost=browser.example\r\n",
          "MaxLogSize=7\r\n", "[Other]\r\nNote=also kept\r\n"}) {
        EXPECT_NE(written.find(line), std::string::npos) << line << " in " << written;
    }
    // The edit the browser's change replaced is reported, once.
    EXPECT_EQ(countOf(server->stderrText(), "by.hand.example"), 1u) << server->stderrText();

    // Another edit after the server's last write: the stop keeps it.
    written.replace(written.find("Note=also kept"), 14, "Note=edited again");
    test::writeFile(server->iniPath(), written);
    EXPECT_EQ(server->stop(), 0);
    const std::string after = test::readFile(server->iniPath());
    EXPECT_NE(after.find("Note=edited again\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("ExpDays=5\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("[Screen]\r\n"), std::string::npos) << after;  // the placement it never had
    EXPECT_EQ(countOf(server->stderrText(), "by.hand.example"), 1u) << server->stderrText();
}

// Whether this machine has an IPv6 loopback to listen on.
bool haveIpv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
    ::close(fd);
    return bound;
}

TEST(ClientPort, ClientsConnectOverIPv6AndIPv4AndAddressNarrowsItToOne) {
    if (!haveIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    server->start();
    for (const char* address : {"::1", "127.0.0.1"}) {
        TcpClient client(server->port(), address);
        client.send(loginRequest("PUNCH_IN", "Smith,John", "pw"));
        EXPECT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE") << address;
    }
    EXPECT_EQ(server->stop(), 0);

    server->writeIni({{"Address", "::1"}});
    server->launch();
    TcpClient v6;
    ASSERT_TRUE(eventually([&] { return v6.tryConnect(server->port(), "::1"); }));
    v6.send(loginRequest("FULL", "Smith,John", "pw"));
    EXPECT_EQ(v6.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    TcpClient v4;
    EXPECT_FALSE(v4.tryConnect(server->port(), "127.0.0.1"));
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e
