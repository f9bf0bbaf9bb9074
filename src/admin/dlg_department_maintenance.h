// "Department Maintenance": creates one department. Lists the departments that
// exist and refuses an empty or existing name.
#pragma once

#include <QDialog>

#include "admin/maintenance_actions.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zv::admin {

// Works on the department store it is given (not owned); adds to it on OK
// without saving.
class TdlgDepartmentMaintenance : public QDialog {
    Q_OBJECT
public:
    TdlgDepartmentMaintenance(MaintenanceData& data, MessagePrompt prompt, QWidget* parent = nullptr);

    QListWidget* listDepartments;  // read-only, names already created
    QLineEdit* editNewDepartment;  // at most 64 characters
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
