// The administrator's sign-in under /api/admin/: what the page shows first,
// the first-run set-up, the sign-in and sign-out, and a new password. A
// password's hash is made, and checked, on the password worker; the sign-in
// is throttled as the employees' is.
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/admin_password.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/directory_sign_in.h"
#include "web/loopback.h"
#include "web/password_worker.h"
#include "web/router.h"
#include "web/sign_in_throttle.h"

namespace zv::web {

namespace {

using nlohmann::json;

// The throttle counts the administrator's password as the one account of
// its kind.
const std::string kAdministratorAccount;
constexpr const char* kPasswordRefused = "The password is not right.";
constexpr const char* kNotHere =
    "The administrator's password can be set up only in a browser on the server's own computer (at localhost), "
    "with \"zelvorad --set-admin-password\", or in the window's Options, Web Access.";

// A new administrator's session; its anti-forgery token in the reply.
TReply signedInReply(TWebServices& s, const std::string& hash, bool https, int status = 200) {
    const TSession session = s.sessions.create(SessionKind::Administrator, {}, passwordDigest(hash));
    return jsonReply(status, {{"antiForgeryToken", session->antiForgeryToken}})
        .header("Set-Cookie", sessionCookie(SessionKind::Administrator, session->token, https));
}

// The sign-in with the administrator's password, whose hash is checked on
// the password worker. `directoryUnavailable`: the directory could not check
// the password first, so a mismatch is not counted against the account.
TReply adminPasswordSignIn(TWebServices& s, const std::string& password, const std::string& address,
                           bool https, bool directoryUnavailable) {
    const std::string hash = s.host.adminPasswordHash();
    return onPasswordWorker([&s, hash, password, address, https, directoryUnavailable]() -> TReply {
        if (!adminPasswordMatches(hash, password)) {
            if (!directoryUnavailable) return errorReply(401, kPasswordRefused);
            s.throttle.notChecked(address, SessionKind::Administrator, kAdministratorAccount);
            return errorReply(503, kDirectoryUnavailable);
        }
        s.throttle.succeeded(address, SessionKind::Administrator, kAdministratorAccount);
        return signedInReply(s, hash, https);
    });
}

std::string textIn(const json& body, const char* field) {
    const auto it = body.find(field);
    if (it == body.end() || !it->is_string()) {
        throw TInputError(field, std::string("The field \"") + field + "\" is missing.");
    }
    return it->get<std::string>();
}

// A new password, refused when it breaks the rules.
std::string passwordIn(const json& body) {
    std::string password = textIn(body, "password");
    if (std::string why = adminPasswordRefusal(password); !why.empty()) throw TInputError("password", why);
    return password;
}

// A change of the password: the current one, then the new one.
void addPasswordChange(TRouter& router, TWebServices& s) {
    router.add("PUT", "/api/admin/password", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string current, password;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                current = textIn(body, "currentPassword");
                password = passwordIn(body);
            })) {
            return *refused;
        }
        const std::string address = c.request.clientAddress;
        // The current password is guessed at no faster than at the sign-in.
        if (const auto wait = s.throttle.admit(address, SessionKind::Administrator, kAdministratorAccount)) {
            return slowedDownReply(*wait);
        }
        const std::string who = browserAdministrator(address);
        const bool https = c.request.https;
        const TSession session = c.session;
        return adminStep(s, session, [&s, session, current, password, address, who, https]() -> TReply {
            const std::string hash = s.host.adminPasswordHash();
            return onPasswordWorker([&s, session, hash, current, password, address, who, https]() -> TReply {
                if (!adminPasswordMatches(hash, current)) {
                    return errorReply(422, "The current password is not right.", "currentPassword");
                }
                s.throttle.succeeded(address, SessionKind::Administrator, kAdministratorAccount);
                const std::string newHash = hashAdminPassword(password);
                // Every other administrator's session ends; this one goes on
                // with a new cookie.
                return adminStep(s, session, [&s, newHash, who, https]() -> TReply {
                    const TAdminResult result = s.host.setAdminPasswordHash(who, newHash, false);
                    if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
                    s.sessions.endAll(SessionKind::Administrator);
                    return signedInReply(s, newHash, https);
                });
            });
        });
    });
}

}  // namespace

