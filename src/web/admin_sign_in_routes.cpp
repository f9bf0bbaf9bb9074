// The administrator's sign-in under /api/admin/: what the page shows first,
// the first-run set-up, the sign-in and sign-out, and a new password. A
// password's hash is made, and checked, on the password worker; the sign-in
// is throttled as the employees' is.
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/admin_password.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/loopback.h"
#include "web/password_worker.h"
#include "web/router.h"
#include "web/sign_in_throttle.h"

namespace zv::web {

namespace {

using nlohmann::json;

// The throttle's name for the administrator's password (no board key holds
// a "*").
constexpr const char* kAdministratorAccount = "*administrator*";
constexpr const char* kPasswordRefused = "The password is not right.";
constexpr const char* kNotHere =
    "The administrator's password can be set up only in a browser on the server's own computer (at localhost), "
    "with \"zelvorad --set-admin-password\", or in the window's Options, Web Access.";

std::string adminCookie(const std::string& token, bool https) {
    return std::string(kAdminCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict" +
           (https ? "; Secure" : "");
}

std::string endedAdminCookie(bool https) {
    return std::string(kAdminCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" + (https ? "; Secure" : "");
}

// A new administrator's session; its anti-forgery token in the reply.
TReply signedInReply(TWebServices& s, const std::string& hash, bool https, int status = 200) {
    const TSession session = s.sessions.create(SessionKind::Administrator, {}, passwordDigest(hash));
    return jsonReply(status, {{"antiForgeryToken", session->antiForgeryToken}})
        .header("Set-Cookie", adminCookie(session->token, https));
}

std::string passwordIn(const json& body) {
    const auto it = body.find("password");
    if (it == body.end() || !it->is_string()) throw TInputError("password", "The field \"password\" is missing.");
    std::string password = it->get<std::string>();
    if (std::string why = adminPasswordRefusal(password); !why.empty()) throw TInputError("password", why);
    return password;
}

}  // namespace

void addAdminSignInRoutes(TRouter& router, TWebServices& s) {
    // What the page shows first: the set-up, the sign-in or the pages.
    router.add("GET", "/api/admin/state", Access::Public, [&s](TRouteContext& c) {
        const std::string token = c.request.cookie(kAdminCookie);
        const bool here = isLoopbackClient(c.request.clientAddress);
        return onMainLoop([&s, token, here]() -> TReply {
            const std::string& hash = s.host.adminPasswordHash();
            json state = {{"passwordSet", !hash.empty()}, {"setUpHere", hash.empty() && here}, {"signedIn", false}};
            const TSession session = s.sessions.use(token);
            if (session && session->kind == SessionKind::Administrator && !hash.empty() &&
                session->passwordDigest == passwordDigest(hash)) {
                state["signedIn"] = true;
                state["antiForgeryToken"] = session->antiForgeryToken;
            }
            return jsonReply(200, state);
        });
    });

    // The first-run set-up: while no password is set, from this computer only.
    router.add("POST", "/api/admin/set-up", Access::Public, [&s](TRouteContext& c) -> TReply {
        if (!isLoopbackClient(c.request.clientAddress)) return errorReply(403, kNotHere);
        std::string password;
        if (auto refused = parsing([&] { password = passwordIn(parseBody(c.request.body)); })) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        const bool https = c.request.https;
        return onMainLoop([&s, password, who, https]() -> TReply {
            if (!s.host.adminPasswordHash().empty()) {
                return errorReply(409, "An administrator's password is set already; please sign in.");
            }
            return onPasswordWorker([&s, password, who, https]() -> TReply {
                const std::string hash = hashAdminPassword(password);
                return onMainLoop([&s, hash, who, https]() -> TReply {
                    const TAdminResult result = s.host.setAdminPasswordHash(who, hash, true);
                    if (result.kind != TAdminResult::Kind::Done) return errorReply(409, result.message());
                    return signedInReply(s, hash, https, 201);
                });
            });
        });
    });

    router.add("POST", "/api/admin/sign-in", Access::Public, [&s](TRouteContext& c) -> TReply {
        std::string password;
        try {
            const json body = parseBody(c.request.body);
            const auto it = body.find("password");
            if (it == body.end() || !it->is_string()) {
                throw TInputError("password", "The field \"password\" is missing.");
            }
            password = it->get<std::string>();
        } catch (const TInputError& e) {
            return errorReply(400, e.what(), e.field());
        }
        const std::string address = c.request.clientAddress;
        if (const auto wait = s.throttle.admit(address, kAdministratorAccount)) {
            return errorReply(429, "Too many failed sign-ins. Please try again in " + std::to_string(wait->count()) +
                                       " seconds.")
                .header("Retry-After", std::to_string(wait->count()));
        }
        const bool https = c.request.https;
        return onMainLoop([&s, password, address, https]() -> TReply {
            const std::string hash = s.host.adminPasswordHash();
            if (hash.empty()) return errorReply(409, "No administrator's password is set yet.");
            return onPasswordWorker([&s, hash, password, address, https]() -> TReply {
                if (!adminPasswordMatches(hash, password)) return errorReply(401, kPasswordRefused);
                s.throttle.succeeded(address, kAdministratorAccount);
                return signedInReply(s, hash, https);
            });
        });
    });

    router.add("POST", "/api/admin/sign-out", Access::Administrator, [&s](TRouteContext& c) {
        s.sessions.end(c.session->token);
        return emptyReply().header("Set-Cookie", endedAdminCookie(c.request.https));
    });

    // A new password: every other administrator's session ends; this one
    // goes on with a new cookie.
    router.add("PUT", "/api/admin/password", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string password;
        if (auto refused = parsing([&] { password = passwordIn(parseBody(c.request.body)); })) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        const bool https = c.request.https;
        return onPasswordWorker([&s, session = c.session, password, who, https]() -> TReply {
            const std::string hash = hashAdminPassword(password);
            return adminStep(s, session, [&s, hash, who, https]() -> TReply {
                const TAdminResult result = s.host.setAdminPasswordHash(who, hash, false);
                if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
                s.sessions.endAll(SessionKind::Administrator);
                return signedInReply(s, hash, https);
            });
        });
    });
}

}  // namespace zv::web
