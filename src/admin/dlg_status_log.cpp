#include "admin/dlg_status_log.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "admin/dialog_flags.h"
#include "admin/grid_cell_delegate.h"
#include "admin/status_log_print.h"
#include "admin/screen_centre.h"
#include "host/maintenance_api.h"
#include "stores/date_time.h"

namespace zv::admin {

namespace {

enum FilterKind { kNoFilter = 0, kEmployeeFilter = 1, kDepartmentFilter = 2 };

bool choosePrinterWithDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QStringList logCellTexts(const TLOGNode& entry) {
    QStringList cells;
    for (const std::string_view cell : logCells(entry)) cells.append(toQt(std::string(cell)));
    return cells;
}

}  // namespace

TdlgStatusLog::TdlgStatusLog(TMaintenanceApi& host, MessagePrompt prompt, QWidget* parent)
    : QDialog(parent),
      host_(host),
      prompt_(std::move(prompt)),
      chooser_(choosePrinterWithDialog) {
    setWindowTitle(QStringLiteral("Status Change Log"));
    setWindowFlags(kFixedDialogFlags);

    cbFilterKind = new QComboBox(this);
    cbFilterKind->setEditable(false);
    cbFilterKind->setMinimumWidth(130);
    cbFilterValue = new QComboBox(this);
    cbFilterValue->setEditable(false);
    cbFilterValue->setMinimumWidth(220);
    cbFilterValue->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    btnFilter = new QPushButton(QStringLiteral("Filter"), this);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("Filter By:"), this));
    filterRow->addWidget(cbFilterKind);
    filterRow->addSpacing(16);
    filterRow->addWidget(new QLabel(QStringLiteral("Filter Value:"), this));
    filterRow->addWidget(cbFilterValue);
    filterRow->addSpacing(16);
    filterRow->addWidget(btnFilter);
    filterRow->addStretch(1);

    auto* outerFrame = new QFrame(this);
    outerFrame->setFrameShape(QFrame::Panel);
    outerFrame->setFrameShadow(QFrame::Raised);
    auto* innerFrame = new QFrame(outerFrame);
    innerFrame->setFrameShape(QFrame::Panel);
    innerFrame->setFrameShadow(QFrame::Sunken);
    gridLog = new QTableWidget(innerFrame);
    const QList<int> widths{123, 122, 68, 90, 74, 114, 107, 360};
    QStringList headers;
    for (const std::string_view title : kStatusLogColumns)
        headers.append(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())));
    setUpStringGrid(gridLog, headers, widths);
    int gridWidth = 2 * gridLog->frameWidth() + 20;
    for (int w : widths) gridWidth += w;
    gridLog->setFixedSize(gridWidth, 420);
    auto* innerLayout = new QVBoxLayout(innerFrame);
    innerLayout->setContentsMargins(2, 2, 2, 2);
    innerLayout->addWidget(gridLog);
    auto* outerLayout = new QVBoxLayout(outerFrame);
    outerLayout->setContentsMargins(3, 3, 3, 3);
    outerLayout->addWidget(innerFrame);

    btnDelete = new QPushButton(QStringLiteral("Delete"), this);
    btnDeleteAll = new QPushButton(QStringLiteral("Delete All"), this);
    btnDelete->setEnabled(false);
    btnDeleteAll->setEnabled(false);
    btnPrint = new QPushButton(QStringLiteral("Print"), this);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    for (QPushButton* button : {btnFilter, btnDelete, btnDeleteAll, btnPrint, btnOK}) button->setAutoDefault(false);
    btnOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnDeleteAll);
    buttons->addStretch(1);
    buttons->addWidget(btnPrint);
    buttons->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(outerFrame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cbFilterKind, &QComboBox::currentIndexChanged, this, &TdlgStatusLog::filterKindChanged);
    connect(cbFilterValue, &QComboBox::currentIndexChanged, this, &TdlgStatusLog::applyFilter);
    connect(btnFilter, &QPushButton::clicked, this, &TdlgStatusLog::applyFilter);
    connect(btnPrint, &QPushButton::clicked, this, &TdlgStatusLog::btnPrintClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TdlgStatusLog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        {
            const QSignalBlocker kindBlocker(cbFilterKind);
            const QSignalBlocker valueBlocker(cbFilterValue);
            cbFilterKind->clear();
            cbFilterKind->addItems({QStringLiteral("<None>"), QStringLiteral("Employee"), QStringLiteral("Department")});
            cbFilterKind->setCurrentIndex(kNoFilter);
            cbFilterValue->clear();
        }
        gridLog->setRowCount(0);
        applyFilter();
        gridLog->setFocus();
        centreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TdlgStatusLog::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) gridLog->setRowCount(0);
    QDialog::hideEvent(event);
}

void TdlgStatusLog::filterKindChanged() {
    {
        const QSignalBlocker blocker(cbFilterValue);
        cbFilterValue->clear();
        if (cbFilterKind->currentIndex() == kEmployeeFilter) {
            for (const TWIWONode& account : host_.accounts()) cbFilterValue->addItem(toQt(account.Employee));
        } else if (cbFilterKind->currentIndex() == kDepartmentFilter) {
            for (const std::string& name : host_.departmentNames()) cbFilterValue->addItem(toQt(name));
        }
        cbFilterValue->setCurrentIndex(cbFilterValue->count() > 0 ? 0 : -1);
    }
    applyFilter();
}

void TdlgStatusLog::applyFilter() {
    const int kind = cbFilterKind->currentIndex();
    const std::string value = fromQt(cbFilterValue->currentText());
    TLogFilter filter;
    if (kind == kEmployeeFilter) filter.employee = value;
    if (kind == kDepartmentFilter) filter.department = value;
    QList<QStringList> rows;
    for (const TLOGNode& entry : host_.statusLog(filter)) rows.append(logCellTexts(entry));
    fillStringGrid(gridLog, rows);
}

QList<QStringList> TdlgStatusLog::rowsToPrint() const {
    QList<QStringList> rows;
    for (int r = 0; r < gridLog->rowCount(); ++r) {
        const QTableWidgetItem* employee = gridLog->item(r, 0);
        if (!employee || employee->text().isEmpty()) break;
        QStringList cells;
        for (int c = 0; c < gridLog->columnCount(); ++c) {
            const QTableWidgetItem* item = gridLog->item(r, c);
            cells.append(item ? item->text() : QString());
        }
        rows.append(cells);
    }
    return rows;
}

void TdlgStatusLog::btnPrintClick() {
    const QList<QStringList> rows = rowsToPrint();
    QPrinter printer(QPrinter::HighResolution);
    if (!chooser_ || !chooser_(printer, this)) return;
    if (!printStatusLog(printer, rows, datetime::now()))
        prompt_(MessageKind::Warning, "The status change log could not be printed on \"" +
                                          fromQt(printer.printerName().isEmpty() ? printer.outputFileName()
                                                                                 : printer.printerName()) +
                                          "\".");
}

}  // namespace zv::admin
