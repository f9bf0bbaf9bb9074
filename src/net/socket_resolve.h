// Turning the Addr, Port and Proto texts of a socket into numbers. Failures
// raise EResolveError whose message is the text the socket reports (the socket
// prefixes "listen: " or "connect: ").
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zv {

class EResolveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// IPv4 address in network byte order. Text starting with a digit is a dotted
// address; other text is looked up by name (blocking), first address taken.
in_addr_t ResolveHost(std::string_view text);
// Where a listening socket binds, and how.
struct TListenAddress {
    sockaddr_storage address{};  // with the port
    socklen_t length = 0;
    bool dualStack = false;  // IPv6 "::", taking IPv4 connections as well
    int family() const { return address.ss_family; }
};

// The address a listening socket binds for `text` and `port`: "::" (or an
// empty text) is every IPv4 and IPv6 interface; an IPv6 address (brackets
// allowed) that address alone; any other text an IPv4 address or a name, as
// ResolveHost reads it.
TListenAddress ResolveListenAddress(std::string_view text, int port);
// Every IPv4 interface ("0.0.0.0") at `port`.
TListenAddress AnyIPv4Address(int port);

// Port number; a service name is looked up for protoName ("tcp", "udp").
int ResolvePort(std::string_view text, std::string_view protoName);
// Protocol number; "tcp" gives 6.
int ResolveProto(std::string_view text);
// The protocol name for a service look-up: the text itself, or for a protocol
// given as a number its name from the protocols database ("tcp" if unknown).
std::string protoNameForServices(std::string_view protoText);

// Dotted form of an IPv4 address in network byte order.
std::string dottedAddress(in_addr_t address);
// The normalised dotted form when text is a dotted IPv4 address, else "".
std::string normaliseDottedAddress(std::string_view text);

}  // namespace zv
