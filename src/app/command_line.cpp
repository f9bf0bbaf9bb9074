#include "app/command_line.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#ifndef ZV_VERSION
#define ZV_VERSION "unknown"
#endif

namespace zv::app {

namespace {

std::string absolute(const std::string& path, const std::string& currentFolder) {
    if (path.empty() || path[0] == '/') return path;
    if (currentFolder.empty() || currentFolder.back() == '/') return currentFolder + path;
    return currentFolder + "/" + path;
}

const OptionRow* findOption(const ProgramSyntax& syntax, const std::string& name) {
    for (const OptionRow& row : syntax.options) {
        if (name == row.name || (row.shortName && name == row.shortName)) return &row;
    }
    return nullptr;
}

// "--name" or "--name=value" (the row found by the name before "="), or a
// short "-x" alone.
const OptionRow* optionOf(const ProgramSyntax& syntax, const std::string& arg) {
    if (arg.rfind("--", 0) == 0 && arg.size() > 2) return findOption(syntax, arg.substr(0, arg.find('=')));
    if (arg.size() == 2 && arg[0] == '-' && arg[1] != '-') {
        const OptionRow* row = findOption(syntax, arg);
        return row && !row->valueName ? row : nullptr;
    }
    return nullptr;
}

constexpr std::size_t kUsageWidth = 80;
constexpr std::size_t kHelpColumn = 24;

// `text` wrapped at kUsageWidth columns, its first line going on from
// `column` and the others beginning with `indent` blanks; a line end in
// `text` begins a new line.
std::string wrapped(std::string_view text, std::size_t column, std::size_t indent) {
    std::string out;
    bool lineEmpty = true;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find_first_of(" \n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(start, end - start);
        if (!word.empty()) {
            if (!lineEmpty && column + 1 + word.size() > kUsageWidth) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineEmpty = true;
            }
            if (!lineEmpty) {
                out += ' ';
                ++column;
            }
            out.append(word);
            column += word.size();
            lineEmpty = false;
        }
        if (end < text.size() && text[end] == '\n') {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        start = end + 1;
    }
    return out;
}

// The name of the user with this id, or nothing.
std::string userName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->pw_name;
}

// The owner of `path`, or of its folder when it is not there yet.
std::optional<uid_t> ownerOf(const std::string& path, std::string& owned) {
    struct stat st;
    owned = path;
    if (::stat(path.c_str(), &st) == 0) return st.st_uid;
    if (errno != ENOENT) return std::nullopt;
    const auto slash = path.rfind('/');
    owned = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::stat(owned.c_str(), &st) == 0) return st.st_uid;
    return std::nullopt;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Why `path` cannot be used as a folder to write in, or empty.
std::string folderProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "not a folder";
    if (::access(path.c_str(), W_OK | X_OK) != 0) return std::string("not writable: ") + std::strerror(errno);
    return {};
}

std::string folderOf(const std::string& file) {
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return file.substr(0, slash);
}

}  // namespace

std::string packagedStateFolder() {
#ifdef ZV_PACKAGED_STATE_FOLDER
    return ZV_PACKAGED_STATE_FOLDER;
#else
    return {};
#endif
}

void applyDefaultPlaces(CommandLine& line) {
    const std::string folder = packagedStateFolder();
    if (folder.empty()) return;
    if (line.configFile.empty()) line.configFile = folder + "/zva.ini";
    if (line.dataFolder.empty()) line.dataFolder = folder;
}

std::vector<OptionRow> commonOptions() {
    static const std::string configHelp =
        "the settings file (default: " +
        (packagedStateFolder().empty() ? std::string("zva.ini beside the program") : packagedStateFolder() + "/zva.ini") +
        ")";
    static const std::string dataHelp =
        "the folder of the data files (default: " +
        (packagedStateFolder().empty() ? std::string("the current directory") : packagedStateFolder()) + ")";
    return {
        {"--config", "FILE", configHelp.c_str(),
         [](CommandLine& line, const std::string& value) { line.configFile = value; }},
        {"--data", "DIR", dataHelp.c_str(),
         [](CommandLine& line, const std::string& value) { line.dataFolder = value; }},
        {"--check-config", nullptr,
         "read the settings file and the data folder, print every problem found and the settings in force, "
         "and exit (status 0: no problem, 1: problems); creates and changes nothing",
         [](CommandLine& line, const std::string&) { line.checkConfig = true; }},
        {"--allow-root", nullptr,
         "run as root even on a settings file or data folder that belongs to another user (the files made "
         "then belong to root)",
         [](CommandLine& line, const std::string&) { line.allowRoot = true; }},
        {"--version", nullptr, "print the version and exit",
         [](CommandLine& line, const std::string&) { line.version = true; }, "-V"},
        {"--help", nullptr, "print this help and exit",
         [](CommandLine& line, const std::string&) { line.help = true; }, "-h"},
    };
}

