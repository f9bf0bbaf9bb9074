#pragma once
// The file that keeps the signed-in browsers over a restart
// ("web_sessions.txt" in the data folder): a first line naming the format,
// then one line per session of tab-separated fields: the kind ("E" for an
// employee, "A" for the administrator), the session's id (the digest of its
// cookie; the cookie itself is never written), its anti-forgery token, the
// digest of the password it signed in with (16 hexadecimal digits), the
// moments it began and was last used (seconds since 1970) and the employee's
// key (record bytes as hexadecimal digits, empty for the administrator);
// an eighth field "F" marks an employee the directory put at the front desk
// (a line of seven fields: not at the front desk by the directory).

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "web/sessions.h"

namespace zv::web {

inline constexpr const char* kSessionFileName = "web_sessions.txt";

struct TKeptSession {
    SessionKind kind = SessionKind::Employee;
    std::string id;
    std::string antiForgeryToken;
    std::size_t passwordDigest = 0;
    std::time_t begun = 0;
    std::time_t lastUse = 0;
    std::string employeeKey;  // record bytes
    bool frontDesk = false;   // by the directory's front-desk group
};

std::string sessionFileText(const std::vector<TKeptSession>& sessions);

// The sessions of a file's text; each line that is not one is left out and
// named in `problems` ("line 3: ...").
std::vector<TKeptSession> readSessionFile(const std::string& text, std::vector<std::string>& problems);

}  // namespace zv::web
