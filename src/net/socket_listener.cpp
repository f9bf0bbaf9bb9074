// TSocketListener: listening, and taking the pending connections.
#include "net/socket_listener.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/async_socket.h"
#include "net/socket_internal.h"

namespace zv {

using namespace socket_internal;

void TSocketListener::listen() {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (!s.port_.assigned) return s.socketError("listen: port not assigned", WSAEINVAL);
    if (!s.proto_.assigned) return s.socketError("listen: protocol not assigned", WSAEINVAL);
    if (!s.addr_.assigned) return s.socketError("listen: address not assigned", WSAEINVAL);
    const int fd = s.openFreshHandle(false, "listen", "socket");
    if (fd == INVALID_SOCKET) return;
    const bool stream = s.protoValue_ != IPPROTO_UDP;
    // Address reuse: the server can be started again at once after it stopped,
    // while connections of the earlier run are still closing.
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) < 0) {
        const int code = lastCode();
        s.closeHandle();
        return s.socketError("setsockopt(SO_REUSEADDR)", code);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(s.portValue_));
    local.sin_addr.s_addr = s.addrValue_;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        const int code = lastCode();
        s.closeHandle();  // the handle is released before the report, never leaked
        s.setState(ssClosed);
        return s.socketError("Bind", code);
    }
    s.setState(ssBound);
    if (stream) {
        // The system's maximum backlog rather than 5: many clients connecting at
        // once must not be refused.
        if (::listen(fd, SOMAXCONN) < 0) return s.socketError("Listen", lastCode());
        s.setState(ssListening);
    }
    armed_ = true;
    if (!s.subscribe(stream ? EPOLLIN : EPOLLIN | EPOLLRDHUP)) {
        return s.socketError("WSAASyncSelect", lastCode());
    }
}

int TSocketListener::accept() {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (s.state_ != ssListening) {
        s.socketError("not a listening socket", WSAEINVAL);
        return INVALID_SOCKET;
    }
    const int fd = ::accept4(s.handle_, nullptr, nullptr, SOCK_CLOEXEC);
    const int err = errno;
    armed_ = true;
    s.updateInterest();
    if (fd < 0) {
        const int code = socketErrorFromErrno(err);
        if (code == WSAEWOULDBLOCK || code == WSAECONNABORTED || code == WSAEINTR) {
            // Nothing to take (the client went away before it was accepted): not a
            // failure of the listening socket.
            s.lastError_ = code;
            return INVALID_SOCKET;
        }
        s.socketError("Accept", code);
        return INVALID_SOCKET;
    }
    return fd;
}

std::uint32_t TSocketListener::wantedEvents() const { return armed_ ? kIn : 0u; }

void TSocketListener::handleEvents(std::uint32_t events) {
    TAsyncSocket& s = socket_;
    if ((events & (EPOLLIN | EPOLLERR | EPOLLHUP)) == 0) return;
    // Not reported again until Accept is called, as with the notification
    // this mimics; a handler that never accepts does not spin the loop.
    armed_ = false;
    s.updateInterest();
    s.dispatchGuarded([&] {
        if (s.OnSessionAvailable) s.OnSessionAvailable(s, 0);
    });
}

}  // namespace zv
