// The employees' one-tap status and messages: the statuses the administrator
// keeps (and the administrator's page for them), a returning time written or
// read in the office's date-time format, the messages and memos waiting for
// the signed-in employee and "done" on one of them, and the phonebook for
// "Take a message".
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/board_snapshot.h"
#include "host/maintenance_api.h"
#include "stores/code_page.h"
#include "stores/date_time.h"
#include "web/admin_route_support.h"
#include "web/board_feed.h"
#include "web/employee_route_support.h"
#include "web/json_views.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

std::vector<TStatusPreset> presetsOf(const json& body) {
    const auto list = body.find("presets");
    if (list == body.end() || !list->is_array())
        throw TInputError("presets", "The field \"presets\" must be a list.");
    std::vector<TStatusPreset> presets;
    for (const json& item : *list) {
        const auto name = item.find("name");
        const auto colour = item.find("colour");
        const auto away = item.find("away");
        if (!item.is_object() || name == item.end() || !name->is_string() || colour == item.end() ||
            !colour->is_string() || away == item.end() || !away->is_boolean()) {
            throw TInputError("presets",
                              "Each status needs a \"name\", a \"colour\" and \"away\" (true or false).");
        }
        if (!codepage::fromUtf8(name->get<std::string>())) {
            throw TInputError("presets", "The status \"" + name->get<std::string>() +
                                             "\" holds a character the clients' code page cannot hold.");
        }
        presets.push_back({name->get<std::string>(), colour->get<std::string>(), away->get<bool>()});
    }
    return presets;
}

// A returning moment as the text a client would write: the time alone when
// it is later today, the date and time otherwise.
std::string returningText(std::time_t at, std::time_t now) {
    const bool today = datetime::shortDateText(at) == datetime::shortDateText(now);
    return today && at >= now ? datetime::longTimeText(at) : datetime::dateTimeText(at);
}

json messageJson(const TWYWONode& m) {
    const auto mark = [](const std::string& text) { return !text.empty(); };
    return {{"kind", "message"},
            {"id", std::to_string(m.serial)},
            {"takenBy", shownText(m.TakenBy)},
            {"date", shownText(m.Date)},
            {"time", shownText(m.Time)},
            {"caller", shownText(m.Caller)},
            {"company", shownText(m.Company)},
            {"phone", shownText(m.Phone)},
            {"regarding", shownText(m.Regarding)},
            {"comments", shownText(m.Comments)},
            {"called", mark(m.Called)},
            {"returnedCall", mark(m.ReturnedCall)},
            {"wasHere", mark(m.WasHere)},
            {"wantsToSee", mark(m.WantsToSee)},
            {"urgent", mark(m.Urgent)}};
}

json memoJson(const TPOSTINode& m) {
    return {{"kind", "memo"},
            {"id", std::to_string(m.serial)},
            {"date", shownText(m.Date)},
            {"time", shownText(m.Time)},
            {"texts", {shownText(m.ClientText2), shownText(m.ClientText5), shownText(m.ClientText6)}}};
}

void addPresets(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/status-presets", Access::Employee, [&s](TRouteContext&) {
        return onMainLoop([&s]() {
            return jsonReply(200, {{"presets", presetsJson(s.host.statusPresets())}});
        });
    });
    router.add("GET", "/api/admin/status-presets", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() {
            return jsonReply(200, {{"presets", presetsJson(s.host.statusPresets())}});
        });
    });
    router.add("PUT", "/api/admin/status-presets", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::vector<TStatusPreset> presets;
        if (auto refused = parsing([&] { presets = presetsOf(parseBody(c.request.body)); })) return *refused;
        return adminStep(s, c.session, [&s, presets, who = browserAdministrator(c.request.clientAddress)]() {
            const TAdminResult result = s.host.changeStatusPresets(who, presets);
            return resultReply(result, 200, {{"presets", presetsJson(s.host.statusPresets())}});
        });
    });
}

