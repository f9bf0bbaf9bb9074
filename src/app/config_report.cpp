#include "app/config_report.h"

#include <unistd.h>

#include <climits>
#include <iostream>
#include <vector>

#include "host/config_check.h"

namespace zv::app {

namespace {

void printList(const char* title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::cout << title << "\n";
    for (const std::string& line : lines) std::cout << "  " << line << "\n";
}

}  // namespace

int reportConfiguration(const std::string& program, const CommandLine& line, const SettingsFiles& files) {
    std::string dataFolder = line.dataFolder;
    if (dataFolder.empty()) {
        char path[PATH_MAX];
        dataFolder = ::getcwd(path, sizeof path) ? path : ".";
    }
    TConfigCheck check = checkConfiguration(files, dataFolder);
    if (std::string problem = checkPlaces(line); !problem.empty())
        check.problems.insert(check.problems.begin(), problem);

    std::cout << program << ": settings file \"" << files.settingsPath << "\", data folder \"" << dataFolder
              << "\"\n";
    printList("Problems:", check.problems);
    printList("Notes:", check.notes);
    printList("Settings in force:", check.settings);
    const std::size_t count = check.problems.size();
    if (count == 0)
        std::cout << "No problems found.\n";
    else
        std::cout << count << (count == 1 ? " problem" : " problems") << " found.\n";
    std::cout.flush();
    return count == 0 && std::cout ? 0 : 1;
}

}  // namespace zv::app
