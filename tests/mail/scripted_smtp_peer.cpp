#include "scripted_smtp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace zv::test {

namespace {
// Upper bound for any one wait of the peer, so that a broken client cannot
// hang the test binary.
constexpr int kPeerWaitMs = 30000;
}  // namespace

PeerStep send(std::string text) { return {PeerStep::Send, std::move(text)}; }
PeerStep reply(const std::string& line) { return {PeerStep::Send, line + "\r\n"}; }
PeerStep receive() { return {PeerStep::Receive, {}}; }
PeerStep receiveData() { return {PeerStep::ReceiveData, {}}; }
PeerStep receiveLines(int count) { return {PeerStep::ReceiveLines, {}, count}; }
PeerStep closeConnection() { return {PeerStep::Close, {}}; }
PeerStep silence() { return {PeerStep::Silence, {}}; }

PeerScript acceptingScript() {
    return {reply("220 peer ready"), receive(),     reply("250 peer"),         receive(),
            reply("250 sender ok"),  receive(),     reply("250 recipient ok"), receive(),
            reply("354 go ahead"),   receiveData(), reply("250 queued"),       receive(),
            reply("221 bye")};
}

ScriptedSmtpPeer::ScriptedSmtpPeer(std::vector<PeerScript> scripts) : m_scripts(std::move(scripts)) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) throw std::runtime_error("peer: socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 4) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(m_listenFd);
        throw std::runtime_error("peer: bind/listen failed");
    }
    m_port = ntohs(addr.sin_port);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (m_stopFd < 0) {
        ::close(m_listenFd);
        throw std::runtime_error("peer: eventfd failed");
    }
    m_thread = std::thread([this] { run(); });
}

ScriptedSmtpPeer::~ScriptedSmtpPeer() {
    const std::uint64_t one = 1;
    if (::write(m_stopFd, &one, sizeof one) < 0) {
        // The thread still ends by its own time limits.
    }
    if (m_thread.joinable()) m_thread.join();
    ::close(m_stopFd);
    ::close(m_listenFd);
}

void ScriptedSmtpPeer::finish() {
    if (m_thread.joinable()) m_thread.join();
}

std::vector<std::string> ScriptedSmtpPeer::lines() {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool ScriptedSmtpPeer::clientClosedEach() {
    std::lock_guard lock(m_mutex);
    return m_allClosedByClient;
}

void ScriptedSmtpPeer::run() {
    for (const PeerScript& script : m_scripts) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, kPeerWaitMs) <= 0 || (fds[1].revents & POLLIN)) return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        ++m_accepted;
        play(fd, script);
        ::close(fd);
    }
}

bool ScriptedSmtpPeer::readLine(int fd, std::string& pending, std::string& line) {
    for (;;) {
        const std::size_t end = pending.find("\r\n");
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 2);
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
            return true;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, kPeerWaitMs) <= 0 || (fds[1].revents & POLLIN)) return false;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedSmtpPeer::play(int fd, const PeerScript& script) {
    std::string pending;
    std::string line;
    for (const PeerStep& step : script) {
        switch (step.kind) {
            case PeerStep::Send: {
                std::size_t sent = 0;
                while (sent < step.text.size()) {
                    const ssize_t n =
                        ::send(fd, step.text.data() + sent, step.text.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) return;
                    sent += static_cast<std::size_t>(n);
                }
                break;
            }
            case PeerStep::Receive:
                if (!readLine(fd, pending, line)) return;
                break;
            case PeerStep::ReceiveLines:
                for (int i = 0; i < step.count; ++i)
                    if (!readLine(fd, pending, line)) return;
                break;
            case PeerStep::ReceiveData:
                do {
                    if (!readLine(fd, pending, line)) return;
                } while (line != ".");
                break;
            case PeerStep::Close: return;
            case PeerStep::Silence: break;
        }
    }
    // Script done: keep reading (and recording) until the client closes.
    for (;;) {
        if (!readLine(fd, pending, line)) break;
    }
    // readLine fails on the client's close, or on a time-out / tear-down.
    char probe;
    pollfd fds{fd, POLLIN, 0};
    const bool closed = ::poll(&fds, 1, 0) > 0 && ::recv(fd, &probe, 1, MSG_PEEK) <= 0;
    if (!closed) {
        std::lock_guard lock(m_mutex);
        m_allClosedByClient = false;
    }
}

}  // namespace zv::test
