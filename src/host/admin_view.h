#pragma once
// The host's only way to reach the administrator's window. The Qt main window
// implements it in zelvora-admin; HeadlessView implements it for zelvorad; tests
// implement it with a recorder. Every call is made on the main thread.

#include <optional>
#include <string>

#include "host/message_lines.h"

namespace zv {

// What a message box looks like and which buttons it offers.
enum class MessageKind {
    Information,  // one OK button
    Warning,      // one OK button
    Error,        // one OK button
    Question,     // Yes and No buttons
};

// The button the administrator pressed (Ok for the one-button kinds; No when a
// question box was closed without an answer).
enum class MessageAnswer { Ok, Yes, No };

// Window state as the settings file records it under [Screen] Status.
enum class WindowState { Normal, Minimized, Maximized };

// The [Screen] Status value of a state: 1 normal, 2 minimised, 3 maximised.
int statusOfWindowState(WindowState state);
// The state a [Screen] Status value stands for; none for any other value.
std::optional<WindowState> windowStateOfStatus(int status);

// Position and size of the main window, in pixels.
struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const WindowRect&) const = default;
};

struct WindowPlacement {
    WindowRect rect;
    WindowState state = WindowState::Normal;
};

// Indexes of the status bar's three panels.
enum StatusPanel : int {
    kUsersPanel = 0,    // "Users: " + number of accounts
    kAddressPanel = 1,  // "IP Address: " + the local address
    kPortPanel = 2,     // "Port: " + the Port setting
};

class AdminView {
public:
    virtual ~AdminView() = default;

    // A modal message box. Lines of `text` are separated by a CR character.
    virtual MessageAnswer showMessage(MessageKind kind, const std::string& text) = 0;

    // A message that needs no answer and must hold nothing up (a connection
    // refused while the server is full, while the server goes on serving):
    // shown without a modal box. The default writes it to standard error as
    // one line (CRs become blanks).
    virtual void showNotice(MessageKind kind, const std::string& text);

    // A line for the record (an administrative change, a connection the
    // server could not take), shown nowhere else and answered by nobody. The
    // default writes it to standard error, with its priority when standard
    // error is the journal.
    virtual void logLine(LinePriority priority, const std::string& line);

    // Sets the text of one status bar panel (see StatusPanel).
    virtual void setStatusPanel(int index, const std::string& text) = 0;

    // The host's TUserTable changed; the window redraws it.
    virtual void userTableChanged() = 0;

    // The window's current placement (its rectangle even when minimised or
    // maximised is the normal one it returns to).
    virtual WindowPlacement currentPlacement() const = 0;

    // Applies a stored placement: the window goes to `rect`, then takes
    // `state` (minimised: to the tray); without a state (a stored Status that
    // names none) it keeps the state it has.
    virtual void applyPlacement(std::optional<WindowState> state, const WindowRect& rect) = 0;

    // The shutdown warning ("Are you sure you want to shut down the Server?").
    // True when the administrator answered Yes.
    virtual bool confirmShutdown() = 0;

    // Asks the window to close as if its close box had been pressed; the close
    // then runs TServerHost::FormCloseQuery. Returns at once.
    virtual void requestClose() = 0;

    // Another start of the program asked this one to show itself.
    virtual void restoreWindow() = 0;
};

}  // namespace zv
