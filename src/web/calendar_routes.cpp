// The accounts' calendars, for the administrator: which calendar each
// account has, when it was last read and why it could not be, setting or
// taking one away, reading them now (the "Test"), and the hosts they may be
// fetched from ([Calendars] AllowedHosts).
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/record_fields.h"
#include "web/admin_route_support.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr TTextField kEmployee{"employee", "Employee", slotWidth<TWIWONode>("Employee")};
constexpr TTextField kAddress{"address", "Calendar address", slotWidth<TSCHEDNode>("Address")};
constexpr TTextField kAllowedHosts{"allowedHosts", "Allowed hosts", 4096};

TReply calendarsReply(TWebServices& s) {
    json calendars = json::array();
    for (const TCalendarShown& c : s.host.calendars()) {
        calendars.push_back(
            {{"employee", shownText(c.employee)},
             {"address", shownText(c.address)},
             {"lastRead", c.lastRead ? json(static_cast<long long>(*c.lastRead)) : json(nullptr)},
             {"note", c.note},
             {"reading", c.reading}});
    }
    return jsonReply(200, {{"calendars", calendars},
                           {"allowedHosts", shownText(s.host.settings().CalendarAllowedHosts)},
                           {"inputWidths", inputWidths({kAddress, kAllowedHosts})}});
}

// A text that must not be cut to fit (an address cut short is another).
std::string wholeText(const json& body, const TTextField& field) {
    const auto it = body.find(std::string(field.json));
    if (it != body.end() && it->is_string() && it->get<std::string>().size() > longestText(field.width)) {
        throw TInputError(std::string(field.json), "The " + std::string(field.label) + " is longer than " +
                                                       std::to_string(longestText(field.width)) +
                                                       " characters.");
    }
    return recordText(body, field, Need::Present);
}

}  // namespace

void addCalendarRoutes(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/calendars", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() { return calendarsReply(s); });
    });

    router.add("PUT", "/api/admin/calendars", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string employee, address;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                employee = recordText(body, kEmployee, Need::NotEmpty);
                address = wholeText(body, kAddress);
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, employee, address, who]() -> TReply {
            const TAdminResult result = s.host.setCalendar(who, employee, address);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return calendarsReply(s);
        });
    });

    // Reads one account's calendar now ({"employee"}), or every one ({}).
    router.add("POST", "/api/admin/calendars/read", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string employee;
        if (auto refused = parsing([&] { employee = recordText(parseBody(c.request.body), kEmployee); })) {
            return *refused;
        }
        return adminStep(s, c.session,
                         [&s, employee] { return resultReply(s.host.readCalendarsNow(employee), 202); });
    });

    router.add("PUT", "/api/admin/calendar-hosts", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string hosts;
        if (auto refused = parsing([&] { hosts = wholeText(parseBody(c.request.body), kAllowedHosts); })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, hosts, who]() -> TReply {
            const TAdminResult result = s.host.changeCalendarHosts(who, hosts);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return calendarsReply(s);
        });
    });
}

}  // namespace zv::web
