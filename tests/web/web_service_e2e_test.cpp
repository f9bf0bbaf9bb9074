// What those who run the server watch, against a running zelvorad: the
// health check, and the metrics page read by Prometheus's own text parser
// (Python's prometheus_client), counting what clients and browsers did.

#include <sys/wait.h>

#include <cstdio>

#include "temp_dir.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

constexpr const char* kMetricsToken = "scrape-3f9c1e";

// The samples of a metrics page as prometheus_client's parser reads them:
// "name{label="value",...}" (labels sorted) to value. Fails the test when
// the parser refuses the page.
std::map<std::string, double> prometheusSamples(const std::string& page) {
    test::TempDir folder;
    test::writeFile(folder.file("page.txt"), page);
    test::writeFile(folder.file("read.py"), R"(import sys
from prometheus_client.parser import text_string_to_metric_families
for family in text_string_to_metric_families(open(sys.argv[1]).read()):
    for s in family.samples:
        labels = ",".join('%s="%s"' % item for item in sorted(s.labels.items()))
        print("%s{%s}\t%r" % (s.name, labels, s.value))
)");
    // Debian's interpreter, which has Debian's python3-prometheus-client.
    const std::string command =
        "/usr/bin/python3 " + folder.file("read.py") + " " + folder.file("page.txt") + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the parser refused the page:\n" << output;
    std::map<std::string, double> samples;
    std::size_t at = 0;
    for (std::size_t end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = output.substr(at, end - at);
        const auto tab = line.find('\t');
        if (tab != std::string::npos) samples[line.substr(0, tab)] = std::stod(line.substr(tab + 1));
    }
    return samples;
}

TEST(WebService, HealthSaysTheServerServesAndWhichVersion) {
    auto server = startServer({test::boardRecord("Smith,John", "secret")});
    HttpClient monitor(server->webPort());
    const HttpResponse health = monitor.get("/healthz");
    ASSERT_EQ(health.status, 200) << health.body;
    const json body = bodyOf(health);
    EXPECT_EQ(body["status"], "ok");
    EXPECT_FALSE(body["version"].get<std::string>().empty());
    // No sign-in needed, and nothing is cached.
    EXPECT_EQ(health.header("Cache-Control"), "no-store");
}

TEST(WebService, MetricsParseAsPrometheusTextAndCountWhatClientsAndBrowsersDid) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb({{"MetricsToken", kMetricsToken}});
    test::writeRecordFile(
        server->dataFile("wiwo.dat"), RecordKind::Board,
        {test::boardRecord("Smith,John", "secret"), test::boardRecord("Doe,Jane", "hidden")});
    server->start();
    HttpClient monitor(server->webPort());
    // What the start left (its readiness probe is a login of nobody).
    std::map<std::string, double> before = prometheusSamples(monitor.get("/metrics").body);

    // A client logs in, another is denied, one names nobody.
    clientLogin(*server, "Smith,John", "secret");
    for (const auto& [key, password] : {std::pair{"Doe,Jane", "wrong"}, std::pair{"Nobody,Here", "x"}}) {
        TcpClient client(server->port());
        client.send(std::string("SUBMIT_LOGIN:FULL:") + key + "|" + password +
                    ":[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
        client.receiveLoginReply();
    }
    // A browser signed in with its live stream open; another guesses until
    // it is slowed down.
    auto browser = signedIn(*server, "Smith,John", "secret");
    test::EventStream stream(server->webPort(), browser->sessionToken());
    ASSERT_EQ(stream.status(), 200);
    HttpClient guesser(server->webPort());
    int refused = 0;
    for (int i = 0; i < 8; ++i)
        refused += guesser.signIn("Doe,Jane", "guess" + std::to_string(i)).status == 429;
    EXPECT_GT(refused, 0);

    std::map<std::string, double> samples;
    // The client's session ends a moment after its confirmation.
    ASSERT_TRUE(eventually([&] {
        samples = prometheusSamples(monitor.get("/metrics").body);
        return samples["zelvora_clients_connected{}"] == 0;
    }));
    const HttpResponse page = monitor.get("/metrics");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const auto counted = [&](const std::string& sample) { return samples[sample] - before[sample]; };
    EXPECT_EQ(counted("zelvora_logins_total{outcome=\"granted\"}"), 1);
    EXPECT_EQ(counted("zelvora_logins_total{outcome=\"denied\"}"), 1);
    EXPECT_EQ(counted("zelvora_logins_total{outcome=\"unknown_account\"}"), 1);
    EXPECT_EQ(counted("zelvora_login_exchange_duration_seconds_count{}"), 1);
    EXPECT_EQ(counted("zelvora_login_exchange_duration_seconds_bucket{le=\"+Inf\"}"), 1);
    EXPECT_GT(counted("zelvora_login_exchange_duration_seconds_sum{}"), 0);
    // The login stamped the board, and so saved it.
    EXPECT_GE(counted("zelvora_board_save_duration_seconds_count{}"), 1);
    EXPECT_EQ(samples["zelvora_mails_total{outcome=\"sent\"}"], 0);
    EXPECT_EQ(samples["zelvora_web_sessions{}"], 1);
    EXPECT_EQ(samples["zelvora_live_streams{}"], 1);
    EXPECT_EQ(samples["zelvora_sign_ins_throttled_total{}"], refused);

    // From elsewhere only with the token.
    if (const std::string address = otherLocalAddress(); !address.empty()) {
        HttpClient remote(server->webPort(), address);
        const HttpResponse without = remote.get("/metrics");
        EXPECT_EQ(without.status, 401) << without.body;
        EXPECT_NE(without.header("WWW-Authenticate").find("Bearer"), std::string::npos);
        EXPECT_EQ(remote.request("GET", "/metrics", {}, {{"Authorization", "Bearer not-the-token"}}).status,
                  401);
        const HttpResponse with = remote.request("GET", "/metrics", {},
                                                 {{"Authorization", std::string("Bearer ") + kMetricsToken}});
        EXPECT_EQ(with.status, 200) << with.body;
    } else {
        std::cout << "no address other than loopback here: the token is not tried from elsewhere\n";
    }
}

}  // namespace
}  // namespace zv::webtest
