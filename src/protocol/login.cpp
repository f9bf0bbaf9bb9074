#include "protocol/login.h"

#include <ctime>

#include "protocol/server_context.h"
#include "protocol/wire_texts.h"
#include "stores/board_store.h"
#include "stores/date_time.h"
#include "stores/log_store.h"

namespace zv {

std::string checkLogin(TServerContext& ctx, std::string_view credentials) {
    std::string_view key;
    std::string_view password = credentials;
    if (auto bar = credentials.find('|'); bar != std::string_view::npos) {
        key = credentials.substr(0, bar);
        password = credentials.substr(bar + 1);
    }

    TWIWONode* employee = ctx.board().findByKey(key);
    if (employee == nullptr || employee->Employee.empty()) return std::string(wire::kNonExistResult);
    if (employee->Password != password) return std::string(wire::kDenied);
    return std::string(key);
}

std::string validateLogin(TServerContext& ctx, std::string_view credentials,
                          const std::string& connectionId) {
    std::string accepted = checkLogin(ctx, credentials);
    if (accepted == wire::kNonExistResult || accepted == wire::kDenied) return accepted;

    ctx.updateThreadList(connectionId, accepted);
    ctx.clearUserTable(ctx.board().getCount());
    ctx.refreshUserTable(accepted);
    return accepted;
}

namespace {

void setPunchStatus(TServerContext& ctx, TWIWONode& employee, const char* status) {
    employee.Status = status;
    employee.Returning.clear();
    employee.ReachedAt.clear();
    employee.Comments.clear();
    employee.StatusChanged = datetime::dateTimeText(datetime::now());
    ctx.board().saveToFile();
    appendStatusRecord(ctx, employee);
}

}  // namespace

void punchIn(TServerContext& ctx, std::string_view employeeKey) {
    if (TWIWONode* employee = ctx.board().findByKey(employeeKey)) setPunchStatus(ctx, *employee, "In");
}

void punchOut(TServerContext& ctx, std::string_view employeeKey) {
    TWIWONode* employee = ctx.board().findByKey(employeeKey);
    if (employee == nullptr || employee->Status != "In") return;
    setPunchStatus(ctx, *employee, "Out");
}

void appendStatusRecord(TServerContext& ctx, const TWIWONode& boardRecord) {
    const std::time_t now = datetime::now();
    std::string text;
    const std::string fields[] = {boardRecord.Employee,         boardRecord.Department,
                                  datetime::shortDateText(now), datetime::longTimeText(now),
                                  boardRecord.Status,           boardRecord.Returning,
                                  boardRecord.ReachedAt,        boardRecord.Comments};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0) text.append(wire::kFieldSeparator);
        text.append(fields[i]);
    }
    TLOGList& log = ctx.statusLog();
    log.addNode(log.createNodeFromString(text));
}

}  // namespace zv
