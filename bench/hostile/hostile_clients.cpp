#include "hostile_clients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

#include "record_files.h"
#include "tcp_client.h"

namespace zv::bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::size_t below(std::mt19937_64& random, std::size_t bound) {
    return bound == 0 ? 0 : static_cast<std::size_t>(random() % bound);
}

bool chance(std::mt19937_64& random, int percent) { return static_cast<int>(random() % 100) < percent; }

// Sends `text` in pieces of up to `most` bytes with short pauses between.
bool sendInPieces(TRawConnection& c, std::string_view text, std::size_t most, std::mt19937_64& random) {
    while (!text.empty()) {
        const std::size_t n = std::min(text.size(), 1 + below(random, most));
        if (!c.send(text.substr(0, n))) return false;
        text.remove_prefix(n);
        if (!text.empty() && chance(random, 30)) std::this_thread::sleep_for(std::chrono::microseconds(below(random, 3000)));
    }
    return true;
}

std::string mutate(std::string text, std::mt19937_64& random) {
    const int changes = 1 + static_cast<int>(below(random, 8));
    for (int i = 0; i < changes && !text.empty(); ++i) {
        const std::size_t at = below(random, text.size());
        switch (below(random, 6)) {
            case 0: text[at] = static_cast<char>(random()); break;
            case 1: text.insert(at, 1, static_cast<char>(random())); break;
            case 2: text.erase(at, 1 + below(random, 40)); break;
            case 3: text.insert(at, text.substr(at, 1 + below(random, 60))); break;
            case 4: text[at] = "|:<~>[]*"[below(random, 8)]; break;
            default: text.insert(at, below(random, 2) ? "<~REC~>" : "<~FLD~>"); break;
        }
    }
    return text;
}

std::string randomBytes(std::mt19937_64& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string checkerLogin() { return validLogin(TSoakAccounts::kCheckerKey, TSoakAccounts::kCheckerPassword); }

// Logs in with the account no hostile client mangles; true with the session
// in the state "SENDING_DATA".
bool loginAndPrepare(TRawConnection& c, int port) {
    if (!c.connect(port) || !c.send(checkerLogin())) return false;
    return c.receiveFor(30s, 18) == "PREPARE_TO_RECEIVE";
}

}  // namespace

std::string TSoakAccounts::key(int i) const { return "Soak" + std::to_string(i) + ",User"; }
std::string TSoakAccounts::password(int i) const { return "pw" + std::to_string(i); }

std::string validLogin(const std::string& key, const std::string& password) {
    test::Fields board = test::boardRecord(key, password, "Sales", "In");
    board[test::board::Comments] = "soaking";
    const test::Fields memo = {key, "a memo to myself", "1/2/24", "9:00:00 AM", "", ""};
    return "SUBMIT_LOGIN:DLTA:" + key + "|" + password + ":[*WIWO*]" + test::recordString(board) +
           "[*POSTI*]" + test::recordString(memo) + "[*WYWO*]NO_DATA[*PHONE*]NO_DATA";
}

// ---- TRawConnection --------------------------------------------------------

TRawConnection::~TRawConnection() { close(); }

bool TRawConnection::connect(int port) {
    close();
    const int fd = test::connectToLoopback(port);
    if (fd < 0) return false;
    fd_ = fd;
    peerClosed_ = false;
    return true;
}

bool TRawConnection::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return fd_ >= 0;
}

