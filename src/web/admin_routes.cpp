// The administrator's API under /api/admin/: the first-run set-up, the
// sign-in, and what the window's maintenance, viewer and option dialogs do.
// Each handler parses its input here (on the HTTP thread), runs one host
// operation (host/admin_operations.h) as a step on the main loop, and
// renders JSON; a password's hash is made on the password worker. Every
// step of a signed-in administrator first checks that the administrator's
// password is still the one signed in with.
#include <charconv>

#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/admin_operations.h"
#include "host/admin_password.h"
#include "host/option_rules.h"
#include "host/server_host.h"
#include "host/status_log_views.h"
#include "stores/code_page.h"
#include "stores/date_time.h"
#include "stores/stores.h"
#include "web/field_input.h"
#include "web/live_streams.h"
#include "web/loopback.h"
#include "web/password_worker.h"
#include "web/router.h"
#include "web/sign_in_throttle.h"
#include "web/web_services.h"

namespace zv::web {

namespace {

using nlohmann::json;
using TSession = std::shared_ptr<const TWebSession>;

// The throttle's name for the administrator's password (no board key holds
// a "*").
constexpr const char* kAdministratorAccount = "*administrator*";
constexpr const char* kPasswordRefused = "The password is not right.";
constexpr const char* kPasswordChanged = "The administrator's password was changed; please sign in again.";
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

TReply inputRefused(const TInputError& e) { return errorReply(e.field().empty() ? 400 : 422, e.what(), e.field()); }

// A new administrator's session; its anti-forgery token in the reply.
TReply signedInReply(TWebServices& s, const std::string& hash, bool https, int status = 200) {
    const TSession session = s.sessions.create(SessionKind::Administrator, {}, passwordDigest(hash));
    return jsonReply(status, {{"antiForgeryToken", session->antiForgeryToken}})
        .header("Set-Cookie", adminCookie(session->token, https));
}

// `step` on the main loop for a signed-in administrator; refused when the
// password changed since the sign-in (which ends the session).
TReply adminStep(TWebServices& s, TSession session, std::function<TReply()> step) {
    return onMainLoop([&s, session = std::move(session), step = std::move(step)]() -> TReply {
        if (passwordDigest(s.host.settings().WebAdminPassword) != session->passwordDigest) {
            s.sessions.end(session->token);
            return errorReply(401, kPasswordChanged);
        }
        return step();
    });
}

TReply resultReply(const TAdminResult& result, int doneStatus = 200, json done = json::object()) {
    switch (result.kind) {
        case TAdminResult::Kind::Done:
            if (!result.message.empty()) done["message"] = shownText(result.message);
            return jsonReply(doneStatus, done);
        case TAdminResult::Kind::Refused:
            return errorReply(422, shownText(result.message), result.field);
        case TAdminResult::Kind::Gone:
            break;
    }
    return errorReply(404, shownText(result.message));
}

// Runs `parse` (which reads the request's input); its refusal as a reply,
// or nothing when the input is good.
template <class Parse>
std::optional<TReply> parsing(Parse&& parse) {
    try {
        parse();
        return std::nullopt;
    } catch (const TInputError& e) {
        return inputRefused(e);
    }
}

std::string passwordIn(const json& body) {
    const auto it = body.find("password");
    if (it == body.end() || !it->is_string()) throw TInputError("password", "The field \"password\" is missing.");
    std::string password = it->get<std::string>();
    if (std::string why = adminPasswordRefusal(password); !why.empty()) throw TInputError("password", why);
    return password;
}

// --- signing in --------------------------------------------------------------------

void addSignIn(TRouter& router, TWebServices& s) {
    // What the page shows first: the set-up, the sign-in or the pages.
    router.add("GET", "/api/admin/state", Access::Public, [&s](TRouteContext& c) {
        const std::string token = c.request.cookie(kAdminCookie);
        const bool here = isLoopbackClient(c.request.clientAddress);
        return onMainLoop([&s, token, here]() -> TReply {
            const std::string& hash = s.host.settings().WebAdminPassword;
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
            if (!s.host.settings().WebAdminPassword.empty()) {
                return errorReply(409, "An administrator's password is set already; please sign in.");
            }
            return onPasswordWorker([&s, password, who, https]() -> TReply {
                const std::string hash = hashAdminPassword(password);
                return onMainLoop([&s, hash, who, https]() -> TReply {
                    const TAdminResult result = setAdminPasswordHash(s.host, who, hash, true);
                    if (result.kind != TAdminResult::Kind::Done) return errorReply(409, result.message);
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
            const std::string hash = s.host.settings().WebAdminPassword;
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
                const TAdminResult result = setAdminPasswordHash(s.host, who, hash, false);
                if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
                s.sessions.endAll(SessionKind::Administrator);
                return signedInReply(s, hash, https);
            });
        });
    });
}

// --- the user table ----------------------------------------------------------------

void addUsers(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/users", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            const TUserTable& table = s.host.userTable();
            json rows = json::array();
            const int accounts = s.host.employeeCount();
            for (int r = 1; r <= accounts; ++r) {
                rows.push_back({{"employee", shownText(table.cell(r, 0))},
                                {"activity", shownText(table.cell(r, 1))},
                                {"lastActivity", shownText(table.cell(r, 2))}});
            }
            return jsonReply(200, {{"users", table.usersPanelText()}, {"rows", rows}});
        });
    });

