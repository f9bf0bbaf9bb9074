#pragma once
// Where a request comes from: only the socket's peer address says so, never
// a header. The limits count clients by a group of addresses: an IPv4
// address alone, an IPv6 address by its /64 network (a home or an office is
// given a whole /64, so its addresses count as one client).

#include <string>
#include <string_view>

struct sockaddr;

namespace zv::web {

// The numeric text of an address ("192.0.2.7", "2001:db8::1"), an IPv4
// client on a dual-stack socket as its IPv4 address; empty for a socket of
// another kind.
std::string addressText(const sockaddr* address);

// The group an address counts in: "192.0.2.7", or "2001:db8:1:2::/64".
std::string addressGroup(const sockaddr* address);
// The same for an address's numeric text; any other text is its own group.
std::string addressGroup(std::string_view text);

}  // namespace zv::web
