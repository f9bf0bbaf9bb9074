#include "floor_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zv::bench {

namespace {

bool readExactly(int fd, std::size_t n) {
    char buf[65536];
    while (n > 0) {
        ssize_t got = ::recv(fd, buf, std::min(n, sizeof buf), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

// Writes all of `bytes` at `offset`, or at the file's position when it is -1.
void writeAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                                     : ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        if (offset >= 0) offset += n;
    }
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

FloorServer::FloorServer(FloorScript script, std::string folder)
    : script_(std::move(script)), folder_(std::move(folder)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("floor: socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 256) != 0) {
        throw std::runtime_error(std::string("floor: bind/listen: ") + std::strerror(errno));
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

FloorServer::~FloorServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
}

void FloorServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int connection = nextConnection_++;
        std::thread([this, fd, connection] {
            serve(fd, connection);
            ::close(fd);
        }).detach();
    }
}

void FloorServer::writeFiles(const std::vector<FloorWrite>& writes, const char* group) {
    std::lock_guard lock(writeMutex_);
    int i = 0;
    for (const FloorWrite& w : writes) {
        std::size_t size = w.bytes;
        if (w.memoFile) {
            memosWaiting_ += w.memoChange;
            size = static_cast<std::size_t>(memosWaiting_) * script_.memoBytes;
        }
        const std::string path = folder_ + "/floor-" + group + "-" + std::to_string(i++) + ".dat";
        if (script_.minimal) {
            writeRecordInPlace(size, path);
            continue;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) continue;
        const std::string bytes(size, 'f');
        writeAt(fd, bytes, -1);
        ::fsync(fd);
        ::close(fd);
    }
}

void FloorServer::writeRecordInPlace(std::size_t bytes, const std::string& path) {
    // The journal: a header, the record's offset and length, the record.
    const int journal = ::open((path + ".journal").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (journal >= 0 && file >= 0) {
        writeAt(journal, std::string(48 + 16 + bytes, 'j'), 0);
        ::fdatasync(journal);
        writeAt(file, std::string(bytes, 'r'), 0);
        ::fdatasync(file);
        if (::ftruncate(journal, 0) != 0) std::perror("floor: ftruncate");
    }
    if (journal >= 0) ::close(journal);
    if (file >= 0) ::close(file);
}

void FloorServer::serve(int fd, int /*connection*/) {
    if (!readExactly(fd, script_.requestSize)) return;
    writeFiles(script_.writesBeforeReply, "merge");
    if (!sendAll(fd, "PREPARE_TO_RECEIVE")) return;
    std::size_t sent = 0;
    for (;;) {
        if (!readExactly(fd, 16)) return;  // READY_TO_RECEIVE
        if (sent >= script_.bundle.size()) break;
        const std::size_t n = std::min<std::size_t>(script_.blockSize, script_.bundle.size() - sent);
        if (!sendAll(fd, std::string_view(script_.bundle).substr(sent, n))) return;
        sent += n;
    }
    if (!sendAll(fd, "DATA_COMPLETE")) return;
    if (!readExactly(fd, 7)) return;  // CONFIRM
    writeFiles(script_.writesAtConfirm, "confirm");
}

}  // namespace zv::bench
