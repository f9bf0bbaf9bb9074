#include "admin/stop_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/signalfd.h>
#include <unistd.h>

namespace zv::admin {

namespace {

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

TStopSignals::TStopSignals() {
    const sigset_t set = stopSignalSet();
    if (const int failed = ::pthread_sigmask(SIG_BLOCK, &set, nullptr); failed != 0) {
        error_ = std::string("cannot block SIGINT, SIGTERM and SIGHUP: ") + std::strerror(failed);
        return;
    }
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::string("cannot watch SIGINT, SIGTERM and SIGHUP: ") + std::strerror(errno);
        // Unread signals would be lost for good: give them their default back.
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

TStopSignals::~TStopSignals() {
    if (fd_ >= 0) ::close(fd_);
}

void TStopSignals::watch(QObject* context, std::function<void()> onStop, std::function<void()> onReload) {
    if (fd_ < 0) return;
    auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, context);
    const int fd = fd_;
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [fd, onStop = std::move(onStop), onReload = std::move(onReload)] {
                         bool stop = false;
                         bool reload = false;
                         signalfd_siginfo info;
                         while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                             (info.ssi_signo == SIGHUP ? reload : stop) = true;
                         }
                         if (reload) onReload();
                         if (stop) onStop();
                     });
}

}  // namespace zv::admin
