#include "host/session_registry.h"

#include <algorithm>

namespace zv {

void TSessionRegistry::add(TClientThread* session, std::string connectionID) {
    entries_.push_back(Entry{session, std::move(connectionID), {}});
}

void TSessionRegistry::updateThreadList(const std::string& connectionID,
                                        const std::string& employeeKey) {
    for (auto& entry : entries_) {
        if (entry.connectionID == connectionID) {
            entry.employeeName = employeeKey.substr(0, kMaxEmployeeName);
        }
    }
}

std::string TSessionRegistry::getConnectionID(const std::string& employeeKey) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->employeeName == employeeKey && !it->employeeName.empty()) {
            return it->connectionID;
        }
    }
    return {};
}

std::unordered_set<std::string> TSessionRegistry::servedEmployees() const {
    std::unordered_set<std::string> served;
    for (const Entry& e : entries_)
        if (!e.employeeName.empty()) served.insert(e.employeeName);
    return served;
}

void TSessionRegistry::deleteThread(const std::string& connectionID) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->connectionID == connectionID) {
            entries_.erase(std::next(it).base());
            return;
        }
    }
}

std::string TSessionRegistry::connectionIDOf(const TClientThread* session) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->session == session) return it->connectionID;
    }
    return {};
}

void TSessionRegistry::forEachNewestFirst(
    const std::function<void(const Entry&)>& visit) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) visit(*it);
}

}  // namespace zv
