#pragma once
// Every administrative change leaves one line in the record (standard error,
// and so the journal under systemd, through the view): who made it, what it
// was, which record. The host's operations write them here, whoever asked:
// the window's dialogs, the browser's administration pages, the end-of-day
// punch-out.

#include <string>
#include <string_view>

namespace zv {

class AdminView;

// Who made a change, as the lines name them.
inline constexpr const char* kWindowAdministrator = "the administrator in the window";
// "the administrator in a browser at <address>"
std::string browserAdministrator(std::string_view address);

// `record` (record bytes, the clients' code page) as the lines show it:
// UTF-8 in double quotes, any control character a blank.
std::string auditQuoted(std::string_view record);

// The line "<program>: <who>: <what>" as a notice. `what` is UTF-8.
void auditAdminChange(AdminView& view, std::string_view who, std::string_view what);

}  // namespace zv
