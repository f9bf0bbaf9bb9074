#pragma once
// What the employees' board operations of the maintenance API take and give
// (a browser's punch, status and message): the same store operations, log
// records and mail as the equivalent client request.

#include <string>
#include <vector>

#include "stores/records.h"

namespace zv {

enum class PunchOutcome {
    Done,            // punched; the board is saved and the change logged
    NoSuchEmployee,  // nothing changed
    NotIn,           // a punch-out of an employee whose status is not "In": nothing changed
};

// The four fields of a status that an employee sets.
struct TStatusEdit {
    std::string Status, Returning, ReachedAt, Comments;
};

enum class MessageOutcome { Stored, NoSuchRecipient };

// What waits for an employee: "While You Were Out" messages and memos,
// with the serials that name them while the server runs.
enum class InboxKind { Message, Memo };
struct TInbox {
    std::vector<TWYWONode> messages;
    std::vector<TPOSTINode> memos;
};

}  // namespace zv
