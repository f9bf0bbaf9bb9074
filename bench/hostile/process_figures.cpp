#include "process_figures.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace zv::bench {

namespace {

int countDescriptors(const std::string& proc) {
    DIR* dir = ::opendir((proc + "/fd").c_str());
    if (dir == nullptr) return -1;
    int count = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
    return count;
}

}  // namespace

TProcessFigures readProcessFigures(int pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    TProcessFigures f;
    std::ifstream status(proc + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) f.threads = std::stoi(line.substr(8));
        if (line.rfind("VmRSS:", 0) == 0) f.residentMB = std::stod(line.substr(6)) / 1024.0;
        if (line.rfind("VmHWM:", 0) == 0) f.peakResidentMB = std::stod(line.substr(6)) / 1024.0;
    }
    // Fields 14 and 15 of stat, after the command name in parentheses.
    std::ifstream statFile(proc + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 2));
        std::string skip;
        for (int i = 3; i < 14 && fields >> skip; ++i) {
        }
        long long utime = 0, stime = 0;
        if (fields >> utime >> stime)
            f.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    f.descriptors = countDescriptors(proc);
    std::ifstream io(proc + "/io");
    while (std::getline(io, line)) {
        if (line.rfind("write_bytes:", 0) == 0) f.writtenMB = std::stod(line.substr(12)) / (1024.0 * 1024.0);
    }
    return f;
}

std::string describe(const TProcessFigures& f) {
    char text[160];
    std::snprintf(text, sizeof text, "descriptors %d, threads %d, RSS %.1f MB, CPU %.2f s", f.descriptors,
                  f.threads, f.residentMB, f.cpuSeconds);
    return text;
}

}  // namespace zv::bench
