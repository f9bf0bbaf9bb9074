#pragma once
// Slows down the guessing of passwords. Failed sign-ins are counted per
// client address (IPv6: per /64), per account, and per account and address
// pair; past an allowance each further failure makes the next attempt wait
// twice as long (from a second up to a quarter of an hour), without the
// password being looked at:
// - an address past its allowance waits, whatever account it tries;
// - a pair past the account's allowance waits;
// - an account past its allowance (guessed at from many addresses) makes
//   every address that has failed at it wait; an address that has not gets
//   in with the right password, so that an attacker elsewhere cannot lock
//   the employee out.
// The employees' accounts and the administrator's are counted apart.
// Failures are remembered for a day after the last one. The table never
// drops a blocked or recent entry to make room: when it is full, an attempt
// it cannot count goes through a small allowance for the whole server, and
// waits when that is spent. Each refusal is reported (who, from where), at
// most once a minute per address. Nothing sleeps: a refusal tells the
// browser when to try again. Thread-safe.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "web/sessions.h"

namespace zv::web {

class TSignInThrottle {
public:
    using Clock = std::chrono::steady_clock;
    // Receives one line for standard error.
    using Report = std::function<void(const std::string& line)>;

    static constexpr int kAccountAllowance = 5;   // failures at one account before it is slowed down
    static constexpr int kAddressAllowance = 20;  // failures from one address before it is slowed down
    static constexpr std::chrono::seconds kLongestWait{15 * 60};
    static constexpr std::chrono::hours kMemory{24};
    static constexpr std::size_t kDefaultCapacity = 50000;  // entries (about 150 bytes each)
    static constexpr int kUntrackedPerMinute = 60;          // attempts a full table lets through in all
    static constexpr std::chrono::minutes kReportInterval{1};

    explicit TSignInThrottle(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    // Before the password is checked: counts the attempt of `address` to sign
    // in to `account` (of `kind`; the administrator's is "") as a failure
    // until succeeded() says otherwise, so that attempts made at the same
    // time all count. Returns how long the caller must wait instead when the
    // attempt is refused now (it then does not count).
    std::optional<std::chrono::seconds> admit(const std::string& address, SessionKind kind,
                                              const std::string& account);
    // The attempt admitted last for this address and account succeeded.
    void succeeded(const std::string& address, SessionKind kind, const std::string& account);
    // The attempt admitted last for this address and account could not be
    // checked (the directory did not answer): it does not count against the
    // account, so that an outage locks nobody out. The address keeps it, so
    // that an outage does not open the board's passwords to guessing.
    void notChecked(const std::string& address, SessionKind kind, const std::string& account);

    // Where refusals are reported (set before the server serves).
    void setReport(Report report) { report_ = std::move(report); }
    // Entries held now, and attempts refused so far.
    std::size_t tracked();
    std::uint64_t refusals() const { return refusals_; }

    void setClockForTesting(std::function<Clock::time_point()> clock);

private:
    struct Entry {
        int failures = 0;
        Clock::time_point lastFailure{};
        Clock::time_point blockedUntil{};
        Clock::time_point lastReport{};  // of an address entry
    };
    struct Keys {
        std::string group, address, account, pair;
    };
    static Keys keysOf(const std::string& address, SessionKind kind, const std::string& account);
    Clock::time_point now() const;
    bool stale(const Entry& e, Clock::time_point at) const;
    // The entry of `key` as it counts now (nullptr when there is none).
    Entry* find(const std::string& key, Clock::time_point at);            // mutex_ held
    bool makeRoom(std::size_t needed, Clock::time_point at);              // mutex_ held
    std::optional<std::chrono::seconds> untracked(Clock::time_point at);  // mutex_ held
    void fail(Entry& e, int allowance, Clock::time_point at);             // mutex_ held
    void takeBack(const std::string& key, int allowance);                 // mutex_ held
    // Counts a refusal; the line to report unless `lastReport` (of the
    // address, or of the untracked attempts) is less than a minute old.
    std::optional<std::string> refusal(const std::string& address, const std::string& who,
                                       Clock::time_point* lastReport, std::chrono::seconds wait,
                                       Clock::time_point at);  // mutex_ held

    const std::size_t capacity_;
    Report report_;  // constant while the server runs
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;  // guarded by mutex_
    double untrackedTokens_ = kUntrackedPerMinute;    // guarded by mutex_
    Clock::time_point untrackedRefilled_{};           // guarded by mutex_
    Clock::time_point untrackedReported_{};           // guarded by mutex_
    Clock::time_point lastSweep_{};                   // guarded by mutex_
    std::atomic<std::uint64_t> refusals_{0};
    std::function<Clock::time_point()> clock_;
};

}  // namespace zv::web
