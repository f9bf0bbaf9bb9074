// zelvorad: Zelvora Admin/Server without a window. Keeps "zva.ini" in the
// folder of the executable and the data files in the current directory,
// unless --config and --data say otherwise. Messages go to standard error,
// one line each (with the journal's priority prefixes under systemd). SIGINT
// and SIGTERM stop the server in order (exit status 0), SIGHUP reads the
// settings file again; a failed start-up exits with status 1 after its
// message, a bad command line with status 2.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <sys/epoll.h>
#include <sys/signalfd.h>

#include "app/backup_commands.h"
#include "app/program_start.h"
#include "app/service_notify.h"
#include "app/set_admin_password.h"
#include "host/headless_view.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "net/single_instance.h"
#include "net/event_loop.h"
#include "web/web_server.h"

namespace {

// Ends the main loop when SIGINT or SIGTERM arrives, and has the settings
// file read again when SIGHUP does (read from a signalfd watched by the
// loop, so both run on the main thread).
class SignalWatcher : public zv::TEventLoop::Watcher {
public:
    SignalWatcher(zv::TEventLoop& loop, int fd) : loop_(loop), fd_(fd) {}
    void handleEvents(std::uint32_t) override {
        signalfd_siginfo info;
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (info.ssi_signo != SIGHUP) loop_.quit();
            else if (onReload) onReload();
        }
    }
    std::function<void()> onReload;  // set once the server exists

private:
    zv::TEventLoop& loop_;
    int fd_;
};

const zv::app::ProgramSyntax& zelvoradSyntax() {
    static const zv::app::ProgramSyntax syntax = [] {
        zv::app::ProgramSyntax s{"zelvorad",
                                 "Zelvora Admin/Server without a window: serves the Zelvora Clients over TCP.",
                                 zv::app::commonOptions()};
        s.options.push_back(
            {"--set-admin-password", nullptr,
             "read a new password for the administration pages from standard input, store its hash in the "
             "settings file and exit (refused while a server runs with that file)",
             [](zv::app::CommandLine& line, const std::string&) { line.setAdminPassword = true; }});
        s.options.push_back(
            {"--backup", "FILE",
             "write a backup of the stopped server's data folder and settings file to FILE (a "
             "gzip-compressed tar) and exit",
             [](zv::app::CommandLine& line, const std::string& value) { line.backupFile = value; }});
        s.options.push_back(
            {"--restore", "FILE",
             "put the backup FILE back into the stopped server's data folder and settings file, keeping each "
             "file it replaces as <name>.before-restore, and exit",
             [](zv::app::CommandLine& line, const std::string& value) { line.restoreFile = value; }});
        return s;
    }();
    return syntax;
}

void errorLine(const std::string& text) {
    zv::standardErrorLine(zv::LinePriority::Error, "zelvorad: " + text);
}

// Leaves without running destructors: session threads may still be waiting
// on the main loop, and every change is on disk already.
[[noreturn]] void leave(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    const zv::app::ProgramStart start = zv::app::startProgram(zelvoradSyntax(), argc, argv);
    if (start.exitStatus) return *start.exitStatus;
    const int commands =
        int{start.setAdminPassword} + int{!start.backupFile.empty()} + int{!start.restoreFile.empty()};
    if (commands > 1) {
        errorLine("--set-admin-password, --backup and --restore each run alone (see zelvorad --help)");
        return zv::app::kBadCommandLineStatus;
    }
    if (start.setAdminPassword) return zv::app::setAdminPassword(start.settingsFiles);
    if (!start.backupFile.empty()) return zv::app::backupFolder(start.settingsFiles, start.backupFile);
    if (!start.restoreFile.empty()) return zv::app::restoreFolder(start.settingsFiles, start.restoreFile);
    // Blocked in every thread (threads inherit the mask); read from the signalfd.
    sigset_t watchedSignals;
    sigemptyset(&watchedSignals);
    sigaddset(&watchedSignals, SIGINT);
    sigaddset(&watchedSignals, SIGTERM);
    sigaddset(&watchedSignals, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &watchedSignals, nullptr) != 0) {
        errorLine("cannot block the stop and reload signals");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    long descriptors = 0;
    if (const std::string error = zv::raiseDescriptorLimit(descriptors); !error.empty()) {
        zv::standardErrorLine(zv::LinePriority::Warning, "zelvorad: " + error);
    }
    const int signalFd = ::signalfd(-1, &watchedSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        errorLine(std::string("cannot watch the stop and reload signals: ") + std::strerror(errno));
        return 1;
    }

    zv::SingleInstanceGuard guard(".");
    switch (guard.acquire()) {
        case zv::SingleInstanceGuard::Result::Acquired:
            break;
        case zv::SingleInstanceGuard::Result::OtherRunning:
            errorLine("Zelvora Admin/Server is already running for this data folder");
            return 1;
        case zv::SingleInstanceGuard::Result::Failed:
            errorLine(guard.error());
            return 1;
    }

    // One server per settings file: "--set-admin-password" looks for it.
    zv::SettingsFileClaim claim(start.settingsFiles.settingsPath);
    switch (claim.claim()) {
        case zv::SettingsFileClaim::Result::Claimed:
            break;
        case zv::SettingsFileClaim::Result::InUse:
            errorLine("another Zelvora Admin/Server runs with the settings file \"" + claim.settingsPath() + "\"");
            return 1;
        case zv::SettingsFileClaim::Result::Failed:
            errorLine(claim.error());
            return 1;
    }

    zv::TEventLoop& loop = zv::TEventLoop::forCurrentThread();
    SignalWatcher signalWatcher(loop, signalFd);
    if (loop.addWatch(signalFd, EPOLLIN, &signalWatcher) == 0) {
        errorLine(std::string("cannot watch the stop and reload signals: ") + std::strerror(errno));
        return 1;
    }

    zv::HeadlessView view(std::cerr, [&loop] { loop.quit(); }, zv::standardErrorIsJournal());
    zv::TServerHost host(view, start.settingsFiles);
    signalWatcher.onReload = [&host] { host.reloadSettingsFile(); };
    // The board in a browser: starts once the clients are served, stops
    // before the stores are cleared.
    zv::web::TWebServer web(host.maintenance());
    guard.serveRestoreRequests([&loop, &view] { loop.post([&view] { view.restoreWindow(); }); });

    host.FormShow();
    if (host.fatalStartup()) {
        host.FormCloseQuery();
        host.FormDestroy();
        leave(1);
    }

    zv::app::notifyReady("Serving clients on port " + std::to_string(host.listeningPort()));
    try {
        loop.run();
    } catch (const std::exception& e) {
        view.showMessage(zv::MessageKind::Warning,
                         std::string("Please restart Zelvora Admin/Server.\r"
                                     "If this happens again, please contact Zelvora technical support\r"
                                     "and provide the following error message:\r") +
                             e.what());
        leave(1);
    }
    zv::app::notifyStopping();
    host.FormCloseQuery();
    host.FormDestroy();
    leave(host.fatalStartup() ? 1 : 0);
}
