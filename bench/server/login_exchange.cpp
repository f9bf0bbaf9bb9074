#include "login_exchange.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "record_files.h"
#include "tcp_client.h"

namespace zv::bench {

using Clock = std::chrono::steady_clock;
using zv::test::Fields;

std::string employeeKey(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%05d,X", i);
    return buf;
}

std::string loginRequest(int employee) {
    const std::string key = employeeKey(employee);
    Fields board = zv::test::boardRecord(key, "pw", "Sales", "Busy");
    board[zv::test::board::Comments] = "in a meeting until three";
    const Fields memo = {key, "From the bench", "1/2/24", "9:00:00 AM", "Please read", "x"};
    return "SUBMIT_LOGIN:FULL:" + key + "|pw:[*WIWO*]" + zv::test::recordString(board) +
           "[*POSTI*]" + zv::test::recordString(memo) + "[*WYWO*]NO_DATA[*PHONE*]NO_DATA";
}

ExchangeTime timedExchange(int port, const std::string& request, std::string* bundleOut) {
    const auto ms = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    const auto start = Clock::now();
    zv::test::TcpClient client(port);
    client.send(request);
    const std::string reply = client.receiveLoginReply(std::chrono::seconds(60));
    if (reply != "PREPARE_TO_RECEIVE") throw std::runtime_error("login refused: " + reply);
    const auto prepared = Clock::now();
    std::string bundle = client.pullBundle(kBlockSize);
    const auto confirmed = Clock::now();
    client.send("CONFIRM");
    if (!client.closedWithin(std::chrono::seconds(60))) throw std::runtime_error("not closed");
    const auto end = Clock::now();
    if (bundleOut) *bundleOut = std::move(bundle);
    return {ms(start, end), ms(start, prepared) + ms(confirmed, end)};
}

double exchange(int port, const std::string& request, std::string* bundleOut) {
    return timedExchange(port, request, bundleOut).total;
}

Run runClients(int port, int clients, int perClient) {
    std::vector<std::vector<ExchangeTime>> latencies(static_cast<std::size_t>(clients));
    std::vector<std::string> errors(static_cast<std::size_t>(clients));
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            try {
                const std::string request = loginRequest(c);
                for (int i = 0; i < perClient; ++i) {
                    latencies[static_cast<std::size_t>(c)].push_back(timedExchange(port, request));
                }
            } catch (const std::exception& e) {
                errors[static_cast<std::size_t>(c)] = e.what();
            }
        });
    }
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const auto& e : errors) {
        if (!e.empty()) throw std::runtime_error("client failed: " + e);
    }
    Run run;
    for (const auto& client : latencies) {
        for (const ExchangeTime& t : client) {
            run.latencies.push_back(t.total);
            run.outsideTransfer.push_back(t.outsideTransfer);
        }
    }
    run.rate = static_cast<double>(run.latencies.size()) / seconds;
    return run;
}

}  // namespace zv::bench
