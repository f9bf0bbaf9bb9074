#pragma once
// What the host asks of the machine: its own folder, its IP address, and
// enough descriptors for many clients.

#include <optional>
#include <string>

namespace zv {

// The folder that holds the running executable (from /proc/self/exe), without
// a trailing slash; "." when it cannot be found.
std::string executableFolder();

// The first IPv4 address the computer's host name resolves to, as
// "%d.%d.%d.%d", or nothing when the name does not resolve.
std::optional<std::string> localIPAddressOfHost();

// Raises the soft limit on open descriptors to the hard limit: every client
// session holds three (its socket and its thread's event loop), and the
// usual soft limit of 1024 would refuse clients long before memory runs
// short. Returns the soft limit now in force, or an error text.
std::string raiseDescriptorLimit(long& softLimit);

}  // namespace zv
