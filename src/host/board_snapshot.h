#pragma once
// What the board shows of each account, copied out of the employee board in
// board order, with the two moments a reader of the board wants as times:
// since when the status holds and when an employee who is out returns. No
// password, e-mail or private phone is copied. Built on the main thread.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

class TWIWOList;

// The first absence of an account still to come, as the board shows it
// beside the name.
struct TAwayTime {
    std::time_t from = 0;
    std::optional<std::time_t> until;  // none: until further notice
    std::string Status;
};

struct TBoardRow {
    // Record bytes (the clients' code page), as stored.
    std::string Employee, LastName, FirstName, Department, WorkPhone, Extension, Status,
        Returning, ReachedAt, Comments, StatusChanged;
    // StatusChanged read as a date-time.
    std::optional<std::time_t> statusSince;
    // For any status but "In": the moment Returning names (see returningMoment).
    std::optional<std::time_t> returnsAt;
    // The account's next planned absence (filled in by the maintenance API).
    std::optional<TAwayTime> away;
};

// What the texts of the board read as, remembered from one build of the rows
// to the next: between two builds few texts change, and reading a date-time
// costs more than copying a row. Forgets everything when the day changes
// (a time of day alone reads relative to today) or when it grows past
// twice the board.
class TMomentCache {
public:
    std::optional<std::time_t> statusSince(const std::string& statusChanged);
    std::optional<std::time_t> returnsAt(const std::string& returning, const std::string& statusChanged,
                                         std::time_t reference);
    // Before each build of `rows` rows at `now`.
    void startBuild(std::time_t now, std::size_t rows);

private:
    std::unordered_map<std::string, std::optional<std::time_t>> since_;
    std::unordered_map<std::string, std::optional<std::time_t>> returns_;  // returning + "\n" + statusChanged
    long day_ = -1;
};

// The rows in board order; `cache` (kept by the caller from one build to the
// next) saves reading the texts that did not change.
std::vector<TBoardRow> boardRows(TWIWOList& board, TMomentCache* cache = nullptr);

// The moment a Returning text names, read by the date-time reader: a date
// with a time; a date alone (the end of that day); or a time of day alone
// (its first occurrence at or after `reference`, the moment the status was
// set). Nothing for any other text ("after lunch", "2 days").
std::optional<std::time_t> returningMoment(std::string_view returning, std::time_t reference);

}  // namespace zv
