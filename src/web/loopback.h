#pragma once
// Whether a browser's address is this computer's own: the first-run set-up
// of the administrator's password is offered only there.

#include <string_view>

namespace zv::web {

// True for 127.0.0.0/8, ::1 and ::ffff:127.x.y.z, as the daemon writes
// addresses; false for any other text, the empty one included.
bool isLoopbackClient(std::string_view address);

}  // namespace zv::web
