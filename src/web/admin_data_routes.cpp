// The administrator's API under /api/admin/ beside the sign-in: what the
// window's maintenance, viewer and option dialogs do. Each handler parses its
// input here (on the HTTP thread), runs one operation or query of the host's
// maintenance API as a step on the main loop, and renders JSON. Every step
// first checks that the administrator's password is still the one signed in
// with.
#include <charconv>

#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/option_rules.h"
#include "host/user_table.h"
#include "stores/code_page.h"
#include "stores/date_time.h"
#include "web/admin_route_support.h"
#include "web/live_streams.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

// --- the user table ----------------------------------------------------------------

void addUsers(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/users", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            const TUserTable& table = s.host.userTable();
            json rows = json::array();
            const int accounts = s.host.accountCount();
            for (int r = 1; r <= accounts; ++r) {
                rows.push_back({{"employee", shownText(table.cell(r, 0))},
                                {"activity", shownText(table.cell(r, 1))},
                                {"lastActivity", shownText(table.cell(r, 2))}});
            }
            return jsonReply(200, {{"users", table.usersPanelText()}, {"rows", rows}});
        });
    });

    router.addStreamed("/api/admin/events", Access::Administrator, [](TRouteContext& c) {
        TReply reply;
        reply.liveStream = true;
        reply.streamSession = c.session->id;
        reply.streamChannels = kBoardChannel | kUsersChannel;
        return reply;
    });
}

// --- departments and accounts ------------------------------------------------------

constexpr TTextField kDepartmentName{"name", "New Department", slotWidth<TWIWONode>("Department")};
constexpr TTextField kEmployeeKey{"employee", "Employee", slotWidth<TWIWONode>("Employee")};

TTextField accountField(const TAccountFieldInfo& info) {
    return TTextField{info.json, info.label, accountFieldWidth(info)};
}

// How long the texts of the department and account forms may be.
json accountInputWidths() {
    json widths = inputWidths({kDepartmentName});
    for (const TAccountFieldInfo& info : kAccountFields) widths.update(inputWidths({accountField(info)}));
    return widths;
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
            for (const std::string& name : s.host.departmentNames()) departments.push_back(shownText(name));
            json accounts = json::array();
            for (const TWIWONode& account : s.host.accounts()) accounts.push_back(accountJson(account));
            return jsonReply(200, {{"departments", departments},
                                   {"accounts", accounts},
                                   {"defaultPassword", kDefaultPassword},
                                   {"inputWidths", accountInputWidths()}});
        });
    });

    router.add("POST", "/api/admin/departments", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = recordText(parseBody(c.request.body), kDepartmentName); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, name, who] { return resultReply(s.host.createDepartment(who, name), 201); });
    });

    router.add("DELETE", "/api/admin/departments", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = recordText(parseBody(c.request.body), kDepartmentName, Need::Present); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, name, who] { return resultReply(s.host.removeDepartment(who, name)); });
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
            const TAdminResult result = s.host.createAccount(who, account);
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
            const TAdminResult result = s.host.modifyAccount(who, key, edit);
            return resultReply(result, 200, {{"employee", shownText(result.record)}});
        });
    });

    router.add("DELETE", "/api/admin/accounts", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string key;
        if (auto refused = parsing([&] { key = recordText(parseBody(c.request.body), kEmployeeKey, Need::NotEmpty); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, key, who] { return resultReply(s.host.removeAccount(who, key)); });
    });
}

// --- the phonebook ----------------------------------------------------------------

constexpr TTextField kCaller{"caller", "Caller", slotWidth<TPHONENode>("Caller")};
constexpr TTextField kCompany{"company", "Company", slotWidth<TPHONENode>("Company")};
constexpr TTextField kPhoneNumber{"phone", "Phone Number", slotWidth<TPHONENode>("PhoneNumber")};

// The entry's texts of the request body; the caller is needed.
TPHONENode phoneEntryOf(const json& body) {
    TPHONENode entry;
    entry.Caller = recordText(body, kCaller, Need::NotEmpty);
    entry.Company = recordText(body, kCompany);
    entry.PhoneNumber = recordText(body, kPhoneNumber);
    return entry;
}

// The serial of "/api/admin/phonebook/{id}"; nothing when it is not one.
std::optional<std::uint64_t> phoneSerialOf(const TRouteContext& c) {
    const std::string& text = c.params.find("id")->second;
    std::uint64_t serial = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), serial);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return serial;
}

