#pragma once
// What the employees' routes share: the signed-in employee, checked on the
// main loop against the account as it is now.

#include <nlohmann/json_fwd.hpp>
#include <optional>

#include "host/board_operations.h"
#include "stores/records.h"
#include "web/sessions.h"
#include "web/web_services.h"

namespace zv::web {

inline constexpr const char* kAccountChanged = "Your account was changed or removed; please sign in again.";

// The signed-in employee's record, on the main loop; nothing (and the
// session ended) when the account is gone or its password changed since
// the sign-in.
std::optional<TWIWONode> signedInEmployee(TWebServices& s, const TWebSession& session);

// The four status fields of a request ("status", "returning", "reachedAt",
// "comments", each present), as record bytes; TInputError naming the field
// that cannot be taken.
TStatusEdit readStatusEdit(const nlohmann::json& body);
// How long the page may make each of them: {json name: characters}.
nlohmann::json statusInputWidths();

}  // namespace zv::web
