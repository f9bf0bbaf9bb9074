// "Department Maintenance": creates one department. Lists the departments that
// exist and refuses an empty or existing name.
#pragma once

#include <QDialog>

#include "admin/maintenance_actions.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zv::admin {

// Creates the department through the host it is given (not owned) on OK, in
// memory (the tree dialog's caller saves).
class TdlgDepartmentMaintenance : public QDialog {
    Q_OBJECT
public:
    TdlgDepartmentMaintenance(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent = nullptr);

    QListWidget* listDepartments;  // read-only, names already created
    QLineEdit* editNewDepartment;  // at most 64 characters
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
