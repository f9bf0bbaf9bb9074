#pragma once
// Search filters built from what a person typed: every value is escaped as
// RFC 4515 asks before it enters a filter, so that no name can add a clause
// ("*)(uid=*" is looked for as those very characters).

#include <string>
#include <string_view>

namespace zv {

// `value` with "*", "(", ")", "\" and the zero byte written as "\2a",
// "\28", "\29", "\5c" and "\00"; every other byte as it is.
std::string escapeFilterValue(std::string_view value);

// The filter template with each "%s" replaced by the escaped `value`.
std::string fillFilter(std::string_view filterTemplate, std::string_view value);

}  // namespace zv
