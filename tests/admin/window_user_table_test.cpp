// The user table of the main window with a live server and real clients.
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

#include "admin/user_table_delegate.h"
#include "admin/user_table_model.h"
#include "host/server_host.h"
#include "host/admin_audit.h"
#include "window_test_support.h"

namespace zv::admin::test {
namespace {

using UserTableTest = WindowTest;

TEST_F(UserTableTest, ShowsHeaderColumnWidthsAndRowHeightAsTheGridDefines) {
    startServer({"Baker,Ann", "Cole,Bob"});
    QTableView* table = form().tableUsers();
    EXPECT_EQ(form().windowTitle(), "Zelvora Admin/Server");
    EXPECT_EQ(table->model()->columnCount(), 3);
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), "Employee");
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "Activity Status");
    EXPECT_EQ(table->model()->headerData(2, Qt::Horizontal).toString(), "Last Activity");
    EXPECT_EQ(table->columnWidth(0), 165);
    EXPECT_EQ(table->columnWidth(1), 98);
    EXPECT_EQ(table->columnWidth(2), 530);
    EXPECT_EQ(table->rowHeight(0), 19);
    EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_FALSE(table->verticalHeader()->isVisible());

    EXPECT_EQ(cell(1, 0), "Baker,Ann");
    EXPECT_EQ(cell(1, 1), "Idle");
    EXPECT_EQ(cell(1, 2), "");
    EXPECT_EQ(cell(2, 0), "Cole,Bob");
    EXPECT_EQ(panelText(0), "Users: 2");
    EXPECT_EQ(panelText(1), "IP Address: " + host().localIPAddress());
    EXPECT_EQ(panelText(2), "Port: 0");
    EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(UserTableTest, WithNoAccountsShowsOnlyTheHeaderAndZeroUsers) {
    startServer({});
    EXPECT_EQ(form().tableUsers()->model()->rowCount(), 0);
    EXPECT_EQ(panelText(0), "Users: 0");
}

TEST_F(UserTableTest, LoginTurnsTheRowUpdatingAndTheEndOfTheSessionBackToIdle) {
    startServer({"Baker,Ann", "Cole,Bob"});
    {
        TTestClient client(port());
        // A connection that has not logged in yet makes no row "Updating".
        ASSERT_TRUE(QTest::qWaitFor([this] { return host().registry().count() == 1; }, 10000));
        EXPECT_EQ(cell(2, 1), "Idle");

        EXPECT_EQ(client.login("Cole,Bob"), "PREPARE_TO_RECEIVE");
        EXPECT_EQ(cell(2, 0), "Cole,Bob");
        EXPECT_EQ(cell(2, 1), "Updating");
        EXPECT_FALSE(cell(2, 2).empty());
        EXPECT_NE(cell(2, 2).find(", "), std::string::npos) << cell(2, 2);
        EXPECT_EQ(cell(1, 1), "Idle");
        EXPECT_EQ(cell(1, 2), "");

        // A refused login changes nothing.
        TTestClient wrong(port());
        EXPECT_EQ(wrong.login("Baker,Ann", "PW"), "LOGIN_DENIED");
        EXPECT_EQ(cell(1, 1), "Idle");
        EXPECT_EQ(cell(1, 2), "");
    }
    ASSERT_TRUE(waitForNoSessions());
    EXPECT_EQ(cell(2, 1), "Idle");
    EXPECT_FALSE(cell(2, 2).empty()) << "the last activity stays with the row";
    EXPECT_EQ(cell(1, 2), "");
}

TEST_F(UserTableTest, OneEmployeeInTwoSessionsStaysUpdatingUntilBothEnd) {
    startServer({"Baker,Ann"});
    auto first = std::make_unique<TTestClient>(port());
    TTestClient second(port());
    EXPECT_EQ(first->login("Baker,Ann"), "PREPARE_TO_RECEIVE");
    EXPECT_EQ(second.login("Baker,Ann"), "PREPARE_TO_RECEIVE");
    EXPECT_EQ(form().tableUsers()->model()->rowCount(), 1) << "one row per account";
    EXPECT_EQ(cell(1, 1), "Updating");

    first.reset();
    ASSERT_TRUE(QTest::qWaitFor([this] { return host().registry().count() == 1; }, 15000));
    EXPECT_EQ(cell(1, 1), "Updating");

    second.close();
    ASSERT_TRUE(waitForNoSessions());
    EXPECT_EQ(cell(1, 1), "Idle");
}

