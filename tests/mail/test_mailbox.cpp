#include "test_mailbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace zv::test {

bool mailServerAnswers() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(25);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        pollfd p{fd, POLLIN, 0};
        char greeting[4] = {};
        ok = ::poll(&p, 1, 5000) > 0 && ::recv(fd, greeting, 3, 0) == 3 && std::string(greeting) == "220";
        const char quit[] = "QUIT\r\n";
        if (::send(fd, quit, sizeof quit - 1, MSG_NOSIGNAL) < 0) {
            // The probe is over either way.
        }
    }
    ::close(fd);
    return ok;
}

std::string mailServerUnavailableReason() {
    if (!mailServerAnswers()) return "no mail server answers on 127.0.0.1:25 (run scripts/mail_server.sh)";
    if (::access(kTestMailbox, R_OK) != 0) return std::string("cannot read the test mailbox ") + kTestMailbox;
    return {};
}

std::string uniqueMailTag() {
    static std::atomic<int> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return "t" + std::to_string(::getpid()) + "x" +
           std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) + "n" +
           std::to_string(++counter);
}

std::string mailAddressFor(const std::string& tag) { return "zvmail+" + tag + "@localhost"; }

namespace {

// The mails of the mbox file; each starts with its "From " line.
std::vector<std::string> mailboxMessages() {
    std::ifstream in(kTestMailbox, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::vector<std::string> messages;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t next = text.find("\n\nFrom ", start);
        if (next == std::string::npos) {
            messages.push_back(text.substr(start));
            break;
        }
        messages.push_back(text.substr(start, next + 1 - start));
        start = next + 2;
    }
    return messages;
}

}  // namespace

std::string findMail(const std::string& tag) {
    const std::string marker = "X-Original-To: " + mailAddressFor(tag) + "\n";
    for (const std::string& m : mailboxMessages())
        if (m.find(marker) != std::string::npos) return m;
    return {};
}

std::string waitForMail(const std::string& tag) {
    for (int i = 0; i < 300; ++i) {
        std::string mail = findMail(tag);
        if (!mail.empty()) return mail;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace zv::test
