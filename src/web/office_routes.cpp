// The office's systems on the administration's Options page: the directory's
// settings, its "Test" (what a name finds, and what the board makes of it),
// a sync now with its report, the accounts whose person left; the chat's
// webhooks, set, removed and tried ("Send a test"); and what is wrong with
// their settings. A password and a webhook's address or secret are never
// sent back, only whether they are set. The directory and the chat answer
// later: those requests wait for them (awaited_answers.h).
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/directory_sync.h"
#include "host/maintenance_api.h"
#include "host/settings_keys.h"
#include "stores/code_page.h"
#include "web/admin_route_support.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

// A sync reads the whole group, which takes longer than a sign-in's check.
constexpr std::chrono::seconds kLongestSyncWait{120};
constexpr std::chrono::seconds kLongestChatTestWait{30};

json syncJson(const TDirectorySyncReport& r) {
    if (r.at == 0) return nullptr;  // none yet
    return {{"at", static_cast<long long>(r.at)},
            {"reached", r.reached},
            {"why", r.why},
            {"summary", r.summary()},
            {"problems", r.problems}};
}

TReply officeReply(TWebServices& s) {
    const TSettings& settings = s.host.settings();
    json directory = json::object();
    for (const TSettingKey& key : kSettingKeys) {
        if (std::string_view(key.section) != "Directory") continue;
        if (key.secret)
            directory[std::string(key.key) + "Set"] = !(settings.*key.text).empty();
        else
            directory[key.key] = settings.*key.text;
    }
    json leavers = json::array();
    for (const TDirectoryLeaver& l : s.host.directoryLeavers()) {
        leavers.push_back({{"employee", codepage::toUtf8(l.employee)},
                           {"person", l.person},
                           {"since", codepage::toUtf8(l.since)}});
    }
    json hooks = json::array();
    for (const TChatHookTexts& h : settings.chatHooks) {
        hooks.push_back({{"name", h.name},
                         {"kind", h.Kind.empty() ? "slack" : h.Kind},
                         {"departments", h.Departments},
                         {"events", h.Events},
                         {"urlSet", !h.URL.empty()},
                         {"secretSet", !h.Secret.empty()}});
    }
    return jsonReply(200, {{"directory", directory},
                           {"lastSync", syncJson(s.host.lastDirectorySync())},
                           {"leavers", leavers},
                           {"chatHooks", hooks},
                           {"problems", s.host.officeSettingProblems()}});
}

// A change of the settings: its refusal, or what the cards show now.
TReply settingChange(TWebServices& s, TSession session, std::function<TAdminResult()> change) {
    return adminStep(s, std::move(session), [&s, change = std::move(change)]() -> TReply {
        const TAdminResult result = change();
        return result.kind == TAdminResult::Kind::Done ? officeReply(s) : resultReply(result);
    });
}

std::string textIn(const json& body, const std::string& field, bool required) {
    const auto it = body.find(field);
    if (it == body.end() && !required) return {};
    if (it == body.end() || !it->is_string())
        throw TInputError(field, "The field \"" + field + "\" is missing.");
    return it->get<std::string>();
}

json personJson(const TDirectoryPerson& p) {
    std::vector<std::string> problems;
    const std::string key = directoryBoardKey(p, problems);
    return {{"dn", p.dn},
            {"login", p.login},
            {"lastName", p.lastName},
            {"firstName", p.firstName},
            {"department", p.department},
            {"email", p.email},
            {"workPhone", p.workPhone},
            {"cellPhone", p.cellPhone},
            {"homePhone", p.homePhone},
            {"pager", p.pager},
            {"inGroup", p.inGroup},
            {"administrator", p.administrator},
            {"frontDesk", p.frontDesk},
            {"employee", codepage::toUtf8(key)},
            {"problems", problems}};
}

