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

// The name failed sign-ins are counted under: the same for every spelling
// that names one account ("Doe,Jane", "jane doe", "DOE, JANE"), so that
// spelling a name otherwise never escapes the slowing down.
std::string throttledName(std::string_view typed);

}  // namespace zv::web
