#include "web/http_reply.h"

#include <nlohmann/json.hpp>

#include "host/maintenance_api.h"
#include "host/message_lines.h"
#include "host/platform_info.h"

namespace zv::web {

TReply jsonReply(int status, const nlohmann::json& value) {
    TReply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = value.dump();
    return reply;
}

TReply errorReply(int status, const std::string& message, const std::string& field) {
    nlohmann::json body = {{"error", message}};
    if (!field.empty()) body["field"] = field;
    return jsonReply(status, body);
}

TReply failureReply(const std::exception& e) {
    standardErrorLine(LinePriority::Error,
                      std::string(programName()) + ": a browser's request failed: " + e.what());
    if (dynamic_cast<const TStoresUnavailable*>(&e)) {
        return errorReply(503,
                          "The server could not read or save its data files; nothing was changed. "
                          "The server's messages say why.");
    }
    if (dynamic_cast<const TSettingsUnsaved*>(&e)) {
        return errorReply(500,
                          "The server could not save its settings; nothing was changed. "
                          "The server's messages say why.");
    }
    return errorReply(
        500, "The server met an unexpected fault and could not do this. The server's messages say why.");
}

TReply slowedDownReply(std::chrono::seconds wait) {
    return errorReply(429, "Too many failed sign-ins. Please try again in " + std::to_string(wait.count()) +
                               " seconds.")
        .header("Retry-After", std::to_string(wait.count()));
}

TReply emptyReply() {
    TReply reply;
    reply.status = 204;
    return reply;
}

TReply notModified(std::string etag) {
    TReply reply;
    reply.status = 304;
    reply.header("ETag", std::move(etag));
    return reply;
}

TReply onMainLoop(std::function<TReply()> step) {
    TReply reply;
    reply.mainLoopStep = std::move(step);
    return reply;
}

TReply onPasswordWorker(std::function<TReply()> step) {
    TReply reply;
    reply.passwordStep = std::move(step);
    return reply;
}

TReply awaiting(TAwaited awaited) {
    TReply reply;
    reply.awaited = std::make_shared<TAwaited>(std::move(awaited));
    return reply;
}

}  // namespace zv::web
