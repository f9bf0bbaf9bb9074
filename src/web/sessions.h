#pragma once
// The signed-in browsers: each session is a 256-bit random token (the
// cookie), known here only by its digest (the session's id), held with the
// signed-in account, its anti-forgery token, the time it began and the time
// of its last use. A session ends after its idle
// limit or its lifetime, when signed out, or when its account changed. An
// account holds at most kPerAccount sessions (a new one ends its oldest), so
// no account's sign-ins end another's sessions; the administrator is one
// account of its own. Whoever ends sessions, the end notice hears of it (the
// live streams end with them). Kept in a file when one is named (keepIn):
// the file is written whenever a session begins or ends, and when a use
// moves a session's last use well past what the file says, so that a
// restart signs no browser out. Thread-safe: the HTTP threads and the main
// loop's steps use it.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace zv::web {

enum class SessionKind {
    Employee,       // signed in with a board key and password
    Administrator,  // signed in with the administrator's password
};

struct TWebSession {
    std::string id;                // the digest of the cookie value, 64 hexadecimal digits
    std::string token;             // the cookie value, 64 hexadecimal digits; known only to the
                                   // run that made the session
    std::string antiForgeryToken;  // the request header value every change carries
    SessionKind kind = SessionKind::Employee;
    std::string employeeKey;         // record bytes; empty for the administrator
    std::size_t passwordDigest = 0;  // of the password (the administrator's: its hash) signed in with:
                                     // a changed one ends the session
    bool frontDesk = false;          // the directory's front-desk group held the person at sign-in
};

// 64 hexadecimal digits of a 256-bit random number from the system's
// random source. Throws std::system_error when it cannot be read.
std::string randomToken();

// Digest of a password for telling that it changed; the same in every run
// (sessions kept in their file carry it).
std::size_t passwordDigest(const std::string& password);

// The id of the session whose cookie value is `token`: 64 hexadecimal
// digits of its BLAKE2b digest.
std::string sessionId(const std::string& token);

class TWebSessions {
public:
    using Clock = std::chrono::steady_clock;
    // Told, on the thread that ended them and without a lock held, the
    // tokens of sessions that ended.
    using EndNotice = std::function<void(const std::vector<std::string>& tokens)>;

    // Idle limits and lifetimes by kind.
    static constexpr std::chrono::hours kEmployeeIdleLimit{8};
    static constexpr std::chrono::minutes kAdministratorIdleLimit{30};
    static constexpr std::chrono::hours kEmployeeLifetime{7 * 24};
    static constexpr std::chrono::hours kAdministratorLifetime{12};
    // Sessions one account holds at most; a new one ends its oldest.
    static constexpr std::size_t kPerAccount = 10;

    std::shared_ptr<const TWebSession> create(SessionKind kind, std::string employeeKey,
                                              std::size_t passwordDigest, bool frontDesk = false);
    // The live session of the cookie value `token`, counting this as a use;
    // nullptr when there is none or it has lapsed (it then ends).
    std::shared_ptr<const TWebSession> use(const std::string& token);
    // As use(), without counting as a use.
    std::shared_ptr<const TWebSession> peek(const std::string& token);
    // Whether the session with this id lives (a lapsed one ends).
    bool alive(const std::string& id);
    void end(const std::string& id);
    // Ends every session of this kind but the one with id `keep`.
    void endAll(SessionKind kind, const std::string& keep = {});
    // The employees' sessions: the distinct accounts signed in, and an end
    // to the sessions of the accounts for which `gone(key, passwordDigest)`
    // holds.
    std::vector<std::string> employeeAccounts();
    void endEmployeesWhere(
        const std::function<bool(const std::string& key, std::size_t passwordDigest)>& gone);
    // The ids of the administrators' sessions signed in with a password
    // other than the one of this digest.
    std::vector<std::string> administratorsOfAnotherPassword(std::size_t passwordDigest);
    std::size_t count();
    std::size_t count(SessionKind kind);

    void setEndNotice(EndNotice notice);

    // Keeps the sessions in the file `path` from now on: the sessions it
    // holds that have not lapsed are taken (a line that cannot be read is
    // left out and reported through `report`, once), and every change is
    // written to it (a failure is reported, and the sessions go on).
    void keepIn(const std::string& path, std::function<void(const std::string&)> report);
    // For tests: the clock.
    void setClockForTesting(std::function<Clock::time_point()> clock);

private:
    struct Entry {
        std::shared_ptr<const TWebSession> session;
        Clock::time_point begun;
        Clock::time_point lastUse;
        Clock::time_point lastUseWritten;
    };
    Clock::time_point now() const;
    static bool lapsed(const Entry& entry, Clock::time_point at);
    static std::string accountOf(const TWebSession& session);
    std::shared_ptr<const TWebSession> find(const std::string& id, bool touch);
    // Writes the file when one is kept; mutex_ not held.
    void save();
    // Whether a use at `at` moves the entry's last use far enough past the
    // one written to call for a write.
    static bool worthWriting(const Entry& entry, Clock::time_point at);
    // Removes the sessions for which `ends` holds; their tokens.
    std::vector<std::string> endWhere(const std::function<bool(const Entry&)>& ends);  // mutex_ held
    // endWhere under the mutex, then the file written and the ends told.
    void endAndTell(const std::function<bool(const Entry&)>& ends);
    void erase(const std::string& id);                                                 // mutex_ held
    void tell(const std::vector<std::string>& ended);                                  // mutex_ not held

    std::mutex mutex_;
    std::unordered_map<std::string, Entry> sessions_;                      // by id; guarded by mutex_
    std::unordered_map<std::string, std::vector<std::string>> byAccount_;  // guarded by mutex_; oldest first
    EndNotice notice_;                                                     // guarded by mutex_
    std::function<Clock::time_point()> clock_;                             // constant after set-up
    std::string path_;                                                     // constant after keepIn
    std::function<void(const std::string&)> report_;                       // constant after keepIn
    std::mutex saveMutex_;  // one write at a time, each of the state as it is when it starts
};

}  // namespace zv::web
