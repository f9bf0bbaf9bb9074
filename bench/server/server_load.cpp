// Load generator for zelvorad. Runs full login exchanges (a board record and
// a memo merged, the bundle pulled block by block, confirmed) with 500 and
// 5,000 accounts and 1 and 20 concurrent clients, and the same exchanges
// against a floor server that makes the same round trips with the same bytes
// and writes and flushes files of the same sizes, with no other work. Then
// holds 1,000 idle connections and measures the server's memory and a login
// meanwhile. Prints every figure as a ratio against its floor or unloaded
// value measured in the same run.
//
// Usage: server_load [--quick]
//        server_load --server-only ACCOUNTS CLIENTS EXCHANGES_PER_CLIENT

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "floor_server.h"
#include "login_exchange.h"
#include "record_files.h"
#include "server_process.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using zv::test::Fields;
using zv::test::RecordKind;

constexpr std::size_t kBoardRecord = 1909, kMemoRecord = 1076, kLogRecord = 820;
constexpr std::size_t kLogCapacity = 100;  // MaxLogSize of the test servers

using zv::bench::employeeKey;
using zv::bench::exchange;
using zv::bench::kBlockSize;
using zv::bench::loginRequest;
using zv::bench::Run;
using zv::bench::runClients;

// Several runs of one kind: the median rate, and the median and 99th
// percentile of all their latencies.
struct Stats {
    double rate = 0;     // exchanges per second
    double median = 0;   // ms
    double p99 = 0;      // ms

    explicit Stats(const std::vector<Run>& runs) {
        std::vector<double> rates, all;
        for (const Run& r : runs) {
            rates.push_back(r.rate);
            all.insert(all.end(), r.latencies.begin(), r.latencies.end());
        }
        std::sort(rates.begin(), rates.end());
        std::sort(all.begin(), all.end());
        rate = rates[rates.size() / 2];
        median = all[all.size() / 2];
        p99 = all[std::min(all.size() - 1, (all.size() * 99) / 100)];
    }
};

double medianLoginMs(int port, int count) {
    std::vector<double> l;
    for (int i = 0; i < count; ++i) l.push_back(exchange(port, loginRequest(0)));
    std::sort(l.begin(), l.end());
    return l[l.size() / 2];
}

double residentMB(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

// A server whose board holds `accounts` accounts and whose status log is
// already full, as in an office that has run for a while.
std::unique_ptr<zv::test::ServerProcess> startServer(int accounts) {
    auto server = std::make_unique<zv::test::ServerProcess>(ZV_ZELVORAD_PATH);
    std::vector<Fields> board;
    for (int i = 0; i < accounts; ++i) board.push_back(zv::test::boardRecord(employeeKey(i), "pw"));
    zv::test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, board);
    const Fields change = {employeeKey(0), "Sales", "1/2/24", "9:00:00 AM", "Busy", "", "", "in a meeting"};
    zv::test::writeRecordFile(server->dataFile("log_stat.dat"), RecordKind::Log,
                              std::vector<Fields>(kLogCapacity, change));
    server->start();
    return server;
}