TEST_F(UserTableTest, DeletedAccountsLeaveTheLastRowWithItsLastActivityOnly) {
    startServer({"Adams,Al", "Baker,Ann", "Cole,Bob"});
    {
        TTestClient client(port());
        EXPECT_EQ(client.login("Cole,Bob"), "PREPARE_TO_RECEIVE");
    }
    ASSERT_TRUE(waitForNoSessions());
    const std::string lastActivity = cell(3, 2);
    ASSERT_FALSE(lastActivity.empty());

    // The host's removal of an account, saved at once: delete, save, clear
    // the rows of the old count and refresh.
    ASSERT_EQ(host().maintenance().removeAccount(kWindowAdministrator, "Adams,Al").kind, TAdminResult::Kind::Done);

    EXPECT_EQ(cell(1, 0), "Baker,Ann");
    EXPECT_EQ(cell(2, 0), "Cole,Bob");
    EXPECT_EQ(cell(2, 2), "") << "the row's old text stays, not the account's";
    EXPECT_EQ(cell(3, 0), "");
    EXPECT_EQ(cell(3, 1), "");
    EXPECT_EQ(cell(3, 2), lastActivity);
    EXPECT_EQ(form().tableUsers()->model()->rowCount(), 3);
    EXPECT_EQ(panelText(0), "Users: 2");
}

TEST_F(UserTableTest, GrowsWithTheAccountsBeyondFourHundredNinetyNine) {
    std::vector<std::string> keys;
    for (int i = 0; i < 620; ++i) keys.push_back("Name" + std::to_string(1000 + i) + ",Ann");
    startServer(keys);
    EXPECT_EQ(form().tableUsers()->model()->rowCount(), 620);
    EXPECT_EQ(cell(620, 0), "Name1619,Ann");
    EXPECT_EQ(panelText(0), "Users: 620");
}

// Pixel colours of a rendered row, sampled right of the texts.
QColor pixelOfRow(QTableView* table, int row, int x) {
    const QImage image = table->viewport()->grab().toImage();
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    return image.pixelColor(x, rect.center().y());
}

TEST_F(UserTableTest, DrawsUpdatingRowsGreenOnAquaAndSelectedRowsOnTheHighlight) {
    startServer({"Baker,Ann", "Cole,Bob"});
    QTableView* table = form().tableUsers();
    form().resize(900, 300);
    TTestClient client(port());
    ASSERT_EQ(client.login("Cole,Bob"), "PREPARE_TO_RECEIVE");
    table->clearSelection();
    table->setCurrentIndex(QModelIndex());

    // Far right in column 2, where no text reaches.
    const int blankX = 165 + 98 + 500;
    EXPECT_EQ(pixelOfRow(table, 1, blankX), QColor(0, 255, 255));
    EXPECT_EQ(pixelOfRow(table, 0, blankX), table->palette().color(QPalette::Base));

    // The green text: some pixel of the "Updating" cell is pure green-ish.
    const QImage image = table->viewport()->grab().toImage();
    const QRect status = table->visualRect(table->model()->index(1, 1));
    bool greenSeen = false;
    for (int x = status.left(); x <= status.right() && !greenSeen; ++x) {
        for (int y = status.top(); y <= status.bottom() && !greenSeen; ++y) {
            const QColor c = image.pixelColor(x, y);
            greenSeen = c.red() < 60 && c.green() > 100 && c.green() < 170 && c.blue() < 60;
        }
    }
    EXPECT_TRUE(greenSeen);

    table->selectRow(0);
    EXPECT_EQ(pixelOfRow(table, 0, blankX), table->palette().color(QPalette::Highlight));
    table->selectRow(1);
    EXPECT_EQ(pixelOfRow(table, 1, blankX), table->palette().color(QPalette::Highlight));

    EXPECT_EQ(TUserTableDelegate::textColour(true, true), QColor(0, 128, 0));
    EXPECT_EQ(TUserTableDelegate::textColour(false, true), QColor(Qt::white));
    EXPECT_EQ(TUserTableDelegate::textColour(false, false), QColor(Qt::black));
    EXPECT_EQ(TUserTableDelegate::cellFont().family(), "Arial");
    EXPECT_EQ(TUserTableDelegate::cellFont().pointSize(), 10);
    client.close();
}

}  // namespace
}  // namespace zv::admin::test
