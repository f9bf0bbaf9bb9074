#include "protocol/connection_id.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <unordered_set>

namespace zv {

namespace {

// Never destroyed: a detached session thread may still give its ID back
// while the process exits.
struct TIdTable {
    std::mutex mutex;
    std::uint32_t nextId = 1;                   // guarded by mutex
    std::unordered_set<std::uint32_t> liveIds;  // guarded by mutex
};

TIdTable& idTable() {
    static TIdTable* table = new TIdTable;
    return *table;
}

std::string format(std::uint32_t id) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(id));
    return text;
}

}  // namespace

std::string acquireConnectionId() {
    TIdTable& t = idTable();
    std::lock_guard lock(t.mutex);
    // The counter wraps after 2^32 sessions; skip the IDs still in use.
    while (t.liveIds.count(t.nextId) != 0) ++t.nextId;
    const std::uint32_t id = t.nextId++;
    t.liveIds.insert(id);
    return format(id);
}

void releaseConnectionId(const std::string& id) {
    TIdTable& t = idTable();
    std::lock_guard lock(t.mutex);
    t.liveIds.erase(static_cast<std::uint32_t>(std::stoul(id, nullptr, 16)));
}

}  // namespace zv
