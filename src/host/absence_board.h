#pragma once
// A status put on the board as the browser's status edit puts it (the board
// record, one status log record, the user table and so the live board), and
// an absence put there the same way and recognised there afterwards. Main
// thread, in a step.

#include <string>

#include "host/board_operations.h"

namespace zv {

class TServerContext;
class TWIWOList;
struct TSCHEDNode;

// As a client's login that carries the employee's own board record with
// only the four fields of `edit` changed. False when the employee has no
// record.
bool putStatusOnBoard(TServerContext& context, const std::string& employeeKey, const TStatusEdit& edit);

// Sets the absence's status, returning (its end), reached at and comments
// on its account's board record. False when the account has no record.
bool putAbsenceOnBoard(TServerContext& context, const TSCHEDNode& absence);

// Whether the account's board record shows exactly what the absence put
// there (nothing else was set since).
bool absenceHoldsBoard(const TWIWOList& board, const TSCHEDNode& absence);

}  // namespace zv
