#pragma once
// What an employee may do to the board from outside a client session (from
// a browser): the same store operations, log records and mail as the
// equivalent client request. Each runs on the main thread inside a step
// (under the session mutex); texts are record bytes, already checked.

#include <string>

#include "stores/records.h"

namespace zv {

class TServerContext;

enum class PunchOutcome {
    Done,            // punched; the board is saved and the change logged
    NoSuchEmployee,  // nothing changed
    NotIn,           // a punch-out of an employee whose status is not "In": nothing changed
};

// As a client's "PUNCH_IN" login and "PUNCH_OUT" request.
PunchOutcome punchEmployeeIn(TServerContext& ctx, const std::string& employeeKey);
PunchOutcome punchEmployeeOut(TServerContext& ctx, const std::string& employeeKey);

// The four fields of a status that an employee sets.
struct TStatusEdit {
    std::string Status, Returning, ReachedAt, Comments;
};

// As a client's login that carries the employee's own board record with
// only these four fields changed: the board record merge (time stamps, save,
// status change record, user table). False when the employee has no record.
bool editEmployeeStatus(TServerContext& ctx, const std::string& employeeKey, const TStatusEdit& edit);

enum class MessageOutcome { Stored, NoSuchRecipient };

// As a client's login that carries a new message: `message` (every field but
// TakenBy, Date and Time) is stored taken by `takenBy` now, in the configured
// date and time formats, and mailed when its recipient asked for that. A
// recipient without a board record is refused (a client may store one; the
// browser offers only the board's employees).
MessageOutcome takeMessage(TServerContext& ctx, TWYWONode message, const std::string& takenBy);

}  // namespace zv
