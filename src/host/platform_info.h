#pragma once
// What the host asks of the machine: its own folder and its IP address.

#include <optional>
#include <string>

namespace zv {

// The folder that holds the running executable (from /proc/self/exe), without
// a trailing slash; "." when it cannot be found.
std::string executableFolder();

// The first IPv4 address the computer's host name resolves to, as
// "%d.%d.%d.%d", or nothing when the name does not resolve.
std::optional<std::string> localIPAddressOfHost();

}  // namespace zv
