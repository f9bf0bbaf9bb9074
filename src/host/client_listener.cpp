#include "host/client_listener.h"

#include "host/platform_info.h"
#include "host/server_parts.h"
#include "net/async_socket.h"
#include "net/connection_refusal.h"
#include "net/socket_errors.h"
#include "protocol/client_thread.h"

namespace zv {

TClientListener::TClientListener(TServerParts& parts, TServerContext& context)
    : parts_(parts), context_(context), refusal_(std::make_unique<TConnectionRefusal>()) {}

TClientListener::~TClientListener() = default;

void TClientListener::prepare(const std::string& port, const std::string& address) {
    socket_ = std::make_unique<TAsyncSocket>();
    socket_->setProto("tcp");
    socket_->setPort(port);
    // "::": every interface, IPv4 and IPv6 alike (IPv4 alone where the
    // system has no IPv6).
    socket_->setAddr(address.empty() ? "::" : address);
    socket_->OnSessionAvailable = [this](TAsyncSocket& sender, std::uint16_t error) {
        sessionAvailable(sender, error);
    };
}

void TClientListener::listen() { socket_->Listen(); }

void TClientListener::close() {
    if (!socket_) return;
    socket_->OnSessionAvailable = nullptr;
    try {
        socket_->Close();
    } catch (const std::exception&) {
        // A listener that failed is closed already.
    }
}

void TClientListener::discard() {
    close();
    socket_.reset();
}

int TClientListener::boundPort() const { return socket_ ? socket_->boundPort() : 0; }

void TClientListener::sessionAvailable(TAsyncSocket& sender, std::uint16_t error) {
    if (error != 0) return;
    int handle = INVALID_SOCKET;
    try {
        handle = sender.Accept();
    } catch (const ESocketException& e) {
        // No descriptor or memory left for the new connection: it is closed
        // through the reserve, so that it does not stay pending and the
        // listener keeps serving the others.
        parts_.view.logLine(LinePriority::Warning,
                            std::string(programName()) + ": a connection could not be accepted: " + e.what());
        if (e.code() == WSAEMFILE || e.code() == WSAENOBUFS) refusal_->refuseOnePending(sender);
        return;
    }
    if (handle == INVALID_SOCKET) return;
    if (parts_.registry.count() >= parts_.settings.maxClients) {
        TConnectionRefusal::closeAccepted(handle);
        reportRefusedConnection();
        return;
    }
    std::string failure;
    TClientThread* session = TClientThread::create(handle, context_, &failure);
    if (!session) {
        // create() has closed the handle; the other sessions go on.
        parts_.view.logLine(LinePriority::Warning,
                            std::string(programName()) + ": a connection was closed: " + failure);
        return;
    }
    session->setIdleTimeout(std::chrono::seconds(parts_.settings.idleTimeoutSeconds));
    parts_.registry.add(session, session->connectionID());
    parts_.metrics.setClientsConnected(parts_.registry.count());
    session->start();
}

// A full server refuses connections in bursts: the administrator hears of it
// at most once a minute, without a box to answer, and with the count refused
// since the last report.
void TClientListener::reportRefusedConnection() {
    ++refusedSinceReport_;
    const auto now = std::chrono::steady_clock::now();
    if (lastRefusalReport_ && now - *lastRefusalReport_ < kRefusalReportInterval) return;
    std::string text = "A connection was closed at once: " + std::to_string(parts_.registry.count()) +
                       " clients are connected, the most that MaxClients in " + kSettingsFileName + " allows.";
    if (refusedSinceReport_ > 1)
        text += "\r" + std::to_string(refusedSinceReport_) + " connections were refused since the last report.";
    parts_.view.showNotice(MessageKind::Warning, text);
    lastRefusalReport_ = now;
    refusedSinceReport_ = 0;
}

}  // namespace zv
