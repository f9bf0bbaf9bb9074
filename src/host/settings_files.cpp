#include "host/settings_files.h"

#include "host/settings.h"

namespace zv {

namespace {

std::string inFolder(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace

SettingsFiles::SettingsFiles(const std::string& folder)
    : settingsPath(inFolder(folder, kSettingsFileName)),
      legacyPath(inFolder(folder, kLegacySettingsFileName)) {}

SettingsFiles SettingsFiles::forSettingsFile(const std::string& path) {
    SettingsFiles files;
    files.settingsPath = path;
    const auto slash = path.rfind('/');
    // "zva.ini" alone: the legacy file in the current directory, as for a folder "".
    files.legacyPath = slash == std::string::npos
                           ? std::string(kLegacySettingsFileName)
                           : inFolder(path.substr(0, slash + 1), kLegacySettingsFileName);
    return files;
}

std::string SettingsFiles::besideSettings(const std::string& path) const {
    if (path.empty() || path.front() == '/') return path;
    const auto slash = settingsPath.rfind('/');
    if (slash == std::string::npos) return path;
    return settingsPath.substr(0, slash + 1) + path;
}

}  // namespace zv
