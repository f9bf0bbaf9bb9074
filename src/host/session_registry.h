#pragma once
// The list of live sessions, newest first: one entry per accepted connection,
// added before its thread starts and removed when the thread has ended. After
// an accepted login the entry carries the employee key the session serves.
// Main thread only; the registry owns its entries, not the sessions.

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace zv {

class TClientThread;

class TSessionRegistry {
public:
    static constexpr std::size_t kMaxEmployeeName = 255;

    struct Entry {
        TClientThread* session = nullptr;
        std::string connectionID;  // 8 upper-case hex digits
        std::string employeeName;  // empty until the login is accepted
    };

    // Adds an entry at the front, with an empty employee name.
    void add(TClientThread* session, std::string connectionID);

    // Sets the employee name (cut to 255 characters) of every entry with this ID.
    void updateThreadList(const std::string& connectionID, const std::string& employeeKey);

    // ID of the newest entry whose employee name equals the key exactly, or "".
    std::string getConnectionID(const std::string& employeeKey) const;

    // The employee names of all entries that have one: an employee is served
    // by a session exactly when getConnectionID gives an ID for the key.
    std::unordered_set<std::string> servedEmployees() const;

    // Removes the entry with this ID; nothing when there is none.
    void deleteThread(const std::string& connectionID);

    // The ID of this session's entry, or "" when it has none.
    std::string connectionIDOf(const TClientThread* session) const;

    // Calls `visit` for every entry, newest first.
    void forEachNewestFirst(const std::function<void(const Entry&)>& visit) const;

    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }

private:
    // Oldest first, so that adding is a push_back; walks go backwards.
    std::vector<Entry> entries_;
};

}  // namespace zv
