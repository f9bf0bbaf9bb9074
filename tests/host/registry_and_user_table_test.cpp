// The session registry and the user table built from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/session_registry.h"
#include "host/user_table.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {
namespace {

// Distinct session identities; the registry never dereferences them.
TClientThread* session(int n) {
    static char slots[16];
    return reinterpret_cast<TClientThread*>(&slots[n]);
}

TEST(SessionRegistry, FindsTheNewestLoggedInEntryAndRemovesByID) {
    TSessionRegistry reg;
    EXPECT_TRUE(reg.empty());
    EXPECT_EQ(reg.getConnectionID("Smith,John"), "");
    EXPECT_EQ(reg.getConnectionID(""), "");  // no entry: nothing, even for ""

    reg.add(session(1), "00000001");
    reg.add(session(2), "00000002");
    reg.add(session(3), "00000003");
    // Connections that have not logged in make nobody "Updating", not even an
    // account with an empty key.
    EXPECT_EQ(reg.getConnectionID(""), "");

    reg.updateThreadList("00000001", "Smith,John");
    reg.updateThreadList("00000003", "Smith,John");
    reg.updateThreadList("00000002", "Doe,Jane");
    EXPECT_EQ(reg.getConnectionID("Smith,John"), "00000003");  // newest first
    EXPECT_EQ(reg.getConnectionID("smith,john"), "");          // exact case
    EXPECT_EQ(reg.connectionIDOf(session(2)), "00000002");
    // Served employees: exactly the keys that have a connection ID.
    EXPECT_EQ(reg.servedEmployees(), (std::unordered_set<std::string>{"Smith,John", "Doe,Jane"}));

    std::vector<std::string> order;
    reg.forEachNewestFirst([&](const TSessionRegistry::Entry& e) { order.push_back(e.connectionID); });
    EXPECT_EQ(order, (std::vector<std::string>{"00000003", "00000002", "00000001"}));

    reg.deleteThread("00000003");
    EXPECT_EQ(reg.getConnectionID("Smith,John"), "00000001");
    reg.deleteThread("FFFFFFFF");  // unknown ID: nothing changes
    EXPECT_EQ(reg.count(), 2);
    reg.deleteThread("00000001");
    EXPECT_EQ(reg.getConnectionID("Smith,John"), "");
    EXPECT_EQ(reg.connectionIDOf(session(1)), "");
    EXPECT_EQ(reg.servedEmployees(), (std::unordered_set<std::string>{"Doe,Jane"}));

    // Names are cut to 255 characters.
    reg.updateThreadList("00000002", std::string(300, 'x'));
    reg.forEachNewestFirst([](const TSessionRegistry::Entry& e) { EXPECT_EQ(e.employeeName.size(), 255u); });
}

class UserTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        datetime::setFormats("M/d/yy", "h:mm:ss AM/PM");
        datetime::setClockForTesting([this] { return clock; });
        for (const char* key : {"Adams,Al", "Brown,Bo", "Clark,Cy"}) {
            board.addNode(board.createNodeFromString(key));
        }
    }
    void TearDown() override { datetime::setClockForTesting(nullptr); }

    std::string stamp(std::time_t t) { return datetime::shortDateText(t) + ", " + datetime::longTimeText(t); }
    void refresh(const std::string& name) {
        table.clearUserTable(board.getCount());
        table.refreshUserTable(name, board, reg);
    }

    std::time_t clock = 1700000000;
    TWIWOList board;
    TSessionRegistry reg;
    TUserTable table;
};

TEST_F(UserTableTest, ShowsEveryAccountIdleAndStampsOnlyTheNamedOne) {
    EXPECT_EQ(table.refreshUserTable("", board, reg), 3);
    EXPECT_EQ(table.usersPanelText(), "Users: 3");
    EXPECT_EQ(table.cell(1, 0), "Adams,Al");
    EXPECT_EQ(table.cell(3, 0), "Clark,Cy");
    for (int r = 1; r <= 3; ++r) {
        EXPECT_EQ(table.cell(r, 1), "Idle");
        EXPECT_EQ(table.cell(r, 2), "");
    }
    clock += 60;
    refresh("Brown,Bo");
    EXPECT_EQ(table.cell(2, 2), stamp(clock));
    EXPECT_EQ(table.cell(1, 2), "");
    EXPECT_EQ(table.cell(4, 0), "");  // beyond the accounts: empty
    EXPECT_EQ(TUserTable::headerTexts()[1], "Activity Status");
}

TEST_F(UserTableTest, TwoSessionsOfOneEmployeeKeepItUpdatingUntilBothEnd) {
    reg.add(session(1), "00000001");
    reg.add(session(2), "00000002");
    reg.updateThreadList("00000001", "Brown,Bo");
    reg.updateThreadList("00000002", "Brown,Bo");
    refresh("Brown,Bo");
    EXPECT_EQ(table.cell(2, 1), "Updating");
    EXPECT_EQ(table.cell(1, 1), "Idle");

    reg.deleteThread("00000002");
    clock += 5;
    refresh("");
    EXPECT_EQ(table.cell(2, 1), "Updating");
    EXPECT_EQ(table.cell(2, 2), stamp(clock));  // advances while connected

    reg.deleteThread("00000001");
    const std::time_t lastSeen = clock;
    clock += 5;
    refresh("");
    EXPECT_EQ(table.cell(2, 1), "Idle");
    EXPECT_EQ(table.cell(2, 2), stamp(lastSeen));  // keeps the last activity
}

