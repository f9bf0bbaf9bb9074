// "Modify User": edits every field of one account, in place.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include <QDialog>

#include "admin/maintenance_actions.h"
#include "host/account_rules.h"
#include "stores/records.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zv::admin {

// Works through the host it is given (not owned). OK hands what the
// administrator changed to the host's modifyAccount, which writes it into the
// stored account as it is then (no re-sort, no save: the tree dialog's caller
// saves), so that a change made meanwhile by a client or a browser to another
// field stays; the close box changes nothing. The edits are made from the
// account field table, one per field, with the widths of the board's slots.
class TdlgUserModify : public QDialog {
    Q_OBJECT
public:
    TdlgUserModify(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent = nullptr);

    // The account to edit at the next showing.
    void setEmployeeKey(std::string key) { employeeKey_ = std::move(key); }
    const std::string& employeeKey() const { return employeeKey_; }

    // When no account has the key, warns and returns Rejected without showing.
    int exec() override;

    // The edit of the record field `recordField` ("HomePhone"); null for the
    // department, which is the list cbDepartment.
    QLineEdit* edit(std::string_view recordField) const;

    QLabel* lblEmployee;  // last name + "," + first name, as typed
    QLineEdit* editPassword;
    QLineEdit* editLastName;
    QLineEdit* editFirstName;
    QComboBox* cbDepartment;  // pick-only list of department names
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillFromAccount();
    void namesChanged();
    void btnOKClick();
    void warnMissing();

    TMaintenanceApi& host_;
    MessagePrompt prompt_;
    std::string employeeKey_;
    // The edit of each field of kAccountFields (none for the department).
    std::array<QLineEdit*, kAccountFields.size()> edits_{};
    TWIWONode shown_;  // the account as the edits were filled from it
};

}  // namespace zv::admin
