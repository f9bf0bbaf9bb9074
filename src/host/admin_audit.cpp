#include "host/admin_audit.h"

#include "host/admin_view.h"
#include "host/platform_info.h"
#include "stores/code_page.h"

namespace zv {

std::string browserAdministrator(std::string_view address) {
    return "the administrator in a browser at " + std::string(address.empty() ? "an unknown address" : address);
}

std::string auditQuoted(std::string_view record) {
    std::string text = codepage::toUtf8(record);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return "\"" + text + "\"";
}

void auditAdminChange(AdminView& view, std::string_view who, std::string_view what) {
    std::string line = std::string(programName()) + ": " + std::string(who) + ": " + std::string(what);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    view.logLine(LinePriority::Notice, line);
}

}  // namespace zv
