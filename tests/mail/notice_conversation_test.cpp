// The notice mail on the wire, against the scripted peer: envelope, header,
// the fourteen body lines, and the values that are never sent.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "example_message.h"
#include "mail/message_notice.h"
#include "mail/smtp_client.h"
#include "scripted_smtp_peer.h"

namespace zv {
namespace {

using namespace zv::test;

TWYWONode messageFor(const std::string& recipient) {
    return exampleMessage(recipient, ".first line\r\nsecond line\n.\nlast");
}

TEST(MessageNoticeConversation, MailsTheMessageFormWithEmptyEnvelopeSenderAndSplitComments) {
    ScriptedSmtpPeer peer({acceptingScript()});
    TSyncSmtpClient client;
    client.setSignOn("server");
    client.setTimeout(10);
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", peer.port(), "anna@example.com",
                         "desk@example.com");
    peer.finish();
    const auto lines = peer.lines();
    const std::vector<std::string> before = {"HELO server",
                                             "MAIL FROM:<>",
                                             "RCPT TO:<anna@example.com>",
                                             "DATA",
                                             "From: desk@example.com",
                                             "To: anna@example.com",
                                             "Subject: While You Were Out",
                                             "Mime-Version: 1.0",
                                             "Content-Type: text/plain; charset=\"iso-8859-1\""};
    ASSERT_EQ(lines.size(), before.size() + 2 + 17 + 2);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 9), before);
    EXPECT_EQ(lines[9].rfind("Date: ", 0), 0u);
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 11, lines.end()),
        (std::vector<std::string>{
            "While You Were Out", "", "Caller  : R. Customer", "Company : Supplier Ltd", "Phone # : 555-0100",
            "[*] Called", "[ ] Returned Your Call", "[ ] Was Here To See You", "[ ] Wants To See You",
            "[*] URGENT", "Regarding: invoice 12", "Comments:", "..first line", "second line", "..", "last",
            "Call Taken By Desk,Front At 10:15 AM On 12/06/2026", ".", "QUIT"}));
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.OnGetData);  // the supplier does not outlive the notice
}

TEST(MessageNoticeConversation, TwoNoticesInARowNameOnlyTheirOwnRecipient) {
    ScriptedSmtpPeer peer({acceptingScript(), acceptingScript()});
    TSyncSmtpClient client;
    client.setTimeout(10);
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", peer.port(), "anna@example.com",
                         "desk@example.com");
    sendMessageNoticeVia(client, messageFor("Jones,Bob"), "127.0.0.1", peer.port(), "bob@example.com",
                         "desk@example.com");
    peer.finish();
    EXPECT_EQ(peer.connectionsAccepted(), 2);
    std::vector<std::string> rcpts, tos;
    for (const auto& line : peer.lines()) {
        if (line.rfind("RCPT TO:", 0) == 0) rcpts.push_back(line);
        if (line.rfind("To: ", 0) == 0) tos.push_back(line);
    }
    EXPECT_EQ(rcpts, (std::vector<std::string>{"RCPT TO:<anna@example.com>", "RCPT TO:<bob@example.com>"}));
    EXPECT_EQ(tos, (std::vector<std::string>{"To: anna@example.com", "To: bob@example.com"}));
}

TEST(MessageNoticeConversation, ValuesWithLineBreaksAreNeverSent) {
    ScriptedSmtpPeer peer({acceptingScript()});
    TSyncSmtpClient client;
    client.setTimeout(10);
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", peer.port(),
                         "anna@example.com\r\nRCPT TO:<victim@example.com>", "desk@example.com");
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", peer.port(), "anna@example.com",
                         "desk@example.com\nBcc: victim@example.com");
    EXPECT_EQ(peer.connectionsAccepted(), 0);
    EXPECT_FALSE(client.Connected());
}

TEST(MessageNoticeConversation, AFailingMailHostEndsTheNoticeQuietly) {
    // A refused sender: MAIL fails, QUIT still closes the session.
    ScriptedSmtpPeer peer({{reply("220 hi"), receive(), reply("250 ok"), receive(), reply("553 refused"),
                            receive(), reply("221 bye")}});
    TSyncSmtpClient client;
    client.setTimeout(10);
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", peer.port(), "anna@example.com",
                         "desk@example.com");
    peer.finish();
    EXPECT_EQ(peer.lines().back(), "QUIT");
    EXPECT_FALSE(client.Connected());

    // A greeting that refuses: no MAIL, no QUIT, no wait.
    ScriptedSmtpPeer refusing({{reply("554 go away")}});
    sendMessageNoticeVia(client, messageFor("Smith,Anna"), "127.0.0.1", refusing.port(), "anna@example.com",
                         "desk@example.com");
    refusing.finish();
    EXPECT_TRUE(refusing.lines().empty());
    EXPECT_EQ(client.State(), smtpReady);
}

TEST(MessageNoticeConversation, TheHookMailsThroughTheBoardAndSkipsWhatItMust) {
    // Only the decision and the absence of traffic can be seen without port 25:
    // every case here but the first makes no connection at all.
    TSyncSmtpClient client;
    client.setTimeout(2);
    TWIWONode anna;
    anna.Employee = "Smith,Anna";
    anna.EMail = "anna@example.com";
    anna.EMailNotify = "yes";
    TBoardLookup lookup = [&](std::string_view key) -> const TWIWONode* {
        return key == anna.Employee ? &anna : nullptr;
    };
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, messageFor("Smith,Anna"), "127.0.0.1"),
              TNoticeDecision::NotWanted);
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, messageFor("Smith,Anna"), ""),
              TNoticeDecision::NoMailHost);
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, messageFor("Jones,Bob"), "127.0.0.1"),
              TNoticeDecision::RecipientNotOnBoard);
    anna.EMailNotify = "YES";
    anna.EMail = "";
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, messageFor("Smith,Anna"), "127.0.0.1"),
              TNoticeDecision::NoRecipientAddress);
    anna.EMail = "anna@example.com\r\nDATA";
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, messageFor("Smith,Anna"), "127.0.0.1"),
              TNoticeDecision::UnsafeValue);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.LastResponse(), "");  // no conversation was ever started
}

}  // namespace
}  // namespace zv
