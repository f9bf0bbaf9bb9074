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

void AdminView::logLine(LinePriority priority, const std::string& line) { standardErrorLine(priority, line); }

int statusOfWindowState(WindowState state) {
    switch (state) {
        case WindowState::Normal: return 1;
        case WindowState::Minimized: return 2;
        case WindowState::Maximized: return 3;
    }
    return 1;
}

std::optional<WindowState> windowStateOfStatus(int status) {
    for (const WindowState state : {WindowState::Normal, WindowState::Minimized, WindowState::Maximized}) {
        if (statusOfWindowState(state) == status) return state;
    }
    return std::nullopt;
}

}  // namespace zv
