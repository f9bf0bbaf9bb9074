// Department/User Maintenance: the tree, its five buttons and their messages,
// and the three dialogs behind them, driven on the stores in memory.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "admin/dlg_account_maintenance.h"
#include "admin/dlg_department_maintenance.h"
#include "admin/dlg_dept_acct.h"
#include "admin/dlg_user_modify.h"
#include "dialogs_fixture.h"
#include "stores/date_time.h"

namespace zv::admin::test {
namespace {

// The tree as text: top-level nodes, children indented by two blanks.
std::vector<std::string> treeLines(QTreeWidget* tree) {
    std::vector<std::string> lines;
    for (int t = 0; t < tree->topLevelItemCount(); ++t) {
        QTreeWidgetItem* top = tree->topLevelItem(t);
        lines.push_back(fromQt(top->text(0)));
        for (int c = 0; c < top->childCount(); ++c) lines.push_back("  " + fromQt(top->child(c)->text(0)));
    }
    return lines;
}

QTreeWidgetItem* findNode(QTreeWidget* tree, const QString& text) {
    const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

class DeptAcctDialog : public ::testing::Test {
protected:
    void SetUp() override {
        datetime::setClockForTesting([] { return std::time_t{1733475302}; });  // a fixed moment
    }
    void TearDown() override { datetime::setClockForTesting(nullptr); }

    void show(TdlgDeptAcct& dlg) {
        dlg.show();
        QApplication::processEvents();
    }
    void select(TdlgDeptAcct& dlg, const QString& text) {
        QTreeWidgetItem* node = findNode(dlg.treeDeptAcct, text);
        ASSERT_NE(node, nullptr) << fromQt(text);
        dlg.treeDeptAcct->setCurrentItem(node);
    }

    TempFolder folder;
    StoreSet stores{folder};
    PromptRecorder prompts;
};

TEST_F(DeptAcctDialog, TreeIsEmptyWithoutDepartmentsEvenWithAccountsAndTakesTheFocus) {
    stores.addAccount("Smith", "Ann", "Sales");
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);
    EXPECT_EQ(dlg.windowTitle(), "Department/User Maintenance");
    EXPECT_EQ(dlg.treeDeptAcct->topLevelItemCount(), 0);
    EXPECT_EQ(dlg.focusWidget(), dlg.treeDeptAcct);
    EXPECT_EQ(dlg.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).size(), 6)
        << "five buttons and OK, no Cancel";
}

TEST_F(DeptAcctDialog, TreeListsDepartmentsInOrderWithTheirEmployeesAndOtherForUnknownDepartments) {
    stores.addDepartment("Sales");
    stores.addDepartment("Admin");
    stores.addDepartment("sales");
    stores.addAccount("Smith", "Ann", "Sales");
    stores.addAccount("Brown", "Bob", "Sales");
    stores.addAccount("Zed", "Zoe", "sales");
    stores.addAccount("Gone", "Gil", "Closed");
    stores.addAccount("Adams", "Al", "SALES");
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);

    EXPECT_EQ(treeLines(dlg.treeDeptAcct),
              (std::vector<std::string>{"Admin", "Sales", "  Brown,Bob", "  Smith,Ann", "sales", "  Zed,Zoe", "Other",
                                        "  Adams,Al", "  Gone,Gil"}));
    // Images: 0 for departments (and Other), 1 for employees; departments are expanded.
    QTreeWidgetItem* sales = findNode(dlg.treeDeptAcct, "Sales");
    EXPECT_EQ(sales->data(0, TdlgDeptAcct::kImageRole).toInt(), TdlgDeptAcct::kDepartmentImage);
    EXPECT_FALSE(sales->icon(0).isNull());
    EXPECT_TRUE(sales->isExpanded());
    EXPECT_EQ(sales->child(0)->data(0, TdlgDeptAcct::kImageRole).toInt(), TdlgDeptAcct::kEmployeeImage);
    EXPECT_FALSE(sales->child(0)->icon(0).isNull());
    EXPECT_EQ(findNode(dlg.treeDeptAcct, "Other")->data(0, TdlgDeptAcct::kImageRole).toInt(),
              TdlgDeptAcct::kDepartmentImage);
    // The first department is selected and the tree has the focus.
    ASSERT_EQ(dlg.treeDeptAcct->selectedItems().size(), 1);
    EXPECT_EQ(dlg.treeDeptAcct->selectedItems().first()->text(0), "Admin");
    EXPECT_EQ(dlg.focusWidget(), dlg.treeDeptAcct);