std::string TRawConnection::receiveFor(std::chrono::milliseconds wait, std::size_t enough) {
    std::string got;
    const auto deadline = Clock::now() + wait;
    char buffer[16384];
    while (fd_ >= 0 && !peerClosed_ && got.size() < enough) {
        // A wait that is over still takes what is there already.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, enough - got.size()), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            peerClosed_ = true;
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

std::string TRawConnection::receiveBlock(std::size_t size, std::chrono::milliseconds first,
                                         std::chrono::milliseconds idle) {
    std::string got = receiveFor(first, 1);
    while (!got.empty() && got.size() < size && !peerClosed_) {
        const std::string more = receiveFor(idle, size - got.size());
        if (more.empty()) break;
        got += more;
    }
    return got;
}

void TRawConnection::close(bool abrupt) {
    if (fd_ < 0) return;
    if (abrupt) {
        linger hard{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(fd_);
    fd_ = -1;
}

// ---- the kinds -------------------------------------------------------------

const char* kindName(THostileKind kind) {
    switch (kind) {
        case THostileKind::kMutatedLogin: return "mutated login";
        case THostileKind::kTruncatedLogin: return "truncated login";
        case THostileKind::kRandomBytes: return "random bytes";
        case THostileKind::kSplitLogin: return "split login";
        case THostileKind::kVanishMidTransfer: return "vanished mid-transfer";
        case THostileKind::kWrongStateReply: return "reply in the wrong state";
        case THostileKind::kPunchOut: return "punch-out";
        case THostileKind::kCount: break;
    }
    return "?";
}

bool runHostileClient(THostileKind kind, int port, const TSoakAccounts& accounts, int blockSize,
                      std::mt19937_64& random, std::string* problem) {
    TRawConnection c;
    const int who = static_cast<int>(below(random, static_cast<std::size_t>(accounts.count)));
    const std::string login = validLogin(accounts.key(who), accounts.password(who));
    switch (kind) {
        case THostileKind::kMutatedLogin: {
            if (!c.connect(port)) return true;
            if (!sendInPieces(c, mutate(login, random), chance(random, 50) ? login.size() : 64, random)) return true;
            const std::string reply = c.receiveFor(std::chrono::milliseconds(below(random, 300)), 18);
            if (reply == "PREPARE_TO_RECEIVE" && chance(random, 50)) {
                c.send("READY_TO_RECEIVE");
                c.receiveFor(100ms, static_cast<std::size_t>(blockSize));
            }
            break;
        }
        case THostileKind::kTruncatedLogin: {
            if (!c.connect(port)) return true;
            c.send(std::string_view(login).substr(0, below(random, login.size())));
            // Half of them wait for the server to act on the silence.
            if (chance(random, 50)) c.receiveFor(2500ms, 18);
            break;
        }
        case THostileKind::kRandomBytes: {
            if (!c.connect(port)) return true;
            static const char* const kHeads[] = {"", "SUBMIT_LOGIN:", "SUBMIT_LOGIN:FULL:", "PUNCH_OUT:",
                                                 "READY_TO_RECEIVE", "CONFIRM"};
            const std::string noise = kHeads[below(random, 6)] + randomBytes(random, below(random, 4096));
            sendInPieces(c, noise, 1 + below(random, 1024), random);
            c.receiveFor(std::chrono::milliseconds(below(random, 100)));
            break;
        }
        case THostileKind::kSplitLogin: {
            if (!c.connect(port)) return true;
            sendInPieces(c, checkerLogin(), 1 + below(random, 40), random);
            const std::string reply = c.receiveFor(30s, 18);
            if (reply != "PREPARE_TO_RECEIVE") {
                *problem = "a login sent in pieces was answered \"" + reply.substr(0, 40) + "\"";
                return false;
            }
            if (chance(random, 50)) {
                // Finish it: the blocks, then the confirmation.
                for (int guard = 0; guard < 10000; ++guard) {
                    c.send("READY_TO_RECEIVE");
                    const std::string got = c.receiveBlock(static_cast<std::size_t>(blockSize), 15s, 300ms);
                    if (got.empty() || got == "DATA_COMPLETE") break;
                }
                c.send("CONFIRM");
                c.receiveFor(5s);
            }
            break;
        }
        case THostileKind::kVanishMidTransfer: {
            if (!loginAndPrepare(c, port)) return true;
            const int blocks = static_cast<int>(below(random, 3));
            for (int b = 0; b < blocks; ++b) {
                c.send("READY_TO_RECEIVE");
                c.receiveFor(std::chrono::milliseconds(below(random, 200)), below(random, static_cast<std::size_t>(blockSize)));
            }
            break;
        }
        case THostileKind::kWrongStateReply: {
            switch (below(random, 4)) {
                case 0:  // transfer replies before any login
                    if (!c.connect(port)) return true;
                    c.send(chance(random, 50) ? "CONFIRM" : "READY_TO_RECEIVE");
                    c.receiveFor(std::chrono::milliseconds(below(random, 200)));
                    break;
                case 1:  // a confirmation while blocks are still to come
                    if (!loginAndPrepare(c, port)) return true;
                    c.send("CONFIRM");
                    c.receiveFor(100ms);
                    break;
                case 2:  // a second login in the middle of a transfer
                    if (!loginAndPrepare(c, port)) return true;
                    c.send(login);
                    c.receiveFor(100ms);
                    break;
                default:  // half a transfer reply, then nothing
                    if (!loginAndPrepare(c, port)) return true;
                    c.send("READY_TO_");
                    c.receiveFor(std::chrono::milliseconds(below(random, 300)));
                    break;
            }
            break;
        }
        case THostileKind::kPunchOut: {
            if (!c.connect(port)) return true;
            c.send("PUNCH_OUT:" + (chance(random, 70) ? accounts.key(who) : randomBytes(random, 12)) + ":");
            c.receiveFor(200ms);
            break;
        }
        case THostileKind::kCount: break;
    }
    c.close(chance(random, 50));
    return true;
}

void runValidExchange(int port, int blockSize, std::chrono::milliseconds limit) {
    TRawConnection client;
    if (!client.connect(port)) throw std::runtime_error("the connection was refused");
    client.send(checkerLogin());
    const std::string reply = client.receiveBlock(18, limit, 300ms);
    if (reply != "PREPARE_TO_RECEIVE") throw std::runtime_error("the login was answered \"" + reply + "\"");
    std::string bundle;
    for (;;) {
        if (!client.send("READY_TO_RECEIVE")) throw std::runtime_error("the connection closed in the transfer");
        const std::string block = client.receiveBlock(static_cast<std::size_t>(blockSize), limit, 300ms);
        if (block == "DATA_COMPLETE") break;
        if (block.empty()) throw std::runtime_error("no block after " + std::to_string(bundle.size()) + " bytes");
        bundle += block;
    }
    if (bundle.rfind("[*DEPT*]", 0) != 0 || bundle.find(TSoakAccounts::kCheckerKey) == std::string::npos)
        throw std::runtime_error("the bundle does not hold the account");
    client.send("CONFIRM");
    client.receiveFor(limit);
    if (!client.peerClosed()) throw std::runtime_error("the confirmation did not end the exchange");
}

}  // namespace zv::bench
