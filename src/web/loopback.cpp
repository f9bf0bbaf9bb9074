#include "web/loopback.h"

#include <arpa/inet.h>
#include <strings.h>

#include <string>

#include "web/http_request.h"

namespace zv::web {

namespace {

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool isLoopbackClient(std::string_view address) {
    const std::string text(address);
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    // An IPv4 client on a dual-stack socket.
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool isLocalHostHeader(std::string_view host) {
    // The name, without a port ("[::1]" keeps its brackets).
    const std::size_t close = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        const std::string_view port = host.substr(colon + 1);
        if (port.find_first_not_of("0123456789") != std::string_view::npos) return false;
        host = host.substr(0, colon);
    }
    return sameNoCase(host, "localhost") || host == "127.0.0.1" || host == "[::1]";
}

bool isFromThisComputer(const TRequest& request) {
    const std::string_view host = request.header("Host");
    if (!isLoopbackClient(request.clientAddress) || !isLocalHostHeader(host)) return false;
    const std::string_view origin = request.header("Origin");
    if (origin.empty()) return true;
    const std::string_view scheme = request.https ? "https://" : "http://";
    return origin.size() == scheme.size() + host.size() &&
           sameNoCase(origin.substr(0, scheme.size()), scheme) &&
           sameNoCase(origin.substr(scheme.size()), host);
}

}  // namespace zv::web
