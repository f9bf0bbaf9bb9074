#pragma once
// Slows down guessing of passwords: failed sign-ins are counted per client
// address and per account name, and once a count passes its allowance,
// every further attempt from that address or for that account is refused for
// a time that doubles with each failure (up to a quarter of an hour), without
// the password being looked at. A failure is forgotten a quarter of an hour
// after the last one. Nothing sleeps: a refusal tells the browser when to
// try again. Thread-safe.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace zv::web {

class TSignInThrottle {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kAccountAllowance = 5;   // failures before an account is slowed down
    static constexpr int kAddressAllowance = 20;  // failures before an address is slowed down
    static constexpr std::chrono::seconds kLongestWait{15 * 60};
    static constexpr std::chrono::seconds kMemory{15 * 60};
    static constexpr std::size_t kMaxTracked = 20000;

    // Called before the password is checked. Counts the attempt as a failure
    // until succeeded() says otherwise (so that attempts made at the same
    // time all count). Returns how long the caller must wait when the
    // address or the account is slowed down now (the attempt then does not
    // count).
    std::optional<std::chrono::seconds> admit(const std::string& address, const std::string& account);
    // The attempt admitted last for this pair succeeded.
    void succeeded(const std::string& address, const std::string& account);
    // How many attempts admit() has refused since the start.
    std::uint64_t refusals() const { return refusals_.load(std::memory_order_relaxed); }

    void setClockForTesting(std::function<Clock::time_point()> clock);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point lastFailure{};
        Clock::time_point blockedUntil{};
    };
    Clock::time_point now() const;
    void makeRoom(Clock::time_point at);                        // mutex_ held
    Entry& entry(const std::string& key, Clock::time_point at);  // mutex_ held
    static void fail(Entry& e, int allowance, Clock::time_point at);

    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;  // guarded by mutex_; "a:" + address, "k:" + account
    std::function<Clock::time_point()> clock_;
    std::atomic<std::uint64_t> refusals_{0};
};

}  // namespace zv::web
