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

void markPunched(TWIWONode& employee, const char* status) {
    employee.Status = status;
    employee.Returning.clear();
    employee.ReachedAt.clear();
    employee.Comments.clear();
    employee.StatusChanged = datetime::dateTimeText(datetime::now());
}

void setPunchStatus(TServerContext& ctx, TWIWONode& employee, const char* status) {
    markPunched(employee, status);
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

std::vector<std::string> punchOutEveryoneIn(TServerContext& ctx) {
    TWIWOList& board = ctx.board();
    std::vector<std::string> punched;
    std::vector<std::unique_ptr<TLOGNode>> records;
    for (int i = 0; i < board.getCount(); ++i) {
        TWIWONode& employee = board.getNode(i);
        if (employee.Status != "In") continue;
        markPunched(employee, "Out");
        punched.push_back(employee.Employee);
        records.push_back(makeStatusRecord(ctx, employee));
    }
    if (punched.empty()) return punched;
    board.saveToFile();
    ctx.statusLog().addNodes(std::move(records));
    return punched;
}

void appendStatusRecord(TServerContext& ctx, const TWIWONode& boardRecord) {
    TLOGList& log = ctx.statusLog();
    log.addNode(makeStatusRecord(ctx, boardRecord));
}

std::unique_ptr<TLOGNode> makeStatusRecord(TServerContext& ctx, const TWIWONode& boardRecord) {
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
    return ctx.statusLog().createNodeFromString(text);
}

}  // namespace zv
