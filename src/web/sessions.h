#pragma once
// The signed-in browsers: each session is a 256-bit random token (the
// cookie) held here with the signed-in account, its anti-forgery token and
// the time of its last use. A session ends after its idle limit, when signed
// out, or when its account changed. Thread-safe: the HTTP threads and the
// main loop's steps use it.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zv::web {

enum class SessionKind {
    Employee,       // signed in with a board key and password
    Administrator,  // signed in with the administrator's password
};

struct TWebSession {
    std::string token;      // the cookie value, 64 hexadecimal digits
    std::string antiForgeryToken;  // the request header value every change carries
    SessionKind kind = SessionKind::Employee;
    std::string employeeKey;       // record bytes; empty for the administrator
    std::size_t passwordDigest = 0;  // of the password (the administrator's: its hash) signed in with:
                                     // a changed one ends the session
};

// 64 hexadecimal digits of a 256-bit random number from the system's
// random source. Throws std::system_error when it cannot be read.
std::string randomToken();

// Digest of a password for telling that it changed (not for storing it).
std::size_t passwordDigest(const std::string& password);

class TWebSessions {
public:
    using Clock = std::chrono::steady_clock;

    // Idle limits by kind.
    static constexpr std::chrono::hours kEmployeeIdleLimit{8};
    static constexpr std::chrono::minutes kAdministratorIdleLimit{30};
    // Sessions held at most; the least recently used goes first.
    static constexpr std::size_t kMaxSessions = 10000;

    std::shared_ptr<const TWebSession> create(SessionKind kind, std::string employeeKey,
                                              std::size_t passwordDigest);
    // The live session of the token, counting this as a use; nullptr when
    // there is none or it has been idle too long (it then ends).
    std::shared_ptr<const TWebSession> use(const std::string& token);
    // As use(), without counting as a use.
    std::shared_ptr<const TWebSession> peek(const std::string& token);
    void end(const std::string& token);
    // Ends every session of this kind but the one with token `keep`.
    void endAll(SessionKind kind, const std::string& keep = {});
    std::size_t count();

    // For tests: the clock.
    void setClockForTesting(std::function<Clock::time_point()> clock);

private:
    struct Entry {
        std::shared_ptr<const TWebSession> session;
        Clock::time_point lastUse;
    };
    Clock::time_point now() const;
    static Clock::duration idleLimit(SessionKind kind);
    std::shared_ptr<const TWebSession> find(const std::string& token, bool touch);
    void dropExpired(Clock::time_point now);  // mutex_ held

    std::mutex mutex_;
    std::unordered_map<std::string, Entry> sessions_;  // guarded by mutex_
    std::function<Clock::time_point()> clock_;          // constant after set-up
};

}  // namespace zv::web
