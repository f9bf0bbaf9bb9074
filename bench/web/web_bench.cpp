// The HTTP side under load, every figure a ratio against a floor measured in
// the same run:
//  1. The board as JSON (500 and 5,000 accounts) fetched over and over by
//     keep-alive clients, against the same library serving a static body of
//     the same size with no other work (target: at least 0.7 of its rate).
//  2. A thousand open board pages (live streams): the server's memory above
//     idle (target: at most 100 MB), its CPU while nothing changes, the time
//     for a change to reach every page (target: within 1 s), and the rate
//     of client login exchanges meanwhile against the rate without them
//     (target: at least 0.9).
//  3. At 5,000 accounts with a thousand open pages, one change (a status set
//     in a browser): the bytes each page receives (the changed row, target
//     at most 2 KB) against the whole board it would otherwise fetch, and the
//     time until every page has it (target: at most 100 ms) against the time
//     until one open page has it, measured on the same server.
//
// Usage: web_bench [--quick] [--changed-rows] (the last: only the third)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "http_client.h"
#include "login_exchange.h"
#include "record_files.h"
#include "server_process.h"
#include "sse_clients.h"
#include "static_floor.h"
#include "tcp_client.h"
#include "web/http_daemon.h"

namespace {

using Clock = std::chrono::steady_clock;
using zv::test::Fields;
using zv::test::HttpClient;

// A server whose board holds `accounts` accounts, with the HTTP side on.
std::unique_ptr<zv::test::ServerProcess> startServer(int accounts) {
    auto server = std::make_unique<zv::test::ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    std::vector<Fields> board;
    for (int i = 0; i < accounts; ++i) {
        Fields fields = zv::test::boardRecord(zv::bench::employeeKey(i), "pw", i % 3 ? "Sales" : "Support",
                                              i % 4 ? "In" : "Out");
        if (i % 4 == 0) {
            fields[zv::test::board::Returning] = "3:30 PM";
            fields[zv::test::board::Comments] = "Client visit";
        }
        fields[5] = "555-" + std::to_string(1000 + i % 9000);  // WorkPhone
        fields[zv::test::board::StatusChanged] = "6/12/26 9:15:00 AM";
        board.push_back(fields);
    }
    zv::test::writeRecordFile(server->dataFile("wiwo.dat"), zv::test::RecordKind::Board, board);
    server->start();
    return server;
}

// Requests per second of `clients` keep-alive clients fetching `path` for
// `seconds`.
double requestRate(int port, const std::string& path, const std::string& session, int clients, double seconds,
                   std::size_t expectedBytes) {
    std::atomic<long> done{0};
    std::atomic<bool> failed{false};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            HttpClient client(port);
            if (!session.empty()) client.cookies["zv_session"] = session;
            while (Clock::now() < end) {
                const auto response = client.get(path);
                if (response.status != 200 || response.body.size() != expectedBytes) {
                    failed = true;
                    return;
                }
                ++done;
            }
        });
    }
    for (auto& t : threads) t.join();
    if (failed) throw std::runtime_error("a board request failed");
    return static_cast<double>(done) / std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void boardAgainstStaticBody(int accounts, int trials, double seconds) {
    auto server = startServer(accounts);
    HttpClient browser(server->webPort());
    if (browser.signIn(zv::bench::employeeKey(0), "pw").status != 200) throw std::runtime_error("sign-in refused");
    const std::string board = browser.get("/api/board").body;
    zv::bench::StaticFloorProcess floor(board, zv::web::THttpDaemon::kThreads);
    constexpr int kClients = 4;
    std::vector<double> real, flat;
    requestRate(server->webPort(), "/api/board", browser.sessionToken(), kClients, 0.5, board.size());  // warm-up
    requestRate(floor.port(), "/", "", kClients, 0.5, board.size());
    for (int t = 0; t < trials; ++t) {
        real.push_back(requestRate(server->webPort(), "/api/board", browser.sessionToken(), kClients, seconds,
                                   board.size()));
        flat.push_back(requestRate(floor.port(), "/", "", kClients, seconds, board.size()));
    }
    const double r = median(real), f = median(flat);
    std::printf("board as JSON, %5d accounts (%7zu bytes), %d keep-alive clients: %7.1f requests/s | static body of "
                "the same size, same library: %7.1f/s | ratio %.2f (target >= 0.7)\n",
                accounts, board.size(), kClients, r, f, r / f);
    std::fflush(stdout);
    server->stop();
}

