// The maintenance API's view of what waits for one employee (a browser's
// "My messages"): the messages and memos a client's login would deliver, and
// "done" on one of them, which deletes it through the same store operation
// as the client's confirmation of a delivered bundle.

#include "host/maintenance_api.h"
#include "protocol/bundle.h"
#include "protocol/server_context.h"
#include "stores/memo_store.h"
#include "stores/message_store.h"

namespace zv {

namespace {

template <class Store, class Node>
void collect(const Store& store, const std::string& key, std::vector<Node>& out) {
    for (int i = 0; i < store.getCount(); ++i) {
        const Node& node = store.getNode(i);
        if (node.Recipient == key) out.push_back(node);
    }
}

template <class Store>
bool holds(const Store& store, const std::string& key, std::uint64_t serial) {
    for (int i = 0; i < store.getCount(); ++i) {
        const auto& node = store.getNode(i);
        if (node.serial == serial) return node.Recipient == key;
    }
    return false;
}

// Serials are never given twice while the server runs, so a record stored
// or deleted changes its recipient's number.
template <class Store>
void stampInto(const Store& store, std::uint64_t salt, std::map<std::string, std::uint64_t>& stamps) {
    for (int i = 0; i < store.getCount(); ++i) {
        const auto& node = store.getNode(i);
        std::uint64_t& stamp = stamps[node.Recipient];
        stamp = stamp * 1000003u + node.serial * 2 + salt;
    }
}

}  // namespace

TInbox TMaintenanceApi::inbox(const std::string& employeeKey) {
    TInbox box;
    collect(std::as_const(context_.messages()), employeeKey, box.messages);
    collect(std::as_const(context_.memos()), employeeKey, box.memos);
    return box;
}

bool TMaintenanceApi::doneWith(const std::string& employeeKey, InboxKind kind, std::uint64_t serial) {
    TDeliveredRecords delivered;
    if (kind == InboxKind::Message) {
        if (!holds(std::as_const(context_.messages()), employeeKey, serial)) return false;
        delivered.messages.push_back(serial);
    } else {
        if (!holds(std::as_const(context_.memos()), employeeKey, serial)) return false;
        delivered.memos.push_back(serial);
    }
    releaseDelivered(context_, delivered);
    return true;
}

std::map<std::string, std::uint64_t> TMaintenanceApi::inboxStamps() {
    std::map<std::string, std::uint64_t> stamps;
    stampInto(std::as_const(context_.messages()), 0, stamps);
    stampInto(std::as_const(context_.memos()), 1, stamps);
    return stamps;
}

}  // namespace zv
