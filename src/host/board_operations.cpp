#include "host/board_operations.h"

#include <ctime>
#include <memory>

#include "protocol/login.h"
#include "protocol/merge.h"
#include "protocol/server_context.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {

PunchOutcome punchEmployeeIn(TServerContext& ctx, const std::string& employeeKey) {
    if (ctx.board().findByKey(employeeKey) == nullptr) return PunchOutcome::NoSuchEmployee;
    punchIn(ctx, employeeKey);
    return PunchOutcome::Done;
}

PunchOutcome punchEmployeeOut(TServerContext& ctx, const std::string& employeeKey) {
    const TWIWONode* employee = ctx.board().findByKey(employeeKey);
    if (employee == nullptr) return PunchOutcome::NoSuchEmployee;
    if (employee->Status != "In") return PunchOutcome::NotIn;
    punchOut(ctx, employeeKey);
    return PunchOutcome::Done;
}

bool editEmployeeStatus(TServerContext& ctx, const std::string& employeeKey, const TStatusEdit& edit) {
    const TWIWONode* stored = ctx.board().findByKey(employeeKey);
    if (stored == nullptr) return false;
    // The record a client would send: its own record as it has it, with the
    // four fields changed.
    TWIWONode received = *stored;
    received.Status = edit.Status;
    received.Returning = edit.Returning;
    received.ReachedAt = edit.ReachedAt;
    received.Comments = edit.Comments;
    mergeBoardRecord(ctx, received, employeeKey);
    return true;
}

MessageOutcome takeMessage(TServerContext& ctx, TWYWONode message, const std::string& takenBy) {
    if (ctx.board().findByKey(message.Recipient) == nullptr) return MessageOutcome::NoSuchRecipient;
    const std::time_t now = datetime::now();
    message.TakenBy = takenBy;
    message.Date = datetime::shortDateText(now);
    message.Time = datetime::longTimeText(now);
    mergeMessage(ctx, std::make_unique<TWYWONode>(std::move(message)));
    return MessageOutcome::Stored;
}

}  // namespace zv
