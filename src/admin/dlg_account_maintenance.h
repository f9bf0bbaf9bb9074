// "Account Maintenance": creates one employee account from a last name, a
// first name, a password and a department.
#pragma once

#include <QDialog>

#include "admin/maintenance_actions.h"
#include "host/account_rules.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zv::admin {

// Works on the stores it is given (not owned); adds the account on OK without
// saving.
class TdlgAccountMaintenance : public QDialog {
    Q_OBJECT
public:
    TdlgAccountMaintenance(MaintenanceData& data, MessagePrompt prompt,
                           QWidget* parent = nullptr);

    QLineEdit* editLastName;    // at most 64 characters
    QLineEdit* editFirstName;   // at most 64 characters
    QLineEdit* editPassword;    // at most 64 characters, shown in clear
    QComboBox* cbDepartment;    // pick-only list of department names
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void btnOKClick();

    MaintenanceData& data_;
    MessagePrompt prompt_;
};

}  // namespace zv::admin
