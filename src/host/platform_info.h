#pragma once
// What the host asks of the machine: its own folder, its IP address, and
// enough descriptors for many clients.

#include <optional>
#include <string>
#include <vector>

namespace zv {

// The folder that holds the running executable (from /proc/self/exe), without
// a trailing slash; "." when it cannot be found.
std::string executableFolder();

// One IPv4 address of a network interface, as the system lists it.
struct InterfaceAddress {
    std::string name;     // "eth0"
    std::string address;  // "%d.%d.%d.%d"
    bool up = false;
    bool loopback = false;
};

// The IPv4 addresses the computer's host name resolves to, in the resolver's
// order, as "%d.%d.%d.%d"; empty when the name does not resolve.
std::vector<std::string> hostNameAddresses();

// Every IPv4 address of every interface, in the system's order; empty when the
// list cannot be read.
std::vector<InterfaceAddress> interfaceAddresses();

// True for 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

// The address the administrator is shown, for clients on other desks to use:
// the first address of the host name that is not loopback; where the name
// resolves only to loopback (a common default of Linux installations), the
// first interface that is up and not loopback; loopback only where there is
// nothing else. Nothing when the name resolves to no address at all.
std::optional<std::string> chooseLocalAddress(const std::vector<std::string>& resolved,
                                              const std::vector<InterfaceAddress>& interfaces);

// chooseLocalAddress() over this computer's host name and interfaces.
std::optional<std::string> localIPAddressOfHost();

// The name this program was started under ("zelvorad", "zelvora-admin"), for
// the lines it writes to standard error.
const char* programName();
// The version of the program ("1.0.0").
const char* programVersion();

// Raises the soft limit on open descriptors to the hard limit: every client
// session holds three (its socket and its thread's event loop), and the
// usual soft limit of 1024 would refuse clients long before memory runs
// short. Returns the soft limit now in force, or an error text.
std::string raiseDescriptorLimit(long& softLimit);

}  // namespace zv
