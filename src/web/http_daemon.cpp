#include "web/http_daemon.h"

#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <stdexcept>

#include "web/awaited_answers.h"
#include "web/gzip_body.h"
#include "web/http_reply.h"
#include "web/http_request.h"
#include "web/live_streams.h"
#include "web/password_worker.h"
#include "web/router.h"
#include "web/step_runner.h"

namespace zv::web {

// Resumes connections from other threads while the daemon runs.
struct THttpDaemon::ResumeGuard {
    std::mutex mutex;
    bool running = true;  // guarded by mutex

    void resume(MHD_Connection* connection) {
        std::lock_guard lock(mutex);
        if (running) MHD_resume_connection(connection);
    }
};

// One request, from its headers to its completion.
struct THttpDaemon::RequestState {
    TConnectionLimits::TConnection* connection = nullptr;  // its record; null only when the library gave none
    std::string body;
    bool tooLarge = false;
    bool acceptsGzip = false;  // the request's Accept-Encoding
    // While a step runs for the request: its reply, once there.
    struct Pending {
        std::mutex mutex;
        std::unique_ptr<TReply> reply;  // guarded by mutex
    };
    std::shared_ptr<Pending> pending;
};

namespace {

// The record of a connection's limits, kept as its socket context.
TConnectionLimits::TConnection* limitsOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<TConnectionLimits::TConnection*>(info->socket_context) : nullptr;
}

MHD_Result copyHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<TRequest*>(cls)->headers.emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

MHD_Result copyQueryArgument(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<TRequest*>(cls)->query.emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

// The administrator's pages decide by the address too (the first-run
// set-up is offered to this computer only), and so does the metrics page
// (open to this computer).
bool decidesByAddress(std::string_view path) {
    return path.rfind("/api/admin/", 0) == 0 || path == "/metrics";
}

// The announced body size (0 when none; libmicrohttpd refuses one that is
// not a number).
std::size_t contentLengthOf(MHD_Connection* connection) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    std::size_t length = 0;
    for (const char* c = value; c && *c >= '0' && *c <= '9'; ++c) {
        if (length > THttpDaemon::kBodyLimit) break;
        length = length * 10 + static_cast<std::size_t>(*c - '0');
    }
    return length;
}

// Every response: the protections of the page (its own script and styles
// only, no framing, no other base address, no plug-ins, forms sent only
// here, no sniffing, no referrer), HTTPS for a year once reached by it, and
// no caching unless a route says so.
void addCommonHeaders(MHD_Response* response, bool hasCacheControl, bool https) {
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; object-src 'none'; "
                            "form-action 'self'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    if (https) MHD_add_response_header(response, "Strict-Transport-Security", "max-age=31536000");
    if (!hasCacheControl) MHD_add_response_header(response, "Cache-Control", "no-store");
}

void freeOwnedBody(void* cls) { delete static_cast<std::string*>(cls); }
void freeSharedBody(void* cls) { delete static_cast<std::shared_ptr<const std::string>*>(cls); }

struct StreamHandle {
    TLiveStreams* streams;
    std::shared_ptr<TLiveStream> stream;
};

ssize_t readStream(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    auto* handle = static_cast<StreamHandle*>(cls);
    return handle->streams->read(*handle->stream, buffer, max);
}

void freeStream(void* cls) {
    auto* handle = static_cast<StreamHandle*>(cls);
    TLiveStreams::closed(*handle->stream);
    delete handle;
}

// A body made while it is sent.
struct SourceHandle {
    std::function<std::size_t(char*, std::size_t)> source;
};

ssize_t readSource(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    try {
        const std::size_t n = static_cast<SourceHandle*>(cls)->source(buffer, max);
        return n == 0 ? MHD_CONTENT_READER_END_OF_STREAM : static_cast<ssize_t>(n);
    } catch (const std::exception&) {
        // The source has said why; the status has gone out, so the client
        // can only tell by the connection being cut.
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
}

void freeSource(void* cls) { delete static_cast<SourceHandle*>(cls); }

MHD_Result admitConnection(void* cls, const sockaddr* address, socklen_t) {
    return static_cast<THttpDaemon*>(cls)->connections().admits(address) ? MHD_YES : MHD_NO;
}

void connectionChanged(void* cls, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode change) {
    TConnectionLimits& limits = static_cast<THttpDaemon*>(cls)->connections();
    if (change == MHD_CONNECTION_NOTIFY_CLOSED) {
        limits.closed(static_cast<TConnectionLimits::TConnection*>(*socketContext));
        *socketContext = nullptr;
        return;
    }
    const MHD_ConnectionInfo* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const MHD_ConnectionInfo* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (fd == nullptr || address == nullptr) return;  // never: the library knows both from the start
    *socketContext = limits.opened(fd->connect_fd, address->client_addr);
}

void requestCompleted(void*, MHD_Connection* connection, void** statePointer, MHD_RequestTerminationCode) {
    delete static_cast<THttpDaemon::RequestState*>(*statePointer);
    *statePointer = nullptr;
    // A kept connection waits for the next request's head.
    if (TConnectionLimits::TConnection* limits = limitsOf(connection)) limits->awaitHead();
}

MHD_Result handleRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                         const char*, const char* uploadData, std::size_t* uploadSize, void** statePointer) {
    auto* daemon = static_cast<THttpDaemon*>(cls);
    auto* state = static_cast<THttpDaemon::RequestState*>(*statePointer);
    if (state == nullptr) {
        // The head has arrived; the body (if any) comes next.
        state = new THttpDaemon::RequestState();
        *statePointer = state;
        state->connection = limitsOf(connection);
        if (state->connection) state->connection->awaitBody();
        // A body announced too large is refused before it is read.
        if (contentLengthOf(connection) > THttpDaemon::kBodyLimit) {
            state->tooLarge = true;
            return daemon->handleWhole(connection, method, url, *state) ? MHD_YES : MHD_NO;
        }
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        if (state->body.size() + *uploadSize > THttpDaemon::kBodyLimit) {
            state->tooLarge = true;
        } else if (!state->tooLarge) {
            state->body.append(uploadData, *uploadSize);
        }
        *uploadSize = 0;
        return MHD_YES;
    }
    return daemon->handleWhole(connection, method, url, *state) ? MHD_YES : MHD_NO;
}

}  // namespace

