#include "host/absence_board.h"

#include "host/absence_rules.h"
#include "protocol/merge.h"
#include "protocol/server_context.h"
#include "stores/board_store.h"
#include "stores/records.h"

namespace zv {

namespace {

std::string returningOf(const TSCHEDNode& absence) {
    const auto times = absenceTimes(absence);
    return absenceReturningText(times ? times->until : std::nullopt);
}

}  // namespace

bool putStatusOnBoard(TServerContext& context, const std::string& employeeKey, const TStatusEdit& edit) {
    const TWIWONode* stored = std::as_const(context.board()).findByKey(employeeKey);
    if (stored == nullptr) return false;
    // The record a client would send: its own record as it has it, with the
    // four fields changed.
    TWIWONode received = *stored;
    received.Status = edit.Status;
    received.Returning = edit.Returning;
    received.ReachedAt = edit.ReachedAt;
    received.Comments = edit.Comments;
    mergeBoardRecord(context, received, employeeKey);
    return true;
}

bool putAbsenceOnBoard(TServerContext& context, const TSCHEDNode& absence) {
    return putStatusOnBoard(context, absence.Employee,
                            {absence.Status, returningOf(absence), absence.ReachedAt, absence.Comments});
}

bool absenceHoldsBoard(const TWIWOList& board, const TSCHEDNode& absence) {
    const TWIWONode* shown = board.findByKey(absence.Employee);
    return shown != nullptr && shown->Status == absence.Status && shown->ReachedAt == absence.ReachedAt &&
           shown->Comments == absence.Comments && shown->Returning == returningOf(absence);
}

}  // namespace zv
