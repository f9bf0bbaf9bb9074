#pragma once
// The route table: method, path pattern and handler, and who may use the
// route. Dispatch checks the sign-in and, for every request that changes
// something, the JSON body type and the session's anti-forgery token, before
// the handler sees the request; so a handler only parses its input, calls
// one host operation (on the main loop, through onMainLoop) and renders JSON.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "web/http_reply.h"
#include "web/http_request.h"
#include "web/sessions.h"

namespace zv::web {

// Who may use a route.
enum class Access {
    Public,         // anyone (the page's files, the sign-in)
    Employee,       // a signed-in employee
    Administrator,  // the signed-in administrator
};

struct TRouteContext {
    const TRequest& request;
    // The session of a route that needs one (never null there).
    std::shared_ptr<const TWebSession> session;
    // The values of the pattern's "{name}" segments.
    std::map<std::string, std::string, std::less<>> params;
};

using THandler = std::function<TReply(TRouteContext&)>;

// The request header that carries the anti-forgery token.
inline constexpr std::string_view kAntiForgeryHeader = "X-Zelvora-Token";

// The cookies that carry the session tokens: an employee's ("zv_session")
// and the administrator's ("zv_admin"), so that one browser may hold both.
// Under HTTPS their names take the "__Host-" prefix: the browser then keeps
// them for this host alone and for HTTPS only, and no other host of the
// domain can set one in their place.
std::string sessionCookieName(SessionKind kind, bool https);
// The Set-Cookie values that start a session and that end it.
std::string sessionCookie(SessionKind kind, const std::string& token, bool https);
std::string endedSessionCookie(SessionKind kind, bool https);

class TRouter {
public:
    explicit TRouter(TWebSessions& sessions) : sessions_(sessions) {}

    // `pattern`: a path whose segments are literal or "{name}". A GET route
    // answers HEAD as well.
    void add(std::string method, std::string pattern, Access access, THandler handler);
    // A GET route whose body is made while it is sent (a live stream, a
    // backup): HEAD is refused (405) before the handler runs, since the
    // body's length is not known ahead and making it only to drop it would
    // cost (and a backup is audited).
    void addStreamed(std::string pattern, Access access, THandler handler);
    // For a server that listens on loopback only (before it serves): every
    // change must name this computer in its Host header, so that a foreign
    // page whose name leads to 127.0.0.1 changes nothing.
    void takeChangesOnlyForThisComputer(bool only) { localChangesOnly_ = only; }

    // 404 for an unknown path, 405 for a known path and another method,
    // 415 for a change without a JSON body, 403 for a change to a server on
    // loopback by another name, 401 without a live session of the route's
    // kind, 403 for a change without the session's anti-forgery token;
    // otherwise what the handler answers.
    TReply dispatch(const TRequest& request);

private:
    struct Route {
        std::string method;
        std::vector<std::string> segments;
        Access access;
        THandler handler;
        bool answersHead = true;  // a GET route
    };
    static std::vector<std::string> split(std::string_view path);
    static bool matches(const Route& route, const std::vector<std::string>& segments,
                        std::map<std::string, std::string, std::less<>>& params);

    TWebSessions& sessions_;
    // Constant once the server runs.
    std::vector<Route> routes_;
    bool localChangesOnly_ = false;
};

}  // namespace zv::web
