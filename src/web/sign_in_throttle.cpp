#include "web/sign_in_throttle.h"

#include <algorithm>

namespace zv::web {

TSignInThrottle::Clock::time_point TSignInThrottle::now() const { return clock_ ? clock_() : Clock::now(); }

void TSignInThrottle::setClockForTesting(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void TSignInThrottle::makeRoom(Clock::time_point at) {
    if (entries_.size() + 2 <= kMaxTracked) return;
    std::erase_if(entries_, [&](const auto& e) {
        return at - e.second.lastFailure > kMemory && at >= e.second.blockedUntil;
    });
    while (entries_.size() + 2 > kMaxTracked) {
        // Still full: the entries that failed longest ago make room.
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.lastFailure < b.second.lastFailure;
        });
        entries_.erase(oldest);
    }
}

TSignInThrottle::Entry& TSignInThrottle::entry(const std::string& key, Clock::time_point at) {
    Entry& e = entries_[key];
    if (e.failures > 0 && at - e.lastFailure > kMemory && at >= e.blockedUntil) e = Entry{};
    return e;
}

void TSignInThrottle::fail(Entry& e, int allowance, Clock::time_point at) {
    ++e.failures;
    e.lastFailure = at;
    if (e.failures > allowance) {
        const int doublings = std::min(e.failures - allowance - 1, 10);
        const auto wait = std::min(std::chrono::seconds(1L << doublings), std::chrono::seconds(kLongestWait));
        e.blockedUntil = at + wait;
    }
}

std::optional<std::chrono::seconds> TSignInThrottle::admit(const std::string& address,
                                                           const std::string& account) {
    std::lock_guard lock(mutex_);
    const Clock::time_point at = now();
    makeRoom(at);
    Entry& byAddress = entry("a:" + address, at);
    Entry& byAccount = entry("k:" + account, at);
    const Clock::time_point until = std::max(byAddress.blockedUntil, byAccount.blockedUntil);
    if (until > at) {
        refusals_.fetch_add(1, std::memory_order_relaxed);
        const auto left = std::chrono::ceil<std::chrono::seconds>(until - at);
        return std::max(left, std::chrono::seconds(1));
    }
    fail(byAddress, kAddressAllowance, at);
    fail(byAccount, kAccountAllowance, at);
    return std::nullopt;
}

void TSignInThrottle::succeeded(const std::string& address, const std::string& account) {
    std::lock_guard lock(mutex_);
    entries_.erase("k:" + account);
    const auto it = entries_.find("a:" + address);
    if (it != entries_.end() && it->second.failures > 0) {
        // Only the attempt that was counted ahead is taken back: a valid
        // account does not clear an address's other failures.
        if (--it->second.failures <= kAddressAllowance) it->second.blockedUntil = {};
    }
}

}  // namespace zv::web
