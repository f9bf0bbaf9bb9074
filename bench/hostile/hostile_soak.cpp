// Hostile-client soak for zelvorad, on the loopback interface only. Starts a
// zelvorad of its own in a temporary folder with a few dozen accounts, then:
//
// soak (the default): for MINUTES many concurrent clients misbehave in every
//   way a network can (mutated and truncated logins, noise, logins in small
//   pieces, clients that vanish mid-transfer, transfer replies out of turn,
//   punch-outs, silent connections held open until the server's idle timeout
//   closes them or the soak gives up on them). Every CHECK_EVERY connections
//   a valid login must be served in full. Prints the connections made by
//   kind and the server's descriptors, threads, memory and CPU time at start
//   and end. Fails when the server dies, when a valid login is not served in
//   full, or when a login sent in pieces is not served as a whole one.
//
// churn: CONNECTIONS connections in a row, each sending nothing or a little
//   and closing; afterwards the server's descriptors and threads must come
//   back to what they were before (within a settle time), and a valid login
//   must still be served.
//
// Usage: hostile_soak [--minutes M] [--clients N] [--check-every K]
//                     [--idle-timeout S] [--silent N] [--silent-limit S]
//        hostile_soak --churn [--connections N]

#include <poll.h>
#include <unistd.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostile_clients.h"
#include "process_figures.h"
#include "record_files.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using zv::bench::readProcessFigures;
using zv::bench::THostileKind;
using zv::bench::TProcessFigures;
using zv::bench::TRawConnection;
using zv::bench::TSoakAccounts;

constexpr int kBlockSize = 1024;

struct TOptions {
    bool churn = false;
    double minutes = 3;
    int clients = 24;
    int checkEvery = 300;
    int idleTimeout = 20;   // seconds, written as [Options] IdleTimeout
    int silent = 40;        // silent connections held at once
    int silentLimit = 45;   // seconds after which the soak closes a silent one itself
    long connections = 100000;
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: hostile_soak [--minutes M] [--clients N] [--check-every K] [--idle-timeout S]\n"
                 "                    [--silent N] [--silent-limit S]\n"
                 "       hostile_soak --churn [--connections N]\n");
    std::exit(2);
}

TOptions parseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> double {
            if (i + 1 >= argc) usage();
            char* end = nullptr;
            const double v = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || v < 0) usage();
            return v;
        };
        if (a == "--churn") o.churn = true;
        else if (a == "--minutes") o.minutes = value();
        else if (a == "--clients") o.clients = std::max(1, static_cast<int>(value()));
        else if (a == "--check-every") o.checkEvery = std::max(1, static_cast<int>(value()));
        else if (a == "--idle-timeout") o.idleTimeout = static_cast<int>(value());
        else if (a == "--silent") o.silent = static_cast<int>(value());
        else if (a == "--silent-limit") o.silentLimit = std::max(1, static_cast<int>(value()));
        else if (a == "--connections") o.connections = static_cast<long>(value());
        else usage();
    }
    return o;
}

// A zelvorad with the soak's accounts, small blocks (many transfer steps) and
// the idle timeout in its settings file.
std::unique_ptr<zv::test::ServerProcess> startServer(const TSoakAccounts& accounts, int idleTimeout) {
    auto server = std::make_unique<zv::test::ServerProcess>(
        ZV_ZELVORAD_PATH, std::map<std::string, std::string>{{"BlockSize", std::to_string(kBlockSize)},
                                                             {"ExpDays", "1"}});
    std::vector<zv::test::Fields> board;
    for (int i = 0; i < accounts.count; ++i)
        board.push_back(zv::test::boardRecord(accounts.key(i), accounts.password(i)));
    board.push_back(zv::test::boardRecord(TSoakAccounts::kCheckerKey, TSoakAccounts::kCheckerPassword));
    zv::test::writeRecordFile(server->dataFile("wiwo.dat"), zv::test::RecordKind::Board, board);
    zv::test::writeRecordFile(server->dataFile("department.dat"), zv::test::RecordKind::Department,
                              {{"Sales"}, {"Support"}});
    // [Options] is the file's only section: the key joins it.
    zv::test::writeFile(server->iniPath(), zv::test::readFile(server->iniPath()) +
                                               "IdleTimeout=" + std::to_string(idleTimeout) + "\r\n");
    server->start();
    return server;
}

bool serverAlive(zv::test::ServerProcess& server) { return server.waitForExit(0ms) == -1 && server.running(); }

// Waits until the server holds no more descriptors and threads than `base`,
// or `limit` has passed; the figures at the end.
TProcessFigures settle(int pid, const TProcessFigures& base, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    TProcessFigures now = readProcessFigures(pid);
    while (Clock::now() < deadline && (now.descriptors > base.descriptors || now.threads > base.threads)) {
        std::this_thread::sleep_for(250ms);
        now = readProcessFigures(pid);
    }
    return now;
}

