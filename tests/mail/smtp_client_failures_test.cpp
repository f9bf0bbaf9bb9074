// The SMTP client against a scripted peer on loopback: every way a mail
// server or the network can fail a request, the requests refused before they
// start, and the end of every request reported from the loop.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <numeric>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "mail/smtp_client.h"
#include "net/async_socket.h"
#include "net/event_loop.h"
#include "scripted_smtp_peer.h"
#include "smtp_client_support.h"

namespace zv {
namespace {

using namespace zv::test;

// A port on loopback that nothing listens on.
std::string closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ::close(fd);
    return std::to_string(ntohs(addr.sin_port));
}

TEST(SmtpClientFailures, AConnectionDroppedMidMessageEndsTheMailWith10004) {
    ScriptedSmtpPeer peer(
        {{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("250 ok"), receive(), reply("250 ok"),
          receive(), reply("354 go"), receiveLines(3), closeConnection()}});
    TSyncSmtpClient client;
    prepare(client, peer);
    std::vector<std::string> body(200, "a line of the body");
    supplyBody(client, body);
    ASSERT_TRUE(client.OpenAndWait());
    EXPECT_FALSE(client.MailAndWait());
    EXPECT_EQ(client.RequestResult(), 10004);
    EXPECT_FALSE(client.ErrorMessage().empty());
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.State(), smtpReady);
    // Quit without a connection ends at once and sends nothing.
    EXPECT_FALSE(client.QuitAndWait());
    EXPECT_EQ(client.RequestResult(), 10004);
    EXPECT_FALSE(client.MailAndWait());
    EXPECT_EQ(client.ErrorMessage(), "SMTP component not connected");
}

TEST(SmtpClientFailures, APeerThatNeverAnswersTimesOutAndLeavesNoConnection) {
    {
        ScriptedSmtpPeer peer({{silence()}});
        TSyncSmtpClient client;
        prepare(client, peer);
        client.setTimeout(2);
        EXPECT_FALSE(client.OpenAndWait());
        EXPECT_EQ(client.ErrorMessage(), "426 Timeout");
        EXPECT_EQ(client.ReplyCode(), 426);
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(client.State(), smtpReady);
        EXPECT_FALSE(client.MailAndWait());
        EXPECT_EQ(client.ErrorMessage(), "SMTP component not connected");
        peer.finish();
        EXPECT_TRUE(peer.clientClosedEach());
    }
    {
        // Silent after MAIL FROM: the mail times out; the connection is dropped
        // without QUIT.
        ScriptedSmtpPeer peer({{reply("220 hi"), receive(), reply("250 ok"), receive(), silence()}});
        TSyncSmtpClient client;
        prepare(client, peer);
        client.setTimeout(2);
        ASSERT_TRUE(client.OpenAndWait());
        EXPECT_FALSE(client.MailAndWait());
        EXPECT_EQ(client.ErrorMessage(), "426 Timeout");
        EXPECT_FALSE(client.Connected());
        peer.finish();
        EXPECT_EQ(peer.lines(), (std::vector<std::string>{"HELO tester", "MAIL FROM:<>"}));
        EXPECT_TRUE(peer.clientClosedEach());
    }
}

TEST(SmtpClientFailures, AQuitRequestToTheOwnerThreadEndsAWaitingCallAtOnce) {
    ScriptedSmtpPeer peer({{silence()}});
    std::promise<TEventLoop*> loopOf;
    std::string error;
    bool connected = true;
    std::thread owner([&] {
        TSyncSmtpClient client;
        prepare(client, peer);
        client.setTimeout(120);  // far longer than the test may take
        loopOf.set_value(&client.socket().ownerLoop());
        EXPECT_FALSE(client.OpenAndWait());
        error = client.ErrorMessage();
        connected = client.Connected();
    });
    loopOf.get_future().get()->quit();
    owner.join();
    EXPECT_EQ(error, "426 Timeout");
    EXPECT_FALSE(connected);
}

