#pragma once
// Whether a request comes from this computer: the first-run set-up of the
// administrator's password is offered only there. The peer address must be
// loopback, and the name the browser asked for must be this computer's own,
// so that a foreign page whose name leads to 127.0.0.1 (DNS rebinding) does
// not pass.

#include <string_view>

namespace zv::web {

struct TRequest;

// True for 127.0.0.0/8, ::1 and ::ffff:127.x.y.z, as the daemon writes
// addresses; false for any other text, the empty one included.
bool isLoopbackClient(std::string_view address);

// True when a Host header names this computer: "localhost", "127.0.0.1" or
// "[::1]" (any case), with a port or without.
bool isLocalHostHeader(std::string_view host);

// A loopback peer, a Host of this computer, and an Origin, when the browser
// sends one, of that same scheme, name and port.
bool isFromThisComputer(const TRequest& request);

}  // namespace zv::web
