// The program's main icon, drawn once in code so that the window, the tray
// and the About box need no resource files.
#pragma once

#include <QIcon>

namespace zv::admin {

const QIcon& mainIcon();

}  // namespace zv::admin
