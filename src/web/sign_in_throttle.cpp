#include "web/sign_in_throttle.h"

#include <algorithm>
#include <cmath>

#include "web/client_address.h"

namespace zv::web {

namespace {

// A name as typed, for a line of standard error: quoted, control characters
// written as escapes so that no name can begin a line of its own, and cut.
std::string shownName(const std::string& name) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < name.size() && i < 100; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += static_cast<char>(c);
    }
    if (name.size() > 100) out += "...";
    return out + "\"";
}

std::string whoOf(SessionKind kind, const std::string& account) {
    return kind == SessionKind::Administrator ? "the administrator" : shownName(account);
}

}  // namespace

TSignInThrottle::Clock::time_point TSignInThrottle::now() const { return clock_ ? clock_() : Clock::now(); }

void TSignInThrottle::setClockForTesting(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

std::size_t TSignInThrottle::tracked() {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

// Keys of the three counts; the kind keeps employees' names and the
// administrator's apart, and an address group holds no line feed, so that no
// account name can stand for another key.
TSignInThrottle::Keys TSignInThrottle::keysOf(const std::string& address, SessionKind kind,
                                              const std::string& account) {
    const std::string group = addressGroup(address);
    const std::string named = std::string(kind == SessionKind::Administrator ? "a " : "e ") + account;
    return Keys{group, "address " + group, "account " + named, "pair " + named + "\n" + group};
}

bool TSignInThrottle::stale(const Entry& e, Clock::time_point at) const {
    return at - e.lastFailure > kMemory && at >= e.blockedUntil;
}

TSignInThrottle::Entry* TSignInThrottle::find(const std::string& key, Clock::time_point at) {
    const auto it = entries_.find(key);
    if (it == entries_.end()) return nullptr;
    if (!stale(it->second, at)) return &it->second;
    entries_.erase(it);
    return nullptr;
}

bool TSignInThrottle::makeRoom(std::size_t needed, Clock::time_point at) {
    if (entries_.size() + needed <= capacity_) return true;
    // Only what is forgotten anyway makes room; the sweep runs at most once
    // a minute, so that a flood against a full table costs no more than one.
    if (at - lastSweep_ >= std::chrono::minutes(1)) {
        lastSweep_ = at;
        std::erase_if(entries_, [&](const auto& e) { return stale(e.second, at); });
    }
    return entries_.size() + needed <= capacity_;
}

std::optional<std::chrono::seconds> TSignInThrottle::untracked(Clock::time_point at) {
    constexpr double kPerSecond = kUntrackedPerMinute / 60.0;
    const double elapsed = std::chrono::duration<double>(at - untrackedRefilled_).count();
    untrackedTokens_ =
        std::min<double>(kUntrackedPerMinute, untrackedTokens_ + std::max(elapsed, 0.0) * kPerSecond);
    untrackedRefilled_ = at;
    if (untrackedTokens_ >= 1) {
        untrackedTokens_ -= 1;
        return std::nullopt;
    }
    return std::chrono::seconds(static_cast<long>(std::ceil((1 - untrackedTokens_) / kPerSecond)));
}

void TSignInThrottle::fail(Entry& e, int allowance, Clock::time_point at) {
    ++e.failures;
    e.lastFailure = at;
    if (e.failures > allowance) {
        const int doublings = std::min(e.failures - allowance - 1, 10);
        e.blockedUntil =
            at + std::min<std::chrono::seconds>(std::chrono::seconds(1L << doublings), kLongestWait);
    }
}

void TSignInThrottle::takeBack(const std::string& key, int allowance) {
    const auto it = entries_.find(key);
    if (it == entries_.end()) return;
    Entry& e = it->second;
    if (e.failures > 0) --e.failures;
    if (e.failures <= allowance) e.blockedUntil = {};
    if (e.failures == 0) entries_.erase(it);
}

std::optional<std::string> TSignInThrottle::refusal(const std::string& address, const std::string& who,
                                                    Clock::time_point* lastReport, std::chrono::seconds wait,
                                                    Clock::time_point at) {
    ++refusals_;
    if (lastReport != nullptr && *lastReport != Clock::time_point{} && at - *lastReport < kReportInterval) {
        return std::nullopt;
    }
    if (lastReport != nullptr) *lastReport = at;
    return "Web: sign-in as " + who + " from " + address + " refused for " + std::to_string(wait.count()) +
           " s after too many failed sign-ins (further refusals from there within a minute are not reported)";
}

std::optional<std::chrono::seconds> TSignInThrottle::admit(const std::string& address, SessionKind kind,
                                                           const std::string& account) {
    std::optional<std::chrono::seconds> wait;
    std::optional<std::string> line;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point at = now();
        const Keys keys = keysOf(address, kind, account);
        Entry* byAddress = find(keys.address, at);
        Entry* byAccount = find(keys.account, at);
        Entry* byPair = find(keys.pair, at);
        Clock::time_point until{};
        if (byAddress) until = std::max(until, byAddress->blockedUntil);
        if (byPair) until = std::max(until, byPair->blockedUntil);
        // The account's own count holds back only the addresses that have
        // failed at it.
        if (byAccount && byPair && byPair->failures > 0) until = std::max(until, byAccount->blockedUntil);
        const std::size_t needed = (byAddress ? 0 : 1) + (byAccount ? 0 : 1) + (byPair ? 0 : 1);
        if (until > at) {
            wait = std::max(std::chrono::ceil<std::chrono::seconds>(until - at), std::chrono::seconds(1));
            line = refusal(address, whoOf(kind, account), byAddress ? &byAddress->lastReport : nullptr, *wait,
                           at);
        } else if (needed > 0 && !makeRoom(needed, at)) {
            // The table is full of what it must not forget: a newcomer goes
            // through the allowance of the whole server.
            wait = untracked(at);
            if (wait) line = refusal(address, whoOf(kind, account), &untrackedReported_, *wait, at);
        } else {
            fail(entries_[keys.address], kAddressAllowance, at);
            fail(entries_[keys.account], kAccountAllowance, at);
            fail(entries_[keys.pair], kAccountAllowance, at);
        }
    }
    if (line && report_) report_(*line);
    return wait;
}

void TSignInThrottle::succeeded(const std::string& address, SessionKind kind, const std::string& account) {
    std::lock_guard lock(mutex_);
    const Keys keys = keysOf(address, kind, account);
    // This address knows the password: its failures at the account go. Of
    // the account's and the address's counts only the attempt counted ahead
    // is taken back: guesses elsewhere still count.
    entries_.erase(keys.pair);
    takeBack(keys.account, kAccountAllowance);
    takeBack(keys.address, kAddressAllowance);
}

void TSignInThrottle::notChecked(const std::string& address, SessionKind kind, const std::string& account) {
    std::lock_guard lock(mutex_);
    const Keys keys = keysOf(address, kind, account);
    takeBack(keys.pair, kAccountAllowance);
    takeBack(keys.account, kAccountAllowance);
}

}  // namespace zv::web
