#pragma once
// The check of a settings file and a data folder (`--check-config`): every
// problem a start would meet or report, and the settings a start would take.
// Reads only: no file is made or changed, not even a missing settings file.

#include <string>
#include <vector>

#include "host/settings_files.h"

namespace zv {

struct TConfigCheck {
    // One line each, naming the file and its line, or the setting.
    std::vector<std::string> problems;
    // What a start would do that is no problem (write a first settings file).
    std::vector<std::string> notes;
    // "[Options] Port=6480" ..., each setting as a start would take it (the
    // administrator's password only as set or not).
    std::vector<std::string> settings;
};

// `dataFolder`: the folder of the data files (absolute, or relative to the
// current directory).
TConfigCheck checkConfiguration(const SettingsFiles& files, const std::string& dataFolder);

}  // namespace zv
