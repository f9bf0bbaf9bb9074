// The employees' API: sign-in and sign-out, the signed-in employee's own
// entry, the board and its live stream, punching, the status and taking a
// message. Each handler parses its input here (on the HTTP thread), runs one
// host operation on the main loop, and renders JSON.
#include <nlohmann/json.hpp>

#include "host/maintenance_api.h"
#include "stores/code_page.h"
#include "web/board_feed.h"
#include "web/directory_sign_in.h"
#include "web/employee_route_support.h"
#include "web/field_input.h"
#include "web/gzip_body.h"
#include "web/json_views.h"
#include "web/router.h"
#include "web/sign_in_names.h"
#include "web/sign_in_throttle.h"
#include "web/web_services.h"

namespace zv::web {

namespace {

using nlohmann::json;

// One answer for an unknown employee and a wrong password.
constexpr const char* kSignInRefused = "The name or the password is not right.";
constexpr const char* kNoBoardAccount =
    "The directory knows you, but you have no account on the board yet. Please ask the administrator.";

TReply inputRefused(const TInputError& e) {
    return errorReply(e.field().empty() ? 400 : 422, e.what(), e.field());
}

// The message form, with the widths of the message's slots.
constexpr TTextField kRecipient{"recipient", "For", slotWidth<TWYWONode>("Recipient")};
constexpr TTextField kCaller{"caller", "Caller", slotWidth<TWYWONode>("Caller")};
constexpr TTextField kCompany{"company", "Company", slotWidth<TWYWONode>("Company")};
constexpr TTextField kPhone{"phone", "Phone", slotWidth<TWYWONode>("Phone")};
constexpr TTextField kRegarding{"regarding", "Regarding", slotWidth<TWYWONode>("Regarding")};
constexpr TTextField kMessageComments{"comments", "Comments", slotWidth<TWYWONode>("Comments")};

// The reply with the employee's own entry (after any change), and how long
// the texts of the status and message forms may be.
TReply employeeReply(const TWIWONode& employee, const TWebSession& session, int status = 200) {
    json me = employeeJson(employee);
    me["antiForgeryToken"] = session.antiForgeryToken;
    me["inputWidths"] = {{"status", statusInputWidths()},
                         {"message", inputWidths({kCaller, kCompany, kPhone, kRegarding, kMessageComments})}};
    return jsonReply(status, me);
}

// A new session of the employee, with its cookie.
// `frontDesk`: the directory's front-desk group holds the person.
TReply signedInReply(TWebServices& s, const TWIWONode& employee, bool https, bool frontDesk = false) {
    const auto session = s.sessions.create(SessionKind::Employee, employee.Employee,
                                           passwordDigest(employee.Password), frontDesk);
    return employeeReply(employee, *session)
        .header("Set-Cookie", sessionCookie(SessionKind::Employee, session->token, https));
}

// The sign-in with the board's key and password, on the main loop; nothing
// when they match no account. Texts the code page cannot hold match none.
// `counted`: the name as the throttle counts it, whatever its spelling.
std::optional<TReply> boardSignIn(TWebServices& s, const std::string& name, const std::string& password,
                                  const std::string& address, const std::string& counted, bool https) {
    const auto key = codepage::fromUtf8(name);
    const auto secret = codepage::fromUtf8(password);
    // The exact key first: the whole list only for another spelling.
    const std::optional<std::string> named =
        !key ? std::nullopt : s.host.account(*key) ? key : accountNamed(*key, s.host.accounts());
    const std::optional<std::string> signedIn =
        named && secret ? s.host.employeeSignIn(*named, *secret) : std::nullopt;
    const std::optional<TWIWONode> employee = signedIn ? s.host.account(*signedIn) : std::nullopt;
    if (!employee) return std::nullopt;
    s.throttle.succeeded(address, SessionKind::Employee, counted);
    return signedInReply(s, *employee, https);
}

void addSignIn(TRouter& router, TWebServices& s) {
    router.add("POST", "/api/sign-in", Access::Public, [&s](TRouteContext& c) -> TReply {
        std::string name, password;
        try {
            const json body = parseBody(c.request.body);
            const auto text = [&body](const char* key) {
                const auto it = body.find(key);
                if (it == body.end() || !it->is_string()) {
                    throw TInputError(key, std::string("The field \"") + key + "\" is missing.");
                }
                return it->get<std::string>();
            };
            name = text("employee");
            password = text("password");
        } catch (const TInputError& e) {
            return errorReply(400, e.what(), e.field());
        }
        const std::string address = c.request.clientAddress;
        const std::string counted = throttledName(name);
        if (const auto wait = s.throttle.admit(address, SessionKind::Employee, counted)) {
            return slowedDownReply(*wait);
        }
        const bool https = c.request.https;
        return onMainLoop([&s, name, password, address, counted, https]() -> TReply {
            if (!signInAsksDirectory(s)) {
                if (auto in = boardSignIn(s, name, password, address, counted, https)) return *in;
                return errorReply(401, kSignInRefused);
            }
            return afterDirectoryCheck(
                s, name, password,
                [&s, name, password, address, counted, https](const TDirectoryCheck& check) -> TReply {
                    using Outcome = TDirectorySignIn::Outcome;
                    if (check.answer.outcome == Outcome::Accepted) {
                        // The password is right, whatever the board makes of it.
                        s.throttle.succeeded(address, SessionKind::Employee, counted);
                        const std::optional<TWIWONode> employee =
                            check.employee.empty() ? std::nullopt : s.host.account(check.employee);
                        if (!employee) return errorReply(403, kNoBoardAccount);
                        return signedInReply(s, *employee, https, check.answer.person.frontDesk);
                    }
                    // The board's own password, as the Windows client takes it.
                    if (auto in = boardSignIn(s, name, password, address, counted, https)) return *in;
                    if (check.answer.outcome == Outcome::Unavailable) {
                        s.throttle.notChecked(address, SessionKind::Employee, counted);
                        return errorReply(503, kDirectoryUnavailable);
                    }
                    return errorReply(401, kSignInRefused);
                });
        });
    });

    router.add("POST", "/api/sign-out", Access::Employee, [&s](TRouteContext& c) {
        s.sessions.end(c.session->id);
        return emptyReply().header("Set-Cookie", endedSessionCookie(SessionKind::Employee, c.request.https));
    });
}

void addMe(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/me", Access::Employee, [&s](TRouteContext& c) {
        return onMainLoop([&s, session = c.session]() -> TReply {
            const std::optional<TWIWONode> employee = signedInEmployee(s, *session);
            if (!employee) return errorReply(401, kAccountChanged);
            return employeeReply(*employee, *session);
        });
    });

