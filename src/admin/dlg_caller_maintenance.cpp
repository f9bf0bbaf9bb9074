#include "admin/dlg_caller_maintenance.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/grid_cell_delegate.h"
#include "admin/screen_centre.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"

namespace zv::admin {

TdlgCallerMaintenance::TdlgCallerMaintenance(TMaintenanceApi& host, QWidget* parent)
    : QDialog(parent), host_(host) {
    setWindowTitle(QStringLiteral("Caller Maintenance"));
    setWindowFlags(kFixedDialogFlags);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    gridCallers = new QTableWidget(frame);
    setUpStringGrid(gridCallers, {QStringLiteral("Caller"), QStringLiteral("Company"), QStringLiteral("Phone Number")},
                    {123, 126, 425});
    gridCallers->setFixedSize(123 + 126 + 425 + 2 * gridCallers->frameWidth() + 20, 380);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    frameLayout->addWidget(gridCallers);

    btnDelete = new QPushButton(QStringLiteral("Delete"), this);
    btnDeleteAll = new QPushButton(QStringLiteral("Delete All"), this);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* button : {btnDelete, btnDeleteAll, btnOK, btnCancel}) button->setAutoDefault(false);
    btnOK->setDefault(true);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnDeleteAll);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnDelete, &QPushButton::clicked, this, &TdlgCallerMaintenance::btnDeleteClick);
    connect(btnDeleteAll, &QPushButton::clicked, this, &TdlgCallerMaintenance::btnDeleteAllClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgCallerMaintenance::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        gridCallers->setRowCount(0);
        fillGrid();
        gridCallers->setFocus();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgCallerMaintenance::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) gridCallers->setRowCount(0);
    QDialog::hideEvent(event);
}

void TdlgCallerMaintenance::fillGrid() {
    QList<QStringList> rows;
    for (const TPHONENode& entry : host_.phonebook()) {
        rows.append({toQt(entry.Caller), toQt(entry.Company), toQt(entry.PhoneNumber)});
    }
    fillStringGrid(gridCallers, rows);
}

void TdlgCallerMaintenance::btnDeleteClick() {
    // The entry at the current row's position in the store now; clients may
    // have added entries since the grid was filled.
    const int row = gridCallers->currentRow();
    const std::vector<TPHONENode> phonebook = host_.phonebook();
    if (row < 0 || row >= static_cast<int>(phonebook.size()) || row >= gridCallers->rowCount()) return;
    host_.removePhoneEntry(kWindowAdministrator, phonebook[static_cast<std::size_t>(row)].serial,
                           Saving::WithTheDialog);
    fillGrid();
}

void TdlgCallerMaintenance::btnDeleteAllClick() {
    host_.clearPhonebook(kWindowAdministrator, Saving::WithTheDialog);
    fillGrid();
}

}  // namespace zv::admin
