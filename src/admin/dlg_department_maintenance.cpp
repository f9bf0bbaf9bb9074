#include "admin/dlg_department_maintenance.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/screen_centre.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"

namespace zv::admin {

TdlgDepartmentMaintenance::TdlgDepartmentMaintenance(TMaintenanceApi& host, MessagePrompt prompt,
                                                     QWidget* parent)
    : QDialog(parent), host_(host), prompt_(std::move(prompt)) {
    setWindowTitle(QStringLiteral("Department Maintenance"));
    setWindowFlags(kFixedDialogFlags);

    auto* createdLabel = new QLabel(QStringLiteral("Departments Already Created:"), this);
    listDepartments = new QListWidget(this);
    listDepartments->setFocusPolicy(Qt::NoFocus);
    listDepartments->setSelectionMode(QAbstractItemView::NoSelection);
    listDepartments->setFixedSize(260, 160);

    auto* newLabel = new QLabel(QStringLiteral("New Department"), this);
    editNewDepartment = new QLineEdit(this);
    // As long as an account's department: the name goes there too.
    editNewDepartment->setMaxLength(static_cast<int>(accountFieldWidth(kAccountFields[kDepartmentField])));
    newLabel->setBuddy(editNewDepartment);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(newLabel);
    editRow->addWidget(editNewDepartment, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createdLabel);
    layout->addWidget(listDepartments);
    layout->addSpacing(6);
    layout->addLayout(editRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, &TdlgDepartmentMaintenance::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgDepartmentMaintenance::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        listDepartments->clear();
        for (const std::string& name : host_.departmentNames()) listDepartments->addItem(toQt(name));
        editNewDepartment->clear();
        editNewDepartment->setFocus();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgDepartmentMaintenance::btnOKClick() {
    const std::optional<std::string> name = recordTextOf(editNewDepartment, "New Department", prompt_);
    if (!name) return;
    const TAdminResult result = host_.createDepartment(kWindowAdministrator, *name, Saving::WithTheDialog);
    if (result.kind != TAdminResult::Kind::Done) {
        for (const std::string& refusal : result.messages) prompt_(MessageKind::Warning, refusal);
        editNewDepartment->setFocus();
        return;
    }
    accept();
}

}  // namespace zv::admin
