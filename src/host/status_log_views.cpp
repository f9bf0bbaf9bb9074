#include "host/status_log_views.h"

#include "stores/code_page.h"
#include "stores/date_time.h"

namespace zv {

std::array<std::string_view, 8> logCells(const TLOGNode& entry) {
    return {entry.Employee, entry.Department, entry.Date,      entry.Time,
            entry.Status,   entry.Returning,  entry.ReachedAt, entry.Comments};
}

bool logEntryShown(const TLOGNode& entry, const TLogFilter& filter) {
    if (filter.employee && entry.Employee != *filter.employee) return false;
    if (filter.department && entry.Department != *filter.department) return false;
    if (filter.fromDay || filter.toDay) {
        const std::optional<std::time_t> day = datetime::parseDateTime(entry.Date);  // its midnight
        if (!day) return false;
        if (filter.fromDay && *day < *filter.fromDay) return false;
        if (filter.toDay && *day > *filter.toDay) return false;
    }
    return true;
}

std::string printedOnText(std::time_t at) {
    return "Printed on " + datetime::shortDateText(at) + " at " + datetime::longTimeText(at);
}

std::string statusLogPrintLine(const std::array<std::string_view, 8>& cells) {
    std::string line(cells[0]);
    for (std::size_t i = 1; i <= 4; ++i) {
        line += ", ";
        line += cells[i];
    }
    for (std::size_t i = 5; i <= 7; ++i) {
        if (cells[i].empty()) continue;
        line += ", ";
        line += cells[i];
    }
    return line;
}

std::size_t printedRowCount(const std::vector<TLOGNode>& rows) {
    std::size_t n = 0;
    while (n < rows.size() && !rows[n].Employee.empty()) ++n;
    return n;
}

namespace {

// The UTF-8 byte order mark, by which Excel knows the file's encoding.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

void appendCsvField(std::string& out, std::string_view utf8) {
    // A cell that a spreadsheet would run as a formula (or a command) is
    // marked as text instead.
    const bool formula =
        !utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos;
    const std::string_view mark = formula ? "'" : "";
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(mark);
        out.append(utf8);
        return;
    }
    out.push_back('"');
    out.append(mark);
    for (const char c : utf8) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace

std::string statusLogCsv(const std::vector<TLOGNode>& rows) {
    std::string out(kUtf8Bom);
    out.reserve(80 + rows.size() * 96);
    for (std::size_t i = 0; i < kStatusLogColumns.size(); ++i) {
        if (i > 0) out.push_back(',');
        appendCsvField(out, kStatusLogColumns[i]);
    }
    out.append("\r\n");
    for (const TLOGNode& entry : rows) {
        const auto cells = logCells(entry);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) out.push_back(',');
            appendCsvField(out, codepage::toUtf8(cells[i]));
        }
        out.append("\r\n");
    }
    return out;
}

}  // namespace zv
