// TSocketListener: listening, and taking the pending connections.
#include "net/socket_listener.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/async_socket.h"
#include "net/socket_internal.h"
#include "net/socket_resolve.h"

namespace zv {

using namespace socket_internal;

namespace {

// Whether the system can open IPv6 sockets at all (a kernel booted without
// IPv6 cannot).
bool ipv6Available() {
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return errno != EAFNOSUPPORT;
    ::close(probe);
    return true;
}

}  // namespace

void TSocketListener::listen() {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (!s.port_.assigned) return s.socketError("listen: port not assigned", WSAEINVAL);
    if (!s.proto_.assigned) return s.socketError("listen: protocol not assigned", WSAEINVAL);
    if (!s.addr_.assigned) return s.socketError("listen: address not assigned", WSAEINVAL);
    TListenAddress where;
    try {
        s.resolveAll(false, false);
        where = ResolveListenAddress(s.addr_.text, s.portValue_);
    } catch (const EResolveError& e) {
        return s.raiseText(std::string("listen: ") + e.what());
    }
    // Every interface on a system without IPv6: every IPv4 interface.
    if (where.dualStack && !ipv6Available()) where = AnyIPv4Address(s.portValue_);
    const int fd = s.openFreshHandle(false, "listen", "socket", where.family(), false);
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
    if (where.family() == AF_INET6) {
        // Dual stack for every interface (IPv4 clients arrive as mapped
        // addresses), whatever the system's default; one IPv6 address alone
        // otherwise.
        const int v6only = where.dualStack ? 0 : 1;
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only) < 0) {
            const int code = lastCode();
            s.closeHandle();
            return s.socketError("setsockopt(IPV6_V6ONLY)", code);
        }
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where.address), where.length) < 0) {
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
