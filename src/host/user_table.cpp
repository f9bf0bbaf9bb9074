#include "host/user_table.h"

#include <string>
#include <unordered_set>
#include <utility>

#include "host/session_registry.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {

const std::array<std::string, TUserTable::kColumns>& TUserTable::headerTexts() {
    static const std::array<std::string, kColumns> texts{"Employee", "Activity Status",
                                                         "Last Activity"};
    return texts;
}

void TUserTable::clearUserTable(int count) {
    const int last = std::min<int>(count, rowCount());
    for (int i = 0; i < last; ++i) {
        rows_[static_cast<std::size_t>(i)][0].clear();
        rows_[static_cast<std::size_t>(i)][1].clear();
    }
}

int TUserTable::refreshUserTable(const std::string& name, TWIWOList& board,
                                 const TSessionRegistry& registry) {
    const int count = board.getCount();
    if (rowCount() < count) rows_.resize(static_cast<std::size_t>(count));
    const std::time_t now = datetime::now();
    const std::string nowText =
        datetime::shortDateText(now) + ", " + datetime::longTimeText(now);
    // One pass over the sessions instead of one per account: a thousand
    // sessions and thousands of accounts stay cheap.
    const std::unordered_set<std::string> served = registry.servedEmployees();
    for (int i = 0; i < count; ++i) {
        const std::string& key = std::as_const(board).getNode(i).Employee;
        Row& r = rows_[static_cast<std::size_t>(i)];
        r[0] = key;
        if (served.count(key) != 0) {
            r[1] = kUpdating;
            r[2] = nowText;
        } else {
            r[1] = kIdle;
            if (key == name) r[2] = nowText;
        }
    }
    accounts_ = count;
    return count;
}

const TUserTable::Row& TUserTable::row(int row) const {
    static const Row kEmpty{};
    if (row < 1 || row > rowCount()) return kEmpty;
    return rows_[static_cast<std::size_t>(row - 1)];
}

std::string TUserTable::usersPanelText() const {
    return "Users: " + std::to_string(accounts_);
}

}  // namespace zv
