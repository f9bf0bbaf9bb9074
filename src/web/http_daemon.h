#pragma once
// libmicrohttpd, set up as the HTTP side needs it: internal threads (a small
// pool over epoll), suspended connections for the steps that wait for the
// main loop and for the live streams, limits on connections (in all, per
// client address, and the time a request may take to arrive) and on the
// body's size, HTTPS when given a certificate (TLS 1.2 and 1.3, ECDHE and
// AEAD suites only). Collects each request whole, hands it to the router,
// and sends what the router answers with the headers every response
// carries. Owns the daemon; the listening socket is the daemon's once
// started.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "web/connection_limits.h"

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_Response;

namespace zv::web {

class TAwaitedAnswers;
class TPasswordWorker;
class TRouter;
class TStepRunner;
class TLiveStreams;
struct TReply;

class THttpDaemon {
public:
    static constexpr std::size_t kBodyLimit = 64 * 1024;
    static constexpr unsigned kConnectionLimit = 4096;
    // A connection on which nothing moves (a client that neither sends nor
    // reads) for this long is closed.
    static constexpr std::chrono::seconds kStallTimeout{30};
    static constexpr unsigned kThreads = 4;
    // What HTTPS offers (a GnuTLS priority string).
    static constexpr const char* kTlsPriorities =
        "SECURE128:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-KX-ALL:+ECDHE-ECDSA:+ECDHE-RSA:-CIPHER-ALL:"
        "+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:-MAC-ALL:+AEAD:-GROUP-ALL:+GROUP-X25519:"
        "+GROUP-SECP256R1:+GROUP-SECP384R1:%SERVER_PRECEDENCE";

    struct TOptions {
        int listenFd = -1;     // bound and listening; the daemon closes it
        std::string certPem;   // both set: HTTPS
        std::string keyPem;
    };

    THttpDaemon(TRouter& router, TStepRunner& runner, TPasswordWorker& worker, TAwaitedAnswers& awaited,
                TLiveStreams& streams);
    ~THttpDaemon();
    THttpDaemon(const THttpDaemon&) = delete;
    THttpDaemon& operator=(const THttpDaemon&) = delete;

    // Starts serving on the socket (closed here when the start fails).
    // Throws std::runtime_error saying why.
    void start(TOptions options);
    // Once every suspended connection has been resumed (the runner stopped,
    // the streams ended): closes every connection and the socket.
    void stop();
    bool running() const { return daemon_ != nullptr; }
    // The connections and their limits (counts for the metrics).
    TConnectionLimits& connections() { return limits_; }

    // For the daemon's callbacks (http_daemon.cpp).
    struct RequestState;
    struct ResumeGuard;
    bool handleWhole(MHD_Connection* connection, const char* method, const char* url, RequestState& state);

private:
    // Sends the reply, or opens the stream, or hands its step over.
    bool deliver(MHD_Connection* connection, RequestState& state, TReply reply);
    bool send(MHD_Connection* connection, TReply reply);
    bool openStream(MHD_Connection* connection, RequestState& state, const TReply& reply);

    TRouter& router_;
    TStepRunner& runner_;
    TPasswordWorker& worker_;
    TAwaitedAnswers& awaited_;
    TLiveStreams& streams_;
    TConnectionLimits limits_;
    MHD_Daemon* daemon_ = nullptr;
    bool https_ = false;
    TOptions options_;  // the certificate and key stay for the daemon's life
    std::shared_ptr<ResumeGuard> guard_;
};

}  // namespace zv::web
