// The front desk: an account listed in [FrontDesk] changes anyone's status
// from the board (punch in and out, the four status fields, an absence
// planned ahead). Each change is the same host operation as the employee's
// own, so it is logged as theirs; the record line names the front desk that
// made it. And, for the administrator, who is at the front desk.
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/employee_route_support.h"
#include "web/json_views.h"
#include "web/router.h"
#include "web/schedule_json.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr TTextField kEmployee{"employee", "Employee", slotWidth<TWIWONode>("Employee")};

constexpr const char* kNotFrontDesk = "Only the front desk may change the status of others.";

// Who the record lines name: "the front desk "Doe,Jane" in a browser at <address>".
std::string frontDeskWho(const std::string& key, const std::string& address) {
    return "the front desk " + auditQuoted(key) + " in a browser at " + address;
}

TReply noSuchEmployee(const std::string& key) {
    return errorReply(404, "There is no \"" + shownText(key) + "\" on the board any more.");
}

// At the front desk: named so in the settings, or signed in through the
// directory as a member of its front-desk group.
bool atFrontDesk(TWebServices& s, const TWebSession& session) {
    return session.frontDesk || s.host.isFrontDesk(session.employeeKey);
}

// `change` on the main loop for a signed-in front-desk account; its reply
// is the employee's entry after the change.
TReply frontDeskStep(TWebServices& s, const TRouteContext& c, const std::string& employee,
                     std::function<std::optional<TReply>(const std::string& who)> change) {
    const std::string who = frontDeskWho(c.session->employeeKey, c.request.clientAddress);
    return onMainLoop([&s, session = c.session, employee, who, change]() -> TReply {
        if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
        if (!atFrontDesk(s, *session)) return errorReply(403, kNotFrontDesk);
        if (!s.host.account(employee)) return noSuchEmployee(employee);
        if (std::optional<TReply> refused = change(who)) return *refused;
        const std::optional<TWIWONode> after = s.host.account(employee);
        if (!after) return noSuchEmployee(employee);
        return jsonReply(200, employeeJson(*after));
    });
}

void addFrontDeskChanges(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/front-desk", Access::Employee, [&s](TRouteContext& c) {
        return onMainLoop([&s, session = c.session]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            return jsonReply(200, {{"frontDesk", atFrontDesk(s, *session)},
                                   {"inputWidths", statusInputWidths()},
                                   {"absenceInputWidths", absenceInputWidths()}});
        });
    });

    router.add("PUT", "/api/front-desk/status", Access::Employee, [&s](TRouteContext& c) -> TReply {
        std::string employee;
        TStatusEdit edit;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                employee = recordText(body, kEmployee, Need::NotEmpty);
                edit = readStatusEdit(body);
            })) {
            return *refused;
        }
        return frontDeskStep(
            s, c, employee, [&s, employee, edit](const std::string& who) -> std::optional<TReply> {
                if (!s.host.editStatus(employee, edit)) return noSuchEmployee(employee);
                auditAdminChange(s.host.view(), who,
                                 "set the status of " + auditQuoted(employee) + " to " +
                                     auditQuoted(edit.Status) +
                                     (edit.Returning.empty() ? std::string()
                                                             : ", returning " + auditQuoted(edit.Returning)));
                return std::nullopt;
            });
    });

    router.add("POST", "/api/front-desk/punch", Access::Employee, [&s](TRouteContext& c) -> TReply {
        std::string employee;
        bool in = false;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                employee = recordText(body, kEmployee, Need::NotEmpty);
                const auto it = body.find("action");
                if (it == body.end() || !it->is_string() || (*it != "in" && *it != "out")) {
                    throw TInputError("action", "The field \"action\" must be \"in\" or \"out\".");
                }
                in = *it == "in";
            })) {
            return *refused;
        }
        return frontDeskStep(
            s, c, employee, [&s, employee, in](const std::string& who) -> std::optional<TReply> {
                const PunchOutcome outcome = in ? s.host.punchIn(employee) : s.host.punchOut(employee);
                if (outcome == PunchOutcome::NoSuchEmployee) return noSuchEmployee(employee);
                if (outcome == PunchOutcome::NotIn) {
                    const std::optional<TWIWONode> now = s.host.account(employee);
                    return errorReply(409, "Only someone who is \"In\" can be punched out; " +
                                               shownText(employee) + " is \"" +
                                               (now ? shownText(now->Status) : std::string()) +
                                               "\". Nothing was changed.");
                }
                auditAdminChange(s.host.view(), who,
                                 std::string(in ? "punched in " : "punched out ") + auditQuoted(employee));
                return std::nullopt;
            });
    });

    router.add("POST", "/api/front-desk/absences", Access::Employee, [&s](TRouteContext& c) -> TReply {
        TAbsencePlan plan;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                plan.employee = recordText(body, kEmployee, Need::NotEmpty);
                readAbsencePlan(body, plan);
            })) {
            return *refused;
        }
        return frontDeskStep(
            s, c, plan.employee,
            [&s, plan, key = c.session->employeeKey](const std::string&) -> std::optional<TReply> {
                // Planned in the front desk's name, as the schedule and the
                // record line then say.
                const TAdminResult result = s.host.planAbsence(TAbsencePlanner{key, key, true}, plan);
                if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
                return std::nullopt;
            });
    });
}

TReply frontDeskReply(TWebServices& s) {
    json accounts = json::array();
    for (const std::string& key : s.host.frontDeskAccounts()) {
        const std::optional<TWIWONode> account = s.host.account(key);
        accounts.push_back({{"employee", shownText(key)}, {"onBoard", account.has_value()}});
    }
    json employees = json::array();
    for (const TWIWONode& account : s.host.accounts()) employees.push_back(shownText(account.Employee));
    return jsonReply(200, {{"accounts", accounts}, {"employees", employees}});
}

void addFrontDeskManagement(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/front-desk", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() { return frontDeskReply(s); });
    });

    // {"employee", "frontDesk": true or false}
    router.add("PUT", "/api/admin/front-desk", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string employee;
        bool frontDesk = false;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                employee = recordText(body, kEmployee, Need::NotEmpty);
                const auto it = body.find("frontDesk");
                if (it == body.end() || !it->is_boolean()) {
                    throw TInputError("frontDesk", "The field \"frontDesk\" must be true or false.");
                }
                frontDesk = it->get<bool>();
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, employee, frontDesk, who]() -> TReply {
            const TAdminResult result = s.host.setFrontDesk(who, employee, frontDesk);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return frontDeskReply(s);
        });
    });
}

}  // namespace

void addFrontDeskRoutes(TRouter& router, TWebServices& services) {
    addFrontDeskChanges(router, services);
    addFrontDeskManagement(router, services);
}

}  // namespace zv::web
