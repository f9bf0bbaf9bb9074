// The client side of the package check (check_packages.sh): a free port, an
// account in a board file, and a whole login exchange with a punch-in, as a
// Zelvora Client makes it.
//
//   package_client free-port
//   package_client board FILE KEY PASSWORD
//   package_client login PORT KEY PASSWORD

#include <chrono>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

#include "record_files.h"
#include "tcp_client.h"

namespace {

using namespace zv::test;

int login(int port, const std::string& key, const std::string& password) {
    // The server may still be starting: connect for up to 20 seconds.
    TcpClient client;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!client.tryConnect(port)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::cerr << "package_client: nothing listens on port " << port << "\n";
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    client.send("SUBMIT_LOGIN:PUNCH_IN:" + key + "|" + password +
                ":[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    const std::string reply = client.receiveLoginReply();
    if (reply != "PREPARE_TO_RECEIVE") {
        std::cerr << "package_client: the login was answered \"" << reply << "\"\n";
        return 1;
    }
    const std::string bundle = client.pullBundle(8192);
    client.send("CONFIRM");
    if (bundle.find(key) == std::string::npos) {
        std::cerr << "package_client: the bundle does not hold the board entry of " << key << "\n";
        return 1;
    }
    std::cout << "logged in as " << key << ", received " << bundle.size() << " bytes\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "free-port" && argc == 2) {
            std::cout << freeTcpPort() << "\n";
            return 0;
        }
        if (command == "board" && argc == 5) {
            writeRecordFile(argv[2], RecordKind::Board, {boardRecord(argv[3], argv[4])});
            return 0;
        }
        if (command == "login" && argc == 5) return login(std::stoi(argv[2]), argv[3], argv[4]);
        std::cerr << "usage: package_client free-port | board FILE KEY PASSWORD | login PORT KEY PASSWORD\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "package_client: " << e.what() << "\n";
        return 1;
    }
}
