#pragma once
// What the employees' board operations of the maintenance API take and give
// (a browser's punch, status and message): the same store operations, log
// records and mail as the equivalent client request.

#include <string>

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

}  // namespace zv
