#include "web/client_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace zv::web {

namespace {

std::string v4Text(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// The IPv4 address an IPv4-mapped IPv6 address holds.
in_addr mappedV4(const in6_addr& address) {
    in_addr v4{};
    std::memcpy(&v4.s_addr, address.s6_addr + 12, 4);
    return v4;
}

std::string v6Group(const in6_addr& address) {
    if (IN6_IS_ADDR_V4MAPPED(&address)) return v4Text(mappedV4(address));
    in6_addr network{};
    std::memcpy(network.s6_addr, address.s6_addr, 8);
    char text[INET6_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET6, &network, text, sizeof text);
    return std::string(text) + "/64";
}

}  // namespace

std::string addressText(const sockaddr* address) {
    if (address == nullptr) return {};
    if (address->sa_family == AF_INET) return v4Text(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    if (address->sa_family != AF_INET6) return {};
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) return v4Text(mappedV4(v6));
    char text[INET6_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET6, &v6, text, sizeof text);
    return text;
}

std::string addressGroup(const sockaddr* address) {
    if (address != nullptr && address->sa_family == AF_INET6) {
        return v6Group(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
    }
    return addressText(address);
}

std::string addressGroup(std::string_view text) {
    const std::string copy(text);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, copy.c_str(), &v6) == 1) return v6Group(v6);
    return copy;
}

}  // namespace zv::web
