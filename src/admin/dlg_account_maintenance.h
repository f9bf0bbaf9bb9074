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

// Creates the account through the host it is given (not owned) on OK, in
// memory (the tree dialog's caller saves).
class TdlgAccountMaintenance : public QDialog {
    Q_OBJECT
public:
    TdlgAccountMaintenance(TMaintenanceApi& host, MessagePrompt prompt,
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

    TMaintenanceApi& host_;
    MessagePrompt prompt_;
};

}  // namespace zv::admin
