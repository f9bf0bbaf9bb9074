// The notice's fourteen body lines and the rule that decides whether a new
// message is mailed, and with which addresses.

#include "mail/message_notice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "example_message.h"

namespace zv {
namespace {

using test::exampleMessage;

std::vector<std::string> bodyOf(const TWYWONode& msg, int maxLen = 1023) {
    std::vector<std::string> lines;
    for (int lineNum = 1;; ++lineNum) {
        std::vector<char> buffer(static_cast<std::size_t>(maxLen) + 1, '#');
        bool more = true;
        messageNoticeGetData(msg, lineNum, buffer.data(), maxLen, more);
        if (!more) break;
        lines.emplace_back(buffer.data());
        if (lineNum > 100) break;
    }
    return lines;
}

TEST(MessageNoticeBody, HasTheFourteenLinesOfTheMessageForm) {
    EXPECT_EQ(bodyOf(exampleMessage()),
              (std::vector<std::string>{
                  "While You Were Out", "", "Caller  : R. Customer", "Company : Supplier Ltd",
                  "Phone # : 555-0100", "[*] Called", "[ ] Returned Your Call", "[ ] Was Here To See You",
                  "[ ] Wants To See You", "[*] URGENT", "Regarding: invoice 12",
                  "Comments:", "please call back", "Call Taken By Desk,Front At 10:15 AM On 12/06/2026"}));
    for (int lineNum = 1; lineNum <= kMessageNoticeLineCount; ++lineNum)
        EXPECT_EQ(messageNoticeLine(exampleMessage(), lineNum), bodyOf(exampleMessage())[lineNum - 1]);
}

TEST(MessageNoticeBody, MarksOnlyFlagsHoldingExactlyXAndKeepsEmptyValues) {
    TWYWONode msg = exampleMessage();
    msg.Called = msg.ReturnedCall = msg.WasHere = msg.WantsToSee = msg.Urgent = "X";
    auto lines = bodyOf(msg);
    for (int i = 5; i <= 9; ++i) EXPECT_EQ(lines[i].substr(0, 4), "[*] ") << lines[i];

    msg.Called = "x";
    msg.ReturnedCall = " X";
    msg.WasHere = "XX";
    msg.WantsToSee = "";
    msg.Urgent = "Y";
    msg.Company = "";
    lines = bodyOf(msg);
    for (int i = 5; i <= 9; ++i) EXPECT_EQ(lines[i].substr(0, 4), "[ ] ") << lines[i];
    EXPECT_EQ(lines[3], "Company : ");
}

TEST(MessageNoticeBody, CutsLongLinesToMaxLenMinusOneAndEndsAfterLineFourteen) {
    TWYWONode msg = exampleMessage();
    msg.Comments = std::string(2000, 'c');
    msg.Caller = std::string(1100, 'r');
    auto lines = bodyOf(msg);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[12], std::string(1022, 'c'));
    EXPECT_EQ(lines[2], "Caller  : " + std::string(1012, 'r'));

    lines = bodyOf(exampleMessage(), 11);
    EXPECT_EQ(lines[0], "While You ");  // MaxLen 11: at most 10 characters

