#pragma once
// The text of an outgoing mail, apart from the conversation: the header lines
// in their order, the splitting of body text into lines, the dot rule, and the
// check that keeps line breaks out of commands and header values.

#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Values of the header of one mail.
struct TSmtpHeaderValues {
    std::string ReplyTo, ReturnPath, From, To, Subject;
    std::string MediaType = "text/plain";
    std::string CharSet = "iso-8859-1";
    std::string Date;  // the full date text, see smtp_date.h
};

// The header lines without line ends, in this order: Reply-To and Return-Path
// (each only when not empty after trimming), From, To, Subject, Mime-Version,
// Content-Type, Date, then one empty line.
std::vector<std::string> smtpHeaderLines(const TSmtpHeaderValues& values);

// Whether `text` holds a CR or an LF.
bool hasLineBreak(std::string_view text);

// Whether an address may go between "<" and ">" of MAIL FROM or RCPT TO: once
// trimmed (as the client sends it) it holds no "<", ">", white space or line
// break, so that it can neither end the command nor add parameters to it. The
// empty address (no envelope sender) is one.
bool isSafeEnvelopeAddress(std::string_view address);

// Cuts body text into lines at every CR LF, lone CR or lone LF. Text without a
// break is one line; a break at the very end adds an empty last line.
std::vector<std::string> splitBodyLines(std::string_view text);

// A body line as it goes on the wire (without its CR LF): a line starting with
// "." gets one more "." in front, so it can never end the message.
std::string dotStuffed(std::string_view line);

// Blanks, tabs, CR and LF removed from both ends.
std::string trimmedText(std::string_view text);

}  // namespace zv
