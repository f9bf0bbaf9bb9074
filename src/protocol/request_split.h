#pragma once
// Splitting a client request into command, mode, credentials and payload,
// and telling which kind of request it is.

#include <string>
#include <string_view>

namespace zv {

struct TSplitRequest {
    std::string command;      // text before the first ":" (empty without one)
    std::string mode;         // the next field (the employee key of a punch-out)
    std::string credentials;  // "key|password" of a login
    std::string payload;      // the incoming sections of a login
};

// Splits always at the first ":" of what is left:
// - command: before the first ":"; without one the command is empty and the
//   whole text stays as the tail;
// - mode: the tail before its first ":"; without one the mode is empty and
//   the tail stays as it was;
// - credentials and payload: the tail before and after its first ":";
//   without one both are the whole tail.
// So names, passwords and modes cannot hold ":", the payload can.
TSplitRequest splitRequest(std::string_view text);

enum class TRequestKind {
    kOther,        // ignored without a reply
    kPunchOut,     // "PUNCH_OUT:key:..."
    kLogin,        // "SUBMIT_LOGIN:DLTA|FULL|OVRD:..." and the two bare forms below
    kPunchInLogin  // "SUBMIT_LOGIN:PUNCH_IN:..."
};

struct TClassifiedRequest {
    TRequestKind kind = TRequestKind::kOther;
    TSplitRequest parts;
};

// Splits the request and decides its kind. The exact texts "SUBMIT_LOGIN" and
// "SUBMIT_LOGINSUBMIT_LOGIN" are logins with empty credentials and payload
// (which the login check answers with "NON_EXIST").
TClassifiedRequest classifyRequest(std::string_view text);

}  // namespace zv