void addPhonebook(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/phonebook", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply {
            json entries = json::array();
            for (const TPHONENode& entry : s.host.phonebook()) {
                entries.push_back({{"id", std::to_string(entry.serial)},
                                   {"caller", shownText(entry.Caller)},
                                   {"company", shownText(entry.Company)},
                                   {"phone", shownText(entry.PhoneNumber)}});
            }
            return jsonReply(
                200, {{"entries", entries}, {"inputWidths", inputWidths({kCaller, kCompany, kPhoneNumber})}});
        });
    });

    router.add("POST", "/api/admin/phonebook", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TPHONENode entry;
        if (auto refused = parsing([&] { entry = phoneEntryOf(parseBody(c.request.body)); })) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, entry, who] {
            const TAdminResult result = s.host.addPhoneEntry(who, entry);
            return resultReply(result, 201, {{"id", result.record}});
        });
    });

    router.add("PUT", "/api/admin/phonebook/{id}", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const auto serial = phoneSerialOf(c);
        if (!serial) return errorReply(404, "This phonebook entry is no longer there.");
        TPHONENode entry;
        if (auto refused = parsing([&] { entry = phoneEntryOf(parseBody(c.request.body)); })) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, serial = *serial, entry, who] {
            const TAdminResult result = s.host.changePhoneEntry(who, serial, entry);
            return resultReply(result, 200, {{"id", result.record}});
        });
    });

    router.add("DELETE", "/api/admin/phonebook/{id}", Access::Administrator,
               [&s](TRouteContext& c) -> TReply {
                   const auto serial = phoneSerialOf(c);
                   if (!serial) return errorReply(404, "This phonebook entry is no longer there.");
                   const std::string who = browserAdministrator(c.request.clientAddress);
                   return adminStep(s, c.session, [&s, serial = *serial, who] {
                       return resultReply(s.host.removePhoneEntry(who, serial));
                   });
               });

    router.add("DELETE", "/api/admin/phonebook", Access::Administrator, [&s](TRouteContext& c) {
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, who] { return resultReply(s.host.clearPhonebook(who)); });
    });
}

// --- the status change log ---------------------------------------------------------

// The filter of the query: "employee" and "department" (UTF-8; an empty one
// matches the entries without), "from" and "to" (days such as 2024-05-31,
// both included; empty: open). A value the code page cannot hold matches no
// entry; a day that does not read is refused.
struct TQueryFilter {
    TLogFilter filter;
    bool matchesNothing = false;
    std::optional<TReply> refused;
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
    const auto day = [&](const char* name, const char* label, std::optional<std::time_t>& into) {
        const auto value = request.queryValue(name);
        if (!value || value->empty() || query.refused) return;
        const auto read = datetime::readDateTime(*value);
        if (read && !read->timeGiven)
            into = read->at;
        else
            query.refused = errorReply(400, std::string(label) + " is not a date: \"" + *value + "\".", name);
    };
    day("from", "From", query.filter.fromDay);
    day("to", "To", query.filter.toDay);
    return query;
}

std::vector<TLOGNode> logRows(TWebServices& s, const TQueryFilter& query) {
    if (query.matchesNothing) return {};
    return s.host.statusLog(query.filter);
}

void addLog(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/log", Access::Administrator, [&s](TRouteContext& c) {
        TQueryFilter query = logFilterOf(c.request);
        if (query.refused) return *query.refused;
        return adminStep(s, c.session, [&s, query = std::move(query)]() -> TReply {
            json employees = json::array();
            for (const TWIWONode& account : s.host.accounts())
                employees.push_back(shownText(account.Employee));
            json departments = json::array();
            for (const std::string& name : s.host.departmentNames()) departments.push_back(shownText(name));
            json rows = json::array();
            const std::vector<TLOGNode> entries = logRows(s, query);
            for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {  // newest first
                const auto cells = logCells(*entry);
                rows.push_back({{"employee", shownText(cells[0])},
                                {"department", shownText(cells[1])},
                                {"date", shownText(cells[2])},
                                {"time", shownText(cells[3])},
                                {"status", shownText(cells[4])},
                                {"returning", shownText(cells[5])},
                                {"reachedAt", shownText(cells[6])},
                                {"comments", shownText(cells[7])}});
            }
            return jsonReply(200, {{"employees", employees},
                                   {"departments", departments},
                                   {"rows", rows},
                                   {"total", s.host.statusLogCount()}});
        });
    });

    router.add("GET", "/api/admin/log.csv", Access::Administrator, [&s](TRouteContext& c) {
        TQueryFilter query = logFilterOf(c.request);
        if (query.refused) return *query.refused;
        return adminStep(s, c.session, [&s, query = std::move(query)]() -> TReply {
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
        TQueryFilter query = logFilterOf(c.request);
        if (query.refused) return *query.refused;
        return adminStep(s, c.session, [&s, query = std::move(query)]() -> TReply {
            const std::vector<TLOGNode> rows = logRows(s, query);
            json lines = json::array();
            const std::size_t printed = printedRowCount(rows);
            for (std::size_t i = 0; i < printed; ++i)
                lines.push_back(shownText(statusLogPrintLine(logCells(rows[i]))));
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
                                   {"logSizeLimit", s.host.statusLogLimit()},
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
        return adminStep(s, c.session, [&s, changes, who] { return resultReply(s.host.changeOptions(who, changes)); });
    });
}

}  // namespace

void addAdminDataRoutes(TRouter& router, TWebServices& services) {
    addUsers(router, services);
    addAccounts(router, services);
    addPhonebook(router, services);
    addLog(router, services);
    addOptions(router, services);
}

}  // namespace zv::web
