#pragma once
// The texts of the main window's user table: one row per account of the
// employee board (key, "Updating" or "Idle", last activity). The last-activity
// text belongs to the row, not to the account, and lives only here. The table
// grows with the accounts and never shrinks; the window only draws it.
// Main thread only.
//
// A refresh rewrites only the rows whose texts change (the accounts served
// now or before, and the account named) as long as every account keeps its
// row and key since the last one; otherwise it rewrites every row. Either
// way the rows end as a rewrite of every row would leave them.

#include <array>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace zv {

class TWIWOList;
class TSessionRegistry;

class TUserTable {
public:
    static constexpr int kColumns = 3;
    using Row = std::array<std::string, kColumns>;

    // Header texts of columns 0 to 2.
    static const std::array<std::string, kColumns>& headerTexts();

    inline static const std::string kUpdating = "Updating";
    inline static const std::string kIdle = "Idle";

    // Empties columns 0 and 1 of rows 1 to `count`; column 2 is left alone.
    // (Rows a refresh rewrites right after are not emptied first.)
    void clearUserTable(int count);

    // Rewrites rows 1 to N from the board (N accounts, board order): the key,
    // "Updating" with the current date and time when a live session serves the
    // account, otherwise "Idle" and a new time only when the key equals `name`.
    // Returns N.
    int refreshUserTable(const std::string& name, const TWIWOList& board, const TSessionRegistry& registry);

    // Rows that have ever held an account (row 1 is index 0 here).
    int rowCount() const { return static_cast<int>(rows_.size()); }
    // Row `row` (1-based, as the window numbers them; row 0 is the header).
    // Rows beyond rowCount() read as empty.
    const Row& row(int row) const;
    const std::string& cell(int row, int column) const { return this->row(row)[column]; }

    // "Users: " followed by the number of accounts of the last refresh.
    std::string usersPanelText() const;

private:
    void applyPendingClear() const;
    void rewriteEveryRow(const std::string& name, const TWIWOList& board,
                         const std::unordered_set<std::string>& served, const std::string& nowText);
    void rewriteChangedRows(const std::string& name, const TWIWOList& board,
                            const std::unordered_set<std::string>& served, const std::string& nowText);

    mutable std::vector<Row> rows_;
    int accounts_ = 0;
    mutable int pendingClear_ = 0;           // rows to empty unless rewritten first
    mutable bool everyRowNeeded_ = true;     // rows were emptied: the next refresh rewrites all
    std::uint64_t rowsGeneration_ = 0;       // the board's key layout the rows were written for
    std::vector<std::size_t> updatingRows_;  // rows showing "Updating", 0-based
};

}  // namespace zv
