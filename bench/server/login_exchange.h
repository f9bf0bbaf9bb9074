#pragma once
// Full login exchanges as a Zelvora Client makes them (a board record and a
// memo merged, the bundle pulled block by block, confirmed), for the load
// generators: one at a time, or from several clients at once.

#include <string>
#include <vector>

namespace zv::bench {

inline constexpr int kBlockSize = 8192;  // BlockSize of the test servers

// "E00042,X": the key of the bench's account number `i`.
std::string employeeKey(int i);

// The login request of account `employee`, merging its board record (status
// "Busy" with a comment) and one memo.
std::string loginRequest(int employee);

// The milliseconds of one full exchange, and of its part outside the
// transfer of the bundle: from connecting to "PREPARE_TO_RECEIVE" (the login
// step: merges, bundle, saves) and from "CONFIRM" to the close (the
// deliveries' saves).
struct ExchangeTime {
    double total = 0;
    double outsideTransfer = 0;
};
ExchangeTime timedExchange(int port, const std::string& request, std::string* bundleOut = nullptr);

// One full exchange; returns its latency in milliseconds and the bundle.
double exchange(int port, const std::string& request, std::string* bundleOut = nullptr);

// The latencies of every exchange of a run, and the run's rate.
struct Run {
    double rate = 0;                      // exchanges per second
    std::vector<double> latencies;        // ms
    std::vector<double> outsideTransfer;  // ms, of the same exchanges
};

// `clients` clients at once (accounts 0 to clients - 1), each making
// `perClient` exchanges one after the other.
Run runClients(int port, int clients, int perClient);

}  // namespace zv::bench
