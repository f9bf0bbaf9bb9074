#include "web/admin_route_support.h"

#include "host/maintenance_api.h"

namespace zv::web {

namespace {

constexpr const char* kPasswordChanged = "The administrator's password was changed; please sign in again.";

// A message of the host as one line: the window's line breaks become blanks.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r') c = ' ';
    }
    return shownText(text);
}

}  // namespace

TReply inputRefused(const TInputError& e) { return errorReply(e.field().empty() ? 400 : 422, e.what(), e.field()); }

TReply adminStep(TWebServices& s, TSession session, std::function<TReply()> step) {
    return onMainLoop([&s, session = std::move(session), step = std::move(step)]() -> TReply {
        if (passwordDigest(s.host.adminPasswordHash()) != session->passwordDigest) {
            s.sessions.end(session->id);
            return errorReply(401, kPasswordChanged);
        }
        return step();
    });
}

TReply resultReply(const TAdminResult& result, int doneStatus, nlohmann::json done) {
    switch (result.kind) {
        case TAdminResult::Kind::Done:
            if (!result.messages.empty()) done["message"] = oneLine(result.message());
            return jsonReply(doneStatus, done);
        case TAdminResult::Kind::Refused:
            return errorReply(422, oneLine(result.message()), result.field);
        case TAdminResult::Kind::Gone:
            break;
    }
    return errorReply(404, oneLine(result.message()));
}

}  // namespace zv::web
