#include "host/platform_info.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
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

std::optional<std::string> localIPAddressOfHost() {
    char name[64];
    if (::gethostname(name, sizeof name) != 0) return std::nullopt;
    name[sizeof name - 1] = '\0';

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return std::nullopt;
    std::optional<std::string> text;
    for (addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        const auto* b = reinterpret_cast<const unsigned char*>(&sin->sin_addr.s_addr);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
        text = buf;
        break;
    }
    ::freeaddrinfo(result);
    return text;
}

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