TEST(SmtpClientFailures, AReplyLineLargerThanTheBufferFailsAtOnceAndDropsTheConnection) {
    {
        ScriptedSmtpPeer peer({{send("220 " + std::string(5000, 'x') + "\r\n")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        EXPECT_FALSE(client.OpenAndWait());
        EXPECT_EQ(client.RequestResult(), 500);
        EXPECT_EQ(client.ErrorMessage(), "500 Reply line longer than 4094 characters");
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(client.State(), smtpReady);
    }
    {
        // Many short lines adding up to far more than the buffer are fine.
        std::string helo;
        for (int i = 0; i < 150; ++i) helo += "250-" + std::string(60, 'k') + "\r\n";
        helo += "250 done\r\n";
        ScriptedSmtpPeer peer({{reply("220 hi"), receive(), send(helo), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        EXPECT_TRUE(client.OpenAndWait()) << client.ErrorMessage();
        EXPECT_EQ(client.LastResponse(), "250 done");
        EXPECT_TRUE(client.QuitAndWait());
    }
}

TEST(SmtpClientFailures, ARefusedConnectionOrBadHostGivesA500TextWithTheErrorNumber) {
    TSyncSmtpClient client;
    client.setHost("127.0.0.1");
    client.setPort(closedPort());
    client.setTimeout(10);
    EXPECT_FALSE(client.OpenAndWait());
    EXPECT_EQ(client.ErrorMessage(), "500 Connection refused (Winsock error #10061)");
    EXPECT_EQ(client.RequestResult(), 10061);
    EXPECT_EQ(client.ReplyCode(), 500);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.State(), smtpReady);

    client.setHost("");
    EXPECT_FALSE(client.OpenAndWait());
    EXPECT_EQ(client.ErrorMessage(), "500 ESocketException: DNS lookup: invalid host name.");
    EXPECT_EQ(client.State(), smtpReady);

    client.setHost("127.0.0.1");
    client.setPort("no-such-service-zv");
    EXPECT_FALSE(client.OpenAndWait());
    EXPECT_EQ(client.ErrorMessage().rfind("500 ESocketException: ", 0), 0u) << client.ErrorMessage();
    EXPECT_EQ(client.RequestResult(), 500);
    EXPECT_EQ(client.State(), smtpReady);
}

TEST(SmtpClientPreconditions, RefuseRequestsThatCannotStartWithTheirTexts) {
    TSyncSmtpClient client;
    EXPECT_FALSE(client.MailAndWait());
    EXPECT_EQ(client.ErrorMessage(), "SMTP component not connected");
    // Quit without a connection: at once, nothing sent, the last result kept.
    EXPECT_TRUE(client.QuitAndWait());
    EXPECT_EQ(client.State(), smtpReady);

    ScriptedSmtpPeer peer({{reply("220 hi"), receive(), reply("250 ok"), receive(), silence()}});
    prepare(client, peer);
    ASSERT_TRUE(client.OpenAndWait());
    EXPECT_FALSE(client.OpenAndWait());
    EXPECT_EQ(client.ErrorMessage(), "SMTP component already connected");
    client.setRcptName({});
    EXPECT_FALSE(client.MailAndWait());
    EXPECT_EQ(client.ErrorMessage(), "RcptName list is empty");
    client.setRcptName({"anna@example.com"});
    client.Mail();  // started, not waited for
    EXPECT_EQ(client.State(), smtpWaitingResponse);
    try {
        client.Quit();
        ADD_FAILURE() << "a request while another runs must be refused";
    } catch (const SmtpException& e) {
        EXPECT_STREQ(e.what(), "SMTP component not ready");
    }
    EXPECT_FALSE(client.QuitAndWait());
    EXPECT_EQ(client.ErrorMessage(), "SMTP component not ready");
    client.Abort();
    EXPECT_EQ(client.State(), smtpReady);
    EXPECT_FALSE(client.Connected());
}

TEST(SmtpClientSafety, RefusesLineBreaksInAddressesAndHeaderValuesBeforeSendingAnything) {
    ScriptedSmtpPeer peer({{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("221 bye")}});
    TSyncSmtpClient client;
    prepare(client, peer);
    ASSERT_TRUE(client.OpenAndWait());

    const auto refused = [&](auto set, const char* name) {
        TSyncSmtpClient& c = client;
        set(c);
        EXPECT_FALSE(c.MailAndWait()) << name;
        EXPECT_NE(c.ErrorMessage().find(name), std::string::npos) << c.ErrorMessage();
        prepare(c, peer);
        c.setFromName("");
        c.setHdrReplyTo("");
        c.setHdrReturnPath("");
    };
    refused([](TSyncSmtpClient& c) { c.setHdrSubject("hi\r\nBcc: victim@example.com"); }, "HdrSubject");
    refused([](TSyncSmtpClient& c) { c.setRcptName({"a@example.com\r\nRCPT TO:<b@c>"}); }, "RcptName");
    refused([](TSyncSmtpClient& c) { c.setFromName("x@example.com\n"); }, "FromName");
    refused([](TSyncSmtpClient& c) { c.setRcptName({"a@example.com> NOTIFY=SUCCESS"}); }, "RcptName");
    refused([](TSyncSmtpClient& c) { c.setFromName("<x@example.com> SIZE=1"); }, "FromName");
    refused([](TSyncSmtpClient& c) { c.setHdrFrom("x@example.com\rX: y"); }, "HdrFrom");
    refused([](TSyncSmtpClient& c) { c.setHdrTo("\nx"); }, "HdrTo");
    refused([](TSyncSmtpClient& c) { c.setHdrReplyTo("a\nb"); }, "HdrReplyTo");
    refused([](TSyncSmtpClient& c) { c.setHdrReturnPath("a\rb"); }, "HdrReturnPath");
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.QuitAndWait());
    peer.finish();
    EXPECT_EQ(peer.lines(), (std::vector<std::string>{"HELO tester", "QUIT"}));
}

TEST(SmtpClientEvents, RequestDoneFollowsEveryRequestFromTheLoop) {
    ScriptedSmtpPeer peer({acceptingScript()});
    TSyncSmtpClient client;
    prepare(client, peer);
    std::vector<std::pair<TSmtpRequest, int>> done;
    client.OnRequestDone = [&](TCustomSmtpClient&, TSmtpRequest request, std::uint16_t error) {
        done.emplace_back(request, error);
    };
    std::vector<std::string> trace;
    client.OnDisplay = [&](TCustomSmtpClient&, const std::string& text) { trace.push_back(text); };
    ASSERT_TRUE(client.OpenAndWait());
    ASSERT_TRUE(client.MailAndWait());
    ASSERT_TRUE(client.QuitAndWait());
    PumpMessages();
    EXPECT_EQ(done, (std::vector<std::pair<TSmtpRequest, int>>{{smtpOpen, 0}, {smtpMail, 0}, {smtpQuit, 0}}));
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[0], "< 220 peer ready");
    EXPECT_EQ(trace[1], "> HELO tester");
    EXPECT_EQ(trace.back(), "< 221 bye");

    // A client destroyed before its loop runs the queued call is never called back.
    done.clear();
    {
        TSyncSmtpClient gone;
        gone.OnRequestDone = [&](TCustomSmtpClient&, TSmtpRequest request, std::uint16_t e) {
            done.emplace_back(request, e);
        };
        EXPECT_TRUE(gone.QuitAndWait());
    }
    PumpMessages();
    EXPECT_TRUE(done.empty());
}

}  // namespace
}  // namespace zv