ParsedCommandLine parseCommandLine(const ProgramSyntax& syntax, const std::vector<std::string>& args,
                                   const std::string& currentFolder) {
    ParsedCommandLine parsed;
    auto fail = [&](const std::string& what) {
        parsed.error = std::string(syntax.name) + ": " + what + " (see " + syntax.name + " --help)";
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto equals = arg.find('=');
        const OptionRow* row = optionOf(syntax, arg);
        if (!row) {
            if (syntax.passOn) {
                if (const std::size_t taken = syntax.passOn(args, i)) {
                    for (std::size_t k = 0; k < taken && i + k < args.size(); ++k) {
                        parsed.line.passedOn.push_back(args[i + k]);
                    }
                    i += taken - 1;
                    continue;
                }
            }
            if (arg.rfind("-", 0) == 0 && arg.size() > 1) return fail("unknown option " + quoted(arg));
            return fail("unexpected argument " + quoted(arg));
        }
        std::string value;
        if (row->valueName) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(std::string("option ") + row->name + " needs a " + row->valueName);
            }
            if (value.empty()) {
                return fail(std::string("option ") + row->name + " needs a " + row->valueName +
                            ", not an empty text");
            }
        } else if (equals != std::string::npos) {
            return fail(std::string("option ") + row->name + " takes no value");
        }
        row->apply(parsed.line, value);
    }
    parsed.line.configFile = absolute(parsed.line.configFile, currentFolder);
    parsed.line.dataFolder = absolute(parsed.line.dataFolder, currentFolder);
    parsed.line.backupFile = absolute(parsed.line.backupFile, currentFolder);
    parsed.line.restoreFile = absolute(parsed.line.restoreFile, currentFolder);
    return parsed;
}

std::string usageText(const ProgramSyntax& syntax) {
    std::string text = std::string("Usage: ") + syntax.name + " [OPTION]...\n" + wrapped(syntax.summary, 0, 0) +
                       "\n\nOptions:\n";
    for (const OptionRow& row : syntax.options) {
        std::string left = std::string("  ") + (row.shortName ? std::string(row.shortName) + ", " : "    ") + row.name;
        if (row.valueName) left += std::string(" ") + row.valueName;
        if (left.size() < kHelpColumn) left.resize(kHelpColumn, ' ');
        else left += "\n" + std::string(kHelpColumn, ' ');
        text += left + wrapped(row.help, kHelpColumn, kHelpColumn) + "\n";
    }
    text += "\n" +
            wrapped("Signals: SIGHUP reads the settings file again and applies at once what can change at once; "
                    "SIGINT and SIGTERM stop the server in order.",
                    0, 0) +
            "\n\n" +
            wrapped("Exit status: 0 after an orderly stop; 1 when the server cannot start or fails, or "
                    "--check-config found a problem; 2 for a bad option, an unusable file or folder, or a run "
                    "as root on another user's files.",
                    0, 0) +
            "\n";
    return text;
}

std::string versionText(const ProgramSyntax& syntax) {
    return std::string(syntax.name) + " (Zelvora Admin/Server) " + ZV_VERSION + "\n";
}

std::string checkPlaces(const CommandLine& line) {
    if (!line.dataFolder.empty()) {
        if (std::string problem = folderProblem(line.dataFolder); !problem.empty()) {
            return "cannot use the data folder " + quoted(line.dataFolder) + ": " + problem;
        }
    }
    if (!line.configFile.empty()) {
        const std::string folder = folderOf(line.configFile);
        if (std::string problem = folderProblem(folder); !problem.empty()) {
            return "cannot use the settings file " + quoted(line.configFile) + ": its folder " +
                   quoted(folder) + ": " + problem;
        }
        struct stat st;
        if (::stat(line.configFile.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                return "cannot use the settings file " + quoted(line.configFile) + ": not a regular file";
            }
            if (::access(line.configFile.c_str(), R_OK | W_OK) != 0) {
                return "cannot use the settings file " + quoted(line.configFile) +
                       ": not readable and writable: " + std::strerror(errno);
            }
        } else if (errno != ENOENT) {
            return "cannot use the settings file " + quoted(line.configFile) + ": " + std::strerror(errno);
        }
    }
    return {};
}

std::string rootRefusal(const std::string& program, const CommandLine& line, const std::string& settingsPath,
                        const std::string& dataFolder) {
    if (::geteuid() != 0 || line.allowRoot) return {};
    for (const std::string& path : {dataFolder, settingsPath}) {
        std::string owned;
        const std::optional<uid_t> owner = ownerOf(path, owned);
        if (!owner || *owner == 0) continue;
        const std::string name = userName(*owner);
        const std::string user = name.empty() ? "#" + std::to_string(*owner) : name;
        return program + ": refusing to run as root on " + quoted(owned) + ", which belongs to the user " + user +
               " (files made now would be root's, and " + user + " could not use them): run it as that user, " +
               "sudo -u " + user + " " + program + " ..., or add --allow-root";
    }
    return {};
}

}  // namespace zv::app
