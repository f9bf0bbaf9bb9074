#pragma once
// "zelvorad --set-admin-password": reads a new password for the
// administration pages from standard input (without echo, and twice, when
// that is a terminal; otherwise its first line), and stores its hash under
// [Web] AdminPassword in the settings file, which is created with the
// defaults when missing. Refused while a server runs with that settings file
// (it would write its own settings back over the change).

#include "host/settings_files.h"

namespace zv::app {

// The whole command: 0 when the hash is stored; 1, after one line on
// standard error, when it is not.
int setAdminPassword(const SettingsFiles& files);

}  // namespace zv::app
