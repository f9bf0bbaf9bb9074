// The SMTP client against a scripted peer on loopback: the conversation, the
// mail text on the wire, and the replies that steer it.

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
#include "smtp_client_support.h"

namespace zv {
namespace {

using namespace zv::test;

std::vector<std::string> expectedHeader() {
    return {"From: desk@example.com", "To: anna@example.com", "Subject: While You Were Out",
            "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"iso-8859-1\""};
}

const std::regex kDateLine(
    R"(Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [1-9][0-9]? (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4})");

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

}  // namespace
}  // namespace zv
