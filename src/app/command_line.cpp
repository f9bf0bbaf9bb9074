#include "app/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
        if (name == row.name) return &row;
    }
    return nullptr;
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

std::vector<OptionRow> commonOptions() {
    return {
        {"--config", "FILE", "the settings file (default: zva.ini beside the program)",
         [](CommandLine& line, const std::string& value) { line.configFile = value; }},
        {"--data", "DIR",
         "the folder of the data files (default: the current directory)",
         [](CommandLine& line, const std::string& value) { line.dataFolder = value; }},
        {"--version", nullptr, "print the version and exit",
         [](CommandLine& line, const std::string&) { line.version = true; }},
        {"--help", nullptr, "print this help and exit",
         [](CommandLine& line, const std::string&) { line.help = true; }},
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
        const bool longOption = arg.rfind("--", 0) == 0 && arg.size() > 2;
        const OptionRow* row =
            longOption ? findOption(syntax, arg.substr(0, equals)) : nullptr;
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
    std::string text = std::string("Usage: ") + syntax.name + " [OPTION]...\n" + syntax.summary +
                       "\n\nOptions:\n";
    for (const OptionRow& row : syntax.options) {
        std::string left = std::string("  ") + row.name;
        if (row.valueName) left += std::string(" ") + row.valueName;
        if (left.size() < 20) left.resize(20, ' ');
        else left += "\n" + std::string(20, ' ');
        text += left + row.help + "\n";
    }
    text += "\nExit status: 0 after an orderly stop; 1 when the server cannot start or\n"
            "fails; 2 for a bad option or an unusable file or folder.\n";
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

}  // namespace zv::app
