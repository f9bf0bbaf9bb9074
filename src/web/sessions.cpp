#include "web/sessions.h"

#include <sodium.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "host/kept_file.h"
#include "host/secrets.h"
#include "web/session_file.h"

namespace zv::web {

std::string randomToken() {
    unsigned char bytes[32];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(),
                                    "cannot read the system's random source for a session token");
        }
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string token;
    token.reserve(2 * sizeof bytes);
    for (const unsigned char b : bytes) {
        token.push_back(kDigits[b >> 4]);
        token.push_back(kDigits[b & 15]);
    }
    return token;
}

std::size_t passwordDigest(const std::string& password) {
    unsigned char digest[crypto_generichash_BYTES_MIN];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(password.data()),
                       password.size(), nullptr, 0);
    std::size_t value = 0;
    std::memcpy(&value, digest, sizeof value);
    return value;
}

std::string sessionId(const std::string& token) { return hexDigest(token, 32); }

TWebSessions::Clock::time_point TWebSessions::now() const { return clock_ ? clock_() : Clock::now(); }

bool TWebSessions::lapsed(const Entry& entry, Clock::time_point at) {
    switch (entry.session->kind) {
        case SessionKind::Employee: break;
        case SessionKind::Administrator:
            return at - entry.lastUse > kAdministratorIdleLimit || at - entry.begun > kAdministratorLifetime;
    }
    return at - entry.lastUse > kEmployeeIdleLimit || at - entry.begun > kEmployeeLifetime;
}

// The administrator is one account; an employee's key never starts with
// the kind's mark.
std::string TWebSessions::accountOf(const TWebSession& session) {
    return (session.kind == SessionKind::Administrator ? "a:" : "e:") + session.employeeKey;
}

void TWebSessions::setClockForTesting(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void TWebSessions::setEndNotice(EndNotice notice) {
    std::lock_guard lock(mutex_);
    notice_ = std::move(notice);
}

void TWebSessions::tell(const std::vector<std::string>& ended) {
    if (ended.empty()) return;
    EndNotice notice;
    {
        std::lock_guard lock(mutex_);
        notice = notice_;
    }
    if (notice) notice(ended);
}

void TWebSessions::erase(const std::string& id) {
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    const auto account = byAccount_.find(accountOf(*it->second.session));
    if (account != byAccount_.end()) {
        std::erase(account->second, id);
        if (account->second.empty()) byAccount_.erase(account);
    }
    sessions_.erase(it);
}

std::vector<std::string> TWebSessions::endWhere(const std::function<bool(const Entry&)>& ends) {
    std::vector<std::string> ended;
    for (const auto& [id, entry] : sessions_) {
        if (ends(entry)) ended.push_back(id);
    }
    for (const std::string& id : ended) erase(id);
    return ended;
}

std::shared_ptr<const TWebSession> TWebSessions::create(SessionKind kind, std::string employeeKey,
                                                        std::size_t digest, bool frontDesk) {
    auto session = std::make_shared<TWebSession>();
    session->token = randomToken();
    session->id = sessionId(session->token);
    session->antiForgeryToken = randomToken();
    session->kind = kind;
    session->employeeKey = std::move(employeeKey);
    session->passwordDigest = digest;
    session->frontDesk = frontDesk;

    std::vector<std::string> ended;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point at = now();
        std::vector<std::string>& ofAccount = byAccount_[accountOf(*session)];
        // The account's lapsed sessions go first, then its oldest.
        for (const std::string& id : ofAccount) {
            if (lapsed(sessions_.at(id), at)) ended.push_back(id);
        }
        while (ofAccount.size() - ended.size() >= kPerAccount) {
            const auto oldest = std::find_if(ofAccount.begin(), ofAccount.end(), [&](const std::string& id) {
                return std::find(ended.begin(), ended.end(), id) == ended.end();
            });
            ended.push_back(*oldest);
        }
        for (const std::string& id : ended) erase(id);
        byAccount_[accountOf(*session)].push_back(session->id);
        sessions_[session->id] = Entry{session, at, at, at};
    }
    save();
    tell(ended);
    return session;
}

bool TWebSessions::worthWriting(const Entry& entry, Clock::time_point at) {
    // A sixteenth of the idle limit: a restart shortens no session by more.
    const Clock::duration step =
        (entry.session->kind == SessionKind::Administrator ? Clock::duration(kAdministratorIdleLimit)
                                                           : Clock::duration(kEmployeeIdleLimit)) /
        16;
    return at - entry.lastUseWritten >= step;
}

std::shared_ptr<const TWebSession> TWebSessions::find(const std::string& id, bool touch) {
    std::shared_ptr<const TWebSession> found;
    bool write = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = sessions_.find(id);
        if (it == sessions_.end()) return nullptr;
        const Clock::time_point at = now();
        if (lapsed(it->second, at)) {
            erase(id);
        } else {
            found = it->second.session;
            if (touch) {
                it->second.lastUse = at;
                write = worthWriting(it->second, at);
                if (write) it->second.lastUseWritten = at;
            }
        }
    }
    if (write || !found) save();
    if (!found) tell({id});
    return found;
}

std::shared_ptr<const TWebSession> TWebSessions::use(const std::string& token) {
    return token.empty() ? nullptr : find(sessionId(token), true);
}

