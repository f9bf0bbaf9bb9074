#pragma once
// The mail that tells an employee about a new "While You Were Out" message:
// its fourteen body lines, the sending of one notice through the synchronous
// SMTP client, and the rule that decides whether a new message is mailed.

#include <functional>
#include <string>
#include <string_view>

#include "stores/records.h"

namespace zv {

class TSyncSmtpClient;
class TWIWOList;

inline constexpr int kMessageNoticeLineCount = 14;
inline constexpr const char* kMessageNoticeSubject = "While You Were Out";

// Body line `lineNum` (1 to 14) of the notice for `msg`, uncut; the empty
// string for any other number (see messageNoticeGetData for the end).
std::string messageNoticeLine(const TWYWONode& msg, int lineNum);

// The body supplier in the form the SMTP client calls: writes line `lineNum`,
// cut to maxLen - 1 characters, and a terminating NUL into msgLine (which
// holds at least maxLen bytes); sets `more` false from line 15 on.
void messageNoticeGetData(const TWYWONode& msg, int lineNum, char* msgLine, int maxLen, bool& more);

// Mails `msg` through `client`: Host = mailHost, Port "smtp", connects when not
// connected, From = senderAddress, To and the only envelope recipient =
// recipientAddress, Subject "While You Were Out", empty envelope sender; then
// MailAndWait and QuitAndWait. Nothing is raised; true when the mail host
// took the message (MailAndWait succeeded). A mail host, address or header
// value that holds CR or LF, or a recipient address holding "<", ">" or white
// space (it goes into RCPT TO), is never sent: the notice is skipped without
// any connection (false).
bool sendMessageNotice(TSyncSmtpClient& client, const TWYWONode& msg, const std::string& mailHost,
                       const std::string& recipientAddress, const std::string& senderAddress);

// sendMessageNotice with another port than "smtp" (a port number or service
// name), for a mail host that listens elsewhere.
bool sendMessageNoticeVia(TSyncSmtpClient& client, const TWYWONode& msg, const std::string& mailHost,
                          const std::string& port, const std::string& recipientAddress,
                          const std::string& senderAddress);

// What mailNewMessageIfWanted decided for one message.
enum class TNoticeDecision {
    Sent,                 // handed to sendMessageNotice, and the mail host took it
                          // (planMessageNotice: to be handed to it)
    NotTaken,             // handed to sendMessageNotice; the mail host could not be
                          // reached or did not take it
    NoMailHost,           // the SMTPHost setting is empty
    RecipientNotOnBoard,  // Recipient has no board entry
    NoRecipientAddress,   // the entry's EMail is empty
    NotWanted,            // EMailNotify is not exactly "YES"
    UnsafeValue,          // a line break in an address or the host, or "<", ">" or
                          // white space in the recipient's address
    Failed,               // the board could not be read (out of memory ...)
};

// Looks up a board entry by employee key; nullptr when there is none.
using TBoardLookup = std::function<const TWIWONode*(std::string_view key)>;

// The decision alone, with the addresses a notice would use.
struct TNoticePlan {
    TNoticeDecision decision = TNoticeDecision::NoMailHost;
    std::string recipientAddress;
    std::string senderAddress;
};
TNoticePlan planMessageNotice(const TBoardLookup& lookup, const TWYWONode& msg, const std::string& smtpHost);

// The mail hook for a message just stored: mails it when, tested in this
// order, smtpHost is not empty, the Recipient has a board entry, its EMail is
// not empty and its EMailNotify is exactly "YES". The sender address is the
// EMail of the taker's (TakenBy) board entry; when the taker has no entry or
// no address, the recipient's own address is used, so that the mail always
// carries a valid From line. Never raises.
TNoticeDecision mailNewMessageIfWanted(TSyncSmtpClient& client, const TBoardLookup& lookup,
                                       const TWYWONode& msg, const std::string& smtpHost);
TNoticeDecision mailNewMessageIfWanted(TSyncSmtpClient& client, TWIWOList& board, const TWYWONode& msg,
                                       const std::string& smtpHost);

}  // namespace zv
