// "Department/User Maintenance": the tree of departments with their employees,
// and the buttons that create and remove departments and accounts and open
// "Modify User". Every action is the host's operation, made on the stores in
// memory at once (Saving::WithTheDialog); the caller saves them when the
// dialog closes with OK.
#pragma once

#include <QDialog>
#include <QIcon>

#include "admin/maintenance_actions.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zv::admin {

class TdlgAccountMaintenance;
class TdlgDepartmentMaintenance;
class TdlgUserModify;

// Works through the host it is given (not owned); owns its three sub-dialogs.
class TdlgDeptAcct : public QDialog {
    Q_OBJECT
public:
    // Tree images: a department node, an employee node.
    enum TreeImage { kDepartmentImage = 0, kEmployeeImage = 1 };
    // The item data role that holds the node's image index.
    static constexpr int kImageRole = Qt::UserRole + 1;

    TdlgDeptAcct(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent = nullptr);

    // Rebuilds the tree from the stores, selects the first node and gives the
    // tree the keyboard focus.
    void buildTree();

    QTreeWidget* treeDeptAcct;
    QPushButton* btnCreateDept;
    QPushButton* btnDeleteDept;
    QPushButton* btnCreateUser;
    QPushButton* btnDeleteUser;
    QPushButton* btnModifyUser;
    QPushButton* btnOK;

    TdlgDepartmentMaintenance* dlgDepartmentMaintenance;
    TdlgAccountMaintenance* dlgAccountMaintenance;
    TdlgUserModify* dlgUserModify;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidgetItem* selectedNode() const;
    static bool isEmployeeNode(const QTreeWidgetItem* node);

    void btnCreateDeptClick();
    void btnDeleteDeptClick();
    void btnCreateUserClick();
    void btnDeleteUserClick();
    void btnModifyUserClick();

    TMaintenanceApi& host_;
    MessagePrompt prompt_;
    QIcon departmentIcon_;  // image 0
    QIcon employeeIcon_;    // image 1
};

}  // namespace zv::admin
