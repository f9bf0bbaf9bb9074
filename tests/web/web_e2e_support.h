#pragma once
// Shared pieces of the HTTP side's end-to-end tests: a zelvorad with its
// HTTP side on, a board, a signed-in browser, and the client's side of the
// same server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "eventually.h"
#include "http_client.h"
#include "record_files.h"
#include "server_process.h"
#include "tcp_client.h"

namespace zv::webtest {

using nlohmann::json;
using test::Fields;
using test::HttpClient;
using test::HttpResponse;
using test::RecordKind;
using test::ServerProcess;
using test::TcpClient;

// A server with the HTTP side on and this board; started.
inline std::unique_ptr<ServerProcess> startServer(const std::vector<Fields>& board,
                                                  std::map<std::string, std::string> options = {}) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH, std::move(options));
    server->enableWeb();
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, board);
    server->start();
    return server;
}

inline std::vector<Fields> records(const ServerProcess& server, RecordKind kind) {
    return test::readRecordFile(server.dataFile(test::dataFileName(kind)), kind);
}

inline json bodyOf(const HttpResponse& response) { return json::parse(response.body); }

// A browser signed in as `employee`; fails the test when refused.
inline std::unique_ptr<HttpClient> signedIn(const ServerProcess& server, const std::string& employee,
                                            const std::string& password) {
    auto browser = std::make_unique<HttpClient>(server.webPort());
    const HttpResponse response = browser->signIn(employee, password);
    EXPECT_EQ(response.status, 200) << response.body;
    return browser;
}

// A client's full login exchange (logged in with `board` as its own record,
// or "NO_DATA"); returns the bundle.
inline std::string clientLogin(const ServerProcess& server, const std::string& key, const std::string& password,
                               const std::string& board = "NO_DATA") {
    TcpClient client(server.port());
    client.send("SUBMIT_LOGIN:FULL:" + key + "|" + password + ":[*WIWO*]" + board +
                "[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    const std::string reply = client.receiveLoginReply();
    if (reply != "PREPARE_TO_RECEIVE") throw std::runtime_error("login refused: " + reply);
    std::string bundle = client.pullBundle(8192);
    client.send("CONFIRM");
    client.closedWithin(std::chrono::seconds(15));
    return bundle;
}

using test::eventually;

// A TCP connection to the HTTP port on loopback from `from`, one of
// 127.0.0.0/8. -1 when refused.
inline int connectFrom(const std::string& from, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// `count` calls of `call(i, browser)` shared out among `threads` threads,
// each with a browser of its own (at 127.0.0.1).
inline void inParallel(int port, int count, int threads, const std::function<void(int, HttpClient&)>& call) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            HttpClient browser(port);
            for (int i = t; i < count; i += threads) call(i, browser);
        });
    }
    for (auto& worker : workers) worker.join();
}

// Runs `command` through the shell with `input` on its standard input:
// its exit status and what it wrote on standard output and error.
struct CommandResult {
    int status = -1;
    std::string output;
};
inline CommandResult runCommand(const std::string& command, const std::string& input,
                                const std::string& inputFile) {
    {
        std::FILE* in = std::fopen(inputFile.c_str(), "wb");
        if (!in) throw std::runtime_error("cannot write " + inputFile);
        std::fwrite(input.data(), 1, input.size(), in);
        std::fclose(in);
    }
    CommandResult result;
    std::FILE* out = ::popen(("(" + command + ") < '" + inputFile + "' 2>&1").c_str(), "r");
    if (!out) throw std::runtime_error("cannot run " + command);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) result.output.append(chunk, n);
    const int status = ::pclose(out);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline constexpr const char* kAdminPassword = "office-keys";

// A browser signed in as the administrator (setting the password up first
// when none is set yet).
inline std::unique_ptr<HttpClient> administrator(const ServerProcess& server) {
    auto browser = std::make_unique<HttpClient>(server.webPort());
    HttpResponse response = browser->adminSignIn(kAdminPassword);
    if (response.status == 409) response = browser->adminSetUp(kAdminPassword);
    EXPECT_TRUE(response.status == 200 || response.status == 201) << response.body;
    return browser;
}

// An IPv4 address of this computer other than loopback, or empty.
inline std::string otherLocalAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK) ||
            !(a->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        found = text;
    }
    ::freeifaddrs(list);
    return found;
}

// The records of one bundle section ("count|rec<~REC~>..."), split into fields.
inline std::vector<Fields> sectionRecords(const std::string& section) {
    std::vector<Fields> out;
    std::size_t at = section.find('|') + 1;
    for (std::size_t end; (end = section.find("<~REC~>", at)) != std::string::npos; at = end + 7) {
        const std::string record = section.substr(at, end - at);
        Fields fields;
        std::size_t from = 0;
        for (std::size_t sep; (sep = record.find("<~FLD~>", from)) != std::string::npos; from = sep + 7) {
            fields.push_back(record.substr(from, sep - from));
        }
        fields.push_back(record.substr(from));
        out.push_back(fields);
    }
    return out;
}

}  // namespace zv::webtest
