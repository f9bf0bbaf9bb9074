#pragma once
// Many open board pages at once: each a live stream (GET /api/events) on a
// socket of its own, all read through one epoll, counting the board events
// each has received. As an office's browsers do, they come from many
// sessions and addresses (the server keeps at most 4 streams per session
// and 64 per address): stream i uses session i / 4 and the address
// 127.0.b.(i / 64 + 1) of the address block b given. Streams closed count
// against their address until the server has noticed them gone (within
// seconds), so a new set of streams opened at once takes a block of its own.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace zv::bench {

class SseClients {
public:
    static constexpr int kPerSession = 4;
    static constexpr int kPerAddress = 64;

    // Opens `count` streams to 127.0.0.1:port with the session cookies
    // (at least one per kPerSession streams) from addresses of the block
    // `addressBlock` (1 to 255) and waits until each has its first board
    // event. Throws on failure.
    SseClients(int port, const std::vector<std::string>& sessionTokens, int count, int addressBlock);
    ~SseClients();
    SseClients(const SseClients&) = delete;
    SseClients& operator=(const SseClients&) = delete;

    // Reads until every stream has received `events` board events in all,
    // or the limit passes; returns the time that took (or nothing).
    bool waitForAll(int events, std::chrono::milliseconds limit, std::chrono::nanoseconds* took);
    // The fewest board events any stream has received.
    int fewestEvents() const;
    // The bytes every stream has received so far, together.
    std::size_t totalBytes() const;

    // Keeps reading on a thread of its own (for a load run meanwhile).
    void startDraining();
    void stopDraining();

private:
    struct Stream {
        int fd = -1;
        std::string pending;  // text not yet scanned
        int events = 0;
        std::size_t bytes = 0;
    };
    void readReady(int timeoutMs);

    std::vector<Stream> streams_;
    int epollFd_ = -1;
    std::thread drainer_;
    std::atomic<bool> draining_{false};
};

}  // namespace zv::bench
