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
#include "stores/records.h"

namespace zv::admin {

TdlgCallerMaintenance::TdlgCallerMaintenance(MaintenanceData& data, QWidget* parent)
    : QDialog(parent), data_(data) {
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
    rows.reserve(data_.phoneCount());
    for (int i = 0; i < data_.phoneCount(); ++i) {
        const TPHONENode& entry = data_.phoneAt(i);
        rows.append({toQt(entry.Caller), toQt(entry.Company), toQt(entry.PhoneNumber)});
    }
    fillStringGrid(gridCallers, rows);
}

void TdlgCallerMaintenance::btnDeleteClick() {
    // The entry at the current row's position in the store now; clients may
    // have added entries since the grid was filled.
    const int row = gridCallers->currentRow();
    if (row < 0 || row >= data_.phoneCount() || row >= gridCallers->rowCount()) return;
    const TPHONENode& entry = data_.phoneAt(row);
    auditAdminChange(kWindowAdministrator, "removed phonebook entry " + auditQuoted(entry.Caller) + " (" +
                                               auditQuoted(entry.Company) + ", " + auditQuoted(entry.PhoneNumber) +
                                               ")");
    data_.removePhone(&entry);
    fillGrid();
}

void TdlgCallerMaintenance::btnDeleteAllClick() {
    auditAdminChange(kWindowAdministrator,
                     "removed all " + std::to_string(data_.phoneCount()) + " phonebook entries");
    data_.clearPhonebook();
    fillGrid();
}

}  // namespace zv::admin
