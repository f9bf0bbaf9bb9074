#pragma once
// What the server counts for its monitoring: clients connected, the clients'
// logins by outcome and how long their exchanges took, the board's saves and
// how long they took, the notices mailed and those the mail host did not
// take. Counted where each event happens, on whatever thread: every figure
// is an atomic, so counting takes no lock, and a reader on another thread
// (the HTTP side's metrics page) sees each figure whole. Owned by the server
// host; knows nothing of how the figures are shown.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

// How long something took, counted into buckets with fixed upper bounds (in
// seconds) and summed.
class TDurationHistogram {
public:
    static constexpr std::size_t kMaxBounds = 16;

    // `bounds`: ascending upper bounds in seconds, at most kMaxBounds; a last
    // bucket without bound takes every longer duration.
    explicit TDurationHistogram(std::vector<double> bounds);

    void observe(std::chrono::steady_clock::duration duration);

    struct Snapshot {
        std::vector<double> bounds;
        // Per bound, the durations at or below it; then the total (the
        // bucket without bound).
        std::vector<std::uint64_t> cumulative;
        std::uint64_t count = 0;
        double sumSeconds = 0;
    };
    // The figures now: the buckets are read one by one, so an observation
    // made meanwhile may show in the sum and not yet in a bucket.
    Snapshot snapshot() const;

private:
    const std::vector<double> bounds_;
    std::array<std::atomic<std::uint64_t>, kMaxBounds + 1> buckets_{};  // per bucket, not cumulative
    std::atomic<std::uint64_t> sumNanoseconds_{0};
};

class TServerMetrics {
public:
    TServerMetrics();

    // --- counted where it happens ----------------------------------------------
    void setClientsConnected(int count) { clientsConnected_.store(count, std::memory_order_relaxed); }
    void loginGranted() { bump(loginsGranted_); }
    void loginDenied() { bump(loginsDenied_); }
    void loginOfUnknownAccount() { bump(loginsUnknown_); }
    // A login exchange ended with the client's confirmation of the bundle.
    void loginExchangeCompleted(std::chrono::steady_clock::duration took) { loginExchange_.observe(took); }
    void boardSaved(std::chrono::steady_clock::duration took) { boardSaves_.observe(took); }
    // A notice was handed to the mail host, which took it or not.
    void noticeMailed(bool taken) { bump(taken ? mailsSent_ : mailsFailed_); }

    // --- read by the monitoring ------------------------------------------------------
    struct Snapshot {
        std::int64_t clientsConnected = 0;
        std::uint64_t loginsGranted = 0;
        std::uint64_t loginsDenied = 0;
        std::uint64_t loginsUnknown = 0;
        TDurationHistogram::Snapshot loginExchange;
        TDurationHistogram::Snapshot boardSaves;  // its count is the number of saves
        std::uint64_t mailsSent = 0;
        std::uint64_t mailsFailed = 0;
    };
    Snapshot snapshot() const;

private:
    static void bump(std::atomic<std::uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

    std::atomic<std::int64_t> clientsConnected_{0};
    std::atomic<std::uint64_t> loginsGranted_{0};
    std::atomic<std::uint64_t> loginsDenied_{0};
    std::atomic<std::uint64_t> loginsUnknown_{0};
    TDurationHistogram loginExchange_;
    TDurationHistogram boardSaves_;
    std::atomic<std::uint64_t> mailsSent_{0};
    std::atomic<std::uint64_t> mailsFailed_{0};
};

}  // namespace zv
