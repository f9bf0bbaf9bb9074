#include "app/program_start.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>

#include "app/config_report.h"
#include "host/message_lines.h"
#include "host/platform_info.h"

namespace zv::app {

namespace {

std::string currentFolder() {
    char path[PATH_MAX];
    if (::getcwd(path, sizeof path)) return path;
    return {};  // relative paths then stay relative; checkPlaces still checks them
}

ProgramStart endWith(ProgramStart start, int status) {
    start.exitStatus = status;
    return start;
}

}  // namespace

ProgramStart startProgram(const ProgramSyntax& syntax, int argc, char** argv) {
    ProgramStart start{std::nullopt, SettingsFiles(executableFolder()), {}, false, {}, {}};
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParsedCommandLine parsed = parseCommandLine(syntax, args, currentFolder());
    if (!parsed.error.empty()) {
        standardErrorLine(LinePriority::Error, parsed.error);
        return endWith(std::move(start), kBadCommandLineStatus);
    }
    CommandLine& line = parsed.line;
    if (line.help || line.version) {
        std::cout << (line.help ? usageText(syntax) : versionText(syntax)) << std::flush;
        return endWith(std::move(start), std::cout ? 0 : 1);
    }
    applyDefaultPlaces(line);
    if (!line.configFile.empty()) start.settingsFiles = SettingsFiles::forSettingsFile(line.configFile);
    if (line.checkConfig) {
        return endWith(std::move(start), reportConfiguration(syntax.name, line, start.settingsFiles));
    }
    if (std::string problem = checkPlaces(line); !problem.empty()) {
        standardErrorLine(LinePriority::Error, std::string(syntax.name) + ": " + problem);
        return endWith(std::move(start), kBadCommandLineStatus);
    }
    const std::string dataFolder = line.dataFolder.empty() ? "." : line.dataFolder;
    if (std::string refusal = rootRefusal(syntax.name, line, start.settingsFiles.settingsPath, dataFolder);
        !refusal.empty()) {
        standardErrorLine(LinePriority::Error, refusal);
        return endWith(std::move(start), kBadCommandLineStatus);
    }
    if (!line.dataFolder.empty() && ::chdir(line.dataFolder.c_str()) != 0) {
        standardErrorLine(LinePriority::Error, std::string(syntax.name) +
                                                   ": cannot change into the data folder \"" +
                                                   line.dataFolder + "\": " + std::strerror(errno));
        return endWith(std::move(start), kBadCommandLineStatus);
    }
    start.passedOn = line.passedOn;
    start.setAdminPassword = line.setAdminPassword;
    start.backupFile = line.backupFile;
    start.restoreFile = line.restoreFile;
    return start;
}

}  // namespace zv::app
