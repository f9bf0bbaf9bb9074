#include "net/single_instance.h"

#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zv {

namespace {

constexpr char kRestoreRequest[] = "RESTORE";

// FNV-1a, enough to shorten a long folder name into a socket name.
std::string hashText(const std::string& text) {
    unsigned long long h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", h);
    return buf;
}

std::string absoluteFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved)) return resolved;
    if (!folder.empty() && folder[0] == '/') return folder;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) return std::string(cwd) + "/" + folder;
    return folder;
}

socklen_t fillAddress(sockaddr_un& addr, const std::string& name) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, then the name (not terminated).
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A socket name of `prefix` and `text`, shortened when too long for the
// address.
std::string abstractName(const std::string& prefix, const std::string& text) {
    constexpr std::size_t kMax = sizeof(sockaddr_un{}.sun_path) - 1;
    std::string name = prefix + text;
    if (name.size() > kMax) name = prefix + "#" + hashText(text);
    return name;
}

// The file's absolute path: its folder resolved, its own name kept (the
// file may not exist yet).
std::string absoluteFile(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string resolved = absoluteFolder(folder);
    return resolved + (resolved.size() > 0 && resolved.back() == '/' ? "" : "/") + name;
}

}  // namespace

std::string SingleInstanceGuard::socketNameFor(unsigned uid, const std::string& folder) {
    return abstractName("zelvora-server:" + std::to_string(uid) + ":", folder);
}

SingleInstanceGuard::SingleInstanceGuard(std::string dataFolder)
    : name_(socketNameFor(::getuid(), absoluteFolder(dataFolder))) {}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0) {
            // The thread polls the eventfd; a failed write can only mean it is
            // gone already, and closing the socket below ends its poll too.
        }
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

SingleInstanceGuard::Result SingleInstanceGuard::acquire(bool askToRestore) {
    sockaddr_un addr;
    const socklen_t len = fillAddress(addr, name_);
    // Two rounds: an instance that ends between our bind and our connect lets
    // the second bind succeed.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error_ = errnoText("cannot create the single-instance socket");
            return Result::Failed;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
            if (::listen(fd, 8) != 0) {
                error_ = errnoText("cannot listen on the single-instance socket");
                ::close(fd);
                return Result::Failed;
            }
            listenFd_ = fd;
            return Result::Acquired;
        }
        if (errno != EADDRINUSE) {
            error_ = errnoText("cannot bind the single-instance socket");
            ::close(fd);
            return Result::Failed;
        }
        ::close(fd);

        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error_ = errnoText("cannot create the single-instance socket");
            return Result::Failed;
        }
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
            if (askToRestore) {
                ssize_t n;
                do {
                    n = ::send(fd, kRestoreRequest, sizeof kRestoreRequest - 1, MSG_NOSIGNAL);
                } while (n < 0 && errno == EINTR);
            }
            ::close(fd);
            return Result::OtherRunning;
        }
        ::close(fd);
    }
    error_ = "cannot reach the running instance through its single-instance socket";
    return Result::Failed;
}

void SingleInstanceGuard::serveRestoreRequests(std::function<void()> onRestore) {
    if (listenFd_ < 0 || thread_.joinable()) return;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return;  // no thread: restore requests go unanswered
    onRestore_ = std::move(onRestore);
    thread_ = std::thread([this] { serve(); });
}

void SingleInstanceGuard::serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents) return;  // the socket failed
            continue;
        }
        int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            // Out of descriptors or memory, the request stays pending and poll
            // would report it again at once: wait a little (for the wake-up
            // only) instead of spinning until something is freed.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pollfd wake{wakeFd_, POLLIN, 0};
                if (::poll(&wake, 1, 100) > 0) return;
            }
            continue;
        }
        // A peer that never writes must not hold the thread: wait briefly.
        char buf[16] = {};
        std::size_t got = 0;
        pollfd cfd{client, POLLIN, 0};
        while (got < sizeof kRestoreRequest - 1 && ::poll(&cfd, 1, 1000) > 0) {
            ssize_t r = ::recv(client, buf + got, sizeof kRestoreRequest - 1 - got, 0);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        ::close(client);
        if (got == sizeof kRestoreRequest - 1 &&
            std::memcmp(buf, kRestoreRequest, got) == 0 && onRestore_) {
            onRestore_();
        }
    }
}

SettingsFileClaim::SettingsFileClaim(const std::string& settingsPath)
    : path_(absoluteFile(settingsPath)), name_(abstractName("zelvora-settings:", path_)) {}

SettingsFileClaim::~SettingsFileClaim() {
    if (fd_ >= 0) ::close(fd_);
}

SettingsFileClaim::Result SettingsFileClaim::claim() {
    if (fd_ >= 0) return Result::Claimed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_ = errnoText("cannot create the settings file's claim socket");
        return Result::Failed;
    }
    sockaddr_un addr;
    const socklen_t len = fillAddress(addr, name_);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
        fd_ = fd;
        return Result::Claimed;
    }
    const int err = errno;
    ::close(fd);
    if (err == EADDRINUSE) return Result::InUse;
    errno = err;
    error_ = errnoText("cannot bind the settings file's claim socket");
    return Result::Failed;
}

}  // namespace zv
