#include "web/http_reply.h"

#include <nlohmann/json.hpp>

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

}  // namespace zv::web
