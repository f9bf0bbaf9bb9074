#include "tcp_client.h"

#include "bundle_scanner.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace zv::test {

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error sysError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads the decimal count and its "|" at `pos`; npos when incomplete.
std::size_t sectionEnd(std::string_view text, std::size_t pos) {
    const auto bar = text.find('|', pos);
    if (bar == std::string_view::npos) return std::string_view::npos;
    long count = 0;
    for (std::size_t i = pos; i < bar; ++i) {
        if (text[i] < '0' || text[i] > '9') throw std::runtime_error("bad bundle count");
        count = count * 10 + (text[i] - '0');
    }
    std::size_t at = bar + 1;
    for (long i = 0; i < count; ++i) {
        const auto sep = text.find("<~REC~>", at);
        if (sep == std::string_view::npos) return std::string_view::npos;
        at = sep + 7;
    }
    return at;
}

const char* const kTags[5] = {"[*DEPT*]", "[*PHONE*]", "[*WIWO*]", "[*POSTI*]", "[*WYWO*]"};

}  // namespace

// A port below the kernel's ephemeral range (32768 and up), free when asked:
// a port the kernel hands out for "any port" can be handed to another test's
// connection or listener between this check and the server's bind, which made
// servers of tests run side by side fail with "Address already in use".
int freeTcpPort() {
    static std::mt19937 pick(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 20000 + static_cast<int>(pick() % 12768);
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) throw sysError("socket");
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (free) return port;
    }
    throw std::runtime_error("no free port found between 20000 and 32767 in 200 tries");
}

TcpClient::~TcpClient() { close(); }

TcpClient::TcpClient(TcpClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pending_(std::move(other.pending_)) {}

TcpClient& TcpClient::operator=(TcpClient&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        pending_ = std::move(other.pending_);
    }
    return *this;
}

int connectToLoopback(int port, const std::string& address) {
    sockaddr_storage addr{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else {
        throw std::invalid_argument("not an IPv4 or IPv6 address: " + address);
    }
    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool TcpClient::tryConnect(int port, const std::string& address) {
    close();
    const int fd = connectToLoopback(port, address);
    if (fd < 0) {
        // No descriptor for the socket is the test machine's trouble, not a
        // refusal by the server.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) throw sysError("socket");
        return false;
    }
    fd_ = fd;
    pending_.clear();
    return true;
}

void TcpClient::connect(int port, const std::string& address) {
    if (!tryConnect(port, address)) throw sysError("connect to " + address + " port " + std::to_string(port));
}

void TcpClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

void TcpClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw sysError("send");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

TcpClient::ReadResult TcpClient::readMore(Clock::time_point deadline) {
    char buf[65536];
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return ReadResult::TimedOut;
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ReadResult::Closed;
        pending_.append(buf, static_cast<std::size_t>(got));
        return ReadResult::Read;
    }
}

std::string TcpClient::receiveExactly(std::size_t n, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (pending_.size() < n) {
        const ReadResult r = readMore(deadline);
        if (r == ReadResult::TimedOut) {
            throw std::runtime_error("waited in vain for " + std::to_string(n) + " bytes; got " +
                                     std::to_string(pending_.size()) + ": \"" +
                                     pending_.substr(0, 200) + "\"");
        }
        if (r == ReadResult::Closed) {
            throw std::runtime_error("connection closed after " + std::to_string(pending_.size()) +
                                     " of " + std::to_string(n) + " bytes: \"" +
                                     pending_.substr(0, 200) + "\"");
        }
    }
    std::string out = pending_.substr(0, n);
    pending_.erase(0, n);
    return out;
}

std::string TcpClient::receiveUntilClosed(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const ReadResult r = readMore(deadline);
        if (r == ReadResult::TimedOut) throw std::runtime_error("the connection stayed open");
        if (r == ReadResult::Closed) break;
    }
    std::string out = std::move(pending_);
    pending_.clear();
    return out;
}

bool TcpClient::closedWithin(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const ReadResult r = readMore(deadline);
        if (r == ReadResult::TimedOut) return false;
        if (r == ReadResult::Closed) return true;
    }
}

std::string TcpClient::receiveFor(std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    while (readMore(deadline) == ReadResult::Read) {
    }
    std::string out = std::move(pending_);
    pending_.clear();
    return out;
}

std::string TcpClient::receiveLoginReply(std::chrono::milliseconds limit) {
    std::string head = receiveExactly(9, limit);
    if (head == "NON_EXIST") return head;
    if (head == "LOGIN_DEN") return head + receiveExactly(3, limit);
    if (head == "PREPARE_T") return head + receiveExactly(9, limit);
    throw std::runtime_error("unexpected login reply \"" + head + "\"");
}

std::string TcpClient::pullBundle(int blockSize, std::vector<std::string>* blocks) {
    BundleScanner scanner;
    const std::size_t size = static_cast<std::size_t>(blockSize);
    for (;;) {
        send("READY_TO_RECEIVE");
        if (scanner.complete()) {
            std::string done = receiveExactly(13);
            if (done != "DATA_COMPLETE") {
                throw std::runtime_error("expected DATA_COMPLETE, got \"" + done + "\"");
            }
            return scanner.text();
        }
        // A block is blockSize bytes, unless it is the last one.
        std::string block;
        while (block.size() < size && !scanner.complete()) {
            if (pending_.empty()) {
                const ReadResult r = readMore(Clock::now() + 15s);
                if (r == ReadResult::TimedOut) throw std::runtime_error("waited in vain for a block");
                if (r == ReadResult::Closed) throw std::runtime_error("connection closed inside a block");
            }
            const std::size_t take = std::min(pending_.size(), size - block.size());
            const std::string piece = pending_.substr(0, take);
            pending_.erase(0, take);
            block += piece;
            scanner.feed(piece);
        }
        if (scanner.complete() && scanner.end() != scanner.text().size()) {
            throw std::runtime_error("a block ran past the end of the bundle");
        }
        if (blocks) blocks->push_back(block);
    }
}

std::size_t bundleEnd(std::string_view text) {
    std::size_t at = 0;
    for (const char* tag : kTags) {
        const std::string_view t(tag);
        if (text.size() < at + t.size()) return std::string_view::npos;
        if (text.substr(at, t.size()) != t) {
            throw std::runtime_error("bundle section " + std::string(tag) + " not where expected");
        }
        at = sectionEnd(text, at + t.size());
        if (at == std::string_view::npos) return at;
    }
    return at;
}

BundleSections splitBundle(std::string_view bundle) {
    std::string* parts[5];
    BundleSections s;
    parts[0] = &s.dept;
    parts[1] = &s.phone;
    parts[2] = &s.wiwo;
    parts[3] = &s.posti;
    parts[4] = &s.wywo;
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const std::string_view t(kTags[i]);
        if (bundle.substr(at, t.size()) != t) throw std::runtime_error("bad bundle layout");
        const std::size_t end = sectionEnd(bundle, at + t.size());
        if (end == std::string_view::npos) throw std::runtime_error("incomplete bundle");
        *parts[i] = std::string(bundle.substr(at + t.size(), end - at - t.size()));
        at = end;
    }
    if (at != bundle.size()) throw std::runtime_error("text after the bundle's last section");
    return s;
}

}  // namespace zv::test
