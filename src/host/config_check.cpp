#include "host/config_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "host/host_stores.h"
#include "host/ini_file.h"
#include "host/legacy_settings.h"
#include "host/office_settings.h"
#include "host/settings.h"
#include "host/settings_keys.h"
#include "net/socket_resolve.h"
#include "stores/board_store.h"
#include "stores/load_warnings.h"

namespace zv {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

std::string fileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The lines of the file that the settings load skips or reads otherwise
// than its writer may have meant: a line that is no section, key or
// comment; a section name left open; a key outside any section or given
// twice; a name in one of the server's sections that is none of its keys.
void checkLines(const std::string& label, std::string_view text, std::vector<std::string>& problems) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
    std::string section;
    bool inSection = false;
    std::map<std::string, int> firstLineOf;  // "section\nkey", lower case
    int number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        const std::string_view line = trimmed(raw);
        const std::string at = label + " line " + std::to_string(number) + ": ";
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos) {
                problems.push_back(at + quoted(line) +
                                   " opens a section name without closing it with \"]\"; " +
                                   "the line is ignored" +
                                   (inSection ? " and the keys below it count as [" + section + "]" : ""));
                continue;
            }
            section = std::string(trimmed(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problems.push_back(at + quoted(line) +
                               " is neither a [section], a Key=Value setting nor a comment (; or #); it is "
                               "ignored, and left out when the server next writes the file");
            continue;
        }
        const std::string key(trimmed(line.substr(0, equals)));
        if (key.empty()) {
            problems.push_back(at + quoted(line) + " gives a value without a key name; it is ignored");
            continue;
        }
        if (!inSection) {
            problems.push_back(at + key + " comes before any [section]; it is not read as a setting");
            continue;
        }
        const std::string name = "[" + section + "] " + key;
        const auto [first, isNew] = firstLineOf.emplace(lowered(section) + "\n" + lowered(key), number);
        if (!isNew) {
            problems.push_back(at + name + " is given again (first on line " + std::to_string(first->second) +
                               "); the value of this line is the one read");
        }
        if (isServerSection(section) && !isServerKey(section, key)) {
            problems.push_back(at + name +
                               " is not a setting of Zelvora Admin/Server (misspelt?); it is kept "
                               "as it is and not read");
        }
    }
}

// What a start would meet with the texts it takes: a port it cannot
// resolve, an address it cannot listen on, a certificate it cannot read.
void checkPlacesNamed(const TSettings& settings, const SettingsFiles& files, const std::string& label,
                      std::vector<std::string>& problems) {
    try {
        ResolvePort(settings.Port, "tcp");
    } catch (const EResolveError& e) {
        problems.push_back(label + ": [Options] Port " + quoted(settings.Port) +
                           " is no port number or service name (" + e.what() + "); the server cannot start");
    }
    try {
        ResolveListenAddress(settings.Address, 0);
    } catch (const EResolveError& e) {
        problems.push_back(label + ": [Options] Address " + quoted(settings.Address) +
                           " is no address of this computer (" + e.what() + "); the server cannot start");
    }
    if (settings.WebCertFile.empty() != settings.WebKeyFile.empty()) {
        problems.push_back(label +
                           ": HTTPS needs both CertFile and KeyFile of section [Web]; only one is set");
    }
    for (const std::string& problem : officeSettingProblems(settings)) problems.push_back(label + ": " + problem);
    for (const auto& [key, name] :
         {std::pair{"CertFile", &settings.WebCertFile}, {"KeyFile", &settings.WebKeyFile}}) {
        if (name->empty()) continue;
        const std::string path = files.besideSettings(*name);
        if (::access(path.c_str(), R_OK) != 0) {
            problems.push_back(label + ": [Web] " + key + " " + quoted(path) +
                               " cannot be read: " + std::strerror(errno));
        }
    }
}

// The settings a start would take, as it would read them, and what it would
// report of them.
TSettings checkSettings(const SettingsFiles& files, TConfigCheck& check) {
    const std::string& path = files.settingsPath;
    const std::string label = fileName(path);
    TSettings settings;  // as a program that has just started holds them
    const auto warn = [&](const std::string& text) {
        check.problems.push_back(label + ": " + oneLine(text));
    };
    std::optional<std::string> text;
    try {
        text = IniFile::readFile(path);
    } catch (const SettingsError& e) {
        warn(std::string(e.what()) + "; a start takes the defaults and leaves the file as it is");
    }
    if (text) {
        checkLines(label, *text, check.problems);
        IniFile ini;
        ini.parse(*text);
        readSettingTexts(settings, ini);
    } else {
        const auto legacy = readLegacySettings(files.legacyPath);
        takeFirstStartTexts(settings, legacy);
        if (check.problems.empty()) {
            check.notes.push_back(
                quoted(path) + " is not there yet: the first start writes it" +
                (legacy ? " with the settings of " + quoted(files.legacyPath) + ", and then deletes that file"
                        : std::string(" with the defaults")));
        }
    }
    deriveSettings(settings, warn);
    checkPlacesNamed(settings, files, label, check.problems);
    return settings;
}

// The data files: each that is there must be a file the server may
// read and write, made of whole records.
void checkDataFiles(const std::string& folder, std::vector<std::string>& problems) {
    for (const TDataFile& file : kDataFiles) {
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + file.name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) problems.push_back(quoted(path) + ": " + std::strerror(errno));
            continue;  // a store without its file starts empty
        }
        if (!S_ISREG(st.st_mode)) {
            problems.push_back(quoted(path) + " is not a regular file; the server cannot start");
            continue;
        }
        if (::access(path.c_str(), R_OK | W_OK) != 0) {
            problems.push_back(quoted(path) + " cannot be read and written: " + std::strerror(errno));
            continue;
        }
        const auto size = static_cast<std::size_t>(st.st_size);
        if (const std::size_t tail = size % file.recordSize; tail != 0) {
            const bool board = &file == &kDataFiles[0];  // the board keeps its own kind of copy
            problems.push_back(
                quoted(path) + " ends in an incomplete record (" + std::to_string(tail) + " of " +
                std::to_string(file.recordSize) + " bytes) after " + std::to_string(size / file.recordSize) +
                " complete records; a start keeps the file as found as " +
                quoted(std::string(file.name) + (board ? kUnconvertedSuffix : kDamagedSuffix)) +
                " and serves the complete records");
        }
    }
}

std::vector<std::string> settingsListing(const TSettings& settings) {
    std::vector<std::string> lines;
    for (const TSettingKey& key : kSettingKeys) {
        const std::string& text = settings.*key.text;
        const std::string shown = key.secret ? (text.empty() ? "(not set)" : "(set)") : text;
        lines.push_back(settingName(key) + "=" + shown);
    }
    return lines;
}

}  // namespace

TConfigCheck checkConfiguration(const SettingsFiles& files, const std::string& dataFolder) {
    TConfigCheck check;
    const TSettings settings = checkSettings(files, check);
    checkDataFiles(dataFolder, check.problems);
    check.settings = settingsListing(settings);
    return check;
}

}  // namespace zv
