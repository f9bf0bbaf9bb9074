// Places a top-level window in the middle of the screen it is on (or the
// primary screen), as the dialogs of the program appear.
#pragma once

class QWidget;

namespace zv::admin {

void centreOnScreen(QWidget& window);

}  // namespace zv::admin
