// SMTP benchmarks, printed as figures against a target or a floor measured in
// the same run:
//  1. Processor time the whole process uses while a notice waits on a mail
//     host that accepts the connection and never answers (the real setting
//     waits Timeout = 15 s per call). Target: at most 0.2 s in all.
//  2. One notice to the local mail server (scripts/mail_server.sh) against the
//     floor: the same commands and text sent by a plain blocking socket client.
//     Target: median ratio at most 1.5.
// Usage: smtp_bench [--wait-seconds N] [--rounds N]   (defaults 15 and 30)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "example_message.h"
#include "mail/message_notice.h"
#include "mail/smtp_client.h"
#include "mail/smtp_date.h"
#include "net_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

zv::TWYWONode benchMessage() { return zv::test::exampleMessage(); }

// A listener on loopback that never accepts: the kernel completes the
// connection and nobody ever answers.
int silentListener(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::perror("silent listener");
        std::exit(1);
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// The floor: a plain blocking client sending the same conversation.
class PlainClient {
public:
    bool run(const std::vector<std::string>& text, const std::string& rcpt) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(25);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        bool ok = m_fd >= 0 &&
                  ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  expect("220") && command("HELO bench", "250") &&
                  command("MAIL FROM:<>", "250") && command("RCPT TO:<" + rcpt + ">", "250") &&
                  command("DATA", "354");
        if (ok) {
            std::string all;
            for (const std::string& line : text) all += line + "\r\n";
            ok = sendAll(all) && command(".", "250") && command("QUIT", "221");
        }
        ::close(m_fd);
        return ok;
    }

private:
    bool sendAll(const std::string& bytes) { return zv::test::sendAll(m_fd, bytes); }
    bool command(const std::string& text, const char* code) {
        return sendAll(text + "\r\n") && expect(code);
    }
    // Reads a whole reply (continuation lines included) and checks its code.
    bool expect(const char* code) {
        for (;;) {
            const std::size_t end = m_pending.find("\r\n");
            if (end != std::string::npos) {
                const std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 2);
                if (line.size() >= 4 && line[3] == '-') continue;
                return line.compare(0, 3, code) == 0;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
    }

    int m_fd = -1;
    std::string m_pending;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int waitSeconds = 15;
    int rounds = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--wait-seconds") == 0) waitSeconds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    }
    waitSeconds = std::max(waitSeconds, 1);
    rounds = std::max(rounds, 1);

    // 1. Processor time while waiting on a silent mail host.
    {
        int port = 0;
        const int listener = silentListener(port);
        zv::TSyncSmtpClient client;
        client.setTimeout(waitSeconds);
        const double cpu0 = processCpuSeconds();
        const Clock::time_point wall0 = Clock::now();
        zv::sendMessageNoticeVia(client, benchMessage(), "127.0.0.1", std::to_string(port),
                                 "anna@localhost", "desk@localhost");
        const double cpu = processCpuSeconds() - cpu0;
        const double wall = secondsSince(wall0);
        ::close(listener);
        std::printf("silent mail host: notice waited %.2f s (Timeout %d s per call), process "
                    "CPU %.4f s; against the 0.2 s target: ratio %.3f (<= 1 meets it); "
                    "CPU per waited second %.5f s, %.4f s over 45 s of waiting\n",
                    wall, waitSeconds, cpu, cpu / 0.2, cpu / wall, cpu / wall * 45.0);
    }

    // 2. One notice to the local mail server against the plain client's floor.
    {
        const std::string rcpt = "zvdiscard@localhost";
        const zv::TWYWONode msg = benchMessage();
        std::vector<std::string> text = {
            "From: desk@localhost", "To: " + rcpt, "Subject: While You Were Out",
            "Mime-Version: 1.0", "Content-Type: text/plain; charset=\"iso-8859-1\"",
            "Date: " + zv::smtpDateText(std::time(nullptr)), ""};
        for (int line = 1; line <= zv::kMessageNoticeLineCount; ++line)
            text.push_back(zv::messageNoticeLine(msg, line));

        PlainClient probe;
        if (!probe.run(text, rcpt)) {
            std::printf("local mail server: not reachable on 127.0.0.1:25 "
                        "(run scripts/mail_server.sh); comparison skipped\n");
            return 0;
        }
        std::vector<double> notice, floor;
        int failures = 0;
        zv::TSyncSmtpClient client;
        client.setTimeout(15);
        for (int round = 0; round < rounds; ++round) {
            // Alternate which goes first, so neither always follows the other.
            for (int turn = 0; turn < 2; ++turn) {
                const Clock::time_point start = Clock::now();
                if ((turn == 0) == (round % 2 == 0)) {
                    zv::sendMessageNotice(client, msg, "127.0.0.1", rcpt, "desk@localhost");
                    notice.push_back(secondsSince(start));
                    if (client.RequestResult() != 0) ++failures;
                } else {
                    PlainClient plain;
                    if (!plain.run(text, rcpt)) ++failures;
                    floor.push_back(secondsSince(start));
                }
            }
        }
        const double n = median(notice), f = median(floor);
        const double nMin = *std::min_element(notice.begin(), notice.end());
        const double fMin = *std::min_element(floor.begin(), floor.end());
        std::printf("local mail server, %d rounds (%d failed): notice median %.3f ms (min %.3f), "
                    "plain client floor median %.3f ms (min %.3f); ratio of medians %.2f, of "
                    "minimums %.2f (target <= 1.5)\n",
                    rounds, failures, n * 1e3, nMin * 1e3, f * 1e3, fMin * 1e3, n / f, nMin / fMin);
    }
    return 0;
}
