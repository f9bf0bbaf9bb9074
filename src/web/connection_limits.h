#pragma once
// The limits on the HTTP side's connections that the library cannot keep
// alone: at most kPerAddress connections from one client address (IPv6: one
// /64), and a deadline for every request: its head must be whole within
// kHeadTime of the moment the server waits for it, its body within
// kBodyTime of the head, whatever trickles in meanwhile. (The library's own
// time-out restarts with every byte: a client sending a byte now and then
// would hold its connection for ever.)
//
// Hooked to the daemon: admits() is its accept policy, opened() and closed()
// its notices of a connection's start and end, and the request handler moves
// each connection's deadline. A thread of its own ends the connections whose
// deadline has passed by shutting their sockets down; the daemon still owns
// the sockets, sees them end, and closes them.
//
// Locking: mutex_ guards the table of open connections and the counts per
// address. A connection's record lives from opened() to closed(), both under
// mutex_, and the deadline thread shuts a socket down only under mutex_, so it
// never touches a descriptor the daemon has closed. Deadlines are atomics,
// moved without the lock by the thread serving the connection; the deadline
// thread looks at them every kTick while any is set, and sleeps while none
// is (open live streams cost no wake-ups), to be woken by the next one set.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

struct sockaddr;

namespace zv::web {

class TConnectionLimits {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr unsigned kPerAddress = 64;
    static constexpr std::chrono::seconds kHeadTime{10};
    static constexpr std::chrono::seconds kBodyTime{30};
    // How often the deadlines are looked at while connections are open.
    static constexpr std::chrono::milliseconds kTick{250};

    // One open connection, from the daemon's notice of its start to that
    // of its end.
    class TConnection {
    public:
        const std::string& address() const { return address_; }  // numeric
        const std::string& group() const { return group_; }      // what the limits count by
        // The server waits for a request's head (the first, or the next on
        // a kept connection).
        void awaitHead() { setDeadline(kHeadTime); }
        // The head has come; the body follows.
        void awaitBody() { setDeadline(kBodyTime); }
        // The request is whole: no deadline while it is answered (a step on
        // the main loop, a live stream).
        void answering() { deadline_ = 0; }

    private:
        friend class TConnectionLimits;
        TConnection(TConnectionLimits& limits, int fd, std::string address, std::string group)
            : limits_(limits), fd_(fd), address_(std::move(address)), group_(std::move(group)) {}
        void setDeadline(Clock::duration within) {
            deadline_ = (Clock::now() + within).time_since_epoch().count();
            if (limits_.watcherIdle_) limits_.wakeWatcher();
        }

        TConnectionLimits& limits_;
        const int fd_;  // the daemon's
        const std::string address_;
        const std::string group_;
        std::atomic<Clock::rep> deadline_{0};  // 0: none
    };

    TConnectionLimits() = default;
    ~TConnectionLimits();
    TConnectionLimits(const TConnectionLimits&) = delete;
    TConnectionLimits& operator=(const TConnectionLimits&) = delete;

    // Starts the deadline thread. Throws std::system_error when it cannot.
    void start();
    // Ends it; after the daemon has stopped.
    void stop();

    // The accept policy: false when the address has its connections already.
    bool admits(const sockaddr* address);
    // A connection has started on socket `fd`: its record, waiting for its
    // first head. One past the limit (two accepted at once) is ended at once.
    TConnection* opened(int fd, const sockaddr* address);
    // The connection has ended; its record is freed.
    void closed(TConnection* connection);

    // Connections open now; those refused or ended at once because their
    // address had its connections already, and those ended at their
    // deadline, since the start.
    std::size_t openCount();
    std::uint64_t refusedCount() const { return refused_; }
    std::uint64_t cutCount() const { return cut_; }

private:
    void watchDeadlines();
    void wakeWatcher();
    void cut(TConnection& connection);  // mutex_ held

    std::mutex mutex_;
    std::condition_variable changed_;
    std::unordered_map<TConnection*, std::unique_ptr<TConnection>> open_;  // guarded by mutex_
    std::unordered_map<std::string, unsigned> perGroup_;                   // guarded by mutex_
    bool stopping_ = false;                                                // guarded by mutex_
    bool woken_ = false;                                                   // guarded by mutex_
    std::atomic<bool> watcherIdle_{false};  // no deadline was set at its last look
    std::atomic<std::uint64_t> refused_{0};
    std::atomic<std::uint64_t> cut_{0};
    std::thread watcher_;
};

}  // namespace zv::web
