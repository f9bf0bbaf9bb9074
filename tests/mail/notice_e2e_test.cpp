// Message notices sent by a running zelvorad: a client delivers a message and
// the server mails it through the local mail server (scripts/mail_server.sh)
// when, and only when, the recipient asked for it; a dead mail host costs
// nothing but the mail.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "record_files.h"
#include "server_process.h"
#include "tcp_client.h"
#include "test_mailbox.h"

namespace zv {
namespace {

using test::Fields;
using test::RecordKind;
using test::ServerProcess;
using test::TcpClient;

std::unique_ptr<ServerProcess> makeServer(const std::string& smtpHost) {
    return std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH,
                                           std::map<std::string, std::string>{{"SMTPHost", smtpHost}});
}

Fields employee(const std::string& key, const std::string& email, const std::string& notify) {
    Fields fields = test::boardRecord(key, "pw");
    fields[test::board::EMail] = email;
    fields[test::board::EMailNotify] = notify;
    return fields;
}

Fields messageFor(const std::string& recipient, const std::string& caller) {
    return {recipient,  "Desk,Front",        "12/06/2026", "10:15 AM", caller, "Supplier Ltd",
            "555-0100", "invoice 12",        "X",          "",         "",     "",
            "X",        ".starts with a dot"};
}

// Desk,Front logs in with one new message, pulls the bundle and confirms.
void deliverMessage(const ServerProcess& server, const Fields& message,
                    std::chrono::milliseconds replyLimit = std::chrono::seconds(15)) {
    TcpClient client(server.port());
    client.send("SUBMIT_LOGIN:FULL:Desk,Front|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]" +
                test::recordString(message) + "[*PHONE*]NO_DATA");
    ASSERT_EQ(client.receiveLoginReply(replyLimit), "PREPARE_TO_RECEIVE");
    const std::string bundle = client.pullBundle(8192);
    EXPECT_NE(test::bundleEnd(bundle), std::string::npos);
    client.send("CONFIRM");
    EXPECT_TRUE(client.closedWithin(std::chrono::seconds(15)));
}

std::vector<Fields> storedMessages(const ServerProcess& server) {
    return test::readRecordFile(server.dataFile(test::dataFileName(RecordKind::Message)),
                                RecordKind::Message);
}

void writeBoard(const ServerProcess& server, const std::vector<Fields>& board) {
    test::writeRecordFile(server.dataFile(test::dataFileName(RecordKind::Board)), RecordKind::Board, board);
}

class ServerNotice : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = test::mailServerUnavailableReason();
        if (!reason.empty()) GTEST_SKIP() << reason;
    }
};

TEST_F(ServerNotice, AMessageForAnEmployeeWhoAskedForMailIsMailedFromTheTaker) {
    const std::string tag = test::uniqueMailTag();
    auto server = makeServer("127.0.0.1");
    writeBoard(*server, {employee("Desk,Front", "desk@localhost", ""),
                         employee("Smith,Anna", test::mailAddressFor(tag), "YES")});
    server->start();
    deliverMessage(*server, messageFor("Smith,Anna", "R. Customer"));

    const std::string mail = test::waitForMail(tag);
    ASSERT_FALSE(mail.empty()) << "no notice arrived for " << test::mailAddressFor(tag);
    EXPECT_EQ(mail.rfind("From MAILER-DAEMON ", 0), 0u);
    for (const std::string& line :
         {std::string("From: desk@localhost"), "To: " + test::mailAddressFor(tag),
          std::string("Subject: While You Were Out"), std::string("Caller  : R. Customer"),
          std::string("[*] Called"), std::string("[*] URGENT"), std::string(".starts with a dot"),
          std::string("Call Taken By Desk,Front At 10:15 AM On 12/06/2026")})
        EXPECT_NE(mail.find("\n" + line + "\n"), std::string::npos) << line << "\n" << mail;
    EXPECT_EQ(storedMessages(*server), (std::vector<Fields>{messageFor("Smith,Anna", "R. Customer")}));
    EXPECT_EQ(server->stop(), 0);
}