// {"at": seconds} gives the text to store; {"text": "..."} gives the moment
// it reads as (null: never overdue), counted from now as a status saved now.
void addReturning(TRouter& router) {
    router.add("POST", "/api/returning", Access::Employee, [](TRouteContext& c) -> TReply {
        json body;
        if (auto refused = parsing([&] { body = parseBody(c.request.body); })) return *refused;
        const auto at = body.find("at");
        const auto text = body.find("text");
        if (at != body.end() && at->is_number_integer()) {
            const std::int64_t when = at->get<std::int64_t>();
            // From 1970 up to 2100: what the date-time texts hold.
            if (when < 0 || when > 4102444800LL) {
                return errorReply(422, "The moment \"at\" is out of range (seconds since 1970, before 2100).",
                                  "returning");
            }
            return onMainLoop([when]() {
                const std::time_t now = datetime::now();
                return jsonReply(
                    200, {{"text", returningText(static_cast<std::time_t>(when), now)}, {"at", when}});
            });
        }
        if (text != body.end() && text->is_string()) {
            const auto bytes = codepage::fromUtf8(text->get<std::string>());
            return onMainLoop([bytes]() {
                const std::optional<std::time_t> moment =
                    bytes ? returningMoment(*bytes, datetime::now()) : std::nullopt;
                return jsonReply(200,
                                 {{"at", moment ? json(static_cast<long long>(*moment)) : json(nullptr)}});
            });
        }
        return errorReply(422, "Send \"at\" (seconds since 1970) or \"text\".", "returning");
    });
}

void addInbox(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/my-messages", Access::Employee, [&s](TRouteContext& c) {
        return onMainLoop([&s, session = c.session]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            const TInbox box = s.host.inbox(session->employeeKey);
            json items = json::array();
            for (const TWYWONode& m : box.messages) items.push_back(messageJson(m));
            for (const TPOSTINode& m : box.memos) items.push_back(memoJson(m));
            return jsonReply(200, {{"items", items}});
        });
    });
    router.add("POST", "/api/my-messages/done", Access::Employee, [&s](TRouteContext& c) -> TReply {
        InboxKind kind = InboxKind::Message;
        std::uint64_t serial = 0;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                const auto k = body.find("kind");
                const auto id = body.find("id");
                if (k == body.end() || (*k != "message" && *k != "memo")) {
                    throw TInputError("kind", "The field \"kind\" must be \"message\" or \"memo\".");
                }
                kind = *k == "message" ? InboxKind::Message : InboxKind::Memo;
                const std::string text = id != body.end() && id->is_string() ? id->get<std::string>() : "";
                if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
                    text.size() > 19) {
                    throw TInputError("id", "The field \"id\" must be the number of a message, as text.");
                }
                serial = std::stoull(text);
            })) {
            return *refused;
        }
        return onMainLoop([&s, session = c.session, kind, serial]() -> TReply {
            if (!signedInEmployee(s, *session)) return errorReply(401, kAccountChanged);
            if (!s.host.doneWith(session->employeeKey, kind, serial)) {
                return errorReply(404, "That message is gone already.");
            }
            s.board.inboxMayHaveChanged();
            return emptyReply();
        });
    });
    router.add("GET", "/api/phonebook", Access::Employee, [&s](TRouteContext&) {
        return onMainLoop([&s]() {
            json entries = json::array();
            for (const TPHONENode& entry : s.host.phonebook()) {
                entries.push_back({{"caller", shownText(entry.Caller)},
                                   {"company", shownText(entry.Company)},
                                   {"phone", shownText(entry.PhoneNumber)}});
            }
            return jsonReply(200, {{"entries", entries}});
        });
    });
}

}  // namespace

void addStatusRoutes(TRouter& router, TWebServices& services) {
    addPresets(router, services);
    addReturning(router);
    addInbox(router, services);
}

}  // namespace zv::web