    // Line 0 and any line above 14 end the body.
    char buffer[16];
    bool more = true;
    messageNoticeGetData(exampleMessage(), 15, buffer, 16, more);
    EXPECT_FALSE(more);
    more = true;
    messageNoticeGetData(exampleMessage(), 0, buffer, 16, more);
    EXPECT_FALSE(more);
    EXPECT_EQ(messageNoticeLine(exampleMessage(), 15), "");
}

// A board of entries by key for the decision tests.
struct Board {
    std::map<std::string, TWIWONode, std::less<>> entries;
    void add(const std::string& key, const std::string& email, const std::string& notify) {
        TWIWONode node;
        node.Employee = key;
        node.EMail = email;
        node.EMailNotify = notify;
        entries[key] = node;
    }
    TBoardLookup lookup() {
        return [this](std::string_view key) -> const TWIWONode* {
            auto it = entries.find(key);
            return it == entries.end() ? nullptr : &it->second;
        };
    }
};

TEST(MessageNoticeDecision, MailsOnlyWithHostEntryAddressAndExactYes) {
    Board board;
    board.add("Smith,Anna", "anna@example.com", "YES");
    board.add("Desk,Front", "desk@example.com", "NO");
    const TWYWONode msg = exampleMessage();

    TNoticePlan plan = planMessageNotice(board.lookup(), msg, "mail.example.com");
    EXPECT_EQ(plan.decision, TNoticeDecision::Sent);
    EXPECT_EQ(plan.recipientAddress, "anna@example.com");
    EXPECT_EQ(plan.senderAddress, "desk@example.com");

    EXPECT_EQ(planMessageNotice(board.lookup(), msg, "").decision, TNoticeDecision::NoMailHost);

    TWYWONode stranger = msg;
    stranger.Recipient = "Nobody,Here";
    EXPECT_EQ(planMessageNotice(board.lookup(), stranger, "mail").decision,
              TNoticeDecision::RecipientNotOnBoard);

    board.add("Smith,Anna", "", "YES");
    EXPECT_EQ(planMessageNotice(board.lookup(), msg, "mail").decision, TNoticeDecision::NoRecipientAddress);

    for (const char* notify : {"yes", "Yes", "YES ", "", "NO", "Y"}) {
        board.add("Smith,Anna", "anna@example.com", notify);
        EXPECT_EQ(planMessageNotice(board.lookup(), msg, "mail").decision, TNoticeDecision::NotWanted)
            << notify;
    }
    // The empty host is tested first: nothing else is looked at.
    EXPECT_EQ(planMessageNotice(nullptr, msg, "").decision, TNoticeDecision::NoMailHost);
}

TEST(MessageNoticeDecision, UsesTheRecipientsAddressAsSenderWhenTheTakerHasNone) {
    Board board;
    board.add("Smith,Anna", "anna@example.com", "YES");
    TNoticePlan plan = planMessageNotice(board.lookup(), exampleMessage(), "mail");
    EXPECT_EQ(plan.decision, TNoticeDecision::Sent);
    EXPECT_EQ(plan.senderAddress, "anna@example.com");

    board.add("Desk,Front", "", "YES");
    plan = planMessageNotice(board.lookup(), exampleMessage(), "mail");
    EXPECT_EQ(plan.senderAddress, "anna@example.com");
}

TEST(MessageNoticeDecision, RefusesAddressesAndHostsHoldingLineBreaks) {
    Board board;
    board.add("Smith,Anna", "anna@example.com\r\nRCPT TO:<victim@example.com>", "YES");
    board.add("Desk,Front", "desk@example.com", "YES");
    EXPECT_EQ(planMessageNotice(board.lookup(), exampleMessage(), "mail").decision,
              TNoticeDecision::UnsafeValue);

    board.add("Smith,Anna", "anna@example.com", "YES");
    board.add("Desk,Front", "desk@example.com\nBcc: victim@example.com", "YES");
    EXPECT_EQ(planMessageNotice(board.lookup(), exampleMessage(), "mail").decision,
              TNoticeDecision::UnsafeValue);

    board.add("Desk,Front", "desk@example.com", "YES");
    EXPECT_EQ(planMessageNotice(board.lookup(), exampleMessage(), "mail\rhost").decision,
              TNoticeDecision::UnsafeValue);
}

TEST(MessageNoticeDecision, RefusesRecipientAddressesThatCouldAddParametersToACommand) {
    // The recipient's address goes between "<" and ">" of RCPT TO: a ">" or a
    // blank there would let the address add parameters to the command.
    Board board;
    board.add("Desk,Front", "Front Desk <desk@example.com>", "YES");  // the From line only: fine
    for (const char* address :
         {"anna@example.com> NOTIFY=SUCCESS,FAILURE ORCPT=rfc822;victim@example.com", "anna@example.com>",
          "<anna@example.com", "Anna Smith <anna@example.com>", "anna smith@example.com",
          "anna@example.com\tRET=FULL", "anna@exa\vmple.com", "anna@exam\fple.com"}) {
        board.add("Smith,Anna", address, "YES");
        EXPECT_EQ(planMessageNotice(board.lookup(), exampleMessage(), "mail").decision,
                  TNoticeDecision::UnsafeValue)
            << address;
    }
    // Blanks around the address are trimmed away before it is sent.
    board.add("Smith,Anna", "  anna@example.com ", "YES");
    const TNoticePlan plan = planMessageNotice(board.lookup(), exampleMessage(), "mail");
    EXPECT_EQ(plan.decision, TNoticeDecision::Sent);
    EXPECT_EQ(plan.senderAddress, "Front Desk <desk@example.com>");
}

}  // namespace
}  // namespace zv
