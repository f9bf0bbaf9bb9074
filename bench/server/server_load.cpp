// Load generator for zelvorad. Runs full login exchanges (a board record and
// a memo merged, the bundle pulled block by block, confirmed) with 500, 5,000
// and 20,000 accounts and 1 and 20 concurrent clients, and the same exchanges
// against two floor servers that make the same round trips with the same
// bytes and no other work: one writes and flushes whole files of the sizes
// the stores' files have (the same bytes as when every save rewrote its whole
// file), one writes only the records that change, durably, in place behind a
// journal (the minimal). Then compares the server's time per exchange beyond
// the bundle at 50 and 20,000 accounts, and holds 1,000 idle
// connections and measures the server's memory and a login meanwhile. Prints
// every figure as a ratio against its floor or its reference measured in the
// same run. The floors run in processes of their own, as the server does, so
// that the two cross the same process boundary; each row also gives the CPU
// time the server and the minimal floor spend per exchange.
//
// Usage: server_load [--quick]
//        server_load --server-only ACCOUNTS CLIENTS EXCHANGES_PER_CLIENT
//        server_load --floor-only ACCOUNTS CLIENTS EXCHANGES_PER_CLIENT
//        server_load --row ACCOUNTS CLIENTS EXCHANGES_PER_CLIENT TRIALS

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "floor_process.h"
#include "http_client.h"
#include "login_exchange.h"
#include "record_files.h"
#include "server_process.h"
#include "stores/board_store.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using zv::test::Fields;
using zv::test::RecordKind;

constexpr std::size_t kBoardRecord = 1909, kMemoRecord = 1076, kLogRecord = 820;
constexpr std::size_t kLogCapacity = 100;  // MaxLogSize of the test servers

using zv::bench::employeeKey;
using zv::bench::kBlockSize;
using zv::bench::loginRequest;
using zv::bench::Run;
using zv::bench::runClients;

// Several runs of one kind: the median rate, the median and 99th percentile
// of all their latencies, and the median time outside the bundle's transfer.
struct Stats {
    double rate = 0;     // exchanges per second
    double median = 0;   // ms
    double p99 = 0;      // ms
    double outside = 0;  // ms