THttpDaemon::THttpDaemon(TRouter& router, TStepRunner& runner, TPasswordWorker& worker,
                         TAwaitedAnswers& awaited, TLiveStreams& streams)
    : router_(router), runner_(runner), worker_(worker), awaited_(awaited), streams_(streams) {}

THttpDaemon::~THttpDaemon() { stop(); }

void THttpDaemon::start(TOptions options) {
    if (daemon_) return;
    options_ = std::move(options);
    https_ = !options_.certPem.empty() && !options_.keyPem.empty();
    if (https_ && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        ::close(options_.listenFd);
        throw std::runtime_error("this libmicrohttpd has no HTTPS support");
    }
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (https_) flags |= MHD_USE_TLS;
    guard_ = std::make_shared<ResumeGuard>();
    try {
        limits_.start();
    } catch (const std::exception&) {
        ::close(options_.listenFd);
        throw;
    }

    MHD_OptionItem tls[] = {
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options_.certPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(options_.keyPem.c_str())},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)},
        {MHD_OPTION_END, 0, nullptr},
    };
    MHD_OptionItem none[] = {{MHD_OPTION_END, 0, nullptr}};
    daemon_ = MHD_start_daemon(
        flags, 0, &admitConnection, this, &handleRequest, this,
        MHD_OPTION_LISTEN_SOCKET, options_.listenFd,
        MHD_OPTION_THREAD_POOL_SIZE, kThreads,
        MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(kStallTimeout.count()),
        MHD_OPTION_NOTIFY_CONNECTION, &connectionChanged, this,
        MHD_OPTION_NOTIFY_COMPLETED, &requestCompleted, nullptr,
        MHD_OPTION_ARRAY, https_ ? tls : none,
        MHD_OPTION_END);
    if (daemon_ == nullptr) {
        ::close(options_.listenFd);
        limits_.stop();
        guard_.reset();
        throw std::runtime_error(https_ ? "the HTTP server could not start (is the certificate or key broken?)"
                                        : "the HTTP server could not start");
    }
}

void THttpDaemon::stop() {
    if (!daemon_) return;
    {
        std::lock_guard lock(guard_->mutex);
        guard_->running = false;
    }
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    limits_.stop();
}

