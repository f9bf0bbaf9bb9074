#pragma once
// The local mail server of the tests (scripts/mail_server.sh): Postfix on
// 127.0.0.1:25 delivering mail for zvmail+<tag>@localhost to the mbox file
// /var/mail/zvmail. Each test uses tags of its own and finds its mail by the
// X-Original-To line.

#include <string>
#include <vector>

namespace zv::test {

inline constexpr const char* kTestMailbox = "/var/mail/zvmail";

// True when something on 127.0.0.1:25 greets with 220.
bool mailServerAnswers();
// Why the mail tests cannot run, or empty when they can.
std::string mailServerUnavailableReason();

// A tag no other test (or test process) uses.
std::string uniqueMailTag();
// zvmail+<tag>@localhost
std::string mailAddressFor(const std::string& tag);

// The mail delivered for the tag, or empty when there is none (yet).
std::string findMail(const std::string& tag);
// Waits up to half a minute for the mail with the tag; empty if none came.
std::string waitForMail(const std::string& tag);

std::vector<std::string> linesOf(const std::string& text);

}  // namespace zv::test
