#include "web/sessions.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

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

std::size_t passwordDigest(const std::string& password) { return std::hash<std::string>{}(password); }

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

void TWebSessions::erase(const std::string& token) {
    const auto it = sessions_.find(token);
    if (it == sessions_.end()) return;
    const auto account = byAccount_.find(accountOf(*it->second.session));
    if (account != byAccount_.end()) {
        std::erase(account->second, token);
        if (account->second.empty()) byAccount_.erase(account);
    }
    sessions_.erase(it);
}

std::vector<std::string> TWebSessions::endWhere(const std::function<bool(const Entry&)>& ends) {
    std::vector<std::string> ended;
    for (const auto& [token, entry] : sessions_) {
        if (ends(entry)) ended.push_back(token);
    }
    for (const std::string& token : ended) erase(token);
    return ended;
}

std::shared_ptr<const TWebSession> TWebSessions::create(SessionKind kind, std::string employeeKey,
                                                        std::size_t digest) {
    auto session = std::make_shared<TWebSession>();
    session->token = randomToken();
    session->antiForgeryToken = randomToken();
    session->kind = kind;
    session->employeeKey = std::move(employeeKey);
    session->passwordDigest = digest;

    std::vector<std::string> ended;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point at = now();
        std::vector<std::string>& ofAccount = byAccount_[accountOf(*session)];
        // The account's lapsed sessions go first, then its oldest.
        for (const std::string& token : ofAccount) {
            if (lapsed(sessions_.at(token), at)) ended.push_back(token);
        }
        while (ofAccount.size() - ended.size() >= kPerAccount) {
            const auto oldest =
                std::find_if(ofAccount.begin(), ofAccount.end(), [&](const std::string& token) {
                    return std::find(ended.begin(), ended.end(), token) == ended.end();
                });
            ended.push_back(*oldest);
        }
        for (const std::string& token : ended) erase(token);
        byAccount_[accountOf(*session)].push_back(session->token);
        sessions_[session->token] = Entry{session, at, at};
    }
    tell(ended);
    return session;
}

std::shared_ptr<const TWebSession> TWebSessions::find(const std::string& token, bool touch) {
    if (token.empty()) return nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto it = sessions_.find(token);
        if (it == sessions_.end()) return nullptr;
        const Clock::time_point at = now();
        if (!lapsed(it->second, at)) {
            if (touch) it->second.lastUse = at;
            return it->second.session;
        }
        erase(token);
    }
    tell({token});
    return nullptr;
}

std::shared_ptr<const TWebSession> TWebSessions::use(const std::string& token) { return find(token, true); }

std::shared_ptr<const TWebSession> TWebSessions::peek(const std::string& token) { return find(token, false); }

void TWebSessions::end(const std::string& token) {
    {
        std::lock_guard lock(mutex_);
        if (sessions_.find(token) == sessions_.end()) return;
        erase(token);
    }
    tell({token});
}

void TWebSessions::endAll(SessionKind kind, const std::string& keep) {
    std::vector<std::string> ended;
    {
        std::lock_guard lock(mutex_);
        ended = endWhere(
            [&](const Entry& entry) { return entry.session->kind == kind && entry.session->token != keep; });
    }
    tell(ended);
}

std::vector<std::string> TWebSessions::employeeAccounts() {
    std::vector<std::string> keys;
    std::lock_guard lock(mutex_);
    for (const auto& [account, tokens] : byAccount_) {
        const TWebSession& session = *sessions_.at(tokens.front()).session;
        if (session.kind == SessionKind::Employee) keys.push_back(session.employeeKey);
    }
    return keys;
}

void TWebSessions::endEmployeesWhere(const std::function<bool(const std::string&, std::size_t)>& gone) {
    std::vector<std::string> ended;
    {
        std::lock_guard lock(mutex_);
        ended = endWhere([&](const Entry& entry) {
            return entry.session->kind == SessionKind::Employee &&
                   gone(entry.session->employeeKey, entry.session->passwordDigest);
        });
    }
    tell(ended);
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