TEST_F(UserTableTest, DeletingAnAccountLeavesTheLastRowWithItsActivityOnly) {
    refresh("Clark,Cy");
    const std::string clarkStamp = table.cell(3, 2);
    ASSERT_FALSE(clarkStamp.empty());
    const int before = board.getCount();
    board.deleteByKey("Adams,Al");
    clock += 10;
    table.clearUserTable(before);
    table.refreshUserTable("", board, reg);
    EXPECT_EQ(table.usersPanelText(), "Users: 2");
    EXPECT_EQ(table.cell(1, 0), "Brown,Bo");
    EXPECT_EQ(table.cell(2, 0), "Clark,Cy");
    // The stamp belongs to the row: row 3 keeps it, with no name or status.
    EXPECT_EQ(table.cell(3, 0), "");
    EXPECT_EQ(table.cell(3, 1), "");
    EXPECT_EQ(table.cell(3, 2), clarkStamp);
    EXPECT_EQ(table.cell(2, 2), "");
}

TEST_F(UserTableTest, GrowsWithTheAccountsBeyondFiveHundred) {
    for (int i = 0; i < 600; ++i) {
        board.addNode(board.createNodeFromString("Z" + std::to_string(1000 + i) + ",X"));
    }
    table.refreshUserTable("", board, reg);
    EXPECT_EQ(table.rowCount(), 603);
    EXPECT_EQ(table.cell(603, 0), "Z1599,X");
    EXPECT_EQ(table.cell(603, 1), "Idle");
}

// Rows are rewritten only where they change; after any mix of logins, ends,
// keys renamed in place through a lent record, accounts added and deleted,
// the rows and the lookups by key are what rewriting every row and searching
// the list from the start give.
TEST_F(UserTableTest, AfterLoginsEndsRenamesAndDeletesTheRowsAreThoseOfARewriteOfEveryRow) {
    using Row = TUserTable::Row;
    std::vector<Row> expected;  // rewritten whole at every refresh
    const auto rewriteEveryRow = [&](const std::string& name, int clearedUpTo) {
        const std::unordered_set<std::string> served = reg.servedEmployees();
        for (int i = 0; i < clearedUpTo && i < static_cast<int>(expected.size()); ++i)
            expected[static_cast<std::size_t>(i)][0] = expected[static_cast<std::size_t>(i)][1] = "";
        expected.resize(std::max<std::size_t>(expected.size(), static_cast<std::size_t>(board.getCount())));
        for (int i = 0; i < board.getCount(); ++i) {
            Row& r = expected[static_cast<std::size_t>(i)];
            r[0] = board.getNode(i).Employee;
            const bool isServed = served.count(r[0]) != 0;
            r[1] = isServed ? "Updating" : "Idle";
            if (isServed || r[0] == name) r[2] = stamp(clock);
        }
    };
    std::mt19937 random(20261208);
    const auto anyKey = [&] {
        return std::as_const(board).getNode(static_cast<int>(random() % board.getCount())).Employee;
    };
    int nextSession = 1, nextName = 0;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int before = board.getCount();
        std::string name;
        switch (random() % 7) {
            case 0:  // a login
                if (nextSession < 16) {
                    const std::string id = std::to_string(nextSession);
                    reg.add(session(nextSession++), id);
                    reg.updateThreadList(id, name = anyKey());
                }
                break;
            case 1:  // a session ends
                if (reg.count() > 0) {
                    std::vector<std::string> ids;
                    reg.forEachNewestFirst(
                        [&](const TSessionRegistry::Entry& e) { ids.push_back(e.connectionID); });
                    reg.deleteThread(ids[random() % ids.size()]);
                }
                break;
            case 2:  // a key changed in place, as a rename does
                board.findByKey(anyKey())->Employee = "R" + std::to_string(nextName++) + ",X";
                break;
            case 3:  // an account added, sometimes with a key another has
                board.addNode(board.createNodeFromString(
                    random() % 3 ? "N" + std::to_string(nextName++) + ",Y" : anyKey()));
                break;
            case 4:  // an account deleted
                if (board.getCount() > 3) board.deleteByKey(anyKey());
                break;
            default: name = random() % 2 ? anyKey() : std::string(); break;
        }
        clock += static_cast<std::time_t>(random() % 3);
        table.clearUserTable(std::max(before, board.getCount()));
        table.refreshUserTable(name, board, reg);
        rewriteEveryRow(name, std::max(before, board.getCount()));
        ASSERT_EQ(table.rowCount(), static_cast<int>(expected.size()));
        for (int r = 1; r <= table.rowCount(); ++r)
            ASSERT_EQ(table.row(r), expected[static_cast<std::size_t>(r - 1)]) << r;
        const std::string key = anyKey();
        int first = 0;
        while (std::as_const(board).getNode(first).Employee != key) ++first;
        ASSERT_EQ(std::as_const(board).findByKey(key), &std::as_const(board).getNode(first)) << key;
    }
}

}  // namespace
}  // namespace zv