TEST_F(ServerNotice, NothingIsMailedForLowerCaseYesAnEmptyAddressOrAnEmptyMailHost) {
    const std::string lowerCase = test::uniqueMailTag();
    const std::string noHost = test::uniqueMailTag();
    const std::string control = test::uniqueMailTag();
    auto server = makeServer("");
    writeBoard(*server, {employee("Desk,Front", "desk@localhost", ""), employee("Jones,Bob", "", "YES"),
                         employee("Lee,Carl", test::mailAddressFor(control), "YES"),
                         employee("Smith,Anna", test::mailAddressFor(lowerCase), "yes"),
                         employee("Wu,Dana", test::mailAddressFor(noHost), "YES")});
    server->start();
    deliverMessage(*server, messageFor("Wu,Dana", "no mail host"));
    EXPECT_EQ(server->stop(), 0);

    server->writeIni({{"SMTPHost", "127.0.0.1"}});
    server->start();
    deliverMessage(*server, messageFor("Smith,Anna", "lower-case yes"));
    deliverMessage(*server, messageFor("Jones,Bob", "no address"));
    // The control goes last: once it is in the mailbox, the others would be too.
    deliverMessage(*server, messageFor("Lee,Carl", "control"));
    ASSERT_FALSE(test::waitForMail(control).empty());
    EXPECT_TRUE(test::findMail(lowerCase).empty());
    EXPECT_TRUE(test::findMail(noHost).empty());
    EXPECT_EQ(storedMessages(*server).size(), 4u);
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerNoticeFailure, ADeadMailHostLeavesTheMessageStoredAndTheClientServed) {
    // Nothing listens on 127.0.0.2:25 (the mail server binds 127.0.0.1 only),
    // so the connection is refused.
    auto server = makeServer("127.0.0.2");
    writeBoard(*server, {employee("Desk,Front", "desk@localhost", ""),
                         employee("Smith,Anna", "anna@localhost", "YES")});
    server->start();
    deliverMessage(*server, messageFor("Smith,Anna", "first"));
    deliverMessage(*server, messageFor("Smith,Anna", "second"));
    EXPECT_EQ(storedMessages(*server),
              (std::vector<Fields>{messageFor("Smith,Anna", "first"), messageFor("Smith,Anna", "second")}));
    EXPECT_EQ(server->stop(), 0);
}

// A mail host that takes connections and never says a word: a listener on
// port 25 of a loopback address of its own that never accepts (the system
// completes the connections). Root is needed for the port.
class SilentMailHost {
public:
    SilentMailHost() {
        std::random_device random;
        const unsigned value = random();
        m_address = "127." + std::to_string(10 + value % 200) + "." + std::to_string((value >> 8) % 250) +
                    "." + std::to_string(1 + (value >> 16) % 250);
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(25);
        if (m_fd < 0 || ::inet_pton(AF_INET, m_address.c_str(), &addr.sin_addr) != 1 ||
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_fd, 4) != 0) {
            if (m_fd >= 0) ::close(m_fd);
            m_fd = -1;
        }
    }
    ~SilentMailHost() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool listening() const { return m_fd >= 0; }
    const std::string& address() const { return m_address; }

private:
    std::string m_address;
    int m_fd = -1;
};

TEST(ServerNoticeFailure, AMailHostThatNeverAnswersDelaysTheClientButLosesNothing) {
    SilentMailHost silent;
    if (!silent.listening()) GTEST_SKIP() << "cannot listen on port 25 of " << silent.address();
    auto server = makeServer(silent.address());
    writeBoard(*server, {employee("Desk,Front", "desk@localhost", ""),
                         employee("Smith,Anna", "anna@localhost", "YES")});
    server->start();
    // The notice gives up after its time-out (15 s for the greeting); the
    // client then gets its normal reply and everything is stored.
    deliverMessage(*server, messageFor("Smith,Anna", "waited"), std::chrono::seconds(45));
    EXPECT_EQ(storedMessages(*server), (std::vector<Fields>{messageFor("Smith,Anna", "waited")}));
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv
