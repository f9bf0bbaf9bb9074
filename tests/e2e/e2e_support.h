#pragma once
// Shared pieces of the end-to-end tests: the server under test, request
// texts as a client writes them, and shortcuts for whole exchanges.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "record_files.h"
#include "server_process.h"
#include "tcp_client.h"

namespace zv::e2e {

using test::Fields;
using test::RecordKind;
using test::ServerProcess;
using test::TcpClient;

inline std::unique_ptr<ServerProcess> makeServer(std::map<std::string, std::string> options = {}) {
    return std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH, std::move(options));
}

// "SUBMIT_LOGIN:<mode>:<key>|<password>:" and the four sections.
inline std::string loginRequest(const std::string& mode, const std::string& key,
                                const std::string& password, const std::string& board = "NO_DATA",
                                const std::string& memo = "NO_DATA",
                                const std::string& message = "NO_DATA",
                                const std::string& phone = "NO_DATA") {
    return "SUBMIT_LOGIN:" + mode + ":" + key + "|" + password + ":[*WIWO*]" + board +
           "[*POSTI*]" + memo + "[*WYWO*]" + message + "[*PHONE*]" + phone;
}

inline Fields memo(const std::string& recipient, const std::string& text,
                   const std::string& date = "1/2/24", const std::string& time = "9:00:00 AM") {
    return {recipient, "From someone", date, time, text, "extra"};
}

inline Fields message(const std::string& recipient, const std::string& caller,
                      const std::string& date = "1/2/24", const std::string& time = "9:00:00 AM") {
    return {recipient, "Doe,Jane", date, time, caller, "Acme", "555-1234", "Lunch",
            "X", "", "", "", "", "Please call"};
}

// Logs in, pulls the whole bundle and (when `confirm`) confirms it; returns
// the bundle. Fails the test on any unexpected reply.
inline std::string fullExchange(int port, const std::string& request, int blockSize = 8192,
                                bool confirm = true) {
    TcpClient client(port);
    client.send(request);
    const std::string reply = client.receiveLoginReply();
    if (reply != "PREPARE_TO_RECEIVE") throw std::runtime_error("login refused: " + reply);
    std::string bundle = client.pullBundle(blockSize);
    if (confirm) {
        client.send("CONFIRM");
        if (!client.closedWithin(std::chrono::seconds(15))) {
            throw std::runtime_error("the server kept the connection open after CONFIRM");
        }
    }
    return bundle;
}

using test::eventually;

inline std::vector<Fields> records(const ServerProcess& server, RecordKind kind) {
    return test::readRecordFile(server.dataFile(test::dataFileName(kind)), kind);
}

inline void writeRecords(const ServerProcess& server, RecordKind kind,
                         const std::vector<Fields>& list) {
    test::writeRecordFile(server.dataFile(test::dataFileName(kind)), kind, list);
}

}  // namespace zv::e2e
