#include "host/admin_view.h"

#include <cstdio>

namespace zv {

void AdminView::showNotice(MessageKind kind, const std::string& text) {
    const char* label = kind == MessageKind::Error     ? "error"
                        : kind == MessageKind::Warning ? "warning"
                                                       : "information";
    std::string line = text;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "Zelvora Admin/Server: %s: %s\n", label, line.c_str());
}

}  // namespace zv
