#pragma once
// AdminView of the windowless server: message boxes become one line each on
// standard error (with the journal's priority prefix when the journal reads
// it), the shutdown question is always answered Yes, and a close request ends
// the main loop (main() then runs the stop order).

#include <functional>
#include <iosfwd>
#include <string>

#include "host/admin_view.h"

namespace zv {

class HeadlessView : public AdminView {
public:
    // `out` receives the message lines (standard error in zelvorad).
    // `onClose` runs for requestClose (zelvorad quits its main loop there).
    // `forJournal`: `out` is systemd's journal; lines carry their priority.
    HeadlessView(std::ostream& out, std::function<void()> onClose, bool forJournal = false);

    MessageAnswer showMessage(MessageKind kind, const std::string& text) override;
    // The same line as a message box gets.
    void showNotice(MessageKind kind, const std::string& text) override;
    void setStatusPanel(int index, const std::string& text) override;
    void userTableChanged() override {}
    WindowPlacement currentPlacement() const override { return placement_; }
    void applyPlacement(std::optional<WindowState> state, const WindowRect& rect) override;
    // The line on `out`, with its priority when `out` is the journal.
    void logLine(LinePriority priority, const std::string& line) override;
    bool confirmShutdown() override { return true; }
    void requestClose() override;
    void restoreWindow() override {}

    // The message as one line: its kind, then its CR-separated lines joined
    // with one blank.
    static std::string messageLine(MessageKind kind, const std::string& text);

private:
    std::ostream& out_;
    std::function<void()> onClose_;
    bool forJournal_;
    WindowPlacement placement_;  // the placement a window would have
};

}  // namespace zv