bool THttpDaemon::handleWhole(MHD_Connection* connection, const char* method, const char* url,
                              RequestState& state) {
    // The request has arrived whole: answering it has no deadline of its own.
    if (state.connection) state.connection->answering();
    if (state.pending) {
        // Resumed: the step has run.
        std::unique_ptr<TReply> reply;
        {
            std::lock_guard lock(state.pending->mutex);
            reply = std::move(state.pending->reply);
        }
        state.pending.reset();
        if (!reply) return send(connection, errorReply(503, "The request was not answered."));
        return deliver(connection, state, std::move(*reply));
    }
    if (state.tooLarge) {
        return send(connection, errorReply(413, "The request is larger than " +
                                                    std::to_string(kBodyLimit / 1024) + " KiB."));
    }

    TRequest request;
    request.method = method ? method : "";
    request.path = url ? url : "";
    if (const auto query = request.path.find('?'); query != std::string::npos) request.path.resize(query);
    request.body = std::move(state.body);
    // Only changes and the requests that decide by it use the address (the
    // sign-in throttle counts by it).
    if ((request.changes() || decidesByAddress(request.path)) && state.connection) {
        request.clientAddress = state.connection->address();
    }
    request.https = https_;
    request.headers.reserve(16);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &copyHeader, &request);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &copyQueryArgument, &request);
    state.acceptsGzip = acceptsGzip(request.header("Accept-Encoding"));

    TReply reply;
    try {
        reply = router_.dispatch(request);
    } catch (const std::exception& e) {
        reply = failureReply(e);
    }
    return deliver(connection, state, std::move(reply));
}

bool THttpDaemon::deliver(MHD_Connection* connection, RequestState& state, TReply reply) {
    if (reply.liveStream) return openStream(connection, state, reply);
    if (!reply.mainLoopStep && !reply.passwordStep && !reply.awaited) {
        try {
            compressReply(reply, state.acceptsGzip);
        } catch (const std::runtime_error& e) {
            // Sent uncompressed: the browser reads it either way.
            std::cerr << "zelvorad: " << e.what() << '\n';
        }
        return send(connection, std::move(reply));
    }

    // Suspended before the step is handed over, so that the resume can
    // never come first.
    auto pending = std::make_shared<RequestState::Pending>();
    state.pending = pending;
    MHD_suspend_connection(connection);
    auto done = [pending, connection, guard = guard_](TReply answer) {
        {
            std::lock_guard lock(pending->mutex);
            pending->reply = std::make_unique<TReply>(std::move(answer));
        }
        guard->resume(connection);
    };
    if (reply.awaited) {
        // Asked in a step; the step's own reply counts only when the asking
        // never happened (the runner stopped, the timer could not be made).
        auto asked = std::make_shared<std::atomic<bool>>(false);
        runner_.submit(
            [this, awaited = std::move(reply.awaited), done, asked]() -> TReply {
                awaited_.begin(*awaited, done);
                *asked = true;
                return {};
            },
            [done, asked](TReply answer) {
                if (!*asked) done(std::move(answer));
            });
    } else if (reply.mainLoopStep) {
        runner_.submit(std::move(reply.mainLoopStep), std::move(done));
    } else {
        worker_.submit(std::move(reply.passwordStep), std::move(done));
    }
    return true;
}

bool THttpDaemon::send(MHD_Connection* connection, TReply reply) {
    MHD_Response* response = nullptr;
    if (reply.bodySource) {
        auto* handle = new SourceHandle{std::move(reply.bodySource)};
        response =
            MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, &readSource, handle, &freeSource);
        if (response == nullptr) delete handle;
    } else if (reply.sharedBody) {
        auto* holder = new std::shared_ptr<const std::string>(std::move(reply.sharedBody));
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            (*holder)->size(), const_cast<char*>((*holder)->data()), &freeSharedBody, holder);
        if (response == nullptr) delete holder;
    } else if (!reply.staticBody.empty()) {
        response = MHD_create_response_from_buffer(reply.staticBody.size(),
                                                   const_cast<char*>(reply.staticBody.data()),
                                                   MHD_RESPMEM_PERSISTENT);
    } else {
        auto* owned = new std::string(std::move(reply.body));
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            owned->size(), owned->data(), &freeOwnedBody, owned);
        if (response == nullptr) delete owned;
    }
    if (response == nullptr) return false;
    bool hasCacheControl = false;
    for (const auto& [name, value] : reply.headers) {
        MHD_add_response_header(response, name.c_str(), value.c_str());
        if (name == "Cache-Control") hasCacheControl = true;
    }
    if (!reply.contentType.empty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    }
    addCommonHeaders(response, hasCacheControl, https_);
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

bool THttpDaemon::openStream(MHD_Connection* connection, RequestState& state, const TReply& reply) {
    const std::string group = state.connection ? state.connection->group() : std::string();
    std::shared_ptr<TLiveStream> stream =
        streams_.open(connection, reply.streamSession, reply.streamChannels, group, reply.streamEmployee);
    if (!stream) {
        return send(connection, errorReply(429,
                                           "Too many live pages are open for this session or this address; "
                                           "please close some."));
    }
    auto* handle = new StreamHandle{&streams_, std::move(stream)};
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1024, &readStream, handle, &freeStream);
    if (response == nullptr) {
        freeStream(handle);
        return false;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    // Proxies must pass each event on at once.
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    addCommonHeaders(response, false, https_);
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

}  // namespace zv::web
