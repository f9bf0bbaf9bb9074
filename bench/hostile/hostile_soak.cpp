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

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "connection_churn.h"
#include "hostile_clients.h"
#include "process_figures.h"
#include "soak_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using zv::bench::kSoakBlockSize;
using zv::bench::readProcessFigures;
using zv::bench::serverAlive;
using zv::bench::settle;
using zv::bench::THostileKind;
using zv::bench::TProcessFigures;
using zv::bench::TRawConnection;
using zv::bench::TSoakAccounts;
using zv::bench::verdict;

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
    auto server = zv::bench::startSoakServer(accounts, o.idleTimeout);
    const int port = server->port();
    zv::bench::runValidExchange(port, kSoakBlockSize, 30s);
    const TProcessFigures start = zv::bench::quietFigures(server->pid(), 10s);
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
                        zv::bench::runValidExchange(port, kSoakBlockSize, 30s);
                        ++valid;
                    } catch (const std::exception& e) {
                        report("valid login at connection " + std::to_string(n) + " not served in full: " + e.what());
                    }
                    continue;
                }
                const auto kind = static_cast<THostileKind>(random() % kKinds);
                std::string why;
                if (!zv::bench::runHostileClient(kind, port, accounts, kSoakBlockSize, random, &why))
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
            zv::bench::runValidExchange(port, kSoakBlockSize, 30s);
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
    return verdict(*server, problem);
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = parseOptions(argc, argv);
    // The server's folders in memory unless told otherwise: the soak is about
    // what the server survives, and a disk's flushes would only slow it down.
    if (std::getenv("TMPDIR") == nullptr && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    try {
        return options.churn ? zv::bench::runConnectionChurn(options.connections, options.idleTimeout)
                             : soak(options);
    } catch (const std::exception& e) {
        std::printf("FAIL: %s\n", e.what());
        return 1;
    }
}
