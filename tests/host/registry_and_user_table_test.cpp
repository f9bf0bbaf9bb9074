// The session registry and the user table built from it.

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

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
    reg.forEachNewestFirst([](const TSessionRegistry::Entry& e) {
        EXPECT_EQ(e.employeeName.size(), 255u);
    });
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

    std::string stamp(std::time_t t) {
        return datetime::shortDateText(t) + ", " + datetime::longTimeText(t);
    }
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

}  // namespace
}  // namespace zv