    router.add("GET", "/api/admin/events", Access::Administrator, [](TRouteContext& c) {
        TReply reply;
        reply.liveStream = true;
        reply.streamSession = c.session->token;
        reply.streamChannels = kBoardChannel | kUsersChannel;
        return reply;
    });
}

// --- departments and accounts ------------------------------------------------------

constexpr TTextField kDepartmentName{"name", "New Department", slotWidth<TWIWONode>("Department")};
constexpr TTextField kEmployeeKey{"employee", "Employee", slotWidth<TWIWONode>("Employee")};

TTextField accountField(const TAccountFieldInfo& info) {
    return TTextField{info.json, info.label, slotWidth<TWIWONode>(info.recordField)};
}

json accountJson(const TWIWONode& account) {
    json out = {{"employee", shownText(account.Employee)}};
    for (const TAccountFieldInfo& info : kAccountFields) {
        if (info.member == &TWIWONode::Password) continue;  // never sent
        out[std::string(info.json)] = shownText(account.*info.member);
    }
    out["statusChanged"] = shownText(account.StatusChanged);
    out["lastContact"] = shownText(account.LastContact);
    return out;
}

void addAccounts(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/accounts", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            json departments = json::array();
            for (int i = 0; i < s.host.departmentCount(); ++i) {
                departments.push_back(shownText(s.host.departmentAt(i).Name));
            }
            json accounts = json::array();
            for (int i = 0; i < s.host.employeeCount(); ++i) accounts.push_back(accountJson(s.host.employeeAt(i)));
            return jsonReply(200, {{"departments", departments},
                                   {"accounts", accounts},
                                   {"defaultPassword", kDefaultPassword}});
        });
    });

    router.add("POST", "/api/admin/departments", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = recordText(parseBody(c.request.body), kDepartmentName); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, name, who] { return resultReply(createDepartment(s.host, who, name), 201); });
    });

    router.add("DELETE", "/api/admin/departments", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = recordText(parseBody(c.request.body), kDepartmentName, Need::Present); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, name, who] { return resultReply(removeDepartment(s.host, who, name)); });
    });

    router.add("POST", "/api/admin/accounts", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TNewAccount account;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                account.lastName = recordText(body, accountField(kAccountFields[kLastNameField]));
                account.firstName = recordText(body, accountField(kAccountFields[kFirstNameField]));
                account.password = recordText(body, accountField(kAccountFields[kPasswordField]));
                std::string department = recordText(body, accountField(kAccountFields[kDepartmentField]));
                if (!department.empty()) account.department = std::move(department);
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, account, who] {
            const TAdminResult result = createAccount(s.host, who, account);
            return resultReply(result, 201, {{"employee", shownText(result.record)}});
        });
    });

    // Only the fields given change; the others keep what the account holds
    // when the change is applied.
    router.add("PUT", "/api/admin/accounts", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string key;
        TAccountEdit edit;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                key = recordText(body, kEmployeeKey, Need::NotEmpty);
                for (std::size_t i = 0; i < kAccountFields.size(); ++i) {
                    if (body.contains(std::string(kAccountFields[i].json))) edit[i] = recordText(body, accountField(kAccountFields[i]));
                }
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, key, edit, who]() -> TReply {
            const TAdminResult result = modifyAccount(s.host, who, key, edit);
            return resultReply(result, 200, {{"employee", shownText(result.record)}});
        });
    });

    router.add("DELETE", "/api/admin/accounts", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string key;
        if (auto refused = parsing([&] { key = recordText(parseBody(c.request.body), kEmployeeKey, Need::NotEmpty); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, key, who] { return resultReply(removeAccount(s.host, who, key)); });
    });
}

