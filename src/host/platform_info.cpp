#include "host/platform_info.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zv {

std::string executableFolder() {
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) return ".";
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return exe.substr(0, slash);
}

namespace {

std::string dottedDecimal(const sockaddr* address) {
    const auto* sin = reinterpret_cast<const sockaddr_in*>(address);
    const auto* b = reinterpret_cast<const unsigned char*>(&sin->sin_addr.s_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return text;
}

}  // namespace

std::vector<std::string> hostNameAddresses() {
    char name[64];
    if (::gethostname(name, sizeof name) != 0) return {};
    name[sizeof name - 1] = '\0';

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return {};
    std::vector<std::string> addresses;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
        addresses.push_back(dottedDecimal(ai->ai_addr));
    }
    ::freeaddrinfo(result);
    return addresses;
}

std::vector<InterfaceAddress> interfaceAddresses() {
    ifaddrs* list = nullptr;
    // Without the list the host name's own address is all there is to show.
    if (::getifaddrs(&list) != 0) return {};
    std::vector<InterfaceAddress> addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        InterfaceAddress address;
        address.name = entry->ifa_name ? entry->ifa_name : "";
        address.address = dottedDecimal(entry->ifa_addr);
        address.up = (entry->ifa_flags & IFF_UP) != 0;
        address.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        addresses.push_back(std::move(address));
    }
    ::freeifaddrs(list);
    return addresses;
}

bool isLoopbackAddress(const std::string& address) { return address.rfind("127.", 0) == 0; }

std::optional<std::string> chooseLocalAddress(const std::vector<std::string>& resolved,
                                              const std::vector<InterfaceAddress>& interfaces) {
    if (resolved.empty()) return std::nullopt;
    for (const std::string& address : resolved) {
        if (!isLoopbackAddress(address)) return address;
    }
    for (const InterfaceAddress& candidate : interfaces) {
        if (candidate.up && !candidate.loopback && !isLoopbackAddress(candidate.address)) {
            return candidate.address;
        }
    }
    return resolved.front();
}

std::optional<std::string> localIPAddressOfHost() {
    const std::vector<std::string> resolved = hostNameAddresses();
    if (resolved.empty()) return std::nullopt;
    return chooseLocalAddress(resolved, interfaceAddresses());
}

const char* programName() { return program_invocation_short_name; }

const char* programVersion() { return ZV_VERSION; }

std::string raiseDescriptorLimit(long& softLimit) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return std::string("cannot read the descriptor limit: ") + std::strerror(errno);
    }
    if (limit.rlim_cur < limit.rlim_max) {
        const rlim_t wanted = limit.rlim_max;
        limit.rlim_cur = wanted;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return "cannot raise the descriptor limit to " + std::to_string(wanted) + ": " +
                   std::strerror(errno);
        }
    }
    softLimit = static_cast<long>(limit.rlim_cur);
    return {};
}

}  // namespace zv