    // The tree is built from the stores at every showing.
    dlg.hide();
    stores.addAccount("New", "Ned", "Admin");
    show(dlg);
    EXPECT_EQ(treeLines(dlg.treeDeptAcct)[1], "  New,Ned");
}

TEST_F(DeptAcctDialog, DeleteSelectedDeptRefusesNothingAUserOrAFullDepartmentAndAsksBeforeRemoving) {
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);
    dlg.btnDeleteDept->click();
    EXPECT_EQ(prompts.last(), "Please select a Deparmtent to Remove.");
    EXPECT_EQ(prompts.lastKind(), MessageKind::Warning);

    stores.addDepartment("Sales");
    stores.addDepartment("Empty");
    stores.addDepartment("Other");
    stores.addDepartment("Other");
    stores.addAccount("Smith", "Ann", "Sales");
    dlg.buildTree();

    select(dlg, "Smith,Ann");
    dlg.btnDeleteDept->click();
    EXPECT_EQ(prompts.last(), "You have selected a User.  Please select a Department.");

    select(dlg, "Sales");
    dlg.btnDeleteDept->click();
    EXPECT_EQ(prompts.last(), "Department Sales is not empty.");
    EXPECT_EQ(stores.departments.getCount(), 4);

    select(dlg, "Empty");
    prompts.answers = {MessageAnswer::No};
    dlg.btnDeleteDept->click();
    EXPECT_EQ(prompts.last(), "Remove Department \"Empty\"?");
    EXPECT_EQ(prompts.lastKind(), MessageKind::Question);
    EXPECT_EQ(stores.departments.getCount(), 4);

    select(dlg, "Empty");
    prompts.answers = {MessageAnswer::Yes};
    dlg.btnDeleteDept->click();
    EXPECT_EQ(stores.departments.getCount(), 3);
    EXPECT_EQ(findNode(dlg.treeDeptAcct, "Empty"), nullptr);
    EXPECT_EQ(dlg.treeDeptAcct->selectedItems().first()->text(0), "Other") << "rebuilt, first node selected";

    // "Other" is a department like any other: the first department named
    // Other goes, and the rebuilt tree shows the node again.
    const int otherNodes = dlg.treeDeptAcct->findItems("Other", Qt::MatchExactly).size();
    select(dlg, "Other");
    prompts.answers = {MessageAnswer::Yes};
    dlg.btnDeleteDept->click();
    EXPECT_EQ(stores.departments.getCount(), 2);
    EXPECT_EQ(dlg.treeDeptAcct->findItems("Other", Qt::MatchExactly).size(), otherNodes - 1);
    EXPECT_NE(findNode(dlg.treeDeptAcct, "Other"), nullptr);
    EXPECT_EQ(readWholeFile(folder.file("department.dat")), "") << "nothing is saved by the dialog";
}

TEST_F(DeptAcctDialog, DeleteSelectedUserRefusesNothingOrADepartmentAndRemovesEveryAccountWithTheKey) {
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);
    dlg.btnDeleteUser->click();
    EXPECT_EQ(prompts.last(), "Please select a User to Remove.");

    stores.addDepartment("Sales");
    stores.addAccount("Smith", "Ann", "Sales");
    stores.addAccount("Smith", "Ann", "Sales");
    stores.addAccount("Brown", "Bob", "Sales");
    dlg.buildTree();

    dlg.btnDeleteUser->click();  // "Sales" is selected after the build
    EXPECT_EQ(prompts.last(), "You have selected a Department.  Please select a User.");

    select(dlg, "Smith,Ann");
    dlg.btnDeleteUser->click();  // no answer given: No
    EXPECT_EQ(prompts.last(), "Remove User \"Smith,Ann\"?");
    EXPECT_EQ(stores.board.getCount(), 3);

    select(dlg, "Smith,Ann");
    prompts.answers = {MessageAnswer::Yes};
    dlg.btnDeleteUser->click();
    EXPECT_EQ(stores.board.getCount(), 1);
    EXPECT_EQ(treeLines(dlg.treeDeptAcct), (std::vector<std::string>{"Sales", "  Brown,Bob", "Other"}));
}

