#include "sse_clients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zv::bench {

using Clock = std::chrono::steady_clock;

SseClients::SseClients(int port, const std::vector<std::string>& sessionTokens, int count, int addressBlock) {
    if (static_cast<int>(sessionTokens.size()) * kPerSession < count) {
        throw std::runtime_error("too few sessions for " + std::to_string(count) + " streams");
    }
    if (addressBlock < 1 || addressBlock > 255 || count > 254 * kPerAddress) {
        throw std::runtime_error("no loopback addresses for " + std::to_string(count) + " streams in block " +
                                 std::to_string(addressBlock));
    }
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) throw std::runtime_error("epoll_create1 failed");
    streams_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Stream& s = streams_[static_cast<std::size_t>(i)];
        const std::string request =
            "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n"
            "Cookie: zv_session=" +
            sessionTokens[static_cast<std::size_t>(i / kPerSession)] + "\r\n\r\n";
        s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr =
            htonl((127u << 24) | (static_cast<std::uint32_t>(addressBlock) << 8) |
                  static_cast<std::uint32_t>(i / kPerAddress + 1));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (s.fd < 0 || ::bind(s.fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
            ::connect(s.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error(std::string("stream ") + std::to_string(i) + ": " +
                                     std::strerror(errno));
        }
        if (::send(s.fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
            throw std::runtime_error("cannot send the stream request");
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<std::uint32_t>(i);
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, s.fd, &event);
    }
    std::chrono::nanoseconds took{};
    if (!waitForAll(1, std::chrono::seconds(30), &took)) {
        throw std::runtime_error("not every stream got its first event; fewest " + std::to_string(fewestEvents()));
    }
}

SseClients::~SseClients() {
    stopDraining();
    // Reset, not closed: a thousand closes would leave as many ports of
    // 127.0.b.x waiting (TIME_WAIT) for a minute, which a server started
    // meanwhile on such a port number could not listen on.
    const linger reset{1, 0};
    for (Stream& s : streams_) {
        if (s.fd < 0) continue;
        ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(s.fd);
    }
    if (epollFd_ >= 0) ::close(epollFd_);
}

void SseClients::readReady(int timeoutMs) {
    epoll_event events[256];
    const int n = ::epoll_wait(epollFd_, events, 256, timeoutMs);
    char buffer[16384];
    for (int i = 0; i < n; ++i) {
        Stream& s = streams_[events[i].data.u32];
        const ssize_t got = ::recv(s.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0) {
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, s.fd, nullptr);
            }
            continue;
        }
        s.bytes += static_cast<std::size_t>(got);
        s.pending.append(buffer, static_cast<std::size_t>(got));
        // A board version comes as "event: board" (its tag) or "event: rows"
        // (the rows that changed).
        constexpr std::string_view kEvent = "event: ";
        std::size_t at = 0;
        while ((at = s.pending.find(kEvent, at)) != std::string::npos && at + kEvent.size() < s.pending.size()) {
            const char name = s.pending[at + kEvent.size()];
            if (name == 'b' || name == 'r') ++s.events;
            at += kEvent.size();
        }
        // Keep a tail that may hold the start of the next event line.
        if (s.pending.size() > kEvent.size()) s.pending.erase(0, s.pending.size() - kEvent.size());
    }
}

std::size_t SseClients::totalBytes() const {
    std::size_t total = 0;
    for (const Stream& s : streams_) total += s.bytes;
    return total;
}

int SseClients::fewestEvents() const {
    int fewest = 1 << 30;
    for (const Stream& s : streams_) fewest = std::min(fewest, s.events);
    return fewest;
}

bool SseClients::waitForAll(int events, std::chrono::milliseconds limit, std::chrono::nanoseconds* took) {
    const auto start = Clock::now();
    const auto deadline = start + limit;
    while (fewestEvents() < events) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        readReady(static_cast<int>(std::min<long long>(left, 100)));
    }
    if (took) *took = Clock::now() - start;
    return true;
}

void SseClients::startDraining() {
    draining_ = true;
    drainer_ = std::thread([this] {
        while (draining_) readReady(50);
    });
}

void SseClients::stopDraining() {
    draining_ = false;
    if (drainer_.joinable()) drainer_.join();
}

}  // namespace zv::bench