// --- the phonebook ----------------------------------------------------------------

void addPhonebook(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/phonebook", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            json entries = json::array();
            for (int i = 0; i < s.host.phoneCount(); ++i) {
                const TPHONENode& entry = s.host.phoneAt(i);
                entries.push_back({{"id", std::to_string(entry.serial)},
                                   {"caller", shownText(entry.Caller)},
                                   {"company", shownText(entry.Company)},
                                   {"phone", shownText(entry.PhoneNumber)}});
            }
            return jsonReply(200, {{"entries", entries}});
        });
    });

    router.add("DELETE", "/api/admin/phonebook/{id}", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const std::string& text = c.params.find("id")->second;
        std::uint64_t serial = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), serial);
        const std::string who = browserAdministrator(c.request.clientAddress);
        if (error != std::errc() || end != text.data() + text.size()) {
            return errorReply(404, "This phonebook entry is no longer there.");
        }
        return adminStep(s, c.session, [&s, serial, who] { return resultReply(removePhoneEntry(s.host, who, serial)); });
    });

    router.add("DELETE", "/api/admin/phonebook", Access::Administrator, [&s](TRouteContext& c) {
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, who] { return resultReply(clearPhonebook(s.host, who)); });
    });
}

// --- the status change log ---------------------------------------------------------

// The filter of the query: "employee" and "department" (UTF-8; an empty one
// matches the entries without). A value the code page cannot hold matches no
// entry.
struct TQueryFilter {
    TLogFilter filter;
    bool matchesNothing = false;
};

TQueryFilter logFilterOf(const TRequest& request) {
    TQueryFilter query;
    const auto take = [&](const char* name, std::optional<std::string>& into) {
        const auto value = request.queryValue(name);
        if (!value) return;
        into = codepage::fromUtf8(*value);
        if (!into) query.matchesNothing = true;
    };
    take("employee", query.filter.employee);
    take("department", query.filter.department);
    return query;
}

std::vector<const TLOGNode*> logRows(TWebServices& s, const TQueryFilter& query) {
    if (query.matchesNothing) return {};
    return filteredLog(s.host.statusLog(), query.filter);
}