TEST_F(DeptAcctDialog, ModifySelectedUserAndDoubleClickRefuseNothingOrADepartment) {
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);
    dlg.btnModifyUser->click();
    EXPECT_EQ(prompts.last(), "Please select a User to Modify.");

    stores.addDepartment("Sales");
    dlg.buildTree();
    dlg.btnModifyUser->click();
    EXPECT_EQ(prompts.last(), "You have selected a Department.  Please select a User.");
    prompts.shown.clear();
    emit dlg.treeDeptAcct->itemDoubleClicked(findNode(dlg.treeDeptAcct, "Other"), 0);
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"You have selected a Department.  Please select a User."});
}

TEST_F(DeptAcctDialog, CreateNewDepartmentRefusesEmptyAndExistingNamesThenAddsInOrder) {
    stores.addDepartment("Sales");
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);

    std::vector<std::string> listed;
    QWidget* focusAfterEmpty = nullptr;
    QWidget* focusAfterExisting = nullptr;
    whenModal<TdlgDepartmentMaintenance>([&](TdlgDepartmentMaintenance& d) {
        for (int i = 0; i < d.listDepartments->count(); ++i) listed.push_back(fromQt(d.listDepartments->item(i)->text()));
        EXPECT_EQ(d.listDepartments->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(d.editNewDepartment->maxLength(), 64);
        d.btnOK->click();
        focusAfterEmpty = d.focusWidget();
        d.editNewDepartment->setText("Sales");
        d.btnOK->click();
        focusAfterExisting = d.focusWidget();
        EXPECT_TRUE(d.isVisible()) << "refused input keeps the dialog open";
        d.editNewDepartment->setText("sales");  // letter case counts
        d.btnOK->click();
    });
    dlg.btnCreateDept->click();

    EXPECT_EQ(listed, std::vector<std::string>{"Sales"});
    EXPECT_EQ(prompts.texts(),
              (std::vector<std::string>{"Department is required.", "Department \"Sales\" already exists."}));
    EXPECT_EQ(focusAfterEmpty, dlg.dlgDepartmentMaintenance->editNewDepartment);
    EXPECT_EQ(focusAfterExisting, dlg.dlgDepartmentMaintenance->editNewDepartment);
    EXPECT_EQ(dlg.dlgDepartmentMaintenance->result(), QDialog::Accepted);
    EXPECT_EQ(treeLines(dlg.treeDeptAcct), (std::vector<std::string>{"Sales", "sales", "Other"}));

    // Cancel adds nothing; the edit starts empty at every showing.
    whenModal<TdlgDepartmentMaintenance>([&](TdlgDepartmentMaintenance& d) {
        EXPECT_TRUE(d.editNewDepartment->text().isEmpty());
        d.editNewDepartment->setText("Admin");
        d.btnCancel->click();
    });
    dlg.btnCreateDept->click();
    EXPECT_EQ(stores.departments.getCount(), 2);
}

