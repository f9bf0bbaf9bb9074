// Helpers for the socket layer tests: a thread running its own event loop,
// plain blocking peers and a waiter with a generous safety limit (never a
// speed assertion: the limit only keeps a broken test from hanging).
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "net/async_socket.h"
#include "net/event_loop.h"

namespace zv::test {

inline constexpr auto kSafetyLimit = std::chrono::seconds(20);

// A thread that owns an event loop and runs it until destroyed. Work for the
// thread goes through exec(), which waits for it (and rethrows).
class LoopThread {
public:
    LoopThread() {
        std::promise<TEventLoop*> started;
        auto future = started.get_future();
        thread_ = std::thread([this, &started] {
            TEventLoop& loop = TEventLoop::forCurrentThread();
            started.set_value(&loop);
            while (!stopping_) loop.run();
        });
        loop_ = future.get();
    }
    ~LoopThread() {
        stopping_ = true;
        loop_->quit();
        thread_.join();
    }
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

    TEventLoop& loop() { return *loop_; }
    std::thread::id id() const { return thread_.get_id(); }
    void exec(std::function<void()> task) { runInLoopAndWait(*loop_, std::move(task)); }

private:
    std::atomic<bool> stopping_{false};
    TEventLoop* loop_ = nullptr;
    std::thread thread_;
};

// Counts things that happen on other threads and lets the test wait for them.
class Signal {
public:
    void notify() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        cv_.notify_all();
    }
    // True when at least n notifications arrived within the safety limit.
    bool waitFor(int n = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, kSafetyLimit, [&] { return count_ >= n; });
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
};

// Plain blocking sockets for the far side of a connection.
inline int connectBlocking(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    timeval tv{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A listening plain socket on a free loopback port; returns the fd, sets port.
inline int listenBlocking(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 64) < 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

inline int acceptBlocking(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        timeval tv{20, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    return fd;
}

inline bool sendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly n bytes (or until EOF/error); returns what came.
inline std::string recvExactly(int fd, std::size_t n) {
    std::string data;
    char buffer[65536];
    while (data.size() < n) {
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - data.size()), 0);
        if (got <= 0) break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
}

// Reads until the peer closes (or an error); returns what came.
inline std::string recvUntilClosed(int fd) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
}

// Makes the next close() of fd send a reset instead of an orderly end.
inline void setResetOnClose(int fd) {
    linger option{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

inline int openDescriptorCount() {
    int count = 0;
    if (auto* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}

}  // namespace zv::test

namespace zv::test {

// Dispatches the calling thread's loop until pred() holds; false when the
// safety limit passed first.
template <typename Pred>
bool pumpUntil(Pred pred) {
    TEventLoop& loop = TEventLoop::forCurrentThread();
    const auto deadline = TEventLoop::Clock::now() + kSafetyLimit;
    while (!pred()) {
        if (TEventLoop::Clock::now() >= deadline) return false;
        loop.waitAndDispatch(std::min(deadline, TEventLoop::Clock::now() + std::chrono::milliseconds(50)));
    }
    return true;
}

}  // namespace zv::test

namespace zv::test {

// A TCP connection over loopback whose one end is adopted by a TAsyncSocket
// of the calling thread and whose other end is a plain blocking descriptor.
struct AdoptedPair {
    AdoptedPair() {
        int port = 0;
        const int listener = listenBlocking(&port);
        peer = connectBlocking(port);
        const int handle = acceptBlocking(listener);
        ::close(listener);
        socket = std::make_unique<TAsyncSocket>();
        socket->Dup(handle);
    }
    ~AdoptedPair() {
        socket.reset();
        if (peer >= 0) ::close(peer);
    }
    std::unique_ptr<TAsyncSocket> socket;
    int peer = -1;
};

// Fills the kernel buffers between a socket and a peer that does not read,
// with plain non-blocking sends on the socket's own handle. Returns the count.
inline long fillKernelBuffers(int fd) {
    std::string block(65536, 'f');
    long total = 0;
    for (;;) {
        const ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        total += n;
    }
    return total;
}

// A recognisable byte pattern of the given length.
inline std::string pattern(std::size_t length, unsigned seed = 1) {
    std::string data(length, '\0');
    unsigned x = seed;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return data;
}

}  // namespace zv::test