std::shared_ptr<const TWebSession> TWebSessions::peek(const std::string& token) {
    return token.empty() ? nullptr : find(sessionId(token), false);
}

bool TWebSessions::alive(const std::string& id) { return find(id, false) != nullptr; }

void TWebSessions::end(const std::string& id) {
    {
        std::lock_guard lock(mutex_);
        if (sessions_.find(id) == sessions_.end()) return;
        erase(id);
    }
    save();
    tell({id});
}

void TWebSessions::endAll(SessionKind kind, const std::string& keep) {
    endAndTell([&](const Entry& entry) { return entry.session->kind == kind && entry.session->id != keep; });
}

void TWebSessions::endAndTell(const std::function<bool(const Entry&)>& ends) {
    std::vector<std::string> ended;
    {
        std::lock_guard lock(mutex_);
        ended = endWhere(ends);
    }
    if (!ended.empty()) save();
    tell(ended);
}

std::vector<std::string> TWebSessions::employeeAccounts() {
    std::vector<std::string> keys;
    std::lock_guard lock(mutex_);
    for (const auto& [account, ids] : byAccount_) {
        const TWebSession& session = *sessions_.at(ids.front()).session;
        if (session.kind == SessionKind::Employee) keys.push_back(session.employeeKey);
    }
    return keys;
}

void TWebSessions::endEmployeesWhere(const std::function<bool(const std::string&, std::size_t)>& gone) {
    endAndTell([&](const Entry& entry) {
        return entry.session->kind == SessionKind::Employee &&
               gone(entry.session->employeeKey, entry.session->passwordDigest);
    });
}

std::vector<std::string> TWebSessions::administratorsOfAnotherPassword(std::size_t digest) {
    std::vector<std::string> ids;
    std::lock_guard lock(mutex_);
    for (const auto& [id, entry] : sessions_) {
        if (entry.session->kind == SessionKind::Administrator && entry.session->passwordDigest != digest)
            ids.push_back(id);
    }
    return ids;
}

std::size_t TWebSessions::count() {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

std::size_t TWebSessions::count(SessionKind kind) {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(sessions_.begin(), sessions_.end(),
                      [kind](const auto& entry) { return entry.second.session->kind == kind; }));
}

}  // namespace zv::web

namespace zv::web {

void TWebSessions::keepIn(const std::string& path, std::function<void(const std::string&)> report) {
    std::string text;
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream all;
            all << in.rdbuf();
            text = all.str();
        } else if (errno != ENOENT) {
            report("The browsers' sessions cannot be read from \"" + path + "\": " + std::strerror(errno) +
                   "; every browser signs in again.");
        }
    }
    std::vector<std::string> problems;
    const std::vector<TKeptSession> kept =
        text.empty() ? std::vector<TKeptSession>{} : readSessionFile(text, problems);
    if (!problems.empty()) {
        std::string lines;
        for (const std::string& problem : problems) lines += (lines.empty() ? "" : "; ") + problem;
        report("Some of the browsers' sessions in \"" + path + "\" cannot be read and are left out (" +
               lines + ").");
    }
    {
        std::lock_guard lock(mutex_);
        path_ = path;
        report_ = std::move(report);
        const Clock::time_point at = now();
        const std::time_t wallNow = std::time(nullptr);
        const auto moment = [&](std::time_t t) { return at - std::chrono::seconds(wallNow - t); };
        for (const TKeptSession& k : kept) {
            auto session = std::make_shared<TWebSession>();
            session->id = k.id;
            session->antiForgeryToken = k.antiForgeryToken;
            session->kind = k.kind;
            session->employeeKey = k.employeeKey;
            session->passwordDigest = k.passwordDigest;
            session->frontDesk = k.frontDesk;
            const Entry entry{session, moment(k.begun), moment(k.lastUse), moment(k.lastUse)};
            if (lapsed(entry, at) || sessions_.count(k.id)) continue;
            sessions_[k.id] = entry;
            byAccount_[accountOf(*session)].push_back(k.id);
        }
        // Oldest first, as the limit per account expects.
        for (auto& [account, ids] : byAccount_) {
            std::stable_sort(ids.begin(), ids.end(), [this](const std::string& a, const std::string& b) {
                return sessions_.at(a).begun < sessions_.at(b).begun;
            });
        }
    }
    save();
}

void TWebSessions::save() {
    std::lock_guard saving(saveMutex_);
    std::string path;
    std::vector<TKeptSession> kept;
    {
        std::lock_guard lock(mutex_);
        if (path_.empty()) return;
        path = path_;
        const Clock::time_point at = now();
        const std::time_t wallNow = std::time(nullptr);
        const auto wall = [&](Clock::time_point t) {
            return wallNow - std::chrono::duration_cast<std::chrono::seconds>(at - t).count();
        };
        for (const auto& [id, entry] : sessions_) {
            const TWebSession& s = *entry.session;
            kept.push_back({s.kind, id, s.antiForgeryToken, s.passwordDigest, wall(entry.begun),
                            wall(entry.lastUse), s.employeeKey, s.frontDesk});
        }
    }
    try {
        const std::string text = sessionFileText(kept);
        replaceKeptFile(path, text);
    } catch (const std::runtime_error& e) {
        report_(std::string("The browsers' sessions cannot be kept for the next start: ") + e.what() + ".");
    }
}

}  // namespace zv::web
