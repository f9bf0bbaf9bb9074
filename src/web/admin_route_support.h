#pragma once
// What the administrator's routes share: the step of a signed-in
// administrator, the reply of a host operation, the parsing of a request's
// input into a reply when it is refused, and who the record lines name.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "host/admin_operations.h"
#include "web/field_input.h"
#include "web/http_reply.h"
#include "web/sessions.h"
#include "web/web_services.h"

namespace zv::web {

using TSession = std::shared_ptr<const TWebSession>;

// 400 for a body that is not JSON, 422 for a field that cannot be taken.
TReply inputRefused(const TInputError& e);

// `step` on the main loop for a signed-in administrator; refused when the
// administrator's password changed since the sign-in (which ends the
// session), whoever changed it: another browser, the window, the command line.
TReply adminStep(TWebServices& s, TSession session, std::function<TReply()> step);

// The reply of a host operation: `doneStatus` with `done` (and the
// operation's information as "message"), 422 for a refusal, 404 for a record
// that is gone. Messages are shown as one line.
TReply resultReply(const TAdminResult& result, int doneStatus = 200, nlohmann::json done = nlohmann::json::object());

// Runs `parse` (which reads the request's input); its refusal as a reply,
// or nothing when the input is good.
template <class Parse>
std::optional<TReply> parsing(Parse&& parse) {
    try {
        parse();
        return std::nullopt;
    } catch (const TInputError& e) {
        return inputRefused(e);
    }
}

}  // namespace zv::web
