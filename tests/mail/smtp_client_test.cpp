// The SMTP client against a scripted peer on loopback: the conversation, the
// mail text on the wire, and every way a mail server can fail it.

#include "mail/smtp_client.h"

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

#include "net/async_socket.h"
#include "net/event_loop.h"
#include "scripted_smtp_peer.h"

namespace zv {
namespace {

using namespace zv::test;

void prepare(TSyncSmtpClient& client, const ScriptedSmtpPeer& peer) {
    client.setHost("127.0.0.1");
    client.setPort(peer.port());
    client.setSignOn("tester");
    client.setTimeout(10);
    client.setRcptName({"anna@example.com"});
    client.setHdrFrom("desk@example.com");
    client.setHdrTo("anna@example.com");
    client.setHdrSubject("While You Were Out");
}

void supplyBody(TCustomSmtpClient& client, std::vector<std::string> body) {
    client.OnGetData = [body](TCustomSmtpClient&, int lineNum, char* msgLine, int maxLen, bool& more) {
        if (lineNum > static_cast<int>(body.size())) {
            more = false;
            return;
        }
        const std::string& line = body[static_cast<std::size_t>(lineNum - 1)];
        const std::size_t n = std::min(line.size(), static_cast<std::size_t>(maxLen - 1));
        line.copy(msgLine, n);
        msgLine[n] = '\0';
    };
}

std::vector<std::string> expectedHeader() {
    return {"From: desk@example.com", "To: anna@example.com", "Subject: While You Were Out",
            "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"iso-8859-1\""};
}

const std::regex kDateLine(
    R"(Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [1-9][0-9]? (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4})");

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

TEST(SmtpClientConversation, SendsCommandsHeaderAndBodyInOrderWithTheDotRule) {
    ScriptedSmtpPeer peer({acceptingScript()});
    TSyncSmtpClient client;
    prepare(client, peer);
    client.setFromName("  ");
    client.setRcptName({"  anna@example.com "});
    supplyBody(client, {"first", ".", ".hidden", "a\r\nb\rc\n.d", "last"});

    // When a body line is asked for, the line before it has left the send queue.
    std::vector<int> queuedWhenAsked;
    auto supplier = client.OnGetData;
    client.OnGetData = [&](TCustomSmtpClient& sender, int lineNum, char* line, int maxLen, bool& more) {
        const auto fill = sender.socket().sendQueueChunkFill();
        queuedWhenAsked.push_back(std::accumulate(fill.begin(), fill.end(), 0));
        EXPECT_EQ(maxLen, 1023);
        // No other request may cut into the message.
        EXPECT_THROW(sender.Quit(), SmtpException);
        supplier(sender, lineNum, line, maxLen, more);
    };

    ASSERT_TRUE(client.OpenAndWait()) << client.ErrorMessage();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.State(), smtpReady);
    EXPECT_EQ(client.LastResponse(), "250 peer");
    ASSERT_TRUE(client.MailAndWait()) << client.ErrorMessage();
    EXPECT_EQ(client.LastResponse(), "250 queued");
    EXPECT_EQ(client.RequestResult(), 0);
    ASSERT_TRUE(client.QuitAndWait()) << client.ErrorMessage();
    EXPECT_EQ(client.LastResponse(), "221 bye");
    EXPECT_FALSE(client.Connected());
    peer.finish();

    const auto lines = peer.lines();
    std::vector<std::string> expected = {"HELO tester", "MAIL FROM:<>", "RCPT TO:<anna@example.com>", "DATA"};
    for (const auto& h : expectedHeader()) expected.push_back(h);
    ASSERT_EQ(lines.size(), expected.size() + 1 + 1 + 8 + 2);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
    EXPECT_TRUE(std::regex_match(lines[9], kDateLine)) << lines[9];
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 11, lines.end()),
        (std::vector<std::string>{"first", "..", "..hidden", "a", "b", "c", "..d", "last", ".", "QUIT"}));
    EXPECT_TRUE(peer.clientClosedEach());
    for (int queued : queuedWhenAsked) EXPECT_EQ(queued, 0);
    EXPECT_EQ(queuedWhenAsked.size(), 6u);  // five lines and the call that ends the body
}

TEST(SmtpClientConversation, GreetsWithTheLocalHostNameAndSendsAnEmptyBodyWithoutSupplier) {
    ScriptedSmtpPeer peer({acceptingScript()});
    TSyncSmtpClient client;
    prepare(client, peer);
    client.setSignOn("");
    client.setHdrReplyTo("back@example.com");
    client.setHdrReturnPath("bounce@example.com");
    client.setFromName("desk@example.com");
    ASSERT_TRUE(client.OpenAndWait()) << client.ErrorMessage();
    ASSERT_TRUE(client.MailAndWait()) << client.ErrorMessage();
    ASSERT_TRUE(client.QuitAndWait()) << client.ErrorMessage();
    peer.finish();

    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    const auto lines = peer.lines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], std::string("HELO ") + name);
    EXPECT_EQ(lines[1], "MAIL FROM:<desk@example.com>");
    EXPECT_EQ(lines[4], "Reply-To: back@example.com");
    EXPECT_EQ(lines[5], "Return-Path: bounce@example.com");
    EXPECT_EQ(lines[6], "From: desk@example.com");
    EXPECT_TRUE(std::regex_match(lines[11], kDateLine)) << lines[11];
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], ".");
    EXPECT_EQ(lines[14], "QUIT");
}

