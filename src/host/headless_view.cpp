#include "host/headless_view.h"

#include <ostream>

#include "host/message_lines.h"

namespace zv {

namespace {

LinePriority priorityOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error: return LinePriority::Error;
        case MessageKind::Warning: return LinePriority::Warning;
        case MessageKind::Question: return LinePriority::Notice;
        case MessageKind::Information: break;
    }
    return LinePriority::Information;
}

}  // namespace

HeadlessView::HeadlessView(std::ostream& out, std::function<void()> onClose, bool forJournal)
    : out_(out), onClose_(std::move(onClose)), forJournal_(forJournal) {
    // What a window of the admin program gets from the system by default.
    placement_.rect = WindowRect{0, 0, 793, 420};
}

std::string HeadlessView::messageLine(MessageKind kind, const std::string& text) {
    std::string line;
    switch (kind) {
        case MessageKind::Information: line = "zelvorad: information: "; break;
        case MessageKind::Warning: line = "zelvorad: warning: "; break;
        case MessageKind::Error: line = "zelvorad: error: "; break;
        case MessageKind::Question: line = "zelvorad: question: "; break;
    }
    for (char c : text) {
        if (c == '\r') {
            line += ' ';
        } else if (c != '\n') {
            line += c;
        }
    }
    return line;
}

MessageAnswer HeadlessView::showMessage(MessageKind kind, const std::string& text) {
    out_ << prefixedLine(priorityOf(kind), messageLine(kind, text), forJournal_) << '\n'
         << std::flush;
    // Nobody can answer a question here; No changes nothing.
    return kind == MessageKind::Question ? MessageAnswer::No : MessageAnswer::Ok;
}

void HeadlessView::showNotice(MessageKind kind, const std::string& text) {
    out_ << messageLine(kind, text) << '\n' << std::flush;
}

void HeadlessView::setStatusPanel(int index, const std::string& text) {
    // The address and port are worth a line at start-up; the user count
    // changes at every login and is left out.
    if (index == kAddressPanel || index == kPortPanel) {
        out_ << prefixedLine(LinePriority::Information, "zelvorad: " + text, forJournal_) << '\n'
             << std::flush;
    }
}

void HeadlessView::applyPlacement(std::optional<WindowState> state, const WindowRect& rect) {
    placement_.rect = rect;
    if (state) placement_.state = *state;
}

void HeadlessView::logLine(LinePriority priority, const std::string& line) {
    out_ << prefixedLine(priority, line, forJournal_) << '\n' << std::flush;
}

void HeadlessView::requestClose() {
    if (onClose_) onClose_();
}

}  // namespace zv
