// What the maintenance dialogs store into records is text of the clients'
// code page: a character it cannot hold is refused with a message naming the
// field, and nothing is stored; so is a text that would split the record on
// the wire. "Modify User" writes only what the administrator changed, into
// the account as it is at OK.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "admin/dlg_account_maintenance.h"
#include "admin/dlg_department_maintenance.h"
#include "admin/dlg_user_modify.h"
#include "dialogs_fixture.h"

namespace zv::admin::test {
namespace {

class CodePageRefusal : public ::testing::Test {
protected:
    void SetUp() override {
        stores.addDepartment("Sales");
        TWIWONode& ann = stores.addAccount("Smith", "Ann", "Sales");
        ann.Status = "Out";
        ann.Comments = "Flu";
    }

    TempFolder folder;
    StoreSet stores{folder};
    PromptRecorder prompts;
};

TEST_F(CodePageRefusal, EachDialogNamesTheFieldAndStoresNothingWhileWindows1252TextPasses) {
    TdlgDepartmentMaintenance department(stores.data, prompts.prompt());
    department.show();
    department.editNewDepartment->setText(QString::fromUtf8("R\u00e9seau \u2126"));
    department.btnOK->click();
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{
                                   "The field \"New Department\" holds the character \"\u2126\" (U+2126), which the "
                                   "Zelvora Clients' code page (Windows-1252) cannot hold."});
    EXPECT_EQ(prompts.lastKind(), MessageKind::Warning);
    EXPECT_TRUE(department.isVisible());
    EXPECT_EQ(stores.departments.getCount(), 1);
    department.editNewDepartment->setText(QString::fromUtf8("R\u00e9seau \u20ac"));  // é and € are in it
    department.btnOK->click();
    ASSERT_EQ(stores.departments.getCount(), 2);
    EXPECT_EQ(stores.departments.getNode(0).Name, "R\xe9seau \x80");

    prompts.shown.clear();
    TdlgAccountMaintenance account(stores.data, prompts.prompt());
    account.show();
    account.editLastName->setText("Jones");
    account.editFirstName->setText(QString::fromUtf8("Zo\u00eb \u4e00"));
    account.cbDepartment->setCurrentIndex(0);
    account.btnOK->click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.last().find("The field \"First Name\" holds the character"), std::string::npos);
    EXPECT_EQ(account.focusWidget(), account.editFirstName);
    EXPECT_EQ(stores.board.getCount(), 1);

    prompts.shown.clear();
    TdlgUserModify modify(stores.data, prompts.prompt());
    modify.setEmployeeKey("Smith,Ann");
    modify.show();
    modify.edit("Comments")->setText(QString::fromUtf8("\u263a"));
    modify.btnOK->click();
    EXPECT_NE(prompts.last().find("The field \"Comments\" holds the character"), std::string::npos);
    EXPECT_TRUE(modify.isVisible());
    EXPECT_EQ(stores.board.findByKey("Smith,Ann")->Comments, "Flu");
}

TEST_F(CodePageRefusal, ATextThatWouldSplitTheRecordOnTheWireIsRefusedAsTheBrowsersIs) {
    TdlgDepartmentMaintenance department(stores.data, prompts.prompt());
    department.show();
    department.editNewDepartment->setText("East<~FLD~>West");
    department.btnOK->click();
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{"The field \"New Department\" must not hold the text \"<~FLD~>\"."});
    EXPECT_TRUE(department.isVisible());
    EXPECT_EQ(stores.departments.getCount(), 1);

    prompts.shown.clear();
    TdlgAccountMaintenance account(stores.data, prompts.prompt());
    account.show();
    account.editLastName->setText("Jones");
    account.editFirstName->setText("Amy");
    account.editPassword->setText("pw<~REC~>");
    account.cbDepartment->setCurrentIndex(0);
    account.btnOK->click();
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"The field \"Password\" must not hold the text \"<~REC~>\"."});
    EXPECT_EQ(account.focusWidget(), account.editPassword);
    EXPECT_EQ(stores.board.getCount(), 1);

    prompts.shown.clear();
    TdlgUserModify modify(stores.data, prompts.prompt());
    modify.setEmployeeKey("Smith,Ann");
    modify.show();
    modify.edit("Pager")->setText("beep<~FLD~>");
    modify.btnOK->click();
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"The field \"Pager\" must not hold the text \"<~FLD~>\"."});
    EXPECT_TRUE(modify.isVisible());
    EXPECT_EQ(modify.focusWidget(), modify.edit("Pager"));
    EXPECT_EQ(stores.board.findByKey("Smith,Ann")->Pager, "");
}

TEST_F(CodePageRefusal, ModifyUserKeepsAChangeMadeMeanwhileToAFieldItDidNotChange) {
    TdlgUserModify modify(stores.data, prompts.prompt());
    modify.setEmployeeKey("Smith,Ann");
    modify.show();
    modify.edit("EMail")->setText("ann@example.com");
    // Meanwhile a client sets her status.
    stores.board.findByKey("Smith,Ann")->Status = "At lunch";
    modify.btnOK->click();
    const TWIWONode* ann = stores.board.findByKey("Smith,Ann");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->EMail, "ann@example.com");
    EXPECT_EQ(ann->Status, "At lunch");
    EXPECT_EQ(ann->Comments, "Flu");
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
}  // namespace zv::admin::test