    router.add("PUT", "/api/my-status", Access::Employee, [&s](TRouteContext& c) -> TReply {
        TStatusEdit edit;
        try {
            edit = readStatusEdit(parseBody(c.request.body));
        } catch (const TInputError& e) {
            return inputRefused(e);
        }
        return onMainLoop([&s, session = c.session, edit]() -> TReply {
            if (!signedInEmployee(s, *session) || !s.host.editStatus(session->employeeKey, edit)) {
                return errorReply(401, kAccountChanged);
            }
            const std::optional<TWIWONode> employee = s.host.account(session->employeeKey);
            if (!employee) return errorReply(401, kAccountChanged);
            return employeeReply(*employee, *session);
        });
    });

    router.add("POST", "/api/punch", Access::Employee, [&s](TRouteContext& c) -> TReply {
        bool in;
        try {
            const json body = parseBody(c.request.body);
            const auto it = body.find("action");
            if (it == body.end() || !it->is_string() || (*it != "in" && *it != "out")) {
                throw TInputError("action", "The field \"action\" must be \"in\" or \"out\".");
            }
            in = *it == "in";
        } catch (const TInputError& e) {
            return inputRefused(e);
        }
        return onMainLoop([&s, session = c.session, in]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            const std::string& key = session->employeeKey;
            const PunchOutcome outcome = in ? s.host.punchIn(key) : s.host.punchOut(key);
            const std::optional<TWIWONode> employee = s.host.account(key);
            if (outcome == PunchOutcome::NoSuchEmployee || !employee) return errorReply(401, kAccountChanged);
            if (outcome == PunchOutcome::NotIn) {
                return errorReply(409, "You can punch out only when your status is \"In\"; it is \"" +
                                           shownText(employee->Status) + "\". Nothing was changed.");
            }
            return employeeReply(*employee, *session);
        });
    });
}

void addBoard(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/board", Access::Employee, [&s](TRouteContext& c) -> TReply {
        const auto snapshot = s.board.current();
        if (!snapshot) return errorReply(503, "The board is not ready yet; please try again.");
        if (c.request.header("If-None-Match") == snapshot->etag) {
            return notModified(snapshot->etag).header("Cache-Control", "private, no-cache");
        }
        TReply reply;
        reply.contentType = "application/json";
        reply.sharedBody = snapshot->json;
        if (acceptsGzip(c.request.header("Accept-Encoding"))) reply.sharedGzipBody = snapshot->gzipJson();
        reply.header("ETag", snapshot->etag);
        reply.header("Cache-Control", "private, no-cache");
        return reply;
    });

    router.addStreamed("/api/events", Access::Employee, [](TRouteContext& c) {
        TReply reply;
        reply.liveStream = true;
        reply.streamSession = c.session->id;
        reply.streamEmployee = c.session->employeeKey;
        return reply;
    });
}

void addMessages(TRouter& router, TWebServices& s) {
    router.add("POST", "/api/messages", Access::Employee, [&s](TRouteContext& c) -> TReply {
        TWYWONode message;
        try {
            const json body = parseBody(c.request.body);
            message.Recipient = recordText(body, kRecipient, Need::NotEmpty);
            message.Caller = recordText(body, kCaller);
            message.Company = recordText(body, kCompany);
            message.Phone = recordText(body, kPhone);
            message.Regarding = recordText(body, kRegarding);
            message.Called = checkMark(body, "called", "Called");
            message.ReturnedCall = checkMark(body, "returnedCall", "Returned your call");
            message.WasHere = checkMark(body, "wasHere", "Was here to see you");
            message.WantsToSee = checkMark(body, "wantsToSee", "Wants to see you");
            message.Urgent = checkMark(body, "urgent", "Urgent");
            message.Comments = recordText(body, kMessageComments);
        } catch (const TInputError& e) {
            return inputRefused(e);
        }
        return onMainLoop([&s, session = c.session, message]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            const std::string recipient = message.Recipient;
            if (s.host.takeMessage(message, session->employeeKey) == MessageOutcome::NoSuchRecipient) {
                return errorReply(422, "There is no \"" + shownText(recipient) + "\" on the board.",
                                  std::string(kRecipient.json));
            }
            s.board.inboxMayHaveChanged();
            return jsonReply(201, {{"recipient", shownText(recipient)}});
        });
    });
}

}  // namespace

void addEmployeeRoutes(TRouter& router, TWebServices& services) {
    addSignIn(router, services);
    addMe(router, services);
    addBoard(router, services);
    addMessages(router, services);
}

}  // namespace zv::web
