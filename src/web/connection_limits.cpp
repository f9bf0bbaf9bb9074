#include "web/connection_limits.h"

#include <sys/socket.h>

#include "web/client_address.h"

namespace zv::web {

TConnectionLimits::~TConnectionLimits() { stop(); }

void TConnectionLimits::start() {
    std::lock_guard lock(mutex_);
    if (watcher_.joinable()) return;
    stopping_ = false;
    watcher_ = std::thread([this] { watchDeadlines(); });
}

void TConnectionLimits::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (watcher_.joinable()) watcher_.join();
}

bool TConnectionLimits::admits(const sockaddr* address) {
    const std::string group = addressGroup(address);
    std::lock_guard lock(mutex_);
    const auto it = perGroup_.find(group);
    if (it == perGroup_.end() || it->second < kPerAddress) return true;
    ++refused_;
    return false;
}

TConnectionLimits::TConnection* TConnectionLimits::opened(int fd, const sockaddr* address) {
    std::unique_ptr<TConnection> connection(
        new TConnection(*this, fd, addressText(address), addressGroup(address)));
    TConnection* record = connection.get();
    {
        std::lock_guard lock(mutex_);
        open_.emplace(record, std::move(connection));
        // Several threads accept: two connections from one address may both
        // have passed admits(); the one too many ends now.
        if (++perGroup_[record->group_] > kPerAddress) {
            cut(*record);
            ++refused_;
        }
    }
    record->awaitHead();
    return record;
}

void TConnectionLimits::wakeWatcher() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void TConnectionLimits::closed(TConnection* connection) {
    if (connection == nullptr) return;
    std::lock_guard lock(mutex_);
    const auto it = open_.find(connection);
    if (it == open_.end()) return;
    const auto group = perGroup_.find(connection->group_);
    if (group != perGroup_.end() && --group->second == 0) perGroup_.erase(group);
    open_.erase(it);
}

std::size_t TConnectionLimits::openCount() {
    std::lock_guard lock(mutex_);
    return open_.size();
}

void TConnectionLimits::cut(TConnection& connection) {
    connection.deadline_ = 0;
    // The daemon sees the socket end, as if the client had gone, and closes
    // the connection; ENOTCONN (the client went first) changes nothing.
    ::shutdown(connection.fd_, SHUT_RDWR);
}

void TConnectionLimits::watchDeadlines() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        // Idle from before the look: a deadline set during it wakes the
        // next wait (it sees the flag), one set before it is seen by it.
        watcherIdle_ = true;
        woken_ = false;
        bool anySet = false;
        const Clock::rep now = Clock::now().time_since_epoch().count();
        for (auto& [record, connection] : open_) {
            const Clock::rep due = record->deadline_.load();
            if (due == 0) continue;
            anySet = true;
            if (due <= now) {
                cut(*record);
                ++cut_;
            }
        }
        if (anySet) {
            watcherIdle_ = false;
            changed_.wait_for(lock, kTick, [this] { return stopping_; });
        } else {
            changed_.wait(lock, [this] { return stopping_ || woken_; });
        }
    }
}

}  // namespace zv::web
