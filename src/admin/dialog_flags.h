// The title bar of the program's fixed-size dialogs and message boxes: the
// caption and a close box, no minimise or maximise button (a fixed dialog can
// neither grow nor be put away on its own). Without CustomizeWindowHint the
// X11 window managers ignore the other hints and draw every button.
#pragma once

#include <Qt>

namespace zv::admin {

inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
    Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

}  // namespace zv::admin
