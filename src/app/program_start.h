#pragma once
// The first steps of zelvorad and zelvora-admin, before any file is touched:
// the command line is read; --help, --version and --check-config are
// answered on standard output; a bad option, an unusable file or folder, or a
// run as root on another user's files ends the program with one line on
// standard error and status 2. Otherwise the process changes into
// the data folder, so that the data files and debug logs, which are opened by
// their bare names, lie there (and the single-instance guard keys on it).

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "host/settings_files.h"

namespace zv::app {

inline constexpr int kBadCommandLineStatus = 2;

struct ProgramStart {
    std::optional<int> exitStatus;  // set: the program ends at once with this status
    SettingsFiles settingsFiles;    // "zva.ini" beside the executable, or --config
    std::vector<std::string> passedOn;  // arguments for the window toolkit
    bool setAdminPassword = false;      // --set-admin-password instead of the server
    std::string backupFile;             // --backup FILE instead of the server
    std::string restoreFile;            // --restore FILE instead of the server
};

ProgramStart startProgram(const ProgramSyntax& syntax, int argc, char** argv);

}  // namespace zv::app
