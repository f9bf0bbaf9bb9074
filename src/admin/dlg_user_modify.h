// "Modify User": edits every field of one account, in place.
#pragma once

#include <array>
#include <string>

#include <QDialog>

#include "admin/maintenance_actions.h"
#include "host/account_rules.h"
#include "stores/records.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zv::admin {

// Works on the stores it is given (not owned). OK writes what the
// administrator changed into the stored account as it is then (no re-sort,
// no save), so that a change made meanwhile by a client or a browser to
// another field stays; the close box changes nothing.
class TdlgUserModify : public QDialog {
    Q_OBJECT
public:
    TdlgUserModify(MaintenanceData& data, MessagePrompt prompt, QWidget* parent = nullptr);

    // The account to edit at the next showing.
    void setEmployeeKey(std::string key) { employeeKey_ = std::move(key); }
    const std::string& employeeKey() const { return employeeKey_; }

    // When no account has the key, warns and returns Rejected without showing.
    int exec() override;

    QLabel* lblEmployee;  // last name + "," + first name, as typed
    QLineEdit* editPassword;
    QLineEdit* editLastName;
    QLineEdit* editFirstName;
    QComboBox* cbDepartment;  // pick-only list of department names
    QLineEdit* editEMail;
    QLineEdit* editWorkPhone;
    QLineEdit* editExtension;
    QLineEdit* editHomePhone;
    QLineEdit* editCarPhone;
    QLineEdit* editPager;
    QLineEdit* editOther;
    QLineEdit* editStatus;
    QLineEdit* editReturning;
    QLineEdit* editReachedAt;
    QLineEdit* editComments;
    QLineEdit* editEmergName;
    QLineEdit* editEmergPhone;
    QLineEdit* editEmergRelation;
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillFromAccount();
    void namesChanged();
    void btnOKClick();
    void warnMissing();
    // The edit of each field of kAccountFields (none for the department).
    std::array<QLineEdit*, kAccountFields.size()> fieldEdits() const;

    MaintenanceData& data_;
    MessagePrompt prompt_;
    std::string employeeKey_;
    TWIWONode shown_;  // the account as the edits were filled from it
};

}  // namespace zv::admin
