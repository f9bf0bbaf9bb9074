#include "web/employee_route_support.h"

#include "host/maintenance_api.h"

namespace zv::web {

std::optional<TWIWONode> signedInEmployee(TWebServices& s, const TWebSession& session) {
    std::optional<TWIWONode> employee = s.host.account(session.employeeKey);
    if (!employee || passwordDigest(employee->Password) != session.passwordDigest) {
        s.sessions.end(session.token);
        return std::nullopt;
    }
    return employee;
}

}  // namespace zv::web
