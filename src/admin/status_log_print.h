// The printed status change log: a title, the date and time of printing, then
// one line per log row.
#pragma once

#include <ctime>

#include <QList>
#include <QString>
#include <QStringList>

class QPrinter;

namespace zv::admin {

// One printed line for a row of the eight log cells (employee, department,
// date, time, status, returning, reached at, comments): the first five always,
// joined by ", "; then ", " and each of the last three only when not empty.
QString statusLogPrintLine(const QStringList& cells);

// Prints on `printer` (already set up by the print dialog): "Zelvora Status
// Change Log" in Arial 18 underlined, an empty line, "Printed on <date> at
// <time>" in 14 points, an empty line, then one 10-point line per row. A line
// wider than the page goes on in the next line instead of being cut off; a new
// page begins when a page is full. False when the printer cannot be started.
bool printStatusLog(QPrinter& printer, const QList<QStringList>& rows, std::time_t printedAt);

}  // namespace zv::admin
