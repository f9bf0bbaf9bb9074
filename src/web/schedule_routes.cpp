// The planned absences: an employee's own under /api/my-absences, everyone's
// for the administrator under /api/admin/absences. Each handler parses its
// input here (on the HTTP thread), runs one host operation on the main loop,
// and renders JSON. Moments travel as seconds since 1970.
#include <charconv>
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/employee_route_support.h"
#include "web/router.h"
#include "web/schedule_json.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr TTextField kEmployee{"employee", "Employee", slotWidth<TWIWONode>("Employee")};

// The absence's id in the path; nothing when it is no id.
std::optional<std::uint64_t> idOf(const TRouteContext& c) {
    const std::string& text = c.params.at("id");
    std::uint64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return id;
}

// A plan from the request, refused when it cannot be one.
std::optional<TReply> parsePlan(const TRouteContext& c, TAbsencePlan& plan, bool withEmployee) {
    return parsing([&] {
        const json body = parseBody(c.request.body);
        if (withEmployee) plan.employee = recordText(body, kEmployee, Need::NotEmpty);
        readAbsencePlan(body, plan);
    });
}

TReply absencesReply(const std::vector<TAbsenceShown>& absences, int status = 200) {
    json list = json::array();
    for (const TAbsenceShown& absence : absences) list.push_back(absenceJson(absence));
    return jsonReply(status, {{"absences", list}, {"inputWidths", absenceInputWidths()}});
}

void addOwnAbsences(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/my-absences", Access::Employee, [&s](TRouteContext& c) {
        return onMainLoop([&s, session = c.session]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            return absencesReply(s.host.absences(session->employeeKey));
        });
    });

    router.add("POST", "/api/my-absences", Access::Employee, [&s](TRouteContext& c) -> TReply {
        TAbsencePlan plan;
        if (auto refused = parsePlan(c, plan, false)) return *refused;
        return onMainLoop([&s, session = c.session, plan]() mutable -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            plan.employee = session->employeeKey;
            const TAdminResult result =
                s.host.planAbsence(TAbsencePlanner::employee(session->employeeKey), plan);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return absencesReply(s.host.absences(session->employeeKey), 201);
        });
    });

    router.add("DELETE", "/api/my-absences/{id}", Access::Employee, [&s](TRouteContext& c) -> TReply {
        const auto id = idOf(c);
        if (!id) return errorReply(404, "There is nothing at " + c.request.path + ".");
        return onMainLoop([&s, session = c.session, id = *id]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            const TAdminResult result =
                s.host.cancelAbsence(TAbsencePlanner::employee(session->employeeKey), id);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return absencesReply(s.host.absences(session->employeeKey));
        });
    });
}

void addEveryonesAbsences(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/absences", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() -> TReply { return absencesReply(s.host.absences()); });
    });

    router.add("POST", "/api/admin/absences", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TAbsencePlan plan;
        if (auto refused = parsePlan(c, plan, true)) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, plan, who]() -> TReply {
            const TAdminResult result = s.host.planAbsence(TAbsencePlanner::administrator(who), plan);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return absencesReply(s.host.absences(), 201);
        });
    });

    router.add("DELETE", "/api/admin/absences/{id}", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const auto id = idOf(c);
        if (!id) return errorReply(404, "There is nothing at " + c.request.path + ".");
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, id = *id, who]() -> TReply {
            const TAdminResult result = s.host.cancelAbsence(TAbsencePlanner::administrator(who), id);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return absencesReply(s.host.absences());
        });
    });
}

}  // namespace

void addScheduleRoutes(TRouter& router, TWebServices& services) {
    addOwnAbsences(router, services);
    addEveryonesAbsences(router, services);
}

}  // namespace zv::web
