#include "host/user_table.h"

#include <algorithm>
#include <string>

#include "host/session_registry.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {

const std::array<std::string, TUserTable::kColumns>& TUserTable::headerTexts() {
    static const std::array<std::string, kColumns> texts{"Employee", "Activity Status", "Last Activity"};
    return texts;
}

void TUserTable::clearUserTable(int count) {
    pendingClear_ = std::max(pendingClear_, std::min<int>(count, rowCount()));
}

void TUserTable::applyPendingClear() const {
    for (int i = 0; i < pendingClear_; ++i) {
        rows_[static_cast<std::size_t>(i)][0].clear();
        rows_[static_cast<std::size_t>(i)][1].clear();
    }
    if (pendingClear_ > 0) everyRowNeeded_ = true;
    pendingClear_ = 0;
}

int TUserTable::refreshUserTable(const std::string& name, const TWIWOList& board,
                                 const TSessionRegistry& registry) {
    const int count = board.getCount();
    // Rows beyond the board stay emptied; those within are all rewritten.
    if (pendingClear_ > count) applyPendingClear();
    pendingClear_ = 0;
    if (rowCount() < count) rows_.resize(static_cast<std::size_t>(count));
    const std::time_t now = datetime::now();
    const std::string nowText = datetime::shortDateText(now) + ", " + datetime::longTimeText(now);
    // One pass over the sessions instead of one per account: a thousand
    // sessions and thousands of accounts stay cheap.
    const std::unordered_set<std::string> served = registry.servedEmployees();
    const std::uint64_t generation = board.keyLayoutGeneration();
    if (everyRowNeeded_ || generation != rowsGeneration_ || count != accounts_)
        rewriteEveryRow(name, board, served, nowText);
    else
        rewriteChangedRows(name, board, served, nowText);
    everyRowNeeded_ = false;
    rowsGeneration_ = generation;
    accounts_ = count;
    return count;
}

void TUserTable::rewriteEveryRow(const std::string& name, const TWIWOList& board,
                                 const std::unordered_set<std::string>& served, const std::string& nowText) {
    updatingRows_.clear();
    for (int i = 0; i < board.getCount(); ++i) {
        const std::string& key = board.getNode(i).Employee;
        Row& r = rows_[static_cast<std::size_t>(i)];
        r[0] = key;
        if (served.count(key) != 0) {
            r[1] = kUpdating;
            r[2] = nowText;
            updatingRows_.push_back(static_cast<std::size_t>(i));
        } else {
            r[1] = kIdle;
            if (key == name) r[2] = nowText;
        }
    }
}

void TUserTable::rewriteChangedRows(const std::string& name, const TWIWOList& board,
                                    const std::unordered_set<std::string>& served,
                                    const std::string& nowText) {
    // Every row still holds its account's key (column 0) and "Updating" or
    // "Idle" as of the last refresh.
    for (std::size_t i : updatingRows_)
        if (served.count(rows_[i][0]) == 0) rows_[i][1] = kIdle;
    updatingRows_.clear();
    for (const std::string& key : served) {
        board.forEachPositionOf(key, [&](std::size_t i) {
            rows_[i][1] = kUpdating;
            rows_[i][2] = nowText;
            updatingRows_.push_back(i);
        });
    }
    if (served.count(name) == 0) board.forEachPositionOf(name, [&](std::size_t i) { rows_[i][2] = nowText; });
}

const TUserTable::Row& TUserTable::row(int row) const {
    applyPendingClear();
    static const Row kEmpty{};
    if (row < 1 || row > rowCount()) return kEmpty;
    return rows_[static_cast<std::size_t>(row - 1)];
}

std::string TUserTable::usersPanelText() const { return "Users: " + std::to_string(accounts_); }

}  // namespace zv
