// "Caller Maintenance": lists the shared phonebook and deletes one entry or
// all of them from the store in memory. The caller saves on OK and reloads
// the store otherwise.
#pragma once

#include <QDialog>

#include "admin/maintenance_actions.h"

class QPushButton;
class QTableWidget;

namespace zv::admin {

// Deletes through the host it is given (not owned), in memory.
class TdlgCallerMaintenance : public QDialog {
    Q_OBJECT
public:
    explicit TdlgCallerMaintenance(TMaintenanceApi& host, QWidget* parent = nullptr);

    QTableWidget* gridCallers;  // one row per entry, in store order
    QPushButton* btnDelete;
    QPushButton* btnDeleteAll;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fillGrid();
    void btnDeleteClick();
    void btnDeleteAllClick();

    TMaintenanceApi& host_;
};

}  // namespace zv::admin
