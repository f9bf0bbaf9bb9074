#pragma once
// "zelvorad --backup FILE" and "zelvorad --restore FILE": a stopped
// server's folder (the data folder, the current directory by now, and the
// settings file) written to a gzip-compressed tar, or put back from one.
// Both refuse while a server runs with that folder or settings file (a
// running server gives its backup through the administration pages). Files
// they create are readable by their owner only.

#include <string>

#include "host/settings_files.h"

namespace zv::app {

// The whole command: 0 when the backup is written (what it holds on
// standard output); 1, after one line on standard error, when it is not.
int backupFolder(const SettingsFiles& files, const std::string& archivePath);

// The whole command: 0 when the backup is restored (what was restored and
// what was kept aside on standard output); 1, after one line on standard
// error, when it is not (nothing replaced unless the line says so).
int restoreFolder(const SettingsFiles& files, const std::string& archivePath);

}  // namespace zv::app