double residentMB(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

// User and system CPU time of a process so far, in milliseconds.
double cpuMs(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A client login that changes what the board shows (a new comment).
void loginWithNewComment(int port, int round) {
    Fields board = zv::test::boardRecord(zv::bench::employeeKey(1), "pw", "Sales", "In a meeting");
    board[zv::test::board::Comments] = "round " + std::to_string(round);
    const std::string request = "SUBMIT_LOGIN:FULL:" + zv::bench::employeeKey(1) + "|pw:[*WIWO*]" +
                                zv::test::recordString(board) + "[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA";
    zv::bench::exchange(port, request);
}

void openPages(int pages, int exchanges, int trials) {
    auto server = startServer(500);
    // A session for every four pages, each of an account of its own.
    std::vector<std::string> sessions;
    HttpClient browser(server->webPort());
    for (int i = 0; i * zv::bench::SseClients::kPerSession < pages; ++i) {
        if (browser.signIn(zv::bench::employeeKey(i), "pw").status != 200) {
            throw std::runtime_error("sign-in refused");
        }
        sessions.push_back(browser.sessionToken());
    }
    for (int i = 0; i < 3; ++i) zv::bench::exchange(server->port(), zv::bench::loginRequest(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double idleMB = residentMB(server->pid());

    double openMB = 0, idleCpu = 0;
    std::chrono::nanoseconds slowest{0};
    std::vector<double> without, with;
    // Each trial: logins without the pages, then with them open (and
    // hearing of every change the logins make).
    for (int t = 0; t < trials; ++t) {
        without.push_back(zv::bench::runClients(server->port(), 1, exchanges).rate);
        // Each trial's pages come from addresses of their own: the server
        // may not yet have noticed the last trial's pages gone.
        auto streams = std::make_unique<zv::bench::SseClients>(server->webPort(), sessions, pages, 1 + t);
        if (t == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            openMB = residentMB(server->pid());
            // Nothing changes for ten seconds.
            const double cpuBefore = cpuMs(server->pid());
            std::this_thread::sleep_for(std::chrono::seconds(10));
            idleCpu = cpuMs(server->pid()) - cpuBefore;
            // A change reaches every page.
            for (int round = 0; round < 3; ++round) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                const int expected = streams->fewestEvents() + 1;
                const auto start = Clock::now();
                loginWithNewComment(server->port(), round);
                if (!streams->waitForAll(expected, std::chrono::seconds(10), nullptr)) {
                    throw std::runtime_error("a change did not reach every page within 10 s");
                }
                slowest = std::max(slowest, std::chrono::nanoseconds(Clock::now() - start));
            }
        }
        streams->startDraining();
        with.push_back(zv::bench::runClients(server->port(), 1, exchanges).rate);
        streams->stopDraining();
    }

    const double rateWith = median(with), rateWithout = median(without);
    std::printf("%d open board pages: server RSS %.1f MB, %.1f MB above idle (%.1f MB; target <= 100) | "
                "CPU while nothing changed: %.0f ms in 10 s | a change reached every page within %.0f ms, "
                "the client's login exchange included (target <= 1000) | login exchanges %.1f/s with the pages "
                "vs %.1f/s without: ratio %.2f (target >= 0.9)\n",
                pages, openMB, openMB - idleMB, idleMB, idleCpu,
                std::chrono::duration<double, std::milli>(slowest).count(), rateWith, rateWithout,
                rateWith / rateWithout);
    std::fflush(stdout);
    server->stop();
}

// The time from a browser's status change until every stream has heard of
// it, and the bytes they received meanwhile.
struct Reach {
    double ms = 0;
    std::size_t bytes = 0;
};
Reach changeReaches(HttpClient& changer, zv::bench::SseClients& streams, int round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // past the feed's burst interval
    const int expected = streams.fewestEvents() + 1;
    const std::size_t before = streams.totalBytes();
    const auto start = Clock::now();
    const auto response = changer.request(
        "PUT", "/api/my-status",
        R"({"status":"At lunch","returning":"2:30 PM","reachedAt":"","comments":"round )" + std::to_string(round) +
            "\"}");
    if (response.status != 200) throw std::runtime_error("the status change was refused: " + response.body);
    if (!streams.waitForAll(expected, std::chrono::seconds(10), nullptr)) {
        throw std::runtime_error("a change did not reach every page within 10 s");
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return {ms, streams.totalBytes() - before};
}

void changedRowsAt5000(int pages, int rounds) {
    auto server = startServer(5000);
    std::vector<std::string> sessions;
    HttpClient browser(server->webPort());
    for (int i = 0; i * zv::bench::SseClients::kPerSession < pages; ++i) {
        if (browser.signIn(zv::bench::employeeKey(i), "pw").status != 200) throw std::runtime_error("sign-in refused");
        sessions.push_back(browser.sessionToken());
    }
    HttpClient changer(server->webPort());
    if (changer.signIn(zv::bench::employeeKey(4999), "pw").status != 200) throw std::runtime_error("sign-in refused");
    const std::size_t boardBytes = changer.get("/api/board").body.size();

    // The floor: one open page on the same server.
    std::vector<double> one, all;
    std::size_t mostPerPage = 0;
    {
        zv::bench::SseClients single(server->webPort(), {sessions[0]}, 1, 200);
        for (int r = 0; r < rounds; ++r) one.push_back(changeReaches(changer, single, r).ms);
    }
    zv::bench::SseClients streams(server->webPort(), sessions, pages, 100);
    for (int r = 0; r < rounds; ++r) {
        const Reach reach = changeReaches(changer, streams, 100 + r);
        all.push_back(reach.ms);
        mostPerPage = std::max(mostPerPage, reach.bytes / static_cast<std::size_t>(pages));
    }
    const double a = median(all), o = median(one);
    std::printf("5000 accounts, one status change: %d open pages all had it in %.1f ms (target <= 100) | one open "
                "page: %.1f ms | ratio %.1f | %zu bytes per page (target <= 2048) against the whole board's %zu: "
                "ratio %.4f\n",
                pages, a, o, a / o, mostPerPage, boardBytes,
                static_cast<double>(mostPerPage) / static_cast<double>(boardBytes));
    std::fflush(stdout);
    server->stop();
}

void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--static-floor") == 0) {
        return zv::bench::runStaticFloor(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
    }
    bool quick = false, onlyRows = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        onlyRows = onlyRows || std::strcmp(argv[i], "--changed-rows") == 0;
    }
    raiseDescriptorLimit();
    try {
        std::printf("The HTTP side under load; each figure against a floor measured in the same run.\n");
        if (!onlyRows) {
            boardAgainstStaticBody(500, quick ? 3 : 9, 1.0);
            boardAgainstStaticBody(5000, quick ? 3 : 9, 1.0);
            openPages(1000, quick ? 20 : 60, quick ? 1 : 3);
        }
        changedRowsAt5000(1000, quick ? 3 : 9);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "web_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
