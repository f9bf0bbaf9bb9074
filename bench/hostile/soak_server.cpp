#include "soak_server.h"

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "record_files.h"
#include "temp_dir.h"

namespace zv::bench {

using namespace std::chrono_literals;

std::unique_ptr<test::ServerProcess> startSoakServer(const TSoakAccounts& accounts, int idleTimeout) {
    auto server = std::make_unique<test::ServerProcess>(
        ZV_ZELVORAD_PATH, std::map<std::string, std::string>{{"BlockSize", std::to_string(kSoakBlockSize)},
                                                             {"ExpDays", "1"},
                                                             {"IdleTimeout", std::to_string(idleTimeout)}});
    std::vector<test::Fields> board;
    for (int i = 0; i < accounts.count; ++i) board.push_back(test::boardRecord(accounts.key(i), accounts.password(i)));
    board.push_back(test::boardRecord(TSoakAccounts::kCheckerKey, TSoakAccounts::kCheckerPassword));
    test::writeRecordFile(server->dataFile("wiwo.dat"), test::RecordKind::Board, board);
    test::writeRecordFile(server->dataFile("department.dat"), test::RecordKind::Department, {{"Sales"}, {"Support"}});
    server->start();
    return server;
}

bool serverAlive(test::ServerProcess& server) { return server.waitForExit(0ms) == -1 && server.running(); }

TProcessFigures quietFigures(int pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    TProcessFigures before = readProcessFigures(pid);
    for (;;) {
        std::this_thread::sleep_for(500ms);
        const TProcessFigures now = readProcessFigures(pid);
        const bool still = now.descriptors == before.descriptors && now.threads == before.threads;
        if (still || std::chrono::steady_clock::now() >= deadline) return now;
        before = now;
    }
}

TProcessFigures settle(int pid, const TProcessFigures& base, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    TProcessFigures now = readProcessFigures(pid);
    while (std::chrono::steady_clock::now() < deadline &&
           (now.descriptors > base.descriptors || now.threads > base.threads)) {
        std::this_thread::sleep_for(250ms);
        now = readProcessFigures(pid);
    }
    return now;
}

void printServerMessages(const test::ServerProcess& server) {
    const std::string text = server.stderrText();
    if (text.empty()) return;
    std::printf("server messages (first 2000 bytes):\n%s\n", text.substr(0, 2000).c_str());
}

int verdict(test::ServerProcess& server, const std::string& problem) {
    if (!problem.empty()) {
        printServerMessages(server);
        std::printf("FAIL: %s\n", problem.c_str());
        return 1;
    }
    std::printf("PASS\n");
    server.stop();
    return 0;
}

}  // namespace zv::bench
