#include "mail/message_notice.h"

#include <algorithm>
#include <cstring>

#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "stores/board_store.h"

namespace zv {

namespace {

std::string checkLine(const std::string& flag, const char* label) {
    return (flag == "X" ? "[*] " : "[ ] ") + std::string(label);
}

}  // namespace

std::string messageNoticeLine(const TWYWONode& msg, int lineNum) {
    switch (lineNum) {
        case 1: return kMessageNoticeSubject;
        case 2: return "";
        case 3: return "Caller  : " + msg.Caller;
        case 4: return "Company : " + msg.Company;
        case 5: return "Phone # : " + msg.Phone;
        case 6: return checkLine(msg.Called, "Called");
        case 7: return checkLine(msg.ReturnedCall, "Returned Your Call");
        case 8: return checkLine(msg.WasHere, "Was Here To See You");
        case 9: return checkLine(msg.WantsToSee, "Wants To See You");
        case 10: return checkLine(msg.Urgent, "URGENT");
        case 11: return "Regarding: " + msg.Regarding;
        case 12: return "Comments:";
        case 13: return msg.Comments;
        case 14: return "Call Taken By " + msg.TakenBy + " At " + msg.Time + " On " + msg.Date;
        default: return "";
    }
}

void messageNoticeGetData(const TWYWONode& msg, int lineNum, char* msgLine, int maxLen, bool& more) {
    if (lineNum < 1 || lineNum > kMessageNoticeLineCount || msgLine == nullptr || maxLen < 1) {
        more = false;
        return;
    }
    const std::string line = messageNoticeLine(msg, lineNum);
    const std::size_t length = std::min(line.size(), static_cast<std::size_t>(maxLen - 1));
    std::memcpy(msgLine, line.data(), length);
    msgLine[length] = '\0';
}

bool sendMessageNotice(TSyncSmtpClient& client, const TWYWONode& msg, const std::string& mailHost,
                       const std::string& recipientAddress, const std::string& senderAddress) {
    return sendMessageNoticeVia(client, msg, mailHost, "smtp", recipientAddress, senderAddress);
}

bool sendMessageNoticeVia(TSyncSmtpClient& client, const TWYWONode& msg, const std::string& mailHost,
                          const std::string& port, const std::string& recipientAddress,
                          const std::string& senderAddress) {
    // A value that could split a command or a header line, or add parameters
    // to RCPT TO, is never sent.
    if (hasLineBreak(mailHost) || !isSafeEnvelopeAddress(recipientAddress) || hasLineBreak(senderAddress))
        return false;
    bool taken = false;
    try {
        // The body supplier reads its own copy: the caller's record may go away.
        client.OnGetData = [copy = msg](TCustomSmtpClient&, int lineNum, char* msgLine, int maxLen,
                                        bool& more) {
            messageNoticeGetData(copy, lineNum, msgLine, maxLen, more);
        };
        client.setHost(mailHost);
        client.setPort(port);
        if (!client.Connected()) client.OpenAndWait();
        client.setHdrFrom(senderAddress);
        client.setHdrSubject(kMessageNoticeSubject);
        client.setHdrTo(recipientAddress);
        client.setRcptName({recipientAddress});
        client.setFromName("");
        taken = client.MailAndWait();
        client.QuitAndWait();
    } catch (const std::exception&) {
        // The notice is a courtesy: the message is stored whatever happens here.
    }
    client.OnGetData = nullptr;
    return taken;
}

TNoticePlan planMessageNotice(const TBoardLookup& lookup, const TWYWONode& msg, const std::string& smtpHost) {
    TNoticePlan plan;
    if (smtpHost.empty()) return plan;
    const TWIWONode* recipient = lookup ? lookup(msg.Recipient) : nullptr;
    if (recipient == nullptr) {
        plan.decision = TNoticeDecision::RecipientNotOnBoard;
        return plan;
    }
    if (recipient->EMail.empty()) {
        plan.decision = TNoticeDecision::NoRecipientAddress;
        return plan;
    }
    if (recipient->EMailNotify != "YES") {
        plan.decision = TNoticeDecision::NotWanted;
        return plan;
    }
    plan.recipientAddress = recipient->EMail;
    const TWIWONode* taker = lookup(msg.TakenBy);
    // Without the taker's address the mail still needs a valid From line: the
    // recipient's own address stands in; the body names the taker anyway.
    plan.senderAddress = (taker != nullptr && !taker->EMail.empty()) ? taker->EMail : plan.recipientAddress;
    plan.decision = (hasLineBreak(smtpHost) || !isSafeEnvelopeAddress(plan.recipientAddress) ||
                     hasLineBreak(plan.senderAddress))
                        ? TNoticeDecision::UnsafeValue
                        : TNoticeDecision::Sent;
    return plan;
}

TNoticeDecision mailNewMessageIfWanted(TSyncSmtpClient& client, const TBoardLookup& lookup,
                                       const TWYWONode& msg, const std::string& smtpHost) {
    try {
        const TNoticePlan plan = planMessageNotice(lookup, msg, smtpHost);
        if (plan.decision == TNoticeDecision::Sent &&
            !sendMessageNotice(client, msg, smtpHost, plan.recipientAddress, plan.senderAddress))
            return TNoticeDecision::NotTaken;
        return plan.decision;
    } catch (const std::exception&) {
        return TNoticeDecision::Failed;
    }
}

TNoticeDecision mailNewMessageIfWanted(TSyncSmtpClient& client, TWIWOList& board, const TWYWONode& msg,
                                       const std::string& smtpHost) {
    return mailNewMessageIfWanted(
        client, [&board](std::string_view key) -> const TWIWONode* { return board.findByKey(key); }, msg,
        smtpHost);
}

}  // namespace zv
