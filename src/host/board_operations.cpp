// The maintenance API's operations of an employee on the board (a browser's
// board page): the same store operations, log records and mail as the
// equivalent client request, through the protocol's own punch and merges.

#include "host/board_operations.h"

#include <ctime>
#include <memory>

#include "host/absence_board.h"
#include "host/maintenance_api.h"
#include "protocol/login.h"
#include "protocol/merge.h"
#include "protocol/server_context.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {

PunchOutcome TMaintenanceApi::punchIn(const std::string& employeeKey) {
    if (context_.board().findByKey(employeeKey) == nullptr) return PunchOutcome::NoSuchEmployee;
    zv::punchIn(context_, employeeKey);
    return PunchOutcome::Done;
}

PunchOutcome TMaintenanceApi::punchOut(const std::string& employeeKey) {
    const TWIWONode* employee = context_.board().findByKey(employeeKey);
    if (employee == nullptr) return PunchOutcome::NoSuchEmployee;
    if (employee->Status != "In") return PunchOutcome::NotIn;
    zv::punchOut(context_, employeeKey);
    return PunchOutcome::Done;
}

bool TMaintenanceApi::editStatus(const std::string& employeeKey, const TStatusEdit& edit) {
    return putStatusOnBoard(context_, employeeKey, edit);
}

MessageOutcome TMaintenanceApi::takeMessage(TWYWONode message, const std::string& takenBy) {
    if (context_.board().findByKey(message.Recipient) == nullptr) return MessageOutcome::NoSuchRecipient;
    const std::time_t now = datetime::now();
    message.TakenBy = takenBy;
    message.Date = datetime::shortDateText(now);
    message.Time = datetime::longTimeText(now);
    mergeMessage(context_, std::make_unique<TWYWONode>(std::move(message)));
    return MessageOutcome::Stored;
}

}  // namespace zv
