#pragma once
// A blocking TCP client for the tests, with a time limit on every wait so a
// faulty server fails a test instead of hanging it.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace zv::test {

using namespace std::chrono_literals;

// A TCP port on the loopback interface that was free a moment ago.
int freeTcpPort();

// A socket connected to `address` (an IPv4 or IPv6 address, 127.0.0.1 unless
// given) at `port` (with TCP_NODELAY), or -1 with errno set when it cannot
// be made or the connection is refused.
int connectToLoopback(int port, const std::string& address = "127.0.0.1");

class TcpClient {
public:
    TcpClient() = default;
    explicit TcpClient(int port, const std::string& address = "127.0.0.1") { connect(port, address); }
    ~TcpClient();
    TcpClient(TcpClient&& other) noexcept;
    TcpClient& operator=(TcpClient&& other) noexcept;
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Connects to `address` (127.0.0.1 unless given) at `port`; throws
    // std::runtime_error on failure.
    void connect(int port, const std::string& address = "127.0.0.1");
    // Tries to connect; false when refused.
    bool tryConnect(int port, const std::string& address = "127.0.0.1");
    void close();
    bool isOpen() const { return fd_ >= 0; }

    void send(std::string_view bytes);

    // Exactly `n` bytes; throws when the peer closes or the limit passes first.
    std::string receiveExactly(std::size_t n, std::chrono::milliseconds limit = 15s);
    // Whatever arrives up to the moment the peer closes the connection.
    std::string receiveUntilClosed(std::chrono::milliseconds limit = 15s);
    // True when the peer closed the connection (with nothing more to read)
    // within the limit; false when it stayed open.
    bool closedWithin(std::chrono::milliseconds limit);
    // Bytes that arrive within `wait` (empty when none did).
    std::string receiveFor(std::chrono::milliseconds wait);

    // One of the login replies: "NON_EXIST", "LOGIN_DENIED" or "PREPARE_TO_RECEIVE".
    std::string receiveLoginReply(std::chrono::milliseconds limit = 15s);

    // Pulls the announced bundle block by block ("READY_TO_RECEIVE" each time)
    // until "DATA_COMPLETE"; `blocks` receives each block as it came.
    std::string pullBundle(int blockSize, std::vector<std::string>* blocks = nullptr);

private:
    enum class ReadResult { Read, Closed, TimedOut };
    // Waits until the deadline for bytes and appends them to pending_.
    ReadResult readMore(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::string pending_;  // bytes received beyond what a call returned
};

// Where the outgoing bundle in `text` ends (its five sections complete), or
// std::string::npos while it is incomplete.
std::size_t bundleEnd(std::string_view text);

// The sections of a whole outgoing bundle, in order: tag, then its content.
struct BundleSections {
    std::string dept, phone, wiwo, posti, wywo;
};
BundleSections splitBundle(std::string_view bundle);

}  // namespace zv::test
