#pragma once
// The status change log as the administrator reads it: its eight columns,
// narrowed to one employee or one department as the viewer narrows it, the
// printout's lines, and the log as CSV. The window's viewer and printout and
// the browser's log page share these.

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stores/records.h"

namespace zv {

// The column titles, in field order.
inline constexpr std::array<std::string_view, 8> kStatusLogColumns{
    "Employee", "Department", "Date", "Time", "Status", "Returning", "ReachedAt", "Comments"};

// The eight fields of an entry, in column order (record bytes).
std::array<std::string_view, 8> logCells(const TLOGNode& entry);

// The viewer's filter: an entry is shown when the kind is "<None>" (nothing
// set), or its Employee, or its Department, equals the value exactly. With
// both set, both must match. A range of days shows only the entries of those
// days (both included); an entry whose date does not read is not in any range.
struct TLogFilter {
    std::optional<std::string> employee;    // record bytes
    std::optional<std::string> department;  // record bytes
    std::optional<std::time_t> fromDay;     // the local midnight that starts the first day
    std::optional<std::time_t> toDay;       // the local midnight that starts the last day
};
bool logEntryShown(const TLOGNode& entry, const TLogFilter& filter);

// --- the printout ----------------------------------------------------------------

inline constexpr std::string_view kStatusLogTitle = "Zelvora Status Change Log";
// "Printed on <short date> at <long time>".
std::string printedOnText(std::time_t at);
// One printed line for the eight cells of a row: the first five always,
// joined by ", "; then ", " and each of the last three only when not empty.
// Byte-wise, so it serves record bytes and UTF-8 alike.
std::string statusLogPrintLine(const std::array<std::string_view, 8>& cells);
// How many of `rows` a printout holds: those before the first whose
// employee is empty.
std::size_t printedRowCount(const std::vector<TLOGNode>& rows);

// --- CSV -------------------------------------------------------------------------

// The entries as CSV (RFC 4180): a header row of the column titles, one row
// per entry, each line ended by CR LF, UTF-8 (through the one code page
// conversion) after a byte order mark; a field that begins with "=", "+",
// "-", "@", a tab or CR (which a spreadsheet would run as a formula) begins
// with an apostrophe; a field holding a comma, a double quote, CR or LF is
// put in double quotes with its double quotes doubled.
std::string statusLogCsv(const std::vector<TLOGNode>& rows);

}  // namespace zv
