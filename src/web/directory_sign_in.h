#pragma once
// The browser's sign-in with a directory password, for employees and the
// administrator: while a [Directory] URI is set, the name and password are
// checked by the directory (on its own threads) while the request waits,
// without a thread of the HTTP side, for no longer than a limit that follows
// the directory's Timeout. What the directory answered is then taken in a
// step on the main loop.

#include <functional>
#include <string>

#include "host/directory_service.h"
#include "web/http_reply.h"
#include "web/web_services.h"

namespace zv::web {

// The refusal when the directory cannot check a password and the board's
// own password (the fallback) is not that password either: why, and what
// to do meanwhile. The directory's address stays in the server's record.
inline constexpr const char* kDirectoryUnavailable =
    "The office's directory does not answer, so its password cannot be checked now. Sign in with your "
    "board password, or try again in a few minutes.";

// Main loop: whether sign-ins ask the directory.
bool signInAsksDirectory(TWebServices& s);

// Main loop: asks the directory whether `password` is the password of the
// person who signs in as `name`; `then` gets the answer in a step. A
// directory that answers nothing within the limit is taken as Unavailable.
TReply afterDirectoryCheck(TWebServices& s, const std::string& name, const std::string& password,
                           std::function<TReply(const TDirectoryCheck&)> then);

}  // namespace zv::web
