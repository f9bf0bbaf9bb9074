#include "web/employee_route_support.h"

#include <nlohmann/json.hpp>

#include "host/maintenance_api.h"
#include "web/field_input.h"

namespace zv::web {

namespace {

// The four status fields, with the widths of their board slots.
constexpr TTextField kStatus{"status", "Status", slotWidth<TWIWONode>("Status")};
constexpr TTextField kReturning{"returning", "Returning", slotWidth<TWIWONode>("Returning")};
constexpr TTextField kReachedAt{"reachedAt", "Reached at", slotWidth<TWIWONode>("ReachedAt")};
constexpr TTextField kComments{"comments", "Comments", slotWidth<TWIWONode>("Comments")};

}  // namespace

TStatusEdit readStatusEdit(const nlohmann::json& body) {
    TStatusEdit edit;
    edit.Status = recordText(body, kStatus, Need::Present);
    edit.Returning = recordText(body, kReturning, Need::Present);
    edit.ReachedAt = recordText(body, kReachedAt, Need::Present);
    edit.Comments = recordText(body, kComments, Need::Present);
    return edit;
}

nlohmann::json statusInputWidths() { return inputWidths({kStatus, kReturning, kReachedAt, kComments}); }

std::optional<TWIWONode> signedInEmployee(TWebServices& s, const TWebSession& session) {
    std::optional<TWIWONode> employee = s.host.account(session.employeeKey);
    if (!employee || passwordDigest(employee->Password) != session.passwordDigest) {
        s.sessions.end(session.id);
        return std::nullopt;
    }
    return employee;
}

}  // namespace zv::web
