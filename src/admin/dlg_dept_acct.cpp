#include "admin/dlg_dept_acct.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "admin/dialog_flags.h"
#include "admin/dlg_account_maintenance.h"
#include "admin/dlg_department_maintenance.h"
#include "admin/dlg_user_modify.h"
#include "admin/screen_centre.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"

namespace zv::admin {

namespace {

// A small head-and-shoulders figure for employee nodes.
QIcon personIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 70, 120), 1));
    painter.setBrush(QColor(90, 140, 210));
    painter.drawEllipse(QRectF(5, 1.5, 6, 6));
    QPainterPath body;
    body.moveTo(2.5, 15);
    body.cubicTo(2.5, 9, 13.5, 9, 13.5, 15);
    body.closeSubpath();
    painter.drawPath(body);
    return QIcon(pixmap);
}

QIcon departmentIcon() { return QApplication::style()->standardIcon(QStyle::SP_DirIcon); }

}  // namespace

TdlgDeptAcct::TdlgDeptAcct(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent)
    : QDialog(parent),
      host_(host),
      prompt_(std::move(prompt)),
      departmentIcon_(departmentIcon()),
      employeeIcon_(personIcon()) {
    setWindowTitle(QStringLiteral("Department/User Maintenance"));
    setWindowFlags(kFixedDialogFlags);

    treeDeptAcct = new QTreeWidget(this);
    treeDeptAcct->setHeaderHidden(true);
    treeDeptAcct->setColumnCount(1);
    treeDeptAcct->setSelectionMode(QAbstractItemView::SingleSelection);
    treeDeptAcct->setExpandsOnDoubleClick(false);
    treeDeptAcct->setFixedSize(280, 330);

    btnCreateDept = new QPushButton(QStringLiteral("Create New Department"), this);
    btnDeleteDept = new QPushButton(QStringLiteral("Delete Selected Dept"), this);
    btnCreateUser = new QPushButton(QStringLiteral("Create New User"), this);
    btnDeleteUser = new QPushButton(QStringLiteral("Delete Selected User"), this);
    btnModifyUser = new QPushButton(QStringLiteral("Modify Selected User"), this);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);

    auto* buttons = new QVBoxLayout;
    const auto actionButtons = {btnCreateDept, btnDeleteDept, btnCreateUser, btnDeleteUser, btnModifyUser};
    // The style leaves the longest caption touching its button's edges: some air around it.
    int buttonWidth = 0;
    for (QPushButton* button : actionButtons) buttonWidth = std::max(buttonWidth, button->sizeHint().width());
    for (QPushButton* button : actionButtons) {
        button->setAutoDefault(false);
        button->setMinimumWidth(buttonWidth + 16);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    buttons->addWidget(btnOK);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(treeDeptAcct);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    dlgDepartmentMaintenance = new TdlgDepartmentMaintenance(host_, prompt_, this);
    dlgAccountMaintenance = new TdlgAccountMaintenance(host_, prompt_, this);
    dlgUserModify = new TdlgUserModify(host_, prompt_, this);

    connect(btnCreateDept, &QPushButton::clicked, this, &TdlgDeptAcct::btnCreateDeptClick);
    connect(btnDeleteDept, &QPushButton::clicked, this, &TdlgDeptAcct::btnDeleteDeptClick);
    connect(btnCreateUser, &QPushButton::clicked, this, &TdlgDeptAcct::btnCreateUserClick);
    connect(btnDeleteUser, &QPushButton::clicked, this, &TdlgDeptAcct::btnDeleteUserClick);
    connect(btnModifyUser, &QPushButton::clicked, this, &TdlgDeptAcct::btnModifyUserClick);
    connect(treeDeptAcct, &QTreeWidget::itemDoubleClicked, this, &TdlgDeptAcct::btnModifyUserClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TdlgDeptAcct::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        buildTree();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgDeptAcct::buildTree() {
    treeDeptAcct->clear();
    const std::vector<std::string> departments = host_.departmentNames();
    if (!departments.empty()) {
        auto addNode = [this](QTreeWidgetItem* node, const std::string& text, TreeImage image) {
            node->setText(0, toQt(text));
            node->setIcon(0, image == kDepartmentImage ? departmentIcon_ : employeeIcon_);
            node->setData(0, kImageRole, static_cast<int>(image));
            return node;
        };

        const std::vector<TWIWONode> accounts = host_.accounts();
        const std::set<std::string> names(departments.begin(), departments.end());
        for (const std::string& name : departments) {
            QTreeWidgetItem* dept = addNode(new QTreeWidgetItem(treeDeptAcct), name, kDepartmentImage);
            for (const TWIWONode& account : accounts) {
                if (account.Department == name) addNode(new QTreeWidgetItem(dept), account.Employee, kEmployeeImage);
            }
            dept->setExpanded(true);
        }
        QTreeWidgetItem* other = addNode(new QTreeWidgetItem(treeDeptAcct), "Other", kDepartmentImage);
        for (const TWIWONode& account : accounts) {
            if (!names.count(account.Department)) addNode(new QTreeWidgetItem(other), account.Employee, kEmployeeImage);
        }
        treeDeptAcct->setCurrentItem(treeDeptAcct->topLevelItem(0));
    }
    treeDeptAcct->setFocus();
}

QTreeWidgetItem* TdlgDeptAcct::selectedNode() const {
    const QList<QTreeWidgetItem*> selected = treeDeptAcct->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

bool TdlgDeptAcct::isEmployeeNode(const QTreeWidgetItem* node) { return node->parent() != nullptr; }

void TdlgDeptAcct::btnCreateDeptClick() {
    dlgDepartmentMaintenance->exec();
    buildTree();
}

void TdlgDeptAcct::btnDeleteDeptClick() {
    QTreeWidgetItem* node = selectedNode();
    if (!node) {
        prompt_(MessageKind::Warning, "Please select a Deparmtent to Remove.");
    } else if (isEmployeeNode(node)) {
        prompt_(MessageKind::Warning, "You have selected a User.  Please select a Department.");
    } else {
        const std::string name = fromQt(node->text(0));
        if (node->childCount() > 0) {
            prompt_(MessageKind::Warning, departmentNotEmptyText(name));
        } else if (prompt_(MessageKind::Question, removeDepartmentQuestion(name)) == MessageAnswer::Yes) {
            // Gone: no department of that name (the node "Other"): nothing to remove.
            const TAdminResult result = host_.removeDepartment(kWindowAdministrator, name, Saving::WithTheDialog);
            if (result.kind == TAdminResult::Kind::Refused) prompt_(MessageKind::Warning, result.message());
        }
    }
    buildTree();
}

void TdlgDeptAcct::btnCreateUserClick() {
    dlgAccountMaintenance->exec();
    buildTree();
}

void TdlgDeptAcct::btnDeleteUserClick() {
    QTreeWidgetItem* node = selectedNode();
    if (!node) {
        prompt_(MessageKind::Warning, "Please select a User to Remove.");
    } else if (isEmployeeNode(node)) {
        const std::string key = fromQt(node->text(0));
        if (prompt_(MessageKind::Question, removeUserQuestion(key)) == MessageAnswer::Yes) {
            host_.removeAccount(kWindowAdministrator, key, Saving::WithTheDialog);
        }
    } else {
        prompt_(MessageKind::Warning, "You have selected a Department.  Please select a User.");
    }
    buildTree();
}

void TdlgDeptAcct::btnModifyUserClick() {
    QTreeWidgetItem* node = selectedNode();
    if (!node) {
        prompt_(MessageKind::Warning, "Please select a User to Modify.");
        return;
    }
    if (!isEmployeeNode(node)) {
        prompt_(MessageKind::Warning, "You have selected a Department.  Please select a User.");
        return;
    }
    dlgUserModify->setEmployeeKey(fromQt(node->text(0)));
    dlgUserModify->exec();
    buildTree();
}

}  // namespace zv::admin
