#include "web/listen_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/socket_errors.h"

namespace zv::web {

namespace {

[[noreturn]] void fail(int fd, const std::string& where, int port, const char* call, int err) {
    if (fd >= 0) ::close(fd);
    const int code = socketErrorFromErrno(err);
    throw TListenError("The board in the browser cannot use " + where + "port " + std::to_string(port) +
                       ": " + WSocketErrorDesc(code) + " (error " + std::to_string(code) + " in " + call +
                       ").");
}

}  // namespace

int openListeningSocket(const std::string& address, int port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET6;
    const std::string where = address.empty() ? "" : "address " + address + ", ";
    if (address.empty()) {
        auto* any6 = reinterpret_cast<sockaddr_in6*>(&storage);
        any6->sin6_family = AF_INET6;
        any6->sin6_addr = in6addr_any;
        any6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
            family = AF_INET;
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<std::uint16_t>(port));
            length = sizeof(sockaddr_in);
        } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<std::uint16_t>(port));
            length = sizeof(sockaddr_in6);
        } else {
            throw TListenError("The board in the browser cannot listen on \"" + address +
                               "\" (Address of section [Web]): it is not an IPv4 or IPv6 address.");
        }
    }

    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && address.empty() && (errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT)) {
        // No IPv6 on this system: every IPv4 interface.
        family = AF_INET;
        storage = {};
        auto* any4 = reinterpret_cast<sockaddr_in*>(&storage);
        any4->sin_family = AF_INET;
        any4->sin_addr.s_addr = htonl(INADDR_ANY);
        any4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in);
        fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) fail(-1, where, port, "socket", errno);
    const int on = 1;
    const int off = 0;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        fail(fd, where, port, "setsockopt", errno);
    }
    if (family == AF_INET6 && address.empty() &&
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
        fail(fd, where, port, "setsockopt", errno);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) fail(fd, where, port, "bind", errno);
    if (::listen(fd, SOMAXCONN) != 0) fail(fd, where, port, "listen", errno);
    return fd;
}

int boundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return 0;
    if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

}  // namespace zv::web
