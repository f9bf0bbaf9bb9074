// TSocketConnector: name look-ups, on a lookup thread, reported on the owner
// thread; the connect and its outcome.
#include "net/socket_connector.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

#include "net/async_socket.h"
#include "net/socket_internal.h"
#include "net/socket_resolve.h"

namespace zv {

using namespace socket_internal;

struct TSocketConnector::Lookup {
    std::string host;
    std::atomic<bool> cancelled{false};
    std::uint16_t error = 0;             // written by the lookup thread before posting
    std::vector<std::string> addresses;  // likewise
};

void TSocketConnector::lookup(const std::string& host) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (host.empty()) {
        s.raiseText("DNS lookup: invalid host name.");
        if (s.OnDnsLookupDone) s.OnDnsLookupDone(s, WSAEINVAL);
        return;
    }
    if (pending_) {
        pending_->cancelled = true;
        pending_.reset();
    }
    result_.clear();
    resultList_.clear();
    const std::string dotted = normaliseDottedAddress(host);
    if (!dotted.empty()) {
        result_ = dotted;
        resultList_.push_back(dotted);
        if (s.OnDnsLookupDone) s.OnDnsLookupDone(s, 0);
        return;
    }
    auto request = std::make_shared<Lookup>();
    request->host = host;
    // The lookup thread touches only the request and the loop handle, both
    // shared: it may safely outlive the socket and the loop.
    std::shared_ptr<TLoopHandle> target = s.loop_->handle();
    std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    try {
        std::thread([request, target, life] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* result = nullptr;
            const int rc = ::getaddrinfo(request->host.c_str(), nullptr, &hints, &result);
            request->error = static_cast<std::uint16_t>(socketErrorFromLookup(rc, errno));
            for (addrinfo* ai = result; rc == 0 && ai != nullptr; ai = ai->ai_next) {
                const std::string text =
                    dottedAddress(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
                bool seen = false;
                for (const auto& known : request->addresses) seen = seen || known == text;
                if (!seen) request->addresses.push_back(text);
            }
            if (result != nullptr) ::freeaddrinfo(result);
            target->post([request, life] {
                if (!life->alive || request->cancelled) return;
                TAsyncSocket* self = life->self;
                TSocketConnector& connector = self->connector_;
                if (connector.pending_ != request) return;
                self->dispatchGuarded([&connector, &request] { connector.lookupFinished(request); });
            });
        }).detach();
    } catch (const std::system_error& e) {
        return s.raiseText(host + ": can't start DNS lookup, error #" + std::to_string(e.code().value()));
    }
    pending_ = std::move(request);
}

void TSocketConnector::lookupFinished(const std::shared_ptr<Lookup>& request) {
    TAsyncSocket& s = socket_;
    pending_.reset();
    resultList_ = request->addresses;
    result_ = resultList_.empty() ? std::string() : resultList_.front();
    if (s.OnDnsLookupDone) s.OnDnsLookupDone(s, request->error);
}

void TSocketConnector::cancelLookup() {
    TAsyncSocket& s = socket_;
    if (!pending_) return;
    pending_->cancelled = true;
    pending_.reset();
    if (!s.destroying_ && s.OnDnsLookupDone) s.OnDnsLookupDone(s, WSAEINTR);
}

void TSocketConnector::connect() {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (s.handle_ != INVALID_SOCKET && s.state_ != ssClosed) {
        return s.raiseText("Connect: Socket already in use");
    }
    if (!s.port_.assigned) return s.raiseText("Connect: No Port Specified");
    if (!s.addr_.assigned) return s.raiseText("Connect: No IP Address Specified");
    if (!s.proto_.assigned) return s.raiseText("Connect: No Protocol Specified");
    const int fd = s.openFreshHandle(true, "connect", "Connect (socket)");
    if (fd == INVALID_SOCKET) return;
    s.closeNotified_ = false;
    s.stream_.beginConnection();
    s.setState(ssOpened);
    if (s.protoValue_ == IPPROTO_TCP) {
        if (s.localPortValue_ != 0) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(static_cast<std::uint16_t>(s.localPortValue_));
            local.sin_addr.s_addr = htonl(INADDR_ANY);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
                return s.socketError("Bind", lastCode());
            }
        }
        s.applyLinger();
        const int one = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) < 0) {
            return s.socketError("setsockopt(SO_KEEPALIVE)", lastCode());
        }
        if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) < 0) {
            return s.socketError("setsockopt(SO_REUSEADDR)", lastCode());
        }
    }
    if (!s.subscribe(EPOLLIN | EPOLLOUT | EPOLLRDHUP)) return s.socketError("WSAAsyncSelect", lastCode());
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(s.portValue_));
    remote.sin_addr.s_addr = s.addrValue_;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0 || errno == EINPROGRESS) {
        s.setState(ssConnecting);
        return;
    }
    // An immediate failure: the handle is released (no events can follow for
    // it) before the report.
    const int code = lastCode();
    s.closeHandle();
    s.setState(ssClosed);
    s.socketError("Connect", code);
}

bool TSocketConnector::handleEvents(std::uint32_t events) {
    TAsyncSocket& s = socket_;
    if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0) return false;
    const std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    const std::uint64_t generation = s.generation_;
    const std::uint16_t error = pendingSocketError(s.handle_);
    s.dispatchGuarded([&] { connectEvent(error); });
    return error == 0 && life->alive && s.generation_ == generation && s.handle_ != INVALID_SOCKET;
}

void TSocketConnector::connectEvent(std::uint16_t error) {
    TAsyncSocket& s = socket_;
    const std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    s.setState(ssConnected);
    s.updateInterest();
    if (s.OnSessionConnected) s.OnSessionConnected(s, error);
    if (!life->alive) return;
    if (error != 0 && s.state_ != ssClosed) s.Close();
}

}  // namespace zv
