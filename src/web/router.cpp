#include "web/router.h"

#include <strings.h>

#include "web/loopback.h"
#include "web/same_token.h"

namespace zv::web {

namespace {

bool isJson(std::string_view contentType) {
    constexpr std::string_view kJson = "application/json";
    if (contentType.size() < kJson.size() ||
        ::strncasecmp(contentType.data(), kJson.data(), kJson.size()) != 0)
        return false;
    const std::string_view rest = contentType.substr(kJson.size());
    return rest.empty() || rest.front() == ';' || rest.front() == ' ';
}

}  // namespace

std::string sessionCookieName(SessionKind kind, bool https) {
    const char* name = kind == SessionKind::Administrator ? "zv_admin" : "zv_session";
    return https ? std::string("__Host-") + name : std::string(name);
}

std::string sessionCookie(SessionKind kind, const std::string& token, bool https) {
    // "__Host-" asks for Secure and "Path=/", and no Domain.
    return sessionCookieName(kind, https) + "=" + token + "; Path=/" + (https ? "; Secure" : "") +
           "; HttpOnly; SameSite=Strict";
}

std::string endedSessionCookie(SessionKind kind, bool https) {
    return sessionCookieName(kind, https) + "=; Path=/; Max-Age=0" + (https ? "; Secure" : "") +
           "; HttpOnly; SameSite=Strict";
}

std::vector<std::string> TRouter::split(std::string_view path) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) segments.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

void TRouter::add(std::string method, std::string pattern, Access access, THandler handler) {
    routes_.push_back(Route{std::move(method), split(pattern), access, std::move(handler)});
}

void TRouter::addStreamed(std::string pattern, Access access, THandler handler) {
    routes_.push_back(Route{"GET", split(pattern), access, std::move(handler), false});
}

bool TRouter::matches(const Route& route, const std::vector<std::string>& segments,
                      std::map<std::string, std::string, std::less<>>& params) {
    if (route.segments.size() != segments.size()) return false;
    params.clear();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string& want = route.segments[i];
        if (want.size() > 2 && want.front() == '{' && want.back() == '}') {
            params[want.substr(1, want.size() - 2)] = segments[i];
        } else if (want != segments[i]) {
            return false;
        }
    }
    return true;
}

TReply TRouter::dispatch(const TRequest& request) {
    const std::vector<std::string> segments = split(request.path);
    std::map<std::string, std::string, std::less<>> params;
    const Route* found = nullptr;
    std::string allowed;
    for (const Route& route : routes_) {
        if (!matches(route, segments, params)) continue;
        if (route.method == request.method ||
            (route.method == "GET" && request.method == "HEAD" && route.answersHead)) {
            found = &route;
            break;
        }
        allowed += (allowed.empty() ? "" : ", ") + route.method;
    }
    if (!found) {
        if (!allowed.empty()) {
            return errorReply(405, request.method + " is not allowed here.").header("Allow", allowed);
        }
        return errorReply(404, "There is nothing at " + request.path + ".");
    }
    matches(*found, segments, params);

    if (request.changes() && !isJson(request.header("Content-Type"))) {
        return errorReply(415, "A change must be sent as JSON (Content-Type: application/json).");
    }
    if (request.changes() && localChangesOnly_ && !isLocalHostHeader(request.header("Host"))) {
        return errorReply(403, "This server takes changes only at localhost, 127.0.0.1 or [::1].");
    }
    TRouteContext context{request, nullptr, std::move(params)};
    if (found->access != Access::Public) {
        const SessionKind kind =
            found->access == Access::Administrator ? SessionKind::Administrator : SessionKind::Employee;
        context.session = sessions_.use(request.cookie(sessionCookieName(kind, request.https)));
        if (!context.session || context.session->kind != kind) return errorReply(401, "Please sign in.");
        if (request.changes() &&
            !sameToken(request.header(kAntiForgeryHeader), context.session->antiForgeryToken)) {
            return errorReply(403, "The request lacks this session's anti-forgery token; please reload the page.");
        }
    }
    return found->handler(context);
}

}  // namespace zv::web
