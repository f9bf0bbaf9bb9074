#include "web/sessions.h"

#include <sys/random.h>

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

TWebSessions::Clock::duration TWebSessions::idleLimit(SessionKind kind) {
    switch (kind) {
        case SessionKind::Employee:
            break;
        case SessionKind::Administrator:
            return kAdministratorIdleLimit;
    }
    return kEmployeeIdleLimit;
}

void TWebSessions::setClockForTesting(std::function<Clock::time_point()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

std::shared_ptr<const TWebSession> TWebSessions::create(SessionKind kind, std::string employeeKey,
                                                        std::size_t digest) {
    auto session = std::make_shared<TWebSession>();
    session->token = randomToken();
    session->antiForgeryToken = randomToken();
    session->kind = kind;
    session->employeeKey = std::move(employeeKey);
    session->passwordDigest = digest;

    std::lock_guard lock(mutex_);
    const Clock::time_point at = now();
    if (sessions_.size() >= kMaxSessions) dropExpired(at);
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        sessions_.erase(oldest);
    }
    sessions_[session->token] = Entry{session, at};
    return session;
}

std::shared_ptr<const TWebSession> TWebSessions::find(const std::string& token, bool touch) {
    if (token.empty()) return nullptr;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(token);
    if (it == sessions_.end()) return nullptr;
    const Clock::time_point at = now();
    if (at - it->second.lastUse > idleLimit(it->second.session->kind)) {
        sessions_.erase(it);
        return nullptr;
    }
    if (touch) it->second.lastUse = at;
    return it->second.session;
}

std::shared_ptr<const TWebSession> TWebSessions::use(const std::string& token) { return find(token, true); }

std::shared_ptr<const TWebSession> TWebSessions::peek(const std::string& token) { return find(token, false); }

void TWebSessions::end(const std::string& token) {
    std::lock_guard lock(mutex_);
    sessions_.erase(token);
}

void TWebSessions::endAll(SessionKind kind, const std::string& keep) {
    std::lock_guard lock(mutex_);
    std::erase_if(sessions_, [&](const auto& entry) {
        return entry.second.session->kind == kind && entry.first != keep;
    });
}

std::size_t TWebSessions::count() {
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

void TWebSessions::dropExpired(Clock::time_point at) {
    std::erase_if(sessions_, [&](const auto& entry) {
        return at - entry.second.lastUse > idleLimit(entry.second.session->kind);
    });
}

}  // namespace zv::web
