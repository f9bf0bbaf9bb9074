#pragma once
// What the board shows of each account, copied out of the employee board in
// board order, with the two moments a reader of the board wants as times:
// since when the status holds and when an employee who is out returns. No
// password, e-mail or private phone is copied. Built on the main thread.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class TWIWOList;

struct TBoardRow {
    // Record bytes (the clients' code page), as stored.
    std::string Employee, LastName, FirstName, Department, WorkPhone, Extension, Status,
        Returning, ReachedAt, Comments, StatusChanged;
    // StatusChanged read as a date-time.
    std::optional<std::time_t> statusSince;
    // For an "Out" row: the moment Returning names (see returningMoment).
    std::optional<std::time_t> returnsAt;
};

std::vector<TBoardRow> boardRows(TWIWOList& board);

// The moment a Returning text names, read by the date-time reader: a date
// with a time; a date alone (the end of that day); or a time of day alone
// (its first occurrence at or after `reference`, the moment the status was
// set). Nothing for any other text ("after lunch", "2 days").
std::optional<std::time_t> returningMoment(std::string_view returning, std::time_t reference);

}  // namespace zv
