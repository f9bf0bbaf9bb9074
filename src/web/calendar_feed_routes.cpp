// The office's absences as a calendar to subscribe to: GET
// /calendar/<secret>.ics, without a sign-in (a calendar program has none);
// a secret that is no feed's is answered as any unknown path. And, for the
// administrator, the feeds: one for the office and one per department,
// made, given a new secret and removed on the Options page.
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr std::string_view kFeedPath = "/calendar/";
constexpr std::string_view kFeedSuffix = ".ics";
constexpr TTextField kDepartment{"department", "Department", slotWidth<TWIWONode>("Department")};

// The answer to a path that leads nowhere, the same as the router's.
TReply unknownPath(const std::string& path) { return errorReply(404, "There is nothing at " + path + "."); }

TReply feedsReply(TWebServices& s, int status = 200) {
    json feeds = json::array();
    for (const TFeedShown& feed : s.host.feeds()) {
        feeds.push_back({{"department", shownText(feed.department)},
                         {"path", std::string(kFeedPath) + feed.secret + std::string(kFeedSuffix)}});
    }
    json departments = json::array();
    for (const std::string& name : s.host.departmentNames()) departments.push_back(shownText(name));
    return jsonReply(status, {{"feeds", feeds}, {"departments", departments}});
}

std::optional<TReply> departmentOf(const TRouteContext& c, std::string& department) {
    return parsing([&] { department = recordText(parseBody(c.request.body), kDepartment, Need::Present); });
}

}  // namespace

void addCalendarFeedRoutes(TRouter& router, TWebServices& s) {
    router.add("GET", std::string(kFeedPath) + "{file}", Access::Public, [&s](TRouteContext& c) -> TReply {
        const std::string& file = c.params.at("file");
        if (file.size() <= kFeedSuffix.size() || !file.ends_with(kFeedSuffix))
            return unknownPath(c.request.path);
        const std::string secret = file.substr(0, file.size() - kFeedSuffix.size());
        return onMainLoop([&s, secret, path = c.request.path]() -> TReply {
            std::optional<std::string> text = s.host.feedCalendarText(secret);
            if (!text) return unknownPath(path);
            TReply reply;
            reply.contentType = "text/calendar; charset=utf-8";
            reply.body = std::move(*text);
            // Calendar programs ask again on their own schedule; a proxy
            // between keeps nothing.
            reply.header("Cache-Control", "no-store");
            return reply;
        });
    });

    router.add("GET", "/api/admin/feeds", Access::Administrator,
               [&s](TRouteContext& c) { return adminStep(s, c.session, [&s]() { return feedsReply(s); }); });

    // Makes the feed of {"department"} ("" for the whole office), or gives
    // it a new secret.
    router.add("POST", "/api/admin/feeds", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string department;
        if (auto refused = departmentOf(c, department)) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, department, who]() -> TReply {
            const TAdminResult result = s.host.makeFeed(who, department);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return feedsReply(s, 201);
        });
    });

    router.add("DELETE", "/api/admin/feeds", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        std::string department;
        if (auto refused = departmentOf(c, department)) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, department, who]() -> TReply {
            const TAdminResult result = s.host.removeFeed(who, department);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return feedsReply(s);
        });
    });
}

}  // namespace zv::web
