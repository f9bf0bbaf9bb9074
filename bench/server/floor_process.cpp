#include "floor_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace zv::bench {

CpuTimes processCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos)
        throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
    // The fields after the command's closing parenthesis; utime and stime
    // are the 12th and 13th of them.
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    CpuTimes times;
    const double msPerTick = 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12) times.user = std::stod(field) * msPerTick;
        if (i == 13) times.system = std::stod(field) * msPerTick;
    }
    return times;
}

namespace {

bool readAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The child: serves until the parent closes its end of the control pipe.
[[noreturn]] void serveInChild(FloorScript script, std::string folder, int control, int report) {
    // Named apart from the load generator's clients, for a profiler.
    ::prctl(PR_SET_NAME, script.minimal ? "floor-minimal" : "floor-samebytes");
    int status = 0;
    try {
        FloorServer floor(std::move(script), std::move(folder));
        const int port = floor.port();
        if (::write(report, &port, sizeof port) != static_cast<ssize_t>(sizeof port)) std::_Exit(1);
        ::close(report);
        char byte;
        ssize_t n;
        do n = ::read(control, &byte, 1);
        while (n < 0 && errno == EINTR);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "floor: %s\n", e.what());
        status = 1;
    }
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace

FloorProcess::FloorProcess(FloorScript script, std::string folder) {
    int control[2], report[2];
    if (::pipe2(control, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("floor: pipe: ") + std::strerror(errno));
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int code = errno;
        ::close(control[0]);
        ::close(control[1]);
        throw std::runtime_error(std::string("floor: pipe: ") + std::strerror(code));
    }
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(control[1]);
        ::close(report[0]);
        serveInChild(std::move(script), std::move(folder), control[0], report[1]);
    }
    const int forkError = errno;
    ::close(control[0]);
    ::close(report[1]);
    control_ = control[1];
    const bool started = pid_ > 0 && readAll(report[0], &port_, sizeof port_);
    ::close(report[0]);
    if (!started) {
        stop();
        throw std::runtime_error(pid_ < 0 ? std::string("floor: fork: ") + std::strerror(forkError)
                                          : std::string("floor: the serving process did not start"));
    }
}

FloorProcess::~FloorProcess() { stop(); }

void FloorProcess::stop() {
    if (control_ >= 0) ::close(control_);
    control_ = -1;
    if (pid_ > 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

}  // namespace zv::bench
