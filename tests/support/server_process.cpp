#include "server_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "child_process.h"
#include "tcp_client.h"

namespace zv::test {

namespace {

using Clock = std::chrono::steady_clock;

int statusOf(int wstatus) {
    if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
    return -1;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& executable,
                             std::map<std::string, std::string> options)
    : temp_("zv-server") {
    prog_ = temp_.file("prog");
    data_ = temp_.file("data");
    stderrPath_ = temp_.file("stderr.log");
    makeFolder(prog_);
    makeFolder(data_);
    // Under its own name: the program names itself in its messages.
    exe_ = prog_ + "/" + executable.substr(executable.rfind('/') + 1);
    copyFile(executable, exe_);
    port_ = freeTcpPort();
    writeIni(options);
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) kill9();
}

void ServerProcess::writeIni(const std::map<std::string, std::string>& options) {
    options_ = options;
    writeIniTo(iniPath(), options);
}

void ServerProcess::writeIniTo(const std::string& path,
                               const std::map<std::string, std::string>& options) {
    std::map<std::string, std::string> o{
        {"BlockSize", "8192"}, {"SMTPHost", ""}, {"ExpDays", "0"}, {"MaxLogSize", "100"}};
    for (const auto& [k, v] : options) o[k] = v;
    std::string ini = "[Options]\r\nBlockSize=" + o["BlockSize"] + "\r\nSMTPHost=" + o["SMTPHost"] +
                      "\r\nPort=" + std::to_string(port_) + "\r\nExpDays=" + o["ExpDays"] +
                      "\r\nMaxLogSize=" + o["MaxLogSize"] + "\r\n";
    for (const auto& [k, v] : o) {
        if (k != "BlockSize" && k != "SMTPHost" && k != "Port" && k != "ExpDays" && k != "MaxLogSize") ini += k + "=" + v + "\r\n";
    }
    // The HTTP side stays off unless a test asks for it: tests run side by
    // side, and its default port would be taken by the first.
    ini += "[Web]\r\nPort=" + std::to_string(webPort_) + "\r\n";
    for (const auto& [k, v] : web_) ini += k + "=" + v + "\r\n";
    writeFile(path, ini);
}

int ServerProcess::enableWeb(const std::map<std::string, std::string>& web) {
    while (webPort_ == 0 || webPort_ == port_) webPort_ = freeTcpPort();
    web_ = web;
    writeIni(options_);
    return webPort_;
}

int ServerProcess::runSecondCopy(std::string* errorText, std::chrono::milliseconds limit, const std::string& input) {
    const std::string errPath = temp_.file("second-stderr.log");
    std::string inputPath;
    if (!input.empty()) {
        inputPath = temp_.file("second-stdin.txt");
        writeFile(inputPath, input);
    }
    const pid_t pid = spawn(exe_, cwd_.empty() ? data_ : cwd_, errPath, arguments_, environment_, inputPath);
    const auto deadline = Clock::now() + limit;
    int status = -1;
    for (;;) {
        int wstatus = 0;
        const pid_t r = ::waitpid(pid, &wstatus, WNOHANG);
        if (r == pid) {
            status = statusOf(wstatus);
            break;
        }
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (errorText) {
        try {
            *errorText = readFile(errPath);
        } catch (const std::exception&) {
            errorText->clear();
        }
    }
    return status;
}

void ServerProcess::launch() {
    if (pid_ > 0) throw std::logic_error("the server runs already");
    pid_ = spawn(exe_, cwd_.empty() ? data_ : cwd_, stderrPath_, arguments_, environment_);
}


void ServerProcess::start(std::chrono::milliseconds limit) {
    launch();
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        int wstatus = 0;
        if (::waitpid(pid_, &wstatus, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error(exe_ + " ended at start-up with status " +
                                     std::to_string(statusOf(wstatus)) + ": " + stderrText());
        }
        TcpClient probe;
        if (probe.tryConnect(port_)) {
            // The listener opens before the last stores are loaded (and before
            // the HTTP side starts); a login is answered only once start-up has
            // ended. No account has this key, so nothing is stored; the request
            // is whole, so it is answered at once.
            probe.send("SUBMIT_LOGIN:FULL:~start-up probe~|:[*WIWO*]NO_DATA[*POSTI*]NO_DATA"
                       "[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            try {
                probe.receiveLoginReply(std::max(left, std::chrono::milliseconds(1)));
                return;
            } catch (const std::exception&) {
                continue;  // closed or no answer yet: look again until the deadline
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(exe_ + " did not listen on port " + std::to_string(port_) +
                             ": " + stderrText());
}

int ServerProcess::waitForExit(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int wstatus = 0;
        const pid_t r = ::waitpid(pid_, &wstatus, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return statusOf(wstatus);
        }
        if (r < 0 && errno != EINTR) {
            pid_ = -1;
            return -1;
        }
        if (Clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int ServerProcess::stop(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    const int status = waitForExit();
    if (status == -1 && pid_ > 0) kill9();
    return status;
}

void ServerProcess::kill9() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int wstatus = 0;
    while (::waitpid(pid_, &wstatus, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

std::string ServerProcess::stderrText() const {
    try {
        return readFile(stderrPath_);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace zv::test