void addAdminSignInRoutes(TRouter& router, TWebServices& s) {
    // What the page shows first: the set-up, the sign-in or the pages.
    router.add("GET", "/api/admin/state", Access::Public, [&s](TRouteContext& c) {
        const std::string token =
            c.request.cookie(sessionCookieName(SessionKind::Administrator, c.request.https));
        const bool here = isFromThisComputer(c.request);
        return onMainLoop([&s, token, here]() -> TReply {
            const std::string& hash = s.host.adminPasswordHash();
            json state = {
                {"passwordSet", !hash.empty()}, {"setUpHere", hash.empty() && here}, {"signedIn", false}};
            // Told only when set: the page then asks for the directory's name.
            if (signInAsksDirectory(s)) state["directory"] = true;
            // A directory's administrator may be signed in while no
            // administrator's password is set.
            const TSession session = s.sessions.use(token);
            if (session && session->kind == SessionKind::Administrator &&
                session->passwordDigest == passwordDigest(hash)) {
                state["signedIn"] = true;
                state["antiForgeryToken"] = session->antiForgeryToken;
            }
            return jsonReply(200, state);
        });
    });

    // The first-run set-up: while no password is set, from this computer
    // only, by its own name.
    router.add("POST", "/api/admin/set-up", Access::Public, [&s](TRouteContext& c) -> TReply {
        if (!isFromThisComputer(c.request)) return errorReply(403, kNotHere);
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
        std::string name, password;
        try {
            const json body = parseBody(c.request.body);
            password = textIn(body, "password");
            if (body.contains("name")) name = textIn(body, "name");
        } catch (const TInputError& e) {
            return errorReply(400, e.what(), e.field());
        }
        const std::string address = c.request.clientAddress;
        if (const auto wait = s.throttle.admit(address, SessionKind::Administrator, kAdministratorAccount)) {
            return slowedDownReply(*wait);
        }
        const bool https = c.request.https;
        return onMainLoop([&s, name, password, address, https]() -> TReply {
            if (name.empty() || !signInAsksDirectory(s)) {
                if (s.host.adminPasswordHash().empty())
                    return errorReply(409, "No administrator's password is set yet.");
                return adminPasswordSignIn(s, password, address, https, false);
            }
            return afterDirectoryCheck(
                s, name, password,
                [&s, name, password, address, https](const TDirectoryCheck& check) -> TReply {
                    using Outcome = TDirectorySignIn::Outcome;
                    if (check.answer.outcome == Outcome::Accepted) {
                        // The password is right: no guess, whatever the groups say.
                        s.throttle.succeeded(address, SessionKind::Administrator, kAdministratorAccount);
                        if (!check.answer.person.administrator) {
                            return errorReply(
                                403, "\"" + name + "\" is not one of the directory's administrators.");
                        }
                        return signedInReply(s, s.host.adminPasswordHash(), https);
                    }
                    // The administrator's own password.
                    const bool unavailable = check.answer.outcome == Outcome::Unavailable;
                    if (!s.host.adminPasswordHash().empty())
                        return adminPasswordSignIn(s, password, address, https, unavailable);
                    if (!unavailable) return errorReply(401, kPasswordRefused);
                    s.throttle.notChecked(address, SessionKind::Administrator, kAdministratorAccount);
                    return errorReply(503, kDirectoryUnavailable);
                });
        });
    });

    router.add("POST", "/api/admin/sign-out", Access::Administrator, [&s](TRouteContext& c) {
        s.sessions.end(c.session->id);
        return emptyReply().header("Set-Cookie",
                                   endedSessionCookie(SessionKind::Administrator, c.request.https));
    });

    addPasswordChange(router, s);
}

}  // namespace zv::web
