// The lobby displays: the page at /display/<secret> and what it reads,
// without a sign-in (a screen in the lobby has nobody to sign in): the
// board of the display's departments, with phones and comments only when
// the display shows them, and a live stream that ends the moment the
// display is revoked. A secret that is no display's is answered as any
// unknown path. And, for the administrator, the displays: made, renamed,
// changed and revoked.
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "web/admin_route_support.h"
#include "web/assets.h"
#include "web/json_views.h"
#include "web/live_streams.h"
#include "web/router.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr std::string_view kDisplayPath = "/display/";
constexpr TTextField kName{"name", "Name", slotWidth<TSCHEDNode>("Note")};
constexpr TTextField kDepartment{"departments", "Departments", slotWidth<TWIWONode>("Department")};

TReply unknownPath(const std::string& path) { return errorReply(404, "There is nothing at " + path + "."); }

// What the display's live streams are known by, so that a revoke ends them.
std::string streamName(const std::string& id) { return std::string(kStandingStreamPrefix) + "display:" + id; }

// The board as the display shows it: its departments' rows only, and no
// phone, reached at or comment that it does not show.
std::string displayBoardJson(TWebServices& s, const TDisplaySettings& settings) {
    std::vector<TBoardRow> rows = s.host.boardRows(nullptr);
    const auto& departments = settings.departments;
    if (!departments.empty()) {
        std::erase_if(rows, [&departments](const TBoardRow& row) {
            return std::find(departments.begin(), departments.end(), row.Department) == departments.end();
        });
    }
    for (TBoardRow& row : rows) {
        if (!settings.phones) row.WorkPhone.clear(), row.Extension.clear(), row.ReachedAt.clear();
        if (!settings.comments) row.Comments.clear();
    }
    return boardJson(rows);
}

json displayJson(const TDisplayShown& display) {
    json departments = json::array();
    for (const std::string& name : display.settings.departments) departments.push_back(shownText(name));
    return {{"id", display.id},
            {"name", shownText(display.settings.name)},
            {"departments", departments},
            {"phones", display.settings.phones},
            {"comments", display.settings.comments},
            {"path", std::string(kDisplayPath) + display.secret}};
}

TReply displaysReply(TWebServices& s, int status = 200) {
    json displays = json::array();
    for (const TDisplayShown& display : s.host.displays()) displays.push_back(displayJson(display));
    json departments = json::array();
    for (const std::string& name : s.host.departmentNames()) departments.push_back(shownText(name));
    return jsonReply(status, {{"displays", displays}, {"departments", departments}});
}

std::optional<TReply> settingsOf(const TRouteContext& c, TDisplaySettings& settings) {
    return parsing([&] {
        const json body = parseBody(c.request.body);
        settings.name = recordText(body, kName, Need::NotEmpty);
        const auto list = body.find("departments");
        if (list != body.end() && !list->is_array()) {
            throw TInputError("departments", "The field \"departments\" must be a list of departments.");
        }
        if (list != body.end()) {
            for (const json& name : *list)
                settings.departments.push_back(
                    recordText({{"departments", name}}, kDepartment, Need::NotEmpty));
        }
        const auto flag = [&body](const char* key) {
            const auto it = body.find(key);
            if (it != body.end() && !it->is_boolean()) {
                throw TInputError(key, std::string("The field \"") + key + "\" must be true or false.");
            }
            return it != body.end() && it->get<bool>();
        };
        settings.phones = flag("phones");
        settings.comments = flag("comments");
    });
}

void addDisplayPages(TRouter& router, TWebServices& s) {
    // The page itself, whatever the secret: it asks for its board and tells
    // a revoked display by the answer.
    if (const TAsset* page = findAsset("/display.html")) {
        router.add("GET", std::string(kDisplayPath) + "{secret}", Access::Public,
                   [page](TRouteContext& c) { return assetReply(*page, c.request); });
    }

    router.add("GET", "/api/display/{secret}", Access::Public, [&s](TRouteContext& c) -> TReply {
        return onMainLoop([&s, secret = c.params.at("secret"), path = c.request.path]() -> TReply {
            const std::optional<TDisplayShown> display = s.host.displayOf(secret);
            if (!display) return unknownPath(path);
            // The one-tap statuses tell the page which statuses are away,
            // so that it marks overdue as the board does.
            std::string body = "{\"display\":" + displayJson(*display).dump() +
                               ",\"presets\":" + presetsJson(s.host.statusPresets()).dump() +
                               ",\"board\":" + displayBoardJson(s, display->settings) + "}";
            TReply reply;
            reply.contentType = "application/json";
            reply.body = std::move(body);
            reply.header("Cache-Control", "no-store");
            return reply;
        });
    });

    router.addStreamed("/api/display/{secret}/events", Access::Public, [&s](TRouteContext& c) -> TReply {
        return onMainLoop([&s, secret = c.params.at("secret"), path = c.request.path]() -> TReply {
            const std::optional<TDisplayShown> display = s.host.displayOf(secret);
            if (!display) return unknownPath(path);
            TReply reply;
            reply.liveStream = true;
            reply.streamSession = streamName(display->id);
            return reply;
        });
    });
}

void addDisplayManagement(TRouter& router, TWebServices& s) {
    router.add("GET", "/api/admin/displays", Access::Administrator, [&s](TRouteContext& c) {
        return adminStep(s, c.session, [&s]() { return displaysReply(s); });
    });

    router.add("POST", "/api/admin/displays", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        TDisplaySettings settings;
        if (auto refused = settingsOf(c, settings)) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, settings, who]() -> TReply {
            const TAdminResult result = s.host.makeDisplay(who, settings);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return displaysReply(s, 201);
        });
    });

    router.add("PUT", "/api/admin/displays/{id}", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const std::string id = c.params.at("id");
        TDisplaySettings settings;
        if (auto refused = settingsOf(c, settings)) return *refused;
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, id, settings, who]() -> TReply {
            const TAdminResult result = s.host.changeDisplay(who, id, settings);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            return displaysReply(s);
        });
    });

    router.add("DELETE", "/api/admin/displays/{id}", Access::Administrator, [&s](TRouteContext& c) -> TReply {
        const std::string id = c.params.at("id");
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, id, who]() -> TReply {
            const TAdminResult result = s.host.removeDisplay(who, id);
            if (result.kind != TAdminResult::Kind::Done) return resultReply(result);
            // The screens showing it go dark now, not at their next change.
            s.streams.endSessions({streamName(id)});
            return displaysReply(s);
        });
    });
}

}  // namespace

void addDisplayRoutes(TRouter& router, TWebServices& services) {
    addDisplayPages(router, services);
    addDisplayManagement(router, services);
}

}  // namespace zv::web
