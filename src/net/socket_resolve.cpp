#include "net/socket_resolve.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace zv {

namespace {

bool startsWithDigit(std::string_view text) {
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text.front()));
}

// Leading blanks skipped, digits taken up to the first non-digit. Saturates
// instead of overflowing so that a huge number is still "above the limit".
long leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1'000'000'000L) value = 1'000'000'000L;
    }
    return value;
}

// Used only when the system's databases lack an entry (a minimal container
// without /etc/services or /etc/protocols).
struct KnownNumber {
    const char* name;
    int number;
};
constexpr KnownNumber kKnownProtocols[] = {{"ip", 0}, {"icmp", 1}, {"tcp", 6}, {"udp", 17}};
constexpr KnownNumber kKnownServices[] = {{"ftp", 21},  {"telnet", 23}, {"smtp", 25},
                                          {"http", 80}, {"pop3", 110},  {"imap", 143}};

int knownNumber(const KnownNumber* table, std::size_t size, const std::string& name) {
    for (std::size_t i = 0; i < size; ++i) {
        if (name == table[i].name) return table[i].number;
    }
    return -1;
}

}  // namespace

in_addr_t ResolveHost(std::string_view text) {
    if (text.empty() || text.size() > 256) {
        throw EResolveError("ResolveHost: '" + std::string(text) + "' Invalid Hostname.");
    }
    const std::string host(text);
    if (startsWithDigit(host)) {
        in_addr address{};
        if (::inet_aton(host.c_str(), &address) == 0) {
            throw EResolveError("ResolveHost: '" + host + "' Invalid IP address.");
        }
        return address.s_addr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        if (result != nullptr) ::freeaddrinfo(result);
        throw EResolveError("ResolveHost: Cannot convert host address '" + host + "'");
    }
    const in_addr_t address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return address;
}

TListenAddress AnyIPv4Address(int port) {
    TListenAddress where;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&where.address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    v4->sin_addr.s_addr = htonl(INADDR_ANY);
    where.length = sizeof(sockaddr_in);
    return where;
}

TListenAddress ResolveListenAddress(std::string_view text, int port) {
    TListenAddress where;
    std::string host(text);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || host == "::") {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&where.address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        v6->sin6_addr = in6addr_any;
        where.length = sizeof(sockaddr_in6);
        where.dualStack = true;
        return where;
    }
    if (host.find(':') != std::string::npos) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&where.address);
        if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) != 1) {
            throw EResolveError("ResolveListenAddress: '" + std::string(text) + "' Invalid IPv6 address.");
        }
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        where.length = sizeof(sockaddr_in6);
        return where;
    }
    where = AnyIPv4Address(port);
    reinterpret_cast<sockaddr_in*>(&where.address)->sin_addr.s_addr = ResolveHost(host);
    return where;
}

int ResolvePort(std::string_view text, std::string_view protoName) {
    if (text.empty() || text.size() >= 32) throw EResolveError("ResolvePort: Invalid Port.");
    if (startsWithDigit(text)) {
        const long value = leadingNumber(text);
        if (value > 65535) throw EResolveError("ResolvePort: Invalid Port.");
        return static_cast<int>(value);
    }
    const std::string name(text);
    const std::string proto(protoName);
    servent entry{};
    servent* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getservbyname_r(name.c_str(), proto.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    }
    const int known = knownNumber(kKnownServices, std::size(kKnownServices), name);
    if (known >= 0) return known;
    throw EResolveError("ResolvePort: Cannot convert port '" + name + "'");
}

int ResolveProto(std::string_view text) {
    if (text.empty() || text.size() >= 32) {
        throw EResolveError("ResolveProto: Invalid Protocol.");
    }
    if (startsWithDigit(text)) return static_cast<int>(leadingNumber(text));
    const std::string name(text);
    protoent entry{};
    protoent* found = nullptr;
    std::vector<char> buffer(1024);
    if (::getprotobyname_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        return found->p_proto;
    }
    const int known = knownNumber(kKnownProtocols, std::size(kKnownProtocols), name);
    if (known >= 0) return known;
    throw EResolveError("ResolveProto: Cannot convert protocol '" + name + "'");
}

std::string protoNameForServices(std::string_view protoText) {
    if (!startsWithDigit(protoText)) return std::string(protoText);
    const int number = static_cast<int>(leadingNumber(protoText));
    protoent entry{};
    protoent* found = nullptr;
    std::vector<char> buffer(1024);
    if (::getprotobynumber_r(number, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->p_name;
    }
    return number == 17 ? "udp" : "tcp";
}

std::string dottedAddress(in_addr_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

std::string normaliseDottedAddress(std::string_view text) {
    if (!startsWithDigit(text)) return {};
    in_addr address{};
    if (::inet_aton(std::string(text).c_str(), &address) == 0) return {};
    return dottedAddress(address.s_addr);
}

}  // namespace zv
