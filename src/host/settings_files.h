#pragma once
// Where the settings live: the settings file ("zva.ini" in the program's own
// folder unless the command line names another file) and, in the folder of
// that file, the legacy "qtadmin.ini" that is imported once when the settings
// file is missing.

#include <string>

namespace zv {

struct SettingsFiles {
    // "zva.ini" and "qtadmin.ini" in `folder`. Implicit on purpose: the
    // program's folder (or a test's folder) stands wherever the settings files
    // are asked for, as it always did.
    SettingsFiles(const std::string& folder);  // NOLINT(google-explicit-constructor)
    SettingsFiles(const char* folder) : SettingsFiles(std::string(folder)) {}  // NOLINT

    // The settings file at `path` (any name), with "qtadmin.ini" beside it.
    static SettingsFiles forSettingsFile(const std::string& path);

    // A path named in the settings (a certificate, say): as it stands when
    // absolute, else in the folder of the settings file.
    std::string besideSettings(const std::string& path) const;

    std::string settingsPath;  // read and written by loadSettings / saveSettings
    std::string legacyPath;    // read once, deleted after a successful import

private:
    SettingsFiles() = default;
};

}  // namespace zv
