// TAsyncSocket: what every role shares: the properties, the handle and its
// watch, the state, the reports, the close; and the event dispatch by role.
#include "net/async_socket.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "net/socket_internal.h"
#include "net/socket_resolve.h"

namespace zv {

using namespace socket_internal;

namespace {

// The process-wide count of socket objects. On this platform the network
// library needs no start-up or release; the count and the number of starts are
// kept so that the rule "started at first use, released with the last socket"
// holds and can be checked.
std::mutex g_libraryMutex;
int g_socketCount = 0;    // guarded by g_libraryMutex
int g_libraryStarts = 0;  // guarded by g_libraryMutex

void acquireLibrary() {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    if (g_socketCount++ == 0) ++g_libraryStarts;
}

void releaseLibrary() {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    --g_socketCount;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

TAsyncSocket::TAsyncSocket() : loop_(&TEventLoop::forCurrentThread()) {
    loopKeepAlive_ = loop_->weak_from_this().lock();
    life_ = std::make_shared<Life>();
    life_->self = this;
    proto_.text = "tcp";
    proto_.assigned = true;
    localPort_.text = "0";
    acquireLibrary();
}

TAsyncSocket::~TAsyncSocket() {
    destroying_ = true;
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    if (handle_ != INVALID_SOCKET) {
        if (state_ == ssConnected) ::shutdown(handle_, SHUT_WR);
        closeHandle();
    }
    state_ = ssClosed;
    life_->alive = false;
    life_->self = nullptr;
    releaseLibrary();
}

int TAsyncSocket::socketCount() {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    return g_socketCount;
}

int TAsyncSocket::libraryStartCount() {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    return g_libraryStarts;
}

void TAsyncSocket::assertInLoopThreadOrBlocked() const {
#ifndef NDEBUG
    if (!loop_->isInLoopThreadOrBlocked()) {
        std::fprintf(stderr,
                     "TAsyncSocket: operation called from another thread while the owner "
                     "thread is not waiting for it\n");
        std::abort();
    }
#endif
}

// ---------------------------------------------------------------- properties

void TAsyncSocket::setEndpoint(Endpoint& endpoint, const std::string& value, const char* name) {
    if (value == endpoint.text) {
        // The value held: nothing changes. A closed socket takes it as assigned
        // again, so that a socket can connect again after a Close.
        if (state_ == ssClosed) endpoint.assigned = !endpoint.text.empty();
        return;
    }
    if (state_ != ssClosed) {
        raiseText(std::string("Cannot change ") + name + " if not closed");
        return;
    }
    endpoint.text = trim(value);
    endpoint.assigned = !endpoint.text.empty();
    endpoint.resolved = false;
}

void TAsyncSocket::setAddr(const std::string& value) { setEndpoint(addr_, value, "Addr"); }
void TAsyncSocket::setPort(const std::string& value) { setEndpoint(port_, value, "Port"); }
void TAsyncSocket::setProto(const std::string& value) { setEndpoint(proto_, value, "Proto"); }

void TAsyncSocket::setLocalPort(const std::string& value) {
    if (state_ != ssClosed) {
        raiseText("Cannot change LocalPort if not closed");
        return;
    }
    localPort_.text = trim(value);
    localPort_.assigned = !localPort_.text.empty();
    localPort_.resolved = false;
}

void TAsyncSocket::setSendFlags(TSocketSendFlags value) {
    if (value != sendNormal && value != sendUrgent) {
        raiseText("Invalid SendFlags");
        return;
    }
    stream_.setUrgent(value == sendUrgent);
}

int TAsyncSocket::boundPort() const {
    if (handle_ == INVALID_SOCKET) return 0;
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &len) < 0) return 0;
    if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

void TAsyncSocket::setState(TSocketState newState) {
    if (newState == state_) return;
    const TSocketState oldState = state_;
    state_ = newState;
    if (OnChangeState && !destroying_) OnChangeState(*this, oldState, newState);
}

// ------------------------------------------------------------------ reports

void TAsyncSocket::socketError(const std::string& function, int code) {
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        if (handle_ != INVALID_SOCKET) closeHandle();
        setState(ssClosed);
    }
    lastError_ = code;
    lastErrorMessage_ = socketErrorMessage(code, function);
    if (OnError) {
        OnError(*this);
        return;
    }
    throw ESocketException(lastErrorMessage_, code, function);
}

void TAsyncSocket::raiseText(const std::string& message) {
    lastErrorMessage_ = message;
    if (OnError) {
        OnError(*this);
        return;
    }
    throw ESocketException(message);
}

void TAsyncSocket::backgroundException(const std::exception& error) {
    const std::shared_ptr<Life> life = life_;
    bool canClose = true;
    if (OnBackgroundError) {
        try {
            OnBackgroundError(*this, error, canClose);
        } catch (...) {
        }
        if (!life->alive) return;
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

// ------------------------------------------------------------ registration

std::uint32_t TAsyncSocket::wantedEvents() const {
    switch (state_) {
        case ssListening: return listener_.wantedEvents();
        case ssOpened:
        case ssConnecting: return EPOLLIN | EPOLLOUT | EPOLLRDHUP;
        case ssInvalidState:
        case ssBound:
        case ssConnected:
        case ssAccepting:
        case ssClosed: break;
    }
    return stream_.wantedEvents();
}

void TAsyncSocket::handleEvents(std::uint32_t events) {
    // Handlers called from here always run on the owner thread: only the owner
    // loop dispatches this socket's events.
    assert(loop_->isInLoopThread());
    if (handle_ == INVALID_SOCKET) return;
    switch (state_) {
        case ssOpened: return;  // not yet connecting
        case ssConnecting:
            if (!connector_.handleEvents(events)) return;
            break;  // connected: the same events go on to the stream
        case ssListening: return listener_.handleEvents(events);
        case ssInvalidState:
        case ssBound:
        case ssConnected:
        case ssAccepting:
        case ssClosed: break;
    }
    stream_.handleEvents(events);
}

bool TAsyncSocket::subscribe(std::uint32_t events) {
    if (watchToken_ != 0) {
        loop_->removeWatch(watchToken_);
        watchToken_ = 0;
    }
    watchToken_ = loop_->addWatch(handle_, events, this);
    watchedEvents_ = events;
    return watchToken_ != 0;
}

// epoll_ctl is safe from any thread, so an operation called from another thread
// (while the owner waits) may change what the owner loop watches.
void TAsyncSocket::updateInterest() {
    if (handle_ == INVALID_SOCKET || watchToken_ == 0) return;
    const std::uint32_t events = wantedEvents();
    if (events == watchedEvents_) return;
    if (loop_->modifyWatch(watchToken_, events)) watchedEvents_ = events;
}

// Removes the watch and closes the handle; the generation moves on so that
// events already fetched for the old handle are recognised as stale.
void TAsyncSocket::closeHandle() {
    if (watchToken_ != 0) {
        loop_->removeWatch(watchToken_);
        watchToken_ = 0;
        watchedEvents_ = 0;
    }
    const int fd = handle_;
    handle_ = INVALID_SOCKET;
    ++generation_;
    listener_.handleClosed();
    stream_.handleClosed();
    // On Linux the descriptor is released even when close() reports an error.
    if (fd != INVALID_SOCKET) ::close(fd);
}

void TAsyncSocket::applyDefaults() {
    addr_.assigned = addr_.resolved = false;
    port_.assigned = port_.resolved = false;
    localPort_.assigned = localPort_.resolved = false;
    proto_.text = "tcp";
    proto_.assigned = true;
    proto_.resolved = false;
    localPort_.text = "0";
    lingerOnOff_ = lingerOn;
    lingerTimeout_ = 0;
    closeNotified_ = false;
    stream_.applyDefaults();
}

void TAsyncSocket::applyLinger() {
    if (lingerOnOff_ == lingerNoSet) return;
    if (handle_ == INVALID_SOCKET) {
        raiseText("Cannot set linger option at this time");
        return;
    }
    linger option{};
    option.l_onoff = lingerOnOff_ == lingerOn ? 1 : 0;
    option.l_linger = lingerTimeout_;
    if (::setsockopt(handle_, SOL_SOCKET, SO_LINGER, &option, sizeof option) < 0) {
        socketError("setsockopt(SO_LINGER)", lastCode());
    }
}

void TAsyncSocket::resolveAll(bool withLocalPort, bool withAddress) {
    if (!proto_.resolved) {
        protoValue_ = ResolveProto(proto_.text);
        proto_.resolved = true;
    }
    const std::string protoName = protoNameForServices(proto_.text);
    if (!port_.resolved) {
        portValue_ = ResolvePort(port_.text, protoName);
        port_.resolved = true;
    }
    if (withLocalPort && !localPort_.resolved) {
        localPortValue_ = localPort_.text.empty() ? 0 : ResolvePort(localPort_.text, protoName);
        localPort_.resolved = true;
    }
    if (withAddress && !addr_.resolved) {
        addrValue_ = ResolveHost(addr_.text);
        addr_.resolved = true;
    }
}

int TAsyncSocket::openFreshHandle(bool withLocalPort, const char* operation, const char* socketFunction,
                                  int family, bool withAddress) {
    try {
        resolveAll(withLocalPort, withAddress);
    } catch (const EResolveError& e) {
        raiseText(std::string(operation) + ": " + e.what());
        return INVALID_SOCKET;
    }
    stream_.discardUnsent();
    if (handle_ != INVALID_SOCKET) closeHandle();
    const bool stream = protoValue_ != IPPROTO_UDP;
    const int fd =
        ::socket(family, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, protoValue_);
    if (fd < 0) {
        socketError(socketFunction, lastCode());
        return INVALID_SOCKET;
    }
    adoptHandle(fd);
    return fd;
}

void TAsyncSocket::adoptHandle(int fd) {
    handle_ = fd;
    ++generation_;
}

// --------------------------------------------------------------- any role

void TAsyncSocket::Close() {
    assertInLoopThreadOrBlocked();
    internalClose(true);
}

void TAsyncSocket::internalClose(bool shutdownSending) {
    if (handle_ == INVALID_SOCKET) {
        setState(ssClosed);
        try {
            applyDefaults();
        } catch (...) {
        }
        return;
    }
    if (shutdownSending) ::shutdown(handle_, SHUT_WR);  // fails harmlessly when never connected
    closeHandle();
    setState(ssClosed);
    const std::shared_ptr<Life> life = life_;
    const std::uint64_t generation = generation_;
    if (OnSessionClosed && !closeNotified_ && !destroying_) {
        closeNotified_ = true;
        OnSessionClosed(*this, 0);
        if (!life->alive) return;
    }
    if (generation != generation_) return;  // the handler opened a new connection
    try {
        applyDefaults();
    } catch (...) {
    }
}

void TAsyncSocket::Abort() {
    assertInLoopThreadOrBlocked();
    CancelDnsLookup();
    stream_.discardUnsent();
    if (state_ == ssConnected && protoValue_ == IPPROTO_TCP && handle_ != INVALID_SOCKET) {
        lingerOnOff_ = lingerOff;
        applyLinger();
    }
    internalClose(false);
}

void TAsyncSocket::Shutdown(int how) {
    assertInLoopThreadOrBlocked();
    if (handle_ == INVALID_SOCKET) return;
    ::shutdown(handle_, how);  // a socket that is not connected has nothing to shut down
}

void TAsyncSocket::postQuit() const { loop_->handle()->quit(); }

}  // namespace zv
