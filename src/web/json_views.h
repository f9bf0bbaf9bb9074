#pragma once
// The JSON the page reads: the board and the signed-in employee's own entry.
// Record bytes are shown through the one code page conversion; passwords,
// e-mail addresses and private phones are never part of it.

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "host/board_snapshot.h"
#include "host/status_presets.h"
#include "stores/records.h"

namespace zv::web {

// {"departments": [...], "rows": [{"employee", "firstName", "lastName",
// "department", "status", "returning", "reachedAt", "comments", "workPhone",
// "extension", "since", "sinceAt", "returnsAt", "away"}, ...]} in board order;
// "sinceAt" and "returnsAt" are seconds since 1970 or null; "away" is the
// next planned absence, {"from", "until" (null: until further notice),
// "status"}, or null.
std::string boardJson(const std::vector<TBoardRow>& rows);

// The parts of it: one row's fields (without the braces), and the sorted
// department names as a JSON array.
void appendBoardRowFields(std::string& out, const TBoardRow& row);
std::string departmentsJson(const std::vector<TBoardRow>& rows);

// The signed-in employee: {"employee", "firstName", "lastName",
// "department", "status", "returning", "reachedAt", "comments", "since"}.
nlohmann::json employeeJson(const TWIWONode& employee);

// The one-tap statuses: [{"name", "colour", "away"}, ...], for the
// employees' pages and the lobby displays alike.
nlohmann::json presetsJson(const std::vector<TStatusPreset>& presets);

// A JSON string literal (quotes included) of UTF-8 text.
void appendJsonString(std::string& out, std::string_view utf8);

}  // namespace zv::web
