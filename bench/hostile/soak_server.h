#pragma once
// The zelvorad that the soak and the churn run against, and what they read
// from it.

#include <chrono>
#include <memory>
#include <string>

#include "hostile_clients.h"
#include "process_figures.h"
#include "server_process.h"

namespace zv::bench {

// Small blocks: a transfer takes many steps.
inline constexpr int kSoakBlockSize = 1024;

// A zelvorad of its own in a temporary folder, serving the soak's accounts
// (and the checker's), with [Options] IdleTimeout set; started.
std::unique_ptr<test::ServerProcess> startSoakServer(const TSoakAccounts& accounts, int idleTimeout);

bool serverAlive(test::ServerProcess& server);

// The server's figures once its descriptors and threads have held still for
// half a second (the sessions of the connections made so far have ended), or
// after `limit`.
TProcessFigures quietFigures(int pid, std::chrono::seconds limit);

// Waits until the server holds no more descriptors and threads than `base`,
// or `limit` has passed; the figures at the end.
TProcessFigures settle(int pid, const TProcessFigures& base, std::chrono::seconds limit);

// What the server wrote to standard error, for a failed run.
void printServerMessages(const test::ServerProcess& server);

// Ends a run: "PASS" and the server stopped when `problem` is empty, else
// "FAIL: <problem>" after what the server said. Returns the exit status.
int verdict(test::ServerProcess& server, const std::string& problem);

}  // namespace zv::bench
