#pragma once
// The HTTP side's listening socket, opened here rather than by the HTTP
// library, so that a port that cannot be used is reported with the system's
// reason (through the one table of socket errors).

#include <stdexcept>
#include <string>

namespace zv::web {

// Why the socket could not be opened: the address, the port and the reason.
class TListenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A listening TCP socket on `address` (empty: every interface, IPv6 and
// IPv4 alike where the system has IPv6) and `port` (0: any free port),
// close-on-exec and non-blocking, with address reuse. Throws TListenError.
int openListeningSocket(const std::string& address, int port);

// The port a socket is bound to.
int boundPort(int fd);

}  // namespace zv::web
