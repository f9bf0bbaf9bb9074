#pragma once
// The server's figures in the Prometheus text format (prometheus-cpp's text
// serializer): the host's counts and the HTTP side's own.

#include <cstdint>
#include <string>

#include "host/server_metrics.h"

namespace zv::web {

// What the HTTP side counts itself, read when the page is asked for.
struct TWebFigures {
    std::uint64_t sessions = 0;          // browsers signed in
    std::uint64_t liveStreams = 0;       // open live-update streams
    std::uint64_t signInsThrottled = 0;  // sign-ins refused by the throttle since the start
    std::uint64_t connections = 0;       // HTTP connections open now
    // Connections ended since the start: refused because their address had
    // its share, or cut because a request did not arrive in time.
    std::uint64_t connectionsRefused = 0;
    std::uint64_t connectionsCut = 0;
};

// The metrics page: every family with its HELP and TYPE lines, names under
// "zelvora_", durations in seconds.
std::string metricsText(const TServerMetrics::Snapshot& host, const TWebFigures& web,
                        const std::string& version);

// The content type of that page.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace zv::web
