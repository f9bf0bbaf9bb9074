// "Modify User": filling from the account, the employee label that follows the
// names, the limits of the edits, OK written in place, the close box.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "admin/dlg_dept_acct.h"
#include "admin/dlg_user_modify.h"
#include "dialogs_fixture.h"
#include "stores/date_time.h"

namespace zv::admin::test {
namespace {

class UserModifyDialog : public ::testing::Test {
protected:
    void SetUp() override {
        datetime::setClockForTesting([] { return std::time_t{1733475302}; });
        stores.addDepartment("Sales");
        stores.addDepartment("Admin");
        TWIWONode& a = stores.addAccount("Smith", "Ann", "Sales");
        a.WorkPhone = "555-0100";
        a.Extension = "12";
        a.EMail = "ann@example.com";
        a.EMailNotify = "YES";
        a.HomePhone = "555-0101";
        a.CarPhone = "555-0102";
        a.Pager = "p1";
        a.Other = "o1";
        a.Status = "Out";
        a.Returning = "Monday";
        a.ReachedAt = "Home";
        a.Comments = "Flu";
        a.EmergName = "Bob";
        a.EmergPhone = "555-0103";
        a.EmergRelation = "Spouse";
        a.StatusChanged = "old";
        a.LastContact = "last";
        stores.addAccount("Brown", "Bob", "Gone");
    }
    void TearDown() override { datetime::setClockForTesting(nullptr); }

    TempFolder folder;
    StoreSet stores{folder};
    PromptRecorder prompts;
};

TEST_F(UserModifyDialog, ShowsEveryFieldWithItsLimitAndTheLabelFollowsTheNames) {
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Modify User");
    EXPECT_EQ(dlg.lblEmployee->text(), "Smith,Ann");
    struct Expected {
        QLineEdit* edit;
        const char* text;
        int maxLength;
    };
    const Expected expected[] = {
        {dlg.editPassword, "pw", 64},          {dlg.editLastName, "Smith", 64},
        {dlg.editFirstName, "Ann", 64},        {dlg.edit("EMail"), "ann@example.com", 128},
        {dlg.edit("WorkPhone"), "555-0100", 24},   {dlg.edit("Extension"), "12", 16},
        {dlg.edit("HomePhone"), "555-0101", 24},   {dlg.edit("CarPhone"), "555-0102", 24},
        {dlg.edit("Pager"), "p1", 128},            {dlg.edit("Other"), "o1", 128},
        {dlg.edit("Status"), "Out", 32767},        {dlg.edit("Returning"), "Monday", 32767},
        {dlg.edit("ReachedAt"), "Home", 32767},    {dlg.edit("Comments"), "Flu", 32767},
        {dlg.edit("EmergName"), "Bob", 128},       {dlg.edit("EmergPhone"), "555-0103", 24},
        {dlg.edit("EmergRelation"), "Spouse", 64},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(e.edit->text(), e.text);
        EXPECT_EQ(e.edit->maxLength(), e.maxLength) << e.text;
    }
    EXPECT_EQ(dlg.cbDepartment->count(), 2);
    EXPECT_EQ(dlg.cbDepartment->currentText(), "Sales");
    EXPECT_FALSE(dlg.cbDepartment->isEditable());
    bool emergencyGroup = false;
    for (QGroupBox* group : dlg.findChildren<QGroupBox*>()) emergencyGroup |= group->title() == "In Case of Emergency:";
    EXPECT_TRUE(emergencyGroup);
    // The status and emergency edits form one column, each labelled like
    // its neighbours.
    const int column = dlg.edit("Status")->mapTo(&dlg, QPoint(0, 0)).x();
    for (QLineEdit* edit : {dlg.edit("Returning"), dlg.edit("ReachedAt"), dlg.edit("Comments"), dlg.edit("EmergName"),
                            dlg.edit("EmergPhone"), dlg.edit("EmergRelation")}) {
        EXPECT_EQ(edit->mapTo(&dlg, QPoint(0, 0)).x(), column) << edit->text().toStdString();
        EXPECT_EQ(edit->width(), dlg.edit("Status")->width()) << edit->text().toStdString();
    }
    QStringList labels;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->buddy() == dlg.edit("Status") || label->buddy() == dlg.edit("EmergName")) labels << label->text();
    }
    EXPECT_EQ(labels, QStringList({"Status:", "Name:"}));

    dlg.editLastName->setText("Jones");
    EXPECT_EQ(dlg.lblEmployee->text(), "Jones,Ann");
    dlg.editFirstName->setText("Amy");
    EXPECT_EQ(dlg.lblEmployee->text(), "Jones,Amy");
}

