#include "web/metrics_text.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <limits>
#include <sstream>
#include <utility>
#include <vector>

namespace zv::web {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

ClientMetric valued(MetricType type, double value, std::vector<ClientMetric::Label> labels = {}) {
    ClientMetric metric;
    metric.label = std::move(labels);
    if (type == MetricType::Counter)
        metric.counter.value = value;
    else
        metric.gauge.value = value;
    return metric;
}

MetricFamily single(std::string name, std::string help, MetricType type, double value) {
    return MetricFamily{std::move(name), std::move(help), type, {valued(type, value)}};
}

MetricFamily byOutcome(std::string name, std::string help,
                       std::vector<std::pair<const char*, std::uint64_t>> outcomes) {
    MetricFamily family{std::move(name), std::move(help), MetricType::Counter, {}};
    for (const auto& [outcome, count] : outcomes) {
        family.metric.push_back(
            valued(MetricType::Counter, static_cast<double>(count), {{"outcome", outcome}}));
    }
    return family;
}

MetricFamily histogram(std::string name, std::string help, const TDurationHistogram::Snapshot& figures) {
    ClientMetric metric;
    metric.histogram.sample_count = figures.count;
    metric.histogram.sample_sum = figures.sumSeconds;
    for (std::size_t i = 0; i < figures.cumulative.size(); ++i) {
        const double bound =
            i < figures.bounds.size() ? figures.bounds[i] : std::numeric_limits<double>::infinity();
        metric.histogram.bucket.push_back({figures.cumulative[i], bound});
    }
    return MetricFamily{std::move(name), std::move(help), MetricType::Histogram, {std::move(metric)}};
}

}  // namespace

std::string metricsText(const TServerMetrics::Snapshot& host, const TWebFigures& web,
                        const std::string& version) {
    std::vector<MetricFamily> families;
    families.push_back(MetricFamily{"zelvora_build_info",
                                    "The version of the running server, as a label.",
                                    MetricType::Gauge,
                                    {valued(MetricType::Gauge, 1, {{"version", version}})}});
    families.push_back(single("zelvora_clients_connected", "Zelvora Clients connected now.",
                              MetricType::Gauge, static_cast<double>(host.clientsConnected)));
    families.push_back(byOutcome("zelvora_logins_total",
                                 "Logins of Zelvora Clients, by how they were answered.",
                                 {{"granted", host.loginsGranted},
                                  {"denied", host.loginsDenied},
                                  {"unknown_account", host.loginsUnknown}}));
    families.push_back(
        histogram("zelvora_login_exchange_duration_seconds",
                  "Granted logins, from the complete login request to the client's confirmation "
                  "of the bundle.",
                  host.loginExchange));
    families.push_back(histogram("zelvora_board_save_duration_seconds",
                                 "Saves of the board file (the count is the number of saves).",
                                 host.boardSaves));
    families.push_back(byOutcome("zelvora_mails_total",
                                 "Notices of new messages handed to the mail host: sent when it took them, "
                                 "failed when it could not be reached or refused them.",
                                 {{"sent", host.mailsSent}, {"failed", host.mailsFailed}}));
    families.push_back(single("zelvora_web_sessions", "Browsers signed in now.", MetricType::Gauge,
                              static_cast<double>(web.sessions)));
    families.push_back(single("zelvora_live_streams", "Live-update streams open now.", MetricType::Gauge,
                              static_cast<double>(web.liveStreams)));
    families.push_back(single("zelvora_sign_ins_throttled_total",
                              "Browser sign-ins refused because too many failed before.", MetricType::Counter,
                              static_cast<double>(web.signInsThrottled)));
    families.push_back(single("zelvora_http_connections", "HTTP connections open now.", MetricType::Gauge,
                              static_cast<double>(web.connections)));
    families.push_back(byOutcome(
        "zelvora_http_connections_ended_total",
        "HTTP connections ended by the server's limits: refused because their address "
        "had as many open as it may, or cut because a request did not arrive in time.",
        {{"too_many_from_address", web.connectionsRefused}, {"request_too_slow", web.connectionsCut}}));
    std::ostringstream text;
    prometheus::TextSerializer().Serialize(text, families);
    return text.str();
}

}  // namespace zv::web