void addDirectoryRoutes(TRouter& router, TWebServices& s) {
    router.add("PUT", "/api/admin/directory", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::vector<std::pair<std::string, std::string>> values;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                if (!body.is_object()) throw TInputError("", "The request is no JSON object.");
                for (const auto& [key, value] : body.items()) {
                    if (!value.is_string()) throw TInputError(key, "The field \"" + key + "\" is no text.");
                    values.emplace_back(key, value.get<std::string>());
                }
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return settingChange(s, c.session,
                             [&s, who, values] { return s.host.changeDirectorySettings(who, values); });
    });

    // The "Test": what a name finds, and what the board makes of each person.
    router.add("POST", "/api/admin/directory/test", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = textIn(parseBody(c.request.body), "name", false); }))
            return *refused;
        return adminStep(s, c.session, [&s, name]() -> TReply {
            TAwaited awaited;
            awaited.limit = std::chrono::seconds(3 * s.host.settings().directoryTimeoutSeconds + 2);
            awaited.ask = [&s, name](std::function<void(TReply)> answer) {
                s.host.testDirectory(name, [answer](const TDirectoryLookup& lookup) {
                    json people = json::array();
                    for (const TDirectoryPerson& p : lookup.people) people.push_back(personJson(p));
                    answer(jsonReply(200,
                                     {{"reached", lookup.reached}, {"why", lookup.why}, {"people", people}}));
                });
            };
            awaited.late = [] {
                return jsonReply(200, {{"reached", false},
                                       {"why", "the directory gave no answer in time"},
                                       {"people", json::array()}});
            };
            return awaiting(std::move(awaited));
        });
    });

    // A sync now; the report, or 202 when it takes longer than the page waits.
    router.add("POST", "/api/admin/directory/sync", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, who]() -> TReply {
            TAwaited awaited;
            awaited.limit = kLongestSyncWait;
            awaited.ask = [&s, who](std::function<void(TReply)> answer) {
                s.host.syncDirectoryNow(who, [answer](const TDirectorySyncReport& report) {
                    answer(jsonReply(200, {{"lastSync", syncJson(report)}}));
                });
            };
            awaited.late = [] {
                return jsonReply(
                    202, {{"message", "The sync goes on; its report will be on this page when it ends."}});
            };
            return awaiting(std::move(awaited));
        });
    });
}

void addChatRoutes(TRouter& router, TWebServices& s) {
    router.add("PUT", "/api/admin/chat-hooks", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TChatHookTexts hook;
        if (auto refused = parsing([&] {
                const json body = parseBody(c.request.body);
                hook.name = textIn(body, "name", true);
                hook.URL = textIn(body, "url", false);
                hook.Kind = textIn(body, "kind", false);
                hook.Secret = textIn(body, "secret", false);
                hook.Departments = textIn(body, "departments", false);
                hook.Events = textIn(body, "events", false);
            })) {
            return *refused;
        }
        const std::string who = browserAdministrator(c.request.clientAddress);
        return settingChange(s, c.session, [&s, who, hook] { return s.host.setChatHook(who, hook); });
    });

    router.add("DELETE", "/api/admin/chat-hooks", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = textIn(parseBody(c.request.body), "name", true); }))
            return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return settingChange(s, c.session, [&s, who, name] { return s.host.removeChatHook(who, name); });
    });

    // "Send a test": one post, tried once; 502 with why the chat did not take it.
    router.add("POST", "/api/admin/chat-hooks/test", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string name;
        if (auto refused = parsing([&] { name = textIn(parseBody(c.request.body), "name", true); }))
            return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, who, name]() -> TReply {
            TAwaited awaited;
            awaited.limit = kLongestChatTestWait;
            awaited.ask = [&s, who, name](std::function<void(TReply)> answer) {
                s.host.sendChatTest(who, name, [answer, name](const std::string& why) {
                    if (why.empty()) {
                        answer(jsonReply(200,
                                         {{"message", "The chat took the test post of \"" + name + "\"."}}));
                    } else {
                        answer(errorReply(502, "The test post of \"" + name + "\" failed: " + why + "."));
                    }
                });
            };
            awaited.late = [name] {
                return errorReply(504, "The chat of \"" + name + "\" did not answer the test post in time.");
            };
            return awaiting(std::move(awaited));
        });
    });
}

}  // namespace

void addOfficeRoutes(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/office", Access::Administrator,
               [&s](TRouteContext& c) { return adminStep(s, c.session, [&s]() { return officeReply(s); }); });
    addDirectoryRoutes(router, s);
    addChatRoutes(router, s);
}

}  // namespace zv::web