TEST_F(DeptAcctDialog, CreateNewUserChecksInOrderWithTheFocusOnTheOffendingField) {
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);

    // With no department the check ends at the department.
    std::vector<QWidget*> focus;
    whenModal<TdlgAccountMaintenance>([&](TdlgAccountMaintenance& d) {
        EXPECT_EQ(d.editPassword->text(), "580214");
        EXPECT_EQ(d.editPassword->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(d.cbDepartment->currentIndex(), -1);
        EXPECT_EQ(d.editLastName->maxLength(), 64);
        EXPECT_EQ(d.editFirstName->maxLength(), 64);
        EXPECT_EQ(d.editPassword->maxLength(), 64);
        EXPECT_FALSE(d.cbDepartment->isEditable());
        EXPECT_EQ(d.editLastName->nextInFocusChain(), d.editFirstName) << "tab order";
        EXPECT_EQ(d.editFirstName->nextInFocusChain(), d.editPassword);
        EXPECT_EQ(d.editPassword->nextInFocusChain(), d.cbDepartment);
        EXPECT_EQ(d.focusWidget(), d.editLastName);
        d.editPassword->clear();
        d.btnOK->click();
        focus.push_back(d.focusWidget());
        d.editLastName->setText("Smith");
        d.btnOK->click();
        focus.push_back(d.focusWidget());
        d.editFirstName->setText("Ann");
        d.btnOK->click();
        focus.push_back(d.focusWidget());
        d.editPassword->setText("secret");
        d.btnOK->click();
        focus.push_back(d.focusWidget());
        d.btnCancel->click();
    });
    dlg.btnCreateUser->click();
    EXPECT_EQ(prompts.texts(), (std::vector<std::string>{"Last Name is required.", "First Name is required.",
                                                         "Password is required.", "Department is required."}));
    TdlgAccountMaintenance* acct = dlg.dlgAccountMaintenance;
    EXPECT_EQ(focus, (std::vector<QWidget*>{acct->editLastName, acct->editFirstName, acct->editPassword,
                                            acct->cbDepartment}));
    EXPECT_EQ(stores.board.getCount(), 0);
}

TEST_F(DeptAcctDialog, CreateNewUserAddsTheAccountWithItsDefaultsAndRefusesAnExistingKey) {
    stores.addDepartment("Sales");
    stores.addDepartment("Admin");
    TdlgDeptAcct dlg(stores.data, prompts.prompt());
    show(dlg);

    whenModal<TdlgAccountMaintenance>([&](TdlgAccountMaintenance& d) {
        d.editLastName->setText("Smith");
        d.editFirstName->setText("Ann");
        d.cbDepartment->setCurrentIndex(d.cbDepartment->findText("Sales"));
        d.btnOK->click();
    });
    dlg.btnCreateUser->click();
    EXPECT_EQ(prompts.last(), "New User \"Smith,Ann\" has been added to Department \"Sales\".");
    EXPECT_EQ(prompts.lastKind(), MessageKind::Information);
    ASSERT_EQ(stores.board.getCount(), 1);
    const TWIWONode& a = stores.board.getNode(0);
    EXPECT_EQ(a.Employee, "Smith,Ann");
    EXPECT_EQ(a.LastName, "Smith");
    EXPECT_EQ(a.FirstName, "Ann");
    EXPECT_EQ(a.Password, "580214");
    EXPECT_EQ(a.Department, "Sales");
    EXPECT_EQ(a.Status, "In");
    EXPECT_EQ(a.EMailNotify, "NO");
    EXPECT_EQ(a.StatusChanged, datetime::dateTimeText(datetime::now()));
    EXPECT_EQ(a.LastContact, datetime::dateTimeText(datetime::now()));
    EXPECT_TRUE(a.EMail.empty() && a.Returning.empty() && a.Comments.empty() && a.EmergName.empty());
    EXPECT_EQ(treeLines(dlg.treeDeptAcct), (std::vector<std::string>{"Admin", "Sales", "  Smith,Ann", "Other"}));

    // The same names again are refused; other letter case is another account.
    QWidget* focusAfterDuplicate = nullptr;
    whenModal<TdlgAccountMaintenance>([&](TdlgAccountMaintenance& d) {
        EXPECT_TRUE(d.editLastName->text().isEmpty()) << "emptied at every showing";
        d.editLastName->setText("Smith");
        d.editFirstName->setText("Ann");
        d.cbDepartment->setCurrentIndex(0);
        d.btnOK->click();
        focusAfterDuplicate = d.focusWidget();
        EXPECT_TRUE(d.isVisible());
        d.editLastName->setText("smith");
        d.btnOK->click();
    });
    prompts.shown.clear();
    dlg.btnCreateUser->click();
    EXPECT_EQ(prompts.texts(), (std::vector<std::string>{"User \"Smith,Ann\" already exists.",
                                                         "New User \"smith,Ann\" has been added to Department \"Admin\"."}));
    EXPECT_EQ(focusAfterDuplicate, dlg.dlgAccountMaintenance->editLastName);
    EXPECT_EQ(stores.board.getCount(), 2);
    EXPECT_EQ(readWholeFile(folder.file("wiwo.dat")), "");
}

}  // namespace
}  // namespace zv::admin::test
