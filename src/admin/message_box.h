// The message boxes of the window: caption "Zelvora Admin/Server", the kind's
// icon and buttons, and a box wide enough that the window manager does not
// cut its caption.
#pragma once

#include <string>

#include "host/admin_view.h"

class QWidget;

namespace zv::admin {

// Shows one modal message box over `owner` and returns the button pressed
// (No when a question box is closed without an answer). Lines of `text` are
// separated by CR (a CR LF pair counts as one line end).
MessageAnswer showMessageBox(QWidget* owner, MessageKind kind, const std::string& text);

// The width a window needs for its caption to show whole in a title bar,
// with the title bar's icon and buttons beside it.
int captionWidth(const QWidget& window);

}  // namespace zv::admin
