#pragma once
// What the employees' routes share: the signed-in employee, checked on the
// main loop against the account as it is now.

#include <optional>

#include "stores/records.h"
#include "web/sessions.h"
#include "web/web_services.h"

namespace zv::web {

inline constexpr const char* kAccountChanged = "Your account was changed or removed; please sign in again.";

// The signed-in employee's record, on the main loop; nothing (and the
// session ended) when the account is gone or its password changed since
// the sign-in.
std::optional<TWIWONode> signedInEmployee(TWebServices& s, const TWebSession& session);

}  // namespace zv::web