TEST_F(UserModifyDialog, OkWritesStraightIntoTheStoredRecordWithoutResorting) {
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    dlg.editLastName->setText("Aaron");  // would sort first
    dlg.editPassword->setText("newpw");
    dlg.edit("Status")->setText(QString(300, QLatin1Char('s')));  // no limit in the edit
    dlg.cbDepartment->setCurrentIndex(dlg.cbDepartment->findText("Admin"));
    dlg.edit("EmergRelation")->setText("Brother");
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    ASSERT_EQ(stores.board.getCount(), 2);
    EXPECT_EQ(stores.board.getNode(0).Employee, "Brown,Bob");
    const TWIWONode& a = stores.board.getNode(1);  // kept its place
    EXPECT_EQ(a.Employee, "Aaron,Ann");
    EXPECT_EQ(a.LastName, "Aaron");
    EXPECT_EQ(a.Password, "newpw");
    EXPECT_EQ(a.Department, "Admin");
    EXPECT_EQ(a.Status, std::string(300, 's'));
    EXPECT_EQ(a.EmergRelation, "Brother");
    EXPECT_EQ(a.Comments, "Flu");
    EXPECT_EQ(a.StatusChanged, datetime::dateTimeText(datetime::now()));
    EXPECT_EQ(a.EMailNotify, "YES") << "not shown, not changed";
    EXPECT_EQ(a.LastContact, "last") << "not shown, not changed";
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(readWholeFile(folder.file("wiwo.dat")), "");
}

TEST_F(UserModifyDialog, OkOnAnUnchangedDialogWritesBackEveryFieldAsItWas) {
    const TWIWONode before = *stores.board.findByKey("Smith,Ann");
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(prompts.shown.empty());

    const TWIWONode* after = stores.board.findByKey("Smith,Ann");
    ASSERT_NE(after, nullptr);
    for (const TAccountFieldInfo& field : kAccountFields) {
        EXPECT_EQ(after->*field.member, before.*field.member) << field.recordField;
    }
    EXPECT_EQ(after->Employee, before.Employee);
    EXPECT_EQ(after->EMailNotify, before.EMailNotify);
    EXPECT_EQ(after->LastContact, before.LastContact);
    EXPECT_EQ(after->StatusChanged, datetime::dateTimeText(datetime::now())) << "OK stamps the change";
}

TEST_F(UserModifyDialog, ClosingWithTheCloseBoxChangesNothing) {
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    dlg.editLastName->setText("Changed");
    dlg.edit("Comments")->setText("changed");
    dlg.close();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    const TWIWONode* a = stores.board.findByKey("Smith,Ann");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->LastName, "Smith");
    EXPECT_EQ(a->Comments, "Flu");
    EXPECT_EQ(a->StatusChanged, "old");
}

TEST_F(UserModifyDialog, AnAccountWhoseDepartmentIsGoneGetsTheFirstDepartmentOnOk) {
    TdlgDeptAcct tree(stores.data, prompts.prompt());
    tree.show();
    QTreeWidgetItem* bob = tree.treeDeptAcct->findItems("Brown,Bob", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->parent()->text(0), "Other");
    tree.treeDeptAcct->setCurrentItem(bob);

    QString preselected;
    whenModal<TdlgUserModify>([&](TdlgUserModify& d) {
        preselected = d.cbDepartment->currentText();
        d.btnOK->click();
    });
    emit tree.treeDeptAcct->itemDoubleClicked(bob, 0);  // acts as "Modify Selected User"
    EXPECT_EQ(preselected, "Admin") << "the first department in store order";
    EXPECT_EQ(stores.board.findByKey("Brown,Bob")->Department, "Admin");
    QTreeWidgetItem* moved = tree.treeDeptAcct->findItems("Brown,Bob", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->parent()->text(0), "Admin") << "the tree is rebuilt after the dialog";
}

TEST_F(UserModifyDialog, RenamingShowsTheNewKeyInTheTreeWithoutCheckingExistingKeys) {
    TdlgDeptAcct tree(stores.data, prompts.prompt());
    tree.show();
    tree.treeDeptAcct->setCurrentItem(
        tree.treeDeptAcct->findItems("Smith,Ann", Qt::MatchExactly | Qt::MatchRecursive).value(0));
    whenModal<TdlgUserModify>([&](TdlgUserModify& d) {
        d.editLastName->setText("Brown");
        d.editFirstName->setText("Bob");
        d.btnOK->click();
    });
    tree.btnModifyUser->click();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(stores.board.getNode(0).Employee, "Brown,Bob");
    EXPECT_EQ(stores.board.getNode(1).Employee, "Brown,Bob");
    EXPECT_EQ(tree.treeDeptAcct->findItems("Brown,Bob", Qt::MatchExactly | Qt::MatchRecursive).size(), 2);
}

TEST_F(UserModifyDialog, WithNoDepartmentsOkEmptiesTheDepartment) {
    stores.departments.clearList();
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    EXPECT_EQ(dlg.cbDepartment->count(), 0);
    dlg.btnOK->click();
    EXPECT_EQ(stores.board.findByKey("Smith,Ann")->Department, "");
}

TEST_F(UserModifyDialog, AKeyWithNoAccountIsReportedAndNothingIsShownOrChanged) {
    TdlgUserModify dlg(stores.data, prompts.prompt());
    dlg.setEmployeeKey("Nobody,Here");
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"User \"Nobody,Here\" no longer exists."});
    EXPECT_EQ(prompts.lastKind(), MessageKind::Warning);

    // An account removed while the dialog is open is not recreated by OK.
    prompts.shown.clear();
    dlg.setEmployeeKey("Smith,Ann");
    dlg.show();
    stores.board.deleteByKey("Smith,Ann");
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"User \"Smith,Ann\" no longer exists."});
    EXPECT_EQ(stores.board.getCount(), 1);
}

}  // namespace
}  // namespace zv::admin::test