    explicit Stats(const std::vector<Run>& runs) {
        std::vector<double> rates, all, outsides;
        for (const Run& r : runs) {
            rates.push_back(r.rate);
            all.insert(all.end(), r.latencies.begin(), r.latencies.end());
            outsides.insert(outsides.end(), r.outsideTransfer.begin(), r.outsideTransfer.end());
        }
        std::sort(rates.begin(), rates.end());
        std::sort(all.begin(), all.end());
        std::sort(outsides.begin(), outsides.end());
        rate = rates[rates.size() / 2];
        median = all[all.size() / 2];
        p99 = all[std::min(all.size() - 1, (all.size() * 99) / 100)];
        outside = outsides[outsides.size() / 2];
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double medianLoginMs(int port, int count) {
    std::vector<double> l;
    for (int i = 0; i < count; ++i) l.push_back(zv::bench::exchange(port, loginRequest(0)));
    return median(std::move(l));
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
std::unique_ptr<zv::test::ServerProcess> startServer(int accounts, bool web = false) {
    auto server = std::make_unique<zv::test::ServerProcess>(ZV_ZELVORAD_PATH);
    if (web) server->enableWeb({});
    std::vector<Fields> board;
    for (int i = 0; i < accounts; ++i) board.push_back(zv::test::boardRecord(employeeKey(i), "pw"));
    zv::test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, board);
    const Fields change = {employeeKey(0), "Sales", "1/2/24", "9:00:00 AM", "Busy", "", "", "in a meeting"};
    zv::test::writeRecordFile(server->dataFile("log_stat.dat"), RecordKind::Log,
                              std::vector<Fields>(kLogCapacity, change));
    server->start();
    return server;
}

// What a floor does for each exchange of a server of `accounts` accounts
// whose bundle is `bundle`. The same bytes floor writes whole files: board
// merge, log append (a full log), memo add, memo and message bundles,
// last-contact stamp; then the two deletions at the confirmation. The minimal
// floor writes the client's board record (merged and stamped), the new log
// record and the new memo; the delivered memo at the confirmation.
zv::bench::FloorScript floorScript(bool minimal, int accounts, const std::string& bundle) {
    using zv::bench::FloorWrite;
    zv::bench::FloorScript script;
    script.requestSize = loginRequest(0).size();
    script.bundle = bundle;
    script.blockSize = kBlockSize;
    script.memoBytes = kMemoRecord;
    script.minimal = minimal;
    if (minimal) {
        script.writesBeforeReply = {FloorWrite::fixed(kBoardRecord), FloorWrite::fixed(kLogRecord),
                                    FloorWrite::fixed(kMemoRecord)};
        script.writesAtConfirm = {FloorWrite::fixed(kMemoRecord)};
        return script;
    }
    const FloorWrite board = FloorWrite::fixed(static_cast<std::size_t>(accounts) * kBoardRecord);
    const FloorWrite noMessages = FloorWrite::fixed(0);
    script.writesBeforeReply = {board,
                                FloorWrite::fixed(kLogCapacity * kLogRecord),
                                FloorWrite::memos(+1),
                                FloorWrite::memos(0),
                                noMessages,
                                board};
    script.writesAtConfirm = {noMessages, FloorWrite::memos(-1)};
    return script;
}

// Runs the server and the two floors, `trials` times.
void compare(int accounts, int clients, int perClient, int trials) {
    auto server = startServer(accounts);
    std::string bundle;
    // Warm-up, and the bundle the floors will send.
    for (int i = 0; i < 3; ++i) zv::bench::exchange(server->port(), loginRequest(0), &bundle);

    zv::test::TempDir sameBytesDir("zv-floor"), minimalDir("zv-minimal");
    zv::bench::FloorProcess sameBytes(floorScript(false, accounts, bundle), sameBytesDir.path());
    zv::bench::FloorProcess minimal(floorScript(true, accounts, bundle), minimalDir.path());
    for (int i = 0; i < 3; ++i) {
        zv::bench::exchange(sameBytes.port(), loginRequest(0));
        zv::bench::exchange(minimal.port(), loginRequest(0));
    }

    // Each trial runs the three back to back, in an order that turns with
    // each trial, so that the machine's state at that moment, and whichever
    // goes first, meet all three alike; a ratio is the median of the trials'
    // own ratios.
    std::vector<Run> realRuns, sameBytesRuns, minimalRuns;
    std::vector<double> sameRatios, minimalRatios;
    double realCpu = 0, minimalCpu = 0;  // ms over all trials
    for (int t = 0; t < trials; ++t) {
        const auto runServer = [&] {
            const double before = zv::bench::processCpuMs(server->pid());
            realRuns.push_back(runClients(server->port(), clients, perClient));
            realCpu += zv::bench::processCpuMs(server->pid()) - before;
        };
        const auto runMinimal = [&] {
            const double before = minimal.cpuMs();
            minimalRuns.push_back(runClients(minimal.port(), clients, perClient));
            minimalCpu += minimal.cpuMs() - before;
        };
        if (t % 2 == 0) {
            runServer();
            runMinimal();
        } else {
            runMinimal();
            runServer();
        }
        sameBytesRuns.push_back(runClients(sameBytes.port(), clients, perClient));
        sameRatios.push_back(realRuns.back().rate / sameBytesRuns.back().rate);
        minimalRatios.push_back(realRuns.back().rate / minimalRuns.back().rate);
    }
    const double exchanges = static_cast<double>(trials) * clients * perClient;
    server->stop();
    const Stats real(realRuns), same(sameBytesRuns), least(minimalRuns);
    const bool targets = accounts >= 5000;
    std::printf(
        "%5d accounts %2d clients: %6.1f exchanges/s | same bytes floor %6.1f: ratio %.2f%s | minimal "
        "floor %6.1f: ratio %.2f%s | median %6.1f ms (same bytes %6.1f, minimal %6.1f) | p99 %6.1f ms "
        "(same bytes %6.1f, minimal %6.1f) | outside the transfer %.1f ms (same bytes %.1f, minimal %.1f) | "
        "CPU per "
        "exchange %.2f ms (minimal %.2f) | bundle %zu bytes\n",
        accounts, clients, real.rate, same.rate, median(sameRatios), targets ? " (target >= 1.5)" : "",
        least.rate, median(minimalRatios), targets ? " (target >= 0.85)" : "", real.median, same.median,
        least.median, real.p99, same.p99, least.p99, real.outside, same.outside, least.outside,
        realCpu / exchanges, minimalCpu / exchanges, bundle.size());
    std::fflush(stdout);
}

// What the login step spends on the bundle besides sending it: the board's
// part as the server has it at every login, the client's own record changed
// since the last one and the rest copied from it, by the stores' own code.
// Median ms of `runs`.
double bundleBuildMs(zv::TWIWOList& board, int runs) {
    std::vector<double> times;
    volatile std::size_t sink = 0;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        if (zv::TWIWONode* own = board.findByKey(employeeKey(0))) own->LastContact = std::to_string(r);
        sink = board.bundlePieces().size();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        board.saveToFile();  // as every step of the server ends
    }
    (void)sink;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A board of `accounts` accounts with its file in `folder`, saved.
std::unique_ptr<zv::TWIWOList> boardOf(int accounts, const std::string& folder) {
    auto board = std::make_unique<zv::TWIWOList>();
    board->setFileName(folder + "/wiwo.dat");
    for (int i = 0; i < accounts; ++i)
        board->addNode(
            board->createNodeFromString(zv::test::recordString(zv::test::boardRecord(employeeKey(i), "pw"))));
    board->saveToFile();
    return board;
}

// The server's time per exchange beyond the bundle (outside the bundle's
// transfer, that is the login step and the confirmation, less building the
// bundle) with 20,000 accounts against that with 50, one client, the two
// servers in turn, each run followed by building its bundle here.
void beyondTheBundle(int perRun, int trials) {
    auto small = startServer(50);
    auto large = startServer(20000);
    zv::test::TempDir smallDir("zv-board-50"), largeDir("zv-board-20000");
    auto smallBoard = boardOf(50, smallDir.path());
    auto largeBoard = boardOf(20000, largeDir.path());
    for (int i = 0; i < 3; ++i) {
        zv::bench::exchange(small->port(), loginRequest(0));
        zv::bench::exchange(large->port(), loginRequest(0));
    }
    std::vector<Run> smallRuns, largeRuns;
    std::vector<double> smallBuild, largeBuild;
    for (int t = 0; t < trials; ++t) {
        smallRuns.push_back(runClients(small->port(), 1, perRun));
        smallBuild.push_back(bundleBuildMs(*smallBoard, perRun));
        largeRuns.push_back(runClients(large->port(), 1, perRun));
        largeBuild.push_back(bundleBuildMs(*largeBoard, perRun));
    }
    large->stop();
    small->stop();
    const Stats s(smallRuns), l(largeRuns);
    std::sort(smallBuild.begin(), smallBuild.end());
    std::sort(largeBuild.begin(), largeBuild.end());
    const double smallBeyond = s.outside - smallBuild[smallBuild.size() / 2];
    const double largeBeyond = l.outside - largeBuild[largeBuild.size() / 2];
    std::printf(
        "time per exchange beyond the bundle: 20000 accounts %.1f ms (outside the transfer %.1f, building "
        "the "
        "bundle %.1f), 50 accounts %.1f ms (%.1f, %.2f): ratio %.2f (target <= 1.5) | whole exchange %.1f ms "
        "and %.1f ms\n",
        largeBeyond, l.outside, largeBuild[largeBuild.size() / 2], smallBeyond, s.outside,
        smallBuild[smallBuild.size() / 2], largeBeyond / smallBeyond, l.median, s.median);
    std::fflush(stdout);
}

void idleClients(int count) {
    auto server = startServer(500);
    for (int i = 0; i < 3; ++i) zv::bench::exchange(server->port(), loginRequest(0));
    const double unloaded = medianLoginMs(server->port(), 15);
    const double rssBefore = residentMB(server->pid());
    std::vector<zv::test::TcpClient> idle(static_cast<std::size_t>(count));
    for (auto& c : idle) c.connect(server->port());
    const double loaded = medianLoginMs(server->port(), 15);  // also: every idle one is accepted
    const double rss = residentMB(server->pid());
    std::printf(
        "%d idle clients: server RSS %.1f MB (limit 150, %.2f of it; %.1f MB before) | login "
        "median %.1f ms vs %.1f ms unloaded: ratio %.2f (limit 2)\n",
        count, rss, rss / 150.0, rssBefore, loaded, unloaded, loaded / unloaded);
    idle.clear();
    server->stop();
}

// Runs only the server part of one comparison, after printing the server's
// process id and waiting a few seconds, so that a profiler can attach to it.
// With `scrape`, the server also serves its HTTP side, and its metrics page
// is printed after the run, as a monitoring system would read it.
void serverOnly(int accounts, int clients, int perClient, bool scrape) {
    auto server = startServer(accounts, scrape);
    std::printf("zelvorad pid %d\n", server->pid());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const zv::bench::CpuTimes before = zv::bench::processCpu(server->pid());
    const Stats real({runClients(server->port(), clients, perClient)});
    const zv::bench::CpuTimes after = zv::bench::processCpu(server->pid());
    const double exchanges = static_cast<double>(clients) * perClient;
    std::printf(
        "%.1f exchanges/s, median %.1f ms, p99 %.1f ms, outside the bundle's transfer %.1f ms, CPU per "
        "exchange %.2f ms in the server's code and %.2f ms in the system's\n",
        real.rate, real.median, real.p99, real.outside, (after.user - before.user) / exchanges,
        (after.system - before.system) / exchanges);
    if (scrape) {
        zv::test::HttpClient monitor(server->webPort());
        const auto page = monitor.get("/metrics");
        std::printf("GET /metrics: %d\n%s", page.status, page.body.c_str());
    }
    server->stop();
}

// As serverOnly, for the minimal floor alone: the server runs first only to
// give the bundle.
void floorOnly(int accounts, int clients, int perClient) {
    std::string bundle;
    {
        auto server = startServer(accounts);
        zv::bench::exchange(server->port(), loginRequest(0), &bundle);
        server->stop();
    }
    zv::test::TempDir folder("zv-minimal");
    zv::bench::FloorProcess minimal(floorScript(true, accounts, bundle), folder.path());
    zv::bench::exchange(minimal.port(), loginRequest(0));
    std::printf("minimal floor pid %d\n", minimal.pid());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const zv::bench::CpuTimes before = zv::bench::processCpu(minimal.pid());
    const Stats run({runClients(minimal.port(), clients, perClient)});
    const zv::bench::CpuTimes after = zv::bench::processCpu(minimal.pid());
    const double exchanges = static_cast<double>(clients) * perClient;
    std::printf(
        "%.1f exchanges/s, median %.1f ms, CPU per exchange %.2f ms in its own code and %.2f ms in "
        "the system's\n",
        run.rate, run.median, (after.user - before.user) / exchanges,
        (after.system - before.system) / exchanges);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int scale = quick ? 1 : 2;
    try {
        if ((argc == 5 || (argc == 6 && std::strcmp(argv[5], "--metrics") == 0)) &&
            std::strcmp(argv[1], "--server-only") == 0) {
            serverOnly(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argc == 6);
            return 0;
        }
        if (argc == 5 && std::strcmp(argv[1], "--floor-only") == 0) {
            floorOnly(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
            return 0;
        }
        if (argc == 6 && std::strcmp(argv[1], "--row") == 0) {  // one comparison, as below
            compare(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
            return 0;
        }
        std::printf(
            "Full login exchanges against zelvorad, and against two floors that make the same round\n"
            "trips with the same bytes and no other work: the same bytes floor writes and flushes whole\n"
            "files of the sizes of the stores' files at the same points, one at a time (as when every\n"
            "save rewrote its whole file); the minimal floor writes only the records that change, each\n"
            "in place behind a journal, flushed. Each trial runs the server and the minimal floor back\n"
            "to back, taking turns at going first, then the same bytes floor; rates are the median of\n"
            "the trials, ratios the median of the trials' own ratios. Then the server's time per\n"
            "exchange beyond the bundle (outside its transfer, less building it) at 20,000 accounts\n"
            "against 50.\n");
        // Twenty clients make a few exchanges each, so that a trial measures
        // the rate while all twenty are at work rather than the last one's
        // finish.
        compare(500, 1, 50 * scale, 5);
        compare(500, 20, 3 * scale, 5);
        compare(5000, 1, 5 * scale, 5);
        compare(5000, 20, 2 * scale, 5);
        compare(20000, 1, 3 * scale, 5);
        compare(20000, 20, scale, 5);
        beyondTheBundle(10 * scale, 3);
        idleClients(1000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "server_load: %s\n", e.what());
        return 1;
    }
    return 0;
}
