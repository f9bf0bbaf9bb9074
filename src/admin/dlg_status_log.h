// "Status Change Log": shows the status change log, narrows it to one
// employee or one department, and prints what it shows. It never changes the
// log; the caller saves on OK and reloads the store otherwise.
#pragma once

#include <functional>

#include <QDialog>
#include <QList>
#include <QStringList>

#include "admin/maintenance_actions.h"

class QComboBox;
class QPrinter;
class QPushButton;
class QTableWidget;

namespace zv::admin {

// Reads the log through the host it is given (not owned).
class TdlgStatusLog : public QDialog {
    Q_OBJECT
public:
    // Lets the user choose and set up the printer; false cancels the printout.
    // The default shows the standard print dialog.
    using PrinterChooser = std::function<bool(QPrinter& printer, QWidget* parent)>;

    TdlgStatusLog(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent = nullptr);

    void setPrinterChooser(PrinterChooser chooser) { chooser_ = std::move(chooser); }

    // The rows the printout holds now: from the first row up to the first one
    // whose employee cell is empty.
    QList<QStringList> rowsToPrint() const;

    QComboBox* cbFilterKind;   // "<None>", "Employee", "Department"
    QComboBox* cbFilterValue;  // employee keys or department names
    QPushButton* btnFilter;
    QTableWidget* gridLog;
    QPushButton* btnDelete;     // always disabled
    QPushButton* btnDeleteAll;  // always disabled
    QPushButton* btnPrint;
    QPushButton* btnOK;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void filterKindChanged();
    void applyFilter();
    void btnPrintClick();

    TMaintenanceApi& host_;
    MessagePrompt prompt_;
    PrinterChooser chooser_;
};

}  // namespace zv::admin
