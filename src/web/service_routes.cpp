// What those who run the server use besides the administration pages: the
// health check of a load balancer or of systemd's neighbours (/healthz, no
// sign-in), the figures for Prometheus (/metrics, to this computer or with
// the bearer token of [Web] MetricsToken), and the administrator's backup
// download (a gzip-compressed tar of the data files and the settings file,
// taken between two client exchanges and compressed while it is sent).
#include <memory>
#include <nlohmann/json.hpp>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/message_lines.h"
#include "host/platform_info.h"
#include "web/admin_route_support.h"
#include "web/connection_limits.h"
#include "web/live_streams.h"
#include "web/loopback.h"
#include "web/metrics_text.h"
#include "web/router.h"
#include "web/same_token.h"
#include "web/sign_in_throttle.h"

namespace zv::web {

namespace {

using nlohmann::json;

constexpr std::string_view kBearer = "Bearer ";

void addHealth(TRouter& router, TWebServices& s) {
    router.add("GET", "/healthz", Access::Public, [&s](TRouteContext&) {
        // The HTTP side runs only while the clients are served; once a stop
        // has begun it answers 503 until it closes.
        const bool serving = s.host.serving();
        return jsonReply(serving ? 200 : 503,
                         {{"status", serving ? "ok" : "stopping"}, {"version", programVersion()}});
    });
}

// Who may read the figures: this computer, or whoever knows the token.
std::optional<TReply> metricsRefusal(const TRequest& request, const std::string& token) {
    if (isLoopbackClient(request.clientAddress)) return std::nullopt;
    if (token.empty()) {
        return errorReply(403,
                          "The metrics are open to this computer only; set MetricsToken under [Web] in "
                          "zva.ini to read them from elsewhere with that bearer token.");
    }
    const std::string_view given = request.header("Authorization");
    if (given.size() > kBearer.size() && given.substr(0, kBearer.size()) == kBearer &&
        sameToken(given.substr(kBearer.size()), token)) {
        return std::nullopt;
    }
    return errorReply(401, "The metrics need the bearer token of MetricsToken under [Web] in zva.ini.")
        .header("WWW-Authenticate", "Bearer realm=\"zelvora metrics\"");
}

void addMetrics(TRouter& router, TWebServices& s) {
    router.add("GET", "/metrics", Access::Public, [&s](TRouteContext& c) {
        if (auto refusal = metricsRefusal(c.request, s.metricsToken)) return std::move(*refusal);
        const TWebFigures web{.sessions = s.sessions.count(),
                              .liveStreams = s.streams.count(),
                              .signInsThrottled = s.throttle.refusals(),
                              .connections = s.connections.openCount(),
                              .connectionsRefused = s.connections.refusedCount(),
                              .connectionsCut = s.connections.cutCount()};
        TReply reply;
        reply.contentType = kMetricsContentType;
        reply.body = metricsText(s.host.metrics(), web, programVersion());
        return reply;
    });
}

void addBackup(TRouter& router, TWebServices& s) {
    router.addStreamed("/api/admin/backup", Access::Administrator, [&s](TRouteContext& c) {
        const std::string who = browserAdministrator(c.request.clientAddress);
        return adminStep(s, c.session, [&s, who]() -> TReply {
            auto archive = std::make_shared<TBackupArchiveWriter>(s.host.backupSnapshot(who));
            TReply reply;
            reply.contentType = "application/gzip";
            reply.header("Content-Disposition",
                         "attachment; filename=\"" + archive->suggestedFileName() + "\"");
            reply.bodySource = [archive, who](char* buffer, std::size_t max) {
                try {
                    return archive->read(buffer, max);
                } catch (const std::exception& e) {
                    standardErrorLine(LinePriority::Error, std::string(programName()) + ": the backup for " +
                                                               who + " broke off: " + e.what());
                    throw;
                }
            };
            return reply;
        });
    });
}

}  // namespace

void addServiceRoutes(TRouter& router, TWebServices& services) {
    addHealth(router, services);
    addMetrics(router, services);
    addBackup(router, services);
}

}  // namespace zv::web