// Runs the server, the floor and the durable floor in turn, `trials` times,
// so that a change in the machine's speed meets all three alike.
void compare(int accounts, int clients, int perClient, int trials) {
    auto server = startServer(accounts);
    std::string bundle;
    // Warm-up, and the bundle the floor will send.
    for (int i = 0; i < 3; ++i) exchange(server->port(), loginRequest(0), &bundle);

    zv::bench::FloorScript script;
    script.requestSize = loginRequest(0).size();
    script.bundle = bundle;
    script.blockSize = kBlockSize;
    script.memoBytes = kMemoRecord;
    using zv::bench::FloorWrite;
    const FloorWrite board = FloorWrite::fixed(static_cast<std::size_t>(accounts) * kBoardRecord);
    const FloorWrite noMessages = FloorWrite::fixed(0);
    // Board merge, log append (a full log), memo add, memo and message
    // bundles, last-contact stamp; then the two deletions at the confirmation.
    script.writesBeforeReply = {board, FloorWrite::fixed(kLogCapacity * kLogRecord), FloorWrite::memos(+1),
                                FloorWrite::memos(0), noMessages, board};
    script.writesAtConfirm = {noMessages, FloorWrite::memos(-1)};
    zv::test::TempDir floorDir("zv-floor"), durableDir("zv-durable");
    script.durableReplace = false;
    zv::bench::FloorServer floorServer(script, floorDir.path());
    script.durableReplace = true;
    zv::bench::FloorServer durableServer(script, durableDir.path());
    for (int i = 0; i < 3; ++i) {
        exchange(floorServer.port(), loginRequest(0));
        exchange(durableServer.port(), loginRequest(0));
    }

    std::vector<Run> realRuns, floorRuns, durableRuns;
    for (int t = 0; t < trials; ++t) {
        realRuns.push_back(runClients(server->port(), clients, perClient));
        floorRuns.push_back(runClients(floorServer.port(), clients, perClient));
        durableRuns.push_back(runClients(durableServer.port(), clients, perClient));
    }
    server->stop();
    const Stats real(realRuns), floor(floorRuns), durable(durableRuns);
    std::printf("%5d accounts %2d clients: %6.1f exchanges/s | floor %6.1f: ratio %.2f | durable floor "
                "%6.1f: ratio %.2f | median %6.1f ms (floor %6.1f, durable %6.1f) | p99 %6.1f ms "
                "(floor %6.1f, durable %6.1f) | p99/median %.2f (floor %.2f) | bundle %zu bytes\n",
                accounts, clients, real.rate, floor.rate, real.rate / floor.rate, durable.rate,
                real.rate / durable.rate, real.median, floor.median, durable.median, real.p99,
                floor.p99, durable.p99, real.p99 / real.median, floor.p99 / floor.median, bundle.size());
    std::fflush(stdout);
}

void idleClients(int count) {
    auto server = startServer(500);
    for (int i = 0; i < 3; ++i) exchange(server->port(), loginRequest(0));
    const double unloaded = medianLoginMs(server->port(), 15);
    const double rssBefore = residentMB(server->pid());
    std::vector<zv::test::TcpClient> idle(static_cast<std::size_t>(count));
    for (auto& c : idle) c.connect(server->port());
    const double loaded = medianLoginMs(server->port(), 15);  // also: every idle one is accepted
    const double rss = residentMB(server->pid());
    std::printf("%d idle clients: server RSS %.1f MB (limit 150, %.2f of it; %.1f MB before) | login "
                "median %.1f ms vs %.1f ms unloaded: ratio %.2f (limit 2)\n",
                count, rss, rss / 150.0, rssBefore, loaded, unloaded, loaded / unloaded);
    idle.clear();
    server->stop();
}

// Runs only the server part of one comparison, after printing the server's
// process id and waiting a few seconds, so that a profiler can attach to it.
void serverOnly(int accounts, int clients, int perClient) {
    auto server = startServer(accounts);
    std::printf("zelvorad pid %d\n", server->pid());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const Stats real({runClients(server->port(), clients, perClient)});
    std::printf("%.1f exchanges/s, median %.1f ms, p99 %.1f ms\n", real.rate, real.median, real.p99);
    server->stop();
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int scale = quick ? 1 : 2;
    try {
        if (argc == 5 && std::strcmp(argv[1], "--server-only") == 0) {
            serverOnly(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
            return 0;
        }
        std::printf(
            "Full login exchanges against zelvorad, and against a floor that makes the same round\n"
            "trips with the same bytes and writes and flushes files of the same sizes, one rewrite\n"
            "at a time (the memo file holds the memos of the clients between login and\n"
            "confirmation, as the server's does; target ratio >= 0.6). The durable floor also replaces each file as the\n"
            "stores do (temporary file, rename) and flushes the folder after every file, where the\n"
            "server flushes it once per reply. p99/median tells how evenly the clients are served.\n"
            "Rates are the median of several runs, each made in turn with its two floors.\n");
        compare(500, 1, 50 * scale, 5);
        compare(500, 20, 3 * scale, 5);
        compare(5000, 1, 5 * scale, 3);
        compare(5000, 20, 1, 2 * scale - 1);
        idleClients(1000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "server_load: %s\n", e.what());
        return 1;
    }
    return 0;
}
