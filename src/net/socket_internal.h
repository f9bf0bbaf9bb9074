// Internals shared by the files that implement TAsyncSocket and its roles;
// not for users of the socket layer.
#pragma once

#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "net/async_socket.h"
#include "net/socket_errors.h"

namespace zv {

// Lets posted work find out whether its socket still exists.
struct TAsyncSocket::Life {
    TAsyncSocket* self = nullptr;
    bool alive = true;  // read and written on the owner thread only
};

namespace socket_internal {

inline int lastCode() { return socketErrorFromErrno(errno); }

// The error a non-blocking socket has recorded (connect outcome, reset).
inline std::uint16_t pendingSocketError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
    return static_cast<std::uint16_t>(socketErrorFromErrno(err));
}

inline constexpr int kMaxIovPerSend = 64;
inline constexpr std::uint32_t kIn = EPOLLIN;
inline constexpr std::uint32_t kOut = EPOLLOUT;
inline constexpr std::uint32_t kRdHup = EPOLLRDHUP;
inline constexpr std::uint32_t kEdge = EPOLLET;
inline constexpr std::uint32_t kHangupEvents = EPOLLRDHUP | EPOLLHUP | EPOLLERR;

}  // namespace socket_internal

// Runs one event's work; an exception that escapes it goes to
// OnBackgroundError and then aborts the socket (unless the handler said no).
template <typename Fn>
void TAsyncSocket::dispatchGuarded(Fn&& fn) {
    const std::shared_ptr<Life> life = life_;
    try {
        fn();
    } catch (const std::exception& e) {
        if (life->alive) backgroundException(e);
    } catch (...) {
        if (life->alive) backgroundException(std::runtime_error("unknown exception"));
    }
}

}  // namespace zv
