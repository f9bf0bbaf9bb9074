#pragma once
// Forgiving sign-in names: "Doe, Jane", "jane doe" or " DOE,JANE " name the
// account "Doe,Jane" when they name exactly one account, whatever the case
// and blanks. The board key itself always wins; a name that fits two
// accounts fits none (the password is then compared with nobody's).

#include <optional>
#include <string>
#include <vector>

#include "stores/records.h"

namespace zv::web {

// The key of the one account `typed` (record bytes) names, or nothing.
std::optional<std::string> accountNamed(const std::string& typed, const std::vector<TWIWONode>& accounts);

}  // namespace zv::web