TEST(SmtpClientReplies, AGreetingOtherThan220FailsTheOpenAndClosesTheConnection) {
    ScriptedSmtpPeer peer({{reply("554 no service here")}});
    TSyncSmtpClient client;
    prepare(client, peer);
    EXPECT_FALSE(client.OpenAndWait());
    EXPECT_EQ(client.RequestResult(), 554);
    EXPECT_EQ(client.ReplyCode(), 554);
    EXPECT_EQ(client.ErrorMessage(), "554 no service here");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.State(), smtpReady);
    peer.finish();
    EXPECT_TRUE(peer.lines().empty());
    EXPECT_TRUE(peer.clientClosedEach());
}

TEST(SmtpClientReplies, AMultiLineReplyEndsOnlyAtItsLastLine) {
    {
        // Continuation lines in pieces of any size, then the final line.
        ScriptedSmtpPeer peer({{send("220-first"), send(" line\r\n220"), send(" second\r\n"), receive(),
                                send("250-a\r\n250-b\r\n"), send("250 c\r\n"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        ASSERT_TRUE(client.OpenAndWait()) << client.ErrorMessage();
        EXPECT_EQ(client.LastResponse(), "250 c");
        EXPECT_TRUE(client.QuitAndWait());
    }
    {
        // The final line decides: "250-" then "554" fails HELO.
        ScriptedSmtpPeer peer({{reply("220 hi"), receive(), send("250-fine so far\r\n"),
                                send("554 but no\r\n"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        EXPECT_FALSE(client.OpenAndWait());
        EXPECT_EQ(client.RequestResult(), 554);
        EXPECT_EQ(client.ErrorMessage(), "554 but no");
        EXPECT_TRUE(client.Connected());  // a refused HELO leaves the connection
        EXPECT_TRUE(client.QuitAndWait());
    }
    {
        // A reply line without a code is a failure, never a success.
        ScriptedSmtpPeer peer(
            {{reply("220 hi"), receive(), reply("hello there"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        EXPECT_FALSE(client.OpenAndWait());
        EXPECT_EQ(client.RequestResult(), 500);
        EXPECT_EQ(client.ErrorMessage(), "hello there");
        EXPECT_TRUE(client.QuitAndWait());
    }
}

TEST(SmtpClientReplies, ARefusedRecipientIsSkippedUnlessItIsTheLast) {
    {
        ScriptedSmtpPeer peer(
            {{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("250 ok"), receive(),
              reply("550 no such user"), receive(), reply("250 ok"), receive(), reply("354 go"),
              receiveData(), reply("250 queued"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        client.setRcptName({"ghost@example.com", "anna@example.com"});
        ASSERT_TRUE(client.OpenAndWait());
        EXPECT_TRUE(client.MailAndWait()) << client.ErrorMessage();
        EXPECT_EQ(client.RequestResult(), 0);
        EXPECT_TRUE(client.QuitAndWait());
        peer.finish();
        const auto lines = peer.lines();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(lines[2], "RCPT TO:<ghost@example.com>");
        EXPECT_EQ(lines[3], "RCPT TO:<anna@example.com>");
        EXPECT_EQ(lines[4], "DATA");
    }
    {
        ScriptedSmtpPeer peer(
            {{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("250 ok"), receive(),
              reply("250 ok"), receive(), reply("550 no such user"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        client.setRcptName({"anna@example.com", "ghost@example.com"});
        ASSERT_TRUE(client.OpenAndWait());
        EXPECT_FALSE(client.MailAndWait());
        EXPECT_EQ(client.RequestResult(), 550);
        EXPECT_EQ(client.ErrorMessage(), "550 no such user");
        EXPECT_TRUE(client.QuitAndWait());
        peer.finish();
        EXPECT_EQ(peer.lines().back(), "QUIT");
        EXPECT_EQ(peer.lines().size(), 5u);  // HELO, MAIL, two RCPT, QUIT: no DATA
    }
}

TEST(SmtpClientReplies, ARefusedSenderOrDataSendsNoMessageText) {
    {
        ScriptedSmtpPeer peer(
            {{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("250 ok"), receive(),
              reply("250 ok"), receive(), reply("554 no data today"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        supplyBody(client, {"never sent"});
        ASSERT_TRUE(client.OpenAndWait());
        EXPECT_FALSE(client.MailAndWait());
        EXPECT_EQ(client.RequestResult(), 554);
        EXPECT_EQ(client.ErrorMessage(), "554 no data today");
        EXPECT_TRUE(client.Connected());
        EXPECT_TRUE(client.QuitAndWait());
        peer.finish();
        const auto lines = peer.lines();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[3], "DATA");
        EXPECT_EQ(lines[4], "QUIT");
    }
    {
        ScriptedSmtpPeer peer({{reply("220 hi"), receive(), reply("250 ok"), receive(),
                                reply("553 sender refused"), receive(), reply("221 bye")}});
        TSyncSmtpClient client;
        prepare(client, peer);
        ASSERT_TRUE(client.OpenAndWait());
        EXPECT_FALSE(client.MailAndWait());
        EXPECT_EQ(client.RequestResult(), 553);
        EXPECT_TRUE(client.QuitAndWait());
        peer.finish();
        EXPECT_EQ(peer.lines().size(), 3u);  // HELO, MAIL, QUIT
    }
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
