// "Status Change Log": the grid, the filter kinds and values, the disabled
// buttons, and the rows a printout takes.

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "admin/dlg_status_log.h"
#include "dialogs_fixture.h"

namespace zv::admin::test {
namespace {

std::vector<std::string> employees(QTableWidget* grid) {
    std::vector<std::string> out;
    for (int r = 0; r < grid->rowCount(); ++r) out.push_back(fromQt(grid->item(r, 0)->text()));
    return out;
}

std::vector<std::string> items(QComboBox* box) {
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(fromQt(box->itemText(i)));
    return out;
}

class StatusLogDialog : public ::testing::Test {
protected:
    void SetUp() override {
        stores.log.setMaxSize(100000);
        stores.addDepartment("Sales");
        stores.addDepartment("Admin");
        stores.addAccount("Smith", "Ann", "Sales");
        stores.addAccount("Brown", "Bob", "Admin");
        stores.addLog({"Smith,Ann", "Sales", "12/6/26", "9:15:02 AM", "Out", "", "Cell", "Lunch"});
        stores.addLog({"Brown,Bob", "Admin", "12/6/26", "9:20:00 AM", "In", "", "", ""});
        stores.addLog({"Smith,Ann", "Sales", "12/6/26", "1:00:00 PM", "In", "", "", ""});
        stores.addLog({"Gone,Gil", "Sales", "12/6/26", "2:00:00 PM", "Out", "2pm", "", ""});
    }

    TempFolder folder;
    StoreSet stores{folder};
    PromptRecorder prompts;
};

TEST_F(StatusLogDialog, ShowsEveryEntryUnfilteredUnderItsEightHeaders) {
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    QTableWidget* grid = dlg.gridLog;
    EXPECT_EQ(dlg.windowTitle(), "Status Change Log");
    const std::vector<std::pair<const char*, int>> headers{{"Employee", 123}, {"Department", 122}, {"Date", 68},
                                                           {"Time", 90},      {"Status", 74},      {"Returning", 114},
                                                           {"ReachedAt", 107}, {"Comments", 360}};
    ASSERT_EQ(grid->columnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), headers[c].first);
        EXPECT_EQ(grid->columnWidth(c), headers[c].second);
    }
    EXPECT_EQ(employees(grid), (std::vector<std::string>{"Smith,Ann", "Brown,Bob", "Smith,Ann", "Gone,Gil"}));
    EXPECT_EQ(grid->item(0, 6)->text(), "Cell");
    EXPECT_EQ(grid->item(0, 7)->text(), "Lunch");
    EXPECT_EQ(items(dlg.cbFilterKind), (std::vector<std::string>{"<None>", "Employee", "Department"}));
    EXPECT_EQ(dlg.cbFilterKind->currentText(), "<None>");
    EXPECT_EQ(dlg.cbFilterValue->count(), 0);
    EXPECT_FALSE(dlg.cbFilterKind->isEditable());
    EXPECT_FALSE(dlg.cbFilterValue->isEditable());
    EXPECT_FALSE(dlg.btnDelete->isEnabled());
    EXPECT_FALSE(dlg.btnDeleteAll->isEnabled());
    EXPECT_TRUE(dlg.btnPrint->isEnabled());

    // More than 999 entries are all shown.
    dlg.hide();
    stores.addLogs(std::vector<std::vector<std::string>>(1100, {"X,Y", "Sales", "d", "t", "In"}));
    dlg.show();
    EXPECT_EQ(grid->rowCount(), 1104);
}

TEST_F(StatusLogDialog, FiltersByEmployeeAndByDepartmentAndBackToNone) {
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    dlg.cbFilterKind->setCurrentIndex(1);
    EXPECT_EQ(items(dlg.cbFilterValue), (std::vector<std::string>{"Brown,Bob", "Smith,Ann"}));
    EXPECT_EQ(dlg.cbFilterValue->currentText(), "Brown,Bob");
    EXPECT_EQ(employees(dlg.gridLog), std::vector<std::string>{"Brown,Bob"});
    dlg.cbFilterValue->setCurrentIndex(1);
    EXPECT_EQ(employees(dlg.gridLog), (std::vector<std::string>{"Smith,Ann", "Smith,Ann"}));
    EXPECT_EQ(dlg.gridLog->item(1, 3)->text(), "1:00:00 PM");

    dlg.cbFilterKind->setCurrentIndex(2);
    EXPECT_EQ(items(dlg.cbFilterValue), (std::vector<std::string>{"Admin", "Sales"}));
    EXPECT_EQ(employees(dlg.gridLog), std::vector<std::string>{"Brown,Bob"});
    dlg.cbFilterValue->setCurrentIndex(1);
    EXPECT_EQ(employees(dlg.gridLog), (std::vector<std::string>{"Smith,Ann", "Smith,Ann", "Gone,Gil"}));

    // New entries appear at the next filter, not before.
    stores.addLog({"Late,Lou", "Sales", "d", "t", "In"});
    EXPECT_EQ(dlg.gridLog->rowCount(), 3);
    dlg.btnFilter->click();
    EXPECT_EQ(dlg.gridLog->rowCount(), 4);

    dlg.cbFilterKind->setCurrentIndex(0);
    EXPECT_EQ(dlg.cbFilterValue->count(), 0);
    EXPECT_EQ(dlg.gridLog->rowCount(), 5);

    // Each showing starts unfiltered.
    dlg.cbFilterKind->setCurrentIndex(1);
    dlg.close();
    EXPECT_EQ(dlg.result(), QDialog::Rejected) << "the close box cancels";
    dlg.show();
    EXPECT_EQ(dlg.cbFilterKind->currentText(), "<None>");
    EXPECT_EQ(dlg.gridLog->rowCount(), 5);
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(StatusLogDialog, EmployeeFilterWithNoAccountsShowsOnlyEntriesWithoutAnEmployee) {
    stores.board.clearList();
    stores.addLog({"", "Sales", "d", "t", "In"});
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    dlg.cbFilterKind->setCurrentIndex(1);
    EXPECT_EQ(dlg.cbFilterValue->count(), 0);
    EXPECT_EQ(employees(dlg.gridLog), std::vector<std::string>{""});
}

TEST_F(StatusLogDialog, APrintoutTakesTheShownRowsUpToTheFirstEmptyEmployee) {
    stores.addLog({"", "Sales", "d", "t", "In"});
    stores.addLog({"After,Empty", "Sales", "d", "t", "In"});
    TdlgStatusLog dlg(stores.data, prompts.prompt());
    dlg.show();
    const QList<QStringList> all = dlg.rowsToPrint();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[3][0], "Gone,Gil");
    EXPECT_EQ(all[3][5], "2pm");
    dlg.cbFilterKind->setCurrentIndex(1);
    dlg.cbFilterValue->setCurrentIndex(1);
    EXPECT_EQ(dlg.rowsToPrint().size(), 2);
}

}  // namespace
}  // namespace zv::admin::test