void printServerMessages(const zv::test::ServerProcess& server) {
    const std::string text = server.stderrText();
    if (text.empty()) return;
    std::printf("server messages (first 2000 bytes):\n%s\n", text.substr(0, 2000).c_str());
}

// ---- soak ------------------------------------------------------------------

// Holds silent connections: opens them over time up to `cap`, notes when the
// server closes one, and closes those older than `limit` itself.
class TSilentHolder {
public:
    TSilentHolder(int port, int cap, std::chrono::seconds limit) : port_(port), cap_(cap), limit_(limit) {}

    void run(const std::atomic<bool>& stop) {
        while (!stop) {
            if (static_cast<int>(held_.size()) < cap_) {
                auto c = std::make_unique<TRawConnection>();
                if (c->connect(port_)) {
                    held_.push_back({std::move(c), Clock::now()});
                    ++opened;
                }
            }
            std::vector<pollfd> fds;
            for (const auto& h : held_) fds.push_back({h.connection->fd(), POLLIN, 0});
            ::poll(fds.data(), fds.size(), 100);
            for (std::size_t i = 0; i < held_.size();) {
                Held& h = held_[i];
                if (fds[i].revents != 0) h.connection->receiveFor(0ms);
                if (h.connection->peerClosed()) {
                    ++closedByServer;
                } else if (Clock::now() - h.since > limit_) {
                    ++closedBySoak;
                } else {
                    ++i;
                    continue;
                }
                held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
                fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        closedAtEnd = static_cast<long>(held_.size());
        held_.clear();
    }

    long opened = 0, closedByServer = 0, closedBySoak = 0, closedAtEnd = 0;

private:
    struct Held {
        std::unique_ptr<TRawConnection> connection;
        Clock::time_point since;
    };
    int port_;
    int cap_;
    std::chrono::seconds limit_;
    std::deque<Held> held_;
};

int soak(const TOptions& o) {
    const TSoakAccounts accounts;
    auto server = startServer(accounts, o.idleTimeout);
    const int port = server->port();
    zv::bench::runValidExchange(port, kBlockSize, 30s);
    const TProcessFigures start = readProcessFigures(server->pid());
    std::printf("hostile soak: %.1f min, %d clients, a valid login every %d connections, idle timeout %d s, "
                "zelvorad pid %d\n",
                o.minutes, o.clients, o.checkEvery, o.idleTimeout, server->pid());
    std::printf("server at start: %s\n", zv::bench::describe(start).c_str());
    std::fflush(stdout);

    constexpr std::size_t kKinds = static_cast<std::size_t>(THostileKind::kCount);
    std::array<std::atomic<long>, kKinds> made{};
    std::atomic<long> connections{0}, valid{0};
    std::atomic<bool> stop{false};
    std::mutex problemMutex;
    std::string problem;
    auto report = [&](const std::string& what) {
        std::lock_guard lock(problemMutex);
        if (problem.empty()) problem = what;
        stop = true;
    };

    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(o.minutes * 60));
    std::vector<std::thread> workers;
    for (int w = 0; w < o.clients; ++w) {
        workers.emplace_back([&, w] {
            std::mt19937_64 random(0x5eedULL * 1000003ULL + static_cast<unsigned>(w));
            while (!stop && Clock::now() < deadline) {
                const long n = ++connections;
                if (n % o.checkEvery == 0) {
                    try {
                        zv::bench::runValidExchange(port, kBlockSize, 30s);
                        ++valid;
                    } catch (const std::exception& e) {
                        report("valid login at connection " + std::to_string(n) + " not served in full: " + e.what());
                    }
                    continue;
                }
                const auto kind = static_cast<THostileKind>(random() % kKinds);
                std::string why;
                if (!zv::bench::runHostileClient(kind, port, accounts, kBlockSize, random, &why))
                    report(std::string(zv::bench::kindName(kind)) + ": " + why);
                ++made[static_cast<std::size_t>(kind)];
            }
        });
    }
    TSilentHolder silent(port, o.silent, std::chrono::seconds(o.silentLimit));
    std::thread silentThread([&] { silent.run(stop); });

    auto lastReport = Clock::now();
    while (!stop && Clock::now() < deadline) {
        std::this_thread::sleep_for(500ms);
        if (!serverAlive(*server)) report("the server died");
        if (Clock::now() - lastReport >= 30s) {
            lastReport = Clock::now();
            std::printf("  ... %ld connections, %ld valid logins served; server: %s\n", connections.load(),
                        valid.load(), zv::bench::describe(readProcessFigures(server->pid())).c_str());
            std::fflush(stdout);
        }
    }
    stop = true;
    for (auto& t : workers) t.join();
    silentThread.join();
    const double seconds = o.minutes * 60;

    const bool alive = serverAlive(*server);
    if (!alive && problem.empty()) problem = "the server died";
    TProcessFigures end;
    if (alive) {
        end = settle(server->pid(), start, 15s);
        try {
            zv::bench::runValidExchange(port, kBlockSize, 30s);
            ++valid;
        } catch (const std::exception& e) {
            if (problem.empty()) problem = std::string("the last valid login failed: ") + e.what();
        }
    }

    long all = 0;
    for (const auto& m : made) all += m;
    std::printf("connections: %ld in %.0f s (%.1f/s)\n", all + valid + silent.opened, seconds,
                static_cast<double>(all + valid + silent.opened) / seconds);
    for (std::size_t k = 0; k < kKinds; ++k)
        std::printf("  %-26s %8ld\n", zv::bench::kindName(static_cast<THostileKind>(k)), made[k].load());
    std::printf("  %-26s %8ld (every %d, and one at each end)\n", "valid, served in full", valid.load(),
                o.checkEvery);
    std::printf("  %-26s %8ld (closed by the server %ld, by the soak after %d s %ld, open at the end %ld)\n",
                "silent", silent.opened, silent.closedByServer, o.silentLimit, silent.closedBySoak,
                silent.closedAtEnd);
    std::printf("server at start: %s\n", zv::bench::describe(start).c_str());
    std::printf("server at end:   %s%s\n", alive ? zv::bench::describe(end).c_str() : "gone",
                alive ? " (after settling)" : "");
    if (!problem.empty()) {
        printServerMessages(*server);
        std::printf("FAIL: %s\n", problem.c_str());
        return 1;
    }
    std::printf("PASS\n");
    server->stop();
    return 0;
}

// ---- churn -----------------------------------------------------------------

int churn(const TOptions& o) {
    const TSoakAccounts accounts;
    auto server = startServer(accounts, o.idleTimeout);
    const int port = server->port();
    zv::bench::runValidExchange(port, kBlockSize, 30s);
    std::this_thread::sleep_for(1s);
    const TProcessFigures base = readProcessFigures(server->pid());
    std::printf("churn: %ld connections in a row, zelvorad pid %d\n", o.connections, server->pid());
    std::printf("server before: %s\n", zv::bench::describe(base).c_str());
    std::fflush(stdout);

    std::mt19937_64 random(0xc4u);
    const std::string login = zv::bench::validLogin(accounts.key(2), accounts.password(2));
    long refused = 0, sentNothing = 0, sentSomething = 0;
    const auto start = Clock::now();
    for (long i = 0; i < o.connections; ++i) {
        TRawConnection c;
        int tries = 0;
        while (!c.connect(port)) {
            ++refused;
            if (++tries > 100 || !serverAlive(*server)) {
                std::printf("FAIL: connection %ld refused %d times\n", i, tries);
                printServerMessages(*server);
                return 1;
            }
            std::this_thread::sleep_for(10ms);
        }
        switch (random() % 5) {
            case 0:
            case 1: ++sentNothing; break;
            case 2: {
                std::string noise(1 + random() % 64, '\0');
                for (char& ch : noise) ch = static_cast<char>(random());
                c.send(noise);
                ++sentSomething;
                break;
            }
            case 3:
                c.send("PUNCH_OUT:Nobody,Here:");
                ++sentSomething;
                break;
            default:
                c.send(std::string_view(login).substr(0, random() % login.size()));
                ++sentSomething;
                break;
        }
        // Mostly a reset, which leaves nothing behind on either side; now and
        // then an orderly close.
        c.close(random() % 10 != 0);
        if ((i + 1) % 20000 == 0) {
            std::printf("  ... %ld connections; server: %s\n", i + 1,
                        zv::bench::describe(readProcessFigures(server->pid())).c_str());
            std::fflush(stdout);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!serverAlive(*server)) {
        printServerMessages(*server);
        std::printf("FAIL: the server died\n");
        return 1;
    }
    const TProcessFigures after = settle(server->pid(), base, 30s);
    std::string problem;
    if (after.descriptors > base.descriptors || after.threads > base.threads)
        problem = "descriptors or threads did not come back within 30 s";
    try {
        zv::bench::runValidExchange(port, kBlockSize, 30s);
    } catch (const std::exception& e) {
        if (problem.empty()) problem = std::string("a valid login afterwards failed: ") + e.what();
    }
    std::printf("connections: %ld in %.1f s (%.0f/s): %ld sent nothing, %ld sent a little; %ld connects "
                "refused and retried\n",
                o.connections, seconds, static_cast<double>(o.connections) / seconds, sentNothing, sentSomething,
                refused);
    std::printf("server before: %s\n", zv::bench::describe(base).c_str());
    std::printf("server after:  %s\n", zv::bench::describe(after).c_str());
    if (!problem.empty()) {
        printServerMessages(*server);
        std::printf("FAIL: %s\n", problem.c_str());
        return 1;
    }
    std::printf("PASS\n");
    server->stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = parseOptions(argc, argv);
    // The server's folders in memory unless told otherwise: the soak is about
    // what the server survives, and a disk's flushes would only slow it down.
    if (std::getenv("TMPDIR") == nullptr && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    try {
        return options.churn ? churn(options) : soak(options);
    } catch (const std::exception& e) {
        std::printf("FAIL: %s\n", e.what());
        return 1;
    }
}
