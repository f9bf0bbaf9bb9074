#include "host/server_metrics.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace zv {

TDurationHistogram::TDurationHistogram(std::vector<double> bounds) : bounds_(std::move(bounds)) {
    if (bounds_.size() > kMaxBounds || !std::is_sorted(bounds_.begin(), bounds_.end())) {
        throw std::invalid_argument("a duration histogram takes at most " + std::to_string(kMaxBounds) +
                                    " ascending bounds, not " + std::to_string(bounds_.size()));
    }
}

void TDurationHistogram::observe(std::chrono::steady_clock::duration duration) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
    const std::uint64_t taken = nanoseconds > 0 ? static_cast<std::uint64_t>(nanoseconds) : 0;
    const double seconds = static_cast<double>(taken) / 1e9;
    const auto bucket =
        static_cast<std::size_t>(std::lower_bound(bounds_.begin(), bounds_.end(), seconds) - bounds_.begin());
    buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    sumNanoseconds_.fetch_add(taken, std::memory_order_relaxed);
}

TDurationHistogram::Snapshot TDurationHistogram::snapshot() const {
    Snapshot out;
    out.bounds = bounds_;
    std::uint64_t running = 0;
    for (std::size_t i = 0; i <= bounds_.size(); ++i) {
        running += buckets_[i].load(std::memory_order_relaxed);
        out.cumulative.push_back(running);
    }
    out.count = running;
    out.sumSeconds = static_cast<double>(sumNanoseconds_.load(std::memory_order_relaxed)) / 1e9;
    return out;
}

// A login exchange waits for the session mutex and for the client's
// replies: milliseconds on a quiet server, seconds on a busy one. A save of
// the board writes a file: well under a millisecond for a small office, tens
// of milliseconds for ten thousand accounts on a slow disk.
TServerMetrics::TServerMetrics()
    : loginExchange_({0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30}),
      boardSaves_({0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5}) {}

TServerMetrics::Snapshot TServerMetrics::snapshot() const {
    Snapshot out;
    out.clientsConnected = clientsConnected_.load(std::memory_order_relaxed);
    out.loginsGranted = loginsGranted_.load(std::memory_order_relaxed);
    out.loginsDenied = loginsDenied_.load(std::memory_order_relaxed);
    out.loginsUnknown = loginsUnknown_.load(std::memory_order_relaxed);
    out.loginExchange = loginExchange_.snapshot();
    out.boardSaves = boardSaves_.snapshot();
    out.mailsSent = mailsSent_.load(std::memory_order_relaxed);
    out.mailsFailed = mailsFailed_.load(std::memory_order_relaxed);
    return out;
}

}  // namespace zv
