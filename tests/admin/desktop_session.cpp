#include "desktop_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zv::admin::test {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kPrograms[] = {"Xvfb", "openbox", "xdotool", "xwininfo", "xprop"};

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Starts `argv` with standard input from /dev/null, standard output into
// `stdoutFd` (or the log) and standard error appended to `logPath`;
// `keepFd`, when given, becomes descriptor 3 of the child.
pid_t spawn(const std::vector<std::string>& argv, const std::string& logPath, int stdoutFd = -1,
            int keepFd = -1) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (log >= 0) ::close(log);
        throw std::runtime_error("fork for " + argv[0] + ": " + std::strerror(errno));
    }
    if (pid == 0) {
        // Child: only async-signal-safe calls from here on.
        const int nul = ::open("/dev/null", O_RDONLY);
        if (nul >= 0) ::dup2(nul, 0);
        if (log >= 0) ::dup2(log, 2);
        ::dup2(stdoutFd >= 0 ? stdoutFd : (log >= 0 ? log : 2), 1);
        if (keepFd == 3) {
            ::fcntl(3, F_SETFD, 0);  // dup2 onto itself would keep close-on-exec
        } else if (keepFd >= 0) {
            ::dup2(keepFd, 3);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (log >= 0) ::close(log);
    return pid;
}

std::string envOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void restoreEnv(const char* name, const std::string& value) {
    if (value.empty()) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value.c_str(), 1);
    }
}

// The number after `label` in xwininfo's report, or nothing.
std::optional<int> numberAfter(const std::string& text, const std::string& label) {
    const auto at = text.find(label);
    if (at == std::string::npos) return std::nullopt;
    try {
        return std::stoi(text.substr(at + label.size()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

std::ostream& operator<<(std::ostream& out, const TFrame& frame) {
    return out << frame.width << "x" << frame.height << " at " << frame.left << "," << frame.top;
}

std::string TDesktop::missingPrograms() {
    std::string missing;
    for (const char* program : kPrograms) {
        if (onPath(program)) continue;
        if (!missing.empty()) missing += ", ";
        missing += program;
    }
    return missing;
}

TDesktop::TDesktop() : home_("zv-desktop") {
    const std::string log = home_.file("desktop.log");
    int displayPipe[2];
    if (::pipe2(displayPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    // Xvfb picks a free display itself and writes its number to descriptor 3.
    xserver_ = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                      "-noreset"},
                     log, -1, displayPipe[1]);
    ::close(displayPipe[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd wait{displayPipe[0], POLLIN, 0};
        if (::poll(&wait, 1, 200) <= 0) continue;
        char buffer[32];
        const ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
        if (n <= 0) break;  // Xvfb ended without a display
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(displayPipe[0]);
    if (number.find('\n') == std::string::npos) {
        stopProcess(xserver_);
        throw std::runtime_error("Xvfb did not start; see " + log);
    }
    display_ = ":" + firstLine(number);

    previousDisplay_ = envOrEmpty("DISPLAY");
    previousPlatform_ = envOrEmpty("QT_QPA_PLATFORM");
    ::setenv("DISPLAY", display_.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string runtime = home_.file("runtime");
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    // openbox with its own (empty) home, so that no user's settings count.
    windowManager_ = spawn({"env", "HOME=" + home_.path(), "XDG_CONFIG_HOME=" + home_.file("config"),
                            "openbox", "--sm-disable"},
                           log);
    const auto wmDeadline = Clock::now() + std::chrono::seconds(20);
    while (runTool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") ==
           std::string::npos) {
        int status = 0;
        if (::waitpid(windowManager_, &status, WNOHANG) == windowManager_ ||
            Clock::now() >= wmDeadline) {
            windowManager_ = -1;
            stopProcess(xserver_);
            throw std::runtime_error("openbox did not start; see " + log);
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
}

TDesktop::~TDesktop() {
    stopProcess(windowManager_);
    stopProcess(xserver_);
    restoreEnv("DISPLAY", previousDisplay_);
    restoreEnv("QT_QPA_PLATFORM", previousPlatform_);
}

void TDesktop::stopProcess(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    pid = -1;
}

std::string TDesktop::runTool(const std::vector<std::string>& argv, int* status) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t pid = spawn(argv, home_.file("tools.log"), out[1]);
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (status != nullptr) *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return text;
}

std::optional<std::string> TDesktop::waitForWindow(pid_t pid, const std::string& titlePattern,
                                                   std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    do {
        const std::string found = firstLine(runTool({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                                                     std::to_string(pid), "--name", titlePattern}));
        if (!found.empty()) return found;
        std::this_thread::sleep_for(milliseconds(20));
    } while (Clock::now() < deadline);
    return std::nullopt;
}

bool TDesktop::waitForNoWindow(pid_t pid, const std::string& titlePattern,
                               std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    do {
        if (firstLine(runTool({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid),
                               "--name", titlePattern}))
                .empty()) {
            return true;
        }
        std::this_thread::sleep_for(milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

std::optional<TFrame> TDesktop::frameOf(const std::string& window) {
    const std::string info = runTool({"xwininfo", "-id", window});
    if (info.find("IsViewable") == std::string::npos) return std::nullopt;
    const auto x = numberAfter(info, "Absolute upper-left X:");
    const auto y = numberAfter(info, "Absolute upper-left Y:");
    const auto width = numberAfter(info, "Width:");
    const auto height = numberAfter(info, "Height:");
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const std::string extents = runTool({"xprop", "-id", window, "_NET_FRAME_EXTENTS"});
    const auto equals = extents.find(" = ");
    if (!x || !y || !width || !height || equals == std::string::npos) return std::nullopt;
    int left = 0, right = 0, top = 0, bottom = 0;
    if (std::sscanf(extents.c_str() + equals + 3, "%d, %d, %d, %d", &left, &right, &top, &bottom) != 4) {
        return std::nullopt;
    }
    return TFrame{*x - left, *y - top, *width + left + right, *height + top + bottom};
}

std::optional<TFrame> TDesktop::settledFrame(const std::string& window, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::optional<TFrame> last = frameOf(window);
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(100));
        const std::optional<TFrame> now = frameOf(window);
        if (now && last && *now == *last) return now;
        last = now;
    }
    return std::nullopt;
}

void TDesktop::moveWindow(const std::string& window, int x, int y) {
    runTool({"xdotool", "windowmove", window, std::to_string(x), std::to_string(y)});
}

void TDesktop::sizeWindow(const std::string& window, int width, int height) {
    runTool({"xdotool", "windowsize", window, std::to_string(width), std::to_string(height)});
}

void TDesktop::pressKeys(const std::string& window, const std::vector<std::string>& keys) {
    runTool({"xdotool", "windowactivate", "--sync", window});
    for (const std::string& key : keys) {
        runTool({"xdotool", "key", "--clearmodifiers", key});
        // A menu or dialog opens between keys.
        std::this_thread::sleep_for(milliseconds(150));
    }
}

void TDesktop::typeText(const std::string& text) {
    runTool({"xdotool", "type", "--delay", "30", text});
}

}  // namespace zv::admin::test