void addLog(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/log", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s, query = logFilterOf(c.request)]() -> TReply {
            json employees = json::array();
            for (int i = 0; i < s.host.employeeCount(); ++i) employees.push_back(shownText(s.host.employeeAt(i).Employee));
            json departments = json::array();
            for (int i = 0; i < s.host.departmentCount(); ++i) {
                departments.push_back(shownText(s.host.departmentAt(i).Name));
            }
            json rows = json::array();
            for (const TLOGNode* entry : logRows(s, query)) {
                const auto cells = logCells(*entry);
                rows.push_back({{"employee", shownText(cells[0])}, {"department", shownText(cells[1])},
                                {"date", shownText(cells[2])},     {"time", shownText(cells[3])},
                                {"status", shownText(cells[4])},   {"returning", shownText(cells[5])},
                                {"reachedAt", shownText(cells[6])}, {"comments", shownText(cells[7])}});
            }
            return jsonReply(200, {{"employees", employees},
                                   {"departments", departments},
                                   {"rows", rows},
                                   {"total", s.host.logCount()}});
        });
    });

    router.add("GET", "/api/admin/log.csv", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s, query = logFilterOf(c.request)]() -> TReply {
            TReply reply;
            reply.contentType = "text/csv; charset=utf-8; header=present";
            reply.body = statusLogCsv(logRows(s, query));
            reply.header("Content-Disposition", "attachment; filename=\"status-change-log.csv\"");
            return reply;
        });
    });

    // The printout as the window prints it: the title, the moment, a line
    // per row up to the first without an employee.
    router.add("GET", "/api/admin/log/print", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s, query = logFilterOf(c.request)]() -> TReply {
            const std::vector<const TLOGNode*> rows = logRows(s, query);
            json lines = json::array();
            const std::size_t printed = printedRowCount(rows);
            for (std::size_t i = 0; i < printed; ++i) lines.push_back(shownText(statusLogPrintLine(logCells(*rows[i]))));
            return jsonReply(200, {{"title", std::string(kStatusLogTitle)},
                                   {"printedOn", shownText(printedOnText(datetime::now()))},
                                   {"lines", lines}});
        });
    });
}

// --- options -----------------------------------------------------------------------

// The texts of the option settings, each as the settings file holds it.
constexpr TTextField kSmtpHost{"smtpHost", "SMTP Host", 256};
constexpr TTextField kPort{"port", "Port", 256};
constexpr TTextField kBlockSize{"blockSize", "Block Size", 256};
constexpr TTextField kExpDays{"expDays", "Expiration Days", 256};
constexpr TTextField kMaxLogSize{"maxLogSize", "Maximum Status Log Size", 256};
constexpr TTextField kAutoOutAt{"autoOutAt", "Punch Everyone Out At", 256};

void addOptions(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/options", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            const TSettings& settings = s.host.settings();
            json blockSizes = json::array();
            for (const std::string_view size : kBlockSizeChoices) blockSizes.push_back(std::string(size));
            return jsonReply(200, {{"smtpHost", shownText(settings.SMTPHost)},
                                   {"port", shownText(settings.Port)},
                                   {"blockSize", shownText(settings.BlockSize)},
                                   {"blockSizeInUse", settings.blockSizeInUse},
                                   {"blockSizes", blockSizes},
                                   {"expDays", shownText(settings.ExpDays)},
                                   {"maxLogSize", shownText(settings.MaxLogSize)},
                                   {"logSizeLimit", s.host.statusLog().maxSize()},
                                   {"maxLogSizeRange", {kMaxLogSizeLowest, kMaxLogSizeHighest}},
                                   {"autoOutAt", shownText(settings.AutoOutAt)},
                                   {"autoOutDone", settings.AutoOutDone},
                                   {"listeningPort", s.host.listeningPort()}});
        });
    });

    router.add("PUT", "/api/admin/options", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TOptionChanges changes;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                const auto take = [&body](const TTextField& field, std::optional<std::string>& into) {
                    if (body.contains(std::string(field.json))) into = recordText(body, field);
                };
                take(kSmtpHost, changes.smtpHost);
                take(kPort, changes.port);
                take(kBlockSize, changes.blockSize);
                take(kExpDays, changes.expDays);
                take(kMaxLogSize, changes.maxLogSize);
                take(kAutoOutAt, changes.autoOutAt);
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, changes, who] { return resultReply(changeOptions(s.host, who, changes)); });
    });
}

}  // namespace

void addAdminRoutes(TRouter& router, TWebServices& services) {
    addSignIn(router, services);
    addUsers(router, services);
    addAccounts(router, services);
    addPhonebook(router, services);
    addLog(router, services);
    addOptions(router, services);
}

}  // namespace zv::web
