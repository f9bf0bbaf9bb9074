// "Caller Maintenance": the grid, "Delete" of the current row, "Delete All".

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

#include "admin/dlg_caller_maintenance.h"
#include "dialogs_fixture.h"

namespace zv::admin::test {
namespace {

std::vector<std::string> column(QTableWidget* grid, int c) {
    std::vector<std::string> out;
    for (int r = 0; r < grid->rowCount(); ++r) out.push_back(grid->item(r, c) ? fromQt(grid->item(r, c)->text()) : "");
    return out;
}

class CallerMaintenanceDialog : public ::testing::Test {
protected:
    TempFolder folder;
    StoreSet stores{folder};
};

TEST_F(CallerMaintenanceDialog, GridShowsEveryEntryInStoreOrderUnderItsHeaders) {
    stores.addCaller("Zack", "Zeta Inc", "555-9");
    stores.addCaller("Amy", "Acme", "555-1");
    TdlgCallerMaintenance dlg(stores.data);
    dlg.show();
    QTableWidget* grid = dlg.gridCallers;
    EXPECT_EQ(dlg.windowTitle(), "Caller Maintenance");
    ASSERT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Caller");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Company");
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Phone Number");
    EXPECT_EQ(grid->columnWidth(0), 123);
    EXPECT_EQ(grid->columnWidth(1), 126);
    EXPECT_EQ(grid->columnWidth(2), 425);
    EXPECT_EQ(grid->rowHeight(0), 19);
    EXPECT_TRUE(grid->horizontalHeader()->font().bold());
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(column(grid, 0), (std::vector<std::string>{"Amy", "Zack"}));
    EXPECT_EQ(column(grid, 1), (std::vector<std::string>{"Acme", "Zeta Inc"}));
    EXPECT_EQ(column(grid, 2), (std::vector<std::string>{"555-1", "555-9"}));

    // The grid grows with the data: no limit at 999 entries.
    dlg.hide();
    EXPECT_EQ(grid->rowCount(), 0) << "emptied when hidden";
    for (int i = 0; i < 1200; ++i) stores.addCaller("C" + std::to_string(10000 + i), "", "");
    dlg.show();
    EXPECT_EQ(grid->rowCount(), 1202);
    EXPECT_EQ(fromQt(grid->item(1201, 0)->text()), "Zack");
}

TEST_F(CallerMaintenanceDialog, DeleteRemovesTheEntryOfTheCurrentRowAndIgnoresNoRow) {
    stores.addCaller("Bea", "B", "2");
    stores.addCaller("Amy", "A", "1");
    stores.addCaller("Cy", "C", "3");
    TdlgCallerMaintenance dlg(stores.data);
    dlg.show();
    QTableWidget* grid = dlg.gridCallers;
    EXPECT_EQ(grid->currentRow(), 0);

    dlg.btnDelete->click();  // first row: the first caller in sorted order
    EXPECT_EQ(column(grid, 0), (std::vector<std::string>{"Bea", "Cy"}));
    ASSERT_EQ(stores.phonebook.getCount(), 2);
    EXPECT_EQ(stores.phonebook.getNode(0).Caller, "Bea");

    grid->setCurrentCell(1, 0);
    grid->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, 2), true);  // only the current row counts
    dlg.btnDelete->click();
    EXPECT_EQ(column(grid, 0), (std::vector<std::string>{"Bea"}));
    EXPECT_EQ(grid->currentRow(), 0) << "the current row stays on the grid";
    EXPECT_EQ(readWholeFile(folder.file("phonebook.dat")), "") << "the dialog itself never saves";

    grid->setCurrentCell(-1, -1);
    dlg.btnDelete->click();  // no row: nothing happens
    EXPECT_EQ(stores.phonebook.getCount(), 1);

    dlg.btnDeleteAll->click();
    EXPECT_EQ(stores.phonebook.getCount(), 0);
    EXPECT_EQ(grid->rowCount(), 0);
    dlg.btnDelete->click();  // nothing left: ignored
    EXPECT_EQ(stores.phonebook.getCount(), 0);
    EXPECT_EQ(readWholeFile(folder.file("phonebook.dat")), "") << "the dialog itself never saves";

    dlg.btnCancel->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.show();
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(CallerMaintenanceDialog, DeleteTakesTheEntryAtThatPositionInTheStoreAsItIsNow) {
    stores.addCaller("Bea", "B", "2");
    stores.addCaller("Cy", "C", "3");
    TdlgCallerMaintenance dlg(stores.data);
    dlg.show();
    // A client adds an entry that sorts first while the dialog is open.
    stores.phonebook.addToPhoneListFromString("1|Abe<~FLD~>A<~FLD~>1<~REC~>");
    dlg.gridCallers->setCurrentCell(0, 0);
    dlg.btnDelete->click();
    EXPECT_EQ(column(dlg.gridCallers, 0), (std::vector<std::string>{"Bea", "Cy"}));
}

}  // namespace
}  // namespace zv::admin::test
