#pragma once
// What a route answers: a whole reply (status, headers, body), a step that
// must run on the main loop first and gives the reply, or the live-update
// stream. Built by the handlers on any thread; turned into a libmicrohttpd
// response in one place (http_daemon.cpp), which also adds the headers every
// response carries.

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace zv::web {

struct TAwaited;

struct TReply {
    int status = 200;
    std::string contentType;
    // The body: either owned text, or a shared immutable one (the board
    // snapshot, a compiled asset) that is not copied.
    std::string body;
    std::shared_ptr<const std::string> sharedBody;
    std::string_view staticBody;
    // The shared body's gzip form, made once with it (the board snapshot);
    // sent instead when the browser accepts gzip.
    std::shared_ptr<const std::string> sharedGzipBody;
    // A body made while it is sent (a backup), instead of the three above:
    // called on the HTTP side's threads, one call at a time, with room for
    // up to `max` bytes; returns how many it wrote, 0 at the end. When it
    // throws, the connection is cut (the status has gone out already).
    std::function<std::size_t(char* buffer, std::size_t max)> bodySource;
    std::vector<std::pair<std::string, std::string>> headers;

    // A step for the main loop (under the session mutex) that gives the
    // reply; set instead of the fields above.
    std::function<TReply()> mainLoopStep;
    // A step for the password worker (a password's hash, slow on purpose)
    // that gives the reply; set instead of the fields above. Either step's
    // reply may itself be a step of the other kind.
    std::function<TReply()> passwordStep;
    // A step for the main loop that asks something which answers later (the
    // directory); set instead of the fields above (awaited_answers.h).
    std::shared_ptr<TAwaited> awaited;
    // The live-update stream instead of a reply; `streamSession` is the
    // token of the session it belongs to.
    bool liveStream = false;
    std::string streamSession;
    std::string streamEmployee;  // whose messages' changes it tells (record bytes); empty: nobody's
    unsigned streamChannels = 1;  // LiveChannel bits (the board)

    std::string_view bodyView() const {
        if (sharedBody) return *sharedBody;
        if (!staticBody.empty()) return staticBody;
        return body;
    }
    TReply& header(std::string name, std::string value) {
        headers.emplace_back(std::move(name), std::move(value));
        return *this;
    }
};

// JSON (application/json).
TReply jsonReply(int status, const nlohmann::json& value);
// A refusal: {"error": message} and, when the refusal concerns one field of
// the request, "field": its name.
TReply errorReply(int status, const std::string& message, const std::string& field = {});
// A failure of the server itself (a file it could not write, an unexpected
// fault): the whole reason goes to standard error, for the administrator;
// the answer says in plain words what failed, naming none of the server's
// files.
TReply failureReply(const std::exception& e);
// 429 for a sign-in slowed down: try again in `wait` (Retry-After).
TReply slowedDownReply(std::chrono::seconds wait);
// 204, no body.
TReply emptyReply();
// 304 for a client that holds the current `etag`.
TReply notModified(std::string etag);
// Runs `step` on the main loop under the session mutex; its result is sent.
TReply onMainLoop(std::function<TReply()> step);
// Runs `step` on the password worker; its result is sent.
TReply onPasswordWorker(std::function<TReply()> step);

// A question whose answer comes later, on the main loop, from a part that
// works on threads of its own (the directory). The request waits without
// holding a thread of the HTTP side.
struct TAwaited {
    // Runs on the main loop; hands `answer` to the part that answers. The
    // reply given to `answer` (on the main loop; any further call is ignored)
    // may itself be a step of either kind.
    std::function<void(std::function<void(TReply)> answer)> ask;
    // How long the answer is waited for; then `late` (on the main loop)
    // gives the reply instead, and the answer that comes after is dropped.
    std::chrono::milliseconds limit{};
    std::function<TReply()> late;
};
TReply awaiting(TAwaited awaited);

}  // namespace zv::web
