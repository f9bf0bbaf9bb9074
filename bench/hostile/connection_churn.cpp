#include "connection_churn.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "hostile_clients.h"
#include "process_figures.h"
#include "soak_server.h"

namespace zv::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int runConnectionChurn(long connections, int idleTimeout) {
    const TSoakAccounts accounts;
    auto server = startSoakServer(accounts, idleTimeout);
    const int port = server->port();
    runValidExchange(port, kSoakBlockSize, 30s);
    const TProcessFigures base = quietFigures(server->pid(), 10s);
    std::printf("churn: %ld connections in a row, zelvorad pid %d\n", connections, server->pid());
    std::printf("server before: %s\n", describe(base).c_str());
    std::fflush(stdout);

    std::mt19937_64 random(0xc4u);
    const std::string login = validLogin(accounts.key(2), accounts.password(2));
    long refused = 0, sentNothing = 0, sentSomething = 0;
    const auto start = Clock::now();
    for (long i = 0; i < connections; ++i) {
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
                        describe(readProcessFigures(server->pid())).c_str());
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
        runValidExchange(port, kSoakBlockSize, 30s);
    } catch (const std::exception& e) {
        if (problem.empty()) problem = std::string("a valid login afterwards failed: ") + e.what();
    }
    std::printf("connections: %ld in %.1f s (%.0f/s): %ld sent nothing, %ld sent a little; %ld connects "
                "refused and retried\n",
                connections, seconds, static_cast<double>(connections) / seconds, sentNothing, sentSomething,
                refused);
    std::printf("server before: %s\n", describe(base).c_str());
    std::printf("server after:  %s\n", describe(after).c_str());
    return verdict(*server, problem);
}

}  // namespace zv::bench
