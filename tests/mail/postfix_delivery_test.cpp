// The notice delivered by a real mail server: the local Postfix that
// scripts/mail_server.sh sets up on 127.0.0.1:25, delivering mail for
// zvmail+<tag>@localhost to the mbox file /var/mail/zvmail. Each test uses
// its own tag and finds its mail by the X-Original-To line. The tests skip
// when nothing answers on port 25 or the mailbox cannot be read.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "mail/message_notice.h"
#include "mail/smtp_client.h"
#include "test_mailbox.h"

namespace zv {
namespace {

using namespace zv::test;

class PostfixDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = mailServerUnavailableReason();
        if (!reason.empty()) GTEST_SKIP() << reason;
    }
};

TWYWONode dottedMessage(const std::string& recipient) {
    TWYWONode msg;
    msg.Recipient = recipient;
    msg.TakenBy = "Desk,Front";
    msg.Date = "12/06/2026";
    msg.Time = "10:15 AM";
    msg.Caller = "R. Customer";
    msg.Company = "";
    msg.Phone = "555-0100";
    msg.Regarding = "invoice 12";
    msg.Called = "X";
    msg.ReturnedCall = "x";
    msg.WasHere = "X";
    msg.WantsToSee = "";
    msg.Urgent = "X";
    msg.Comments = ".starts with a dot";
    return msg;
}

TEST_F(PostfixDelivery, DeliversTheNoticeWithEnvelopeHeaderAndFourteenBodyLines) {
    const std::string tag = uniqueMailTag();
    TSyncSmtpClient client;
    sendMessageNotice(client, dottedMessage("Smith,Anna"), "127.0.0.1", mailAddressFor(tag),
                      "desk@example.com");
    EXPECT_EQ(client.RequestResult(), 0) << client.ErrorMessage();
    const std::string mail = waitForMail(tag);
    ASSERT_FALSE(mail.empty()) << "no mail for " << mailAddressFor(tag) << " in " << kTestMailbox;

    const std::vector<std::string> lines = linesOf(mail);
    // The envelope: an empty sender, the one recipient.
    EXPECT_EQ(lines[0].rfind("From MAILER-DAEMON ", 0), 0u) << lines[0];
    std::size_t blank = 0;
    while (blank < lines.size() && !lines[blank].empty()) ++blank;
    ASSERT_LT(blank, lines.size());
    const std::vector<std::string> header(lines.begin() + 1, lines.begin() + blank);
    const auto position = [&](const std::string& prefix) -> long {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        return -1;
    };
    EXPECT_NE(position("Return-Path: <>"), -1);
    EXPECT_NE(position("Delivered-To: " + mailAddressFor(tag)), -1);
    // Our header lines, each exactly once and in their order.
    const std::vector<std::string> ours = {"From: desk@example.com",
                                           "To: " + mailAddressFor(tag),
                                           "Subject: While You Were Out",
                                           "Mime-Version: 1.0",
                                           "Content-Type: text/plain; charset=\"iso-8859-1\"",
                                           "Date: "};
    long last = -1;
    for (const std::string& line : ours) {
        const long at = position(line);
        ASSERT_NE(at, -1) << "missing header line " << line;
        EXPECT_GT(at, last) << line;
        if (line != "Date: ") {
            EXPECT_EQ(header[static_cast<std::size_t>(at)], line);
        }
        last = at;
    }
    EXPECT_TRUE(std::regex_match(
        header[static_cast<std::size_t>(position("Date: "))],
        std::regex(
            R"(Date: [A-Z][a-z]{2}, [1-9][0-9]? [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4})")));

    std::vector<std::string> body(lines.begin() + static_cast<long>(blank) + 1, lines.end());
    while (!body.empty() && body.back().empty()) body.pop_back();  // mbox separator
    EXPECT_EQ(body, (std::vector<std::string>{"While You Were Out", "", "Caller  : R. Customer", "Company : ",
                                              "Phone # : 555-0100", "[*] Called", "[ ] Returned Your Call",
                                              "[*] Was Here To See You", "[ ] Wants To See You", "[*] URGENT",
                                              "Regarding: invoice 12", "Comments:", ".starts with a dot",
                                              "Call Taken By Desk,Front At 10:15 AM On 12/06/2026"}));
}

TEST_F(PostfixDelivery, TheHookMailsOnlyWhatWasAskedForAndStandsInForAMissingTaker) {
    const std::string wanted = uniqueMailTag();
    const std::string lowerCase = uniqueMailTag();
    TWIWONode anna;
    anna.Employee = "Smith,Anna";
    anna.EMail = mailAddressFor(lowerCase);
    anna.EMailNotify = "yes";
    TBoardLookup lookup = [&](std::string_view key) -> const TWIWONode* {
        return key == anna.Employee ? &anna : nullptr;
    };
    TSyncSmtpClient client;
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, dottedMessage("Smith,Anna"), "127.0.0.1"),
              TNoticeDecision::NotWanted);

    anna.EMail = mailAddressFor(wanted);
    anna.EMailNotify = "YES";
    TWYWONode msg = dottedMessage("Smith,Anna");
    msg.Comments = "line one\r\n.line two\nline three";
    // A host name this time: the client looks it up before it connects.
    EXPECT_EQ(mailNewMessageIfWanted(client, lookup, msg, "localhost"), TNoticeDecision::Sent);
    EXPECT_EQ(client.RequestResult(), 0) << client.ErrorMessage();
    const std::string mail = waitForMail(wanted);
    ASSERT_FALSE(mail.empty());
    // "Desk,Front" has no board entry: the recipient's address is the From line.
    EXPECT_NE(mail.find("\nFrom: " + mailAddressFor(wanted) + "\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("\nComments:\nline one\n.line two\nline three\nCall Taken By "), std::string::npos)
        << mail;
    EXPECT_TRUE(findMail(lowerCase).empty());
}

}  // namespace
}  // namespace zv
