// TAsyncSocket: an event-driven, non-blocking TCP socket.
//
// One object serves in one of three roles at a time, each a part of its own:
// listening for connections (TSocketListener: Listen, Accept,
// OnSessionAvailable), connecting to a peer (TSocketConnector: DnsLookup,
// Connect, OnSessionConnected) and a connected stream (TSocketStream: Dup,
// Send, Receive, OnDataAvailable, OnDataSent). This class keeps what all roles
// share: the properties, the handle and its watch, the state, the reports and
// the close; it hands each event to the part of the role the state names.
//
// Ownership and threads. A socket belongs to the loop of the thread that
// created it (its owner thread, TEventLoop::forCurrentThread()). It owns its
// native handle and its send queue; it does not own the loop (it only keeps it
// alive). Every network event becomes a handler call on the owner thread only,
// while that thread runs, pumps or waits in its loop.
//
// Operations may be called from another thread only while the owner thread is
// blocked waiting for that very call (a session's thread waits inside
// runInLoopAndWait while the main thread runs the step that reads, writes and
// closes the session socket). Handlers that an operation calls directly (a
// Close calling OnSessionClosed) then run on the calling thread; continuations
// (write-ready, later events) are handed to the owner loop. Debug builds check
// the rule with assertInLoopThreadOrBlocked().
//
// Failures are reported as the layer's error codes (socket_errors.h): LastError
// is set and, unless OnError is set, ESocketException is raised.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/event_loop.h"
#include "net/socket_connector.h"
#include "net/socket_errors.h"
#include "net/socket_listener.h"
#include "net/socket_stream.h"

namespace zv {

enum TSocketState {
    ssInvalidState,
    ssOpened,
    ssBound,
    ssConnecting,
    ssConnected,
    ssAccepting,
    ssListening,
    ssClosed
};

enum TSocketLingerOnOff { lingerOff, lingerOn, lingerNoSet };

enum TSocketSendFlags { sendNormal = 0, sendUrgent = 1 };

inline constexpr int INVALID_SOCKET = -1;

class TAsyncSocket : private TEventLoop::Watcher {
public:
    using TSessionEvent = std::function<void(TAsyncSocket& sender, std::uint16_t error)>;
    using TChangeStateEvent =
        std::function<void(TAsyncSocket& sender, TSocketState oldState, TSocketState newState)>;
    using TNotifyEvent = std::function<void(TAsyncSocket& sender)>;
    using TBgExceptionEvent =
        std::function<void(TAsyncSocket& sender, const std::exception& error, bool& canClose)>;

    TAsyncSocket();
    ~TAsyncSocket();
    TAsyncSocket(const TAsyncSocket&) = delete;
    TAsyncSocket& operator=(const TAsyncSocket&) = delete;

    // Properties.
    const std::string& Addr() const { return addr_.text; }
    void setAddr(const std::string& value);
    const std::string& Port() const { return port_.text; }
    void setPort(const std::string& value);
    const std::string& Proto() const { return proto_.text; }
    void setProto(const std::string& value);
    const std::string& LocalPort() const { return localPort_.text; }
    void setLocalPort(const std::string& value);
    TSocketState State() const { return state_; }
    const std::string& DnsResult() const { return connector_.result(); }
    const std::vector<std::string>& DnsResultList() const { return connector_.resultList(); }
    std::int32_t LastError() const { return lastError_; }
    std::int32_t ReadCount() const { return stream_.readCount(); }
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void setLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    std::uint16_t LingerTimeout() const { return lingerTimeout_; }
    void setLingerTimeout(std::uint16_t value) { lingerTimeout_ = value; }
    TSocketSendFlags SendFlags() const { return stream_.urgent() ? sendUrgent : sendNormal; }
    void setSendFlags(TSocketSendFlags value);
    // The native handle, or INVALID_SOCKET.
    int HSocket() const { return handle_; }
    bool AllSent() const { return stream_.allSent(); }
    // The message of the last report (also when OnError took it instead of an
    // exception).
    const std::string& LastErrorMessage() const { return lastErrorMessage_; }
    // The local port the socket is bound to (0 when it has no handle): with
    // Port "0" the system picks one.
    int boundPort() const;

    // Event handlers; each optional.
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnSessionConnected;
    TSessionEvent OnSessionClosed;
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TSessionEvent OnDnsLookupDone;
    TChangeStateEvent OnChangeState;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBackgroundError;

    // Listening (socket_listener.cpp).
    // Binds and listens (address reuse on, the system's maximum backlog).
    void Listen() { listener_.listen(); }
    // Takes one pending connection and returns its handle, which the caller owns
    // (normally handed to Dup on a session thread). When nothing is pending any
    // more (the client went away first) it returns INVALID_SOCKET with LastError
    // set and raises nothing; real failures are reported.
    int Accept() { return listener_.accept(); }

    // Connecting (socket_connector.cpp).
    void DnsLookup(const std::string& host) { connector_.lookup(host); }
    void CancelDnsLookup() { connector_.cancelLookup(); }
    void Connect() { connector_.connect(); }

    // A connected stream (socket_stream.cpp).
    // Adopts a connected handle (from Accept), closing any earlier one.
    void Dup(int handle) { stream_.adopt(handle); }
    // Never blocks: what the stack does not take at once is copied into the send
    // queue and sent on later write-ready events; OnDataSent follows (from the
    // owner loop) once the queue is empty. Returns length.
    int Send(const void* data, int length) { return stream_.send(data, length); }
    int SendText(std::string_view text) { return Send(text.data(), static_cast<int>(text.size())); }
    // The `count` parts one after the other, handed to the stack in one
    // gathered send; as Send otherwise. Returns their length.
    int SendParts(const std::string_view* parts, int count) { return stream_.sendParts(parts, count); }
    int Receive(void* buffer, int size) { return stream_.receive(buffer, size); }
    std::string ReceiveText() { return stream_.receiveText(); }
    void ReceiveText(std::string& text) { stream_.receiveText(text); }
    int RcvdCount() { return stream_.pendingCount(); }
    // TCP_NODELAY and TCP_CORK on the connection; a failure only makes the
    // connection slower, never wrong, so it is ignored.
    void setNoDelay(bool on) { stream_.setTcpOption(TSocketStream::kNoDelay, on); }
    void setCork(bool on) { stream_.setTcpOption(TSocketStream::kCork, on); }
    // Receives that wait. For a thread that expects its peer's next bytes
    // within moments: while a TWaitingReceives is open, ReceiveText sleeps in
    // the call itself until bytes come, for at most `upTo`, instead of the
    // thread going back to its event loop for them (one system call less per
    // turn of a ping-pong). It comes back empty when none came in time or
    // the peer closed; the event loop then reports the close as usual. Sends
    // never wait. Not active when the handle could not be switched; the
    // caller then goes on through the loop.
    class TWaitingReceives {
    public:
        TWaitingReceives(TAsyncSocket& socket, std::chrono::milliseconds upTo)
            : socket_(socket), active_(socket.stream_.beginWaitingReceives(upTo)) {}
        ~TWaitingReceives() {
            if (active_) socket_.stream_.endWaitingReceives();
        }
        TWaitingReceives(const TWaitingReceives&) = delete;
        TWaitingReceives& operator=(const TWaitingReceives&) = delete;
        bool active() const { return active_; }

    private:
        TAsyncSocket& socket_;
        const bool active_;
    };
    // Write counts of the send queue's chunks, front first.
    std::vector<int> sendQueueChunkFill() const { return stream_.queueChunkFill(); }

    // Any role.
    void Close();
    void Abort();
    void Shutdown(int how);

    TEventLoop& ownerLoop() const { return *loop_; }
    // True once the owner thread's loop has seen a quit request.
    bool Terminated() const { return loop_->terminated(); }
    // A quit request to the owner thread's loop; any thread.
    void postQuit() const;

    // Number of socket objects alive in the process, and how many times the
    // network library was started (once per period in which sockets exist).
    static int socketCount();
    static int libraryStartCount();

private:
    friend class TSocketListener;
    friend class TSocketConnector;
    friend class TSocketStream;

    struct Endpoint {
        std::string text;
        bool assigned = false;
        bool resolved = false;
    };
    struct Life;

    void handleEvents(std::uint32_t events) override;

    void assertInLoopThreadOrBlocked() const;
    void setState(TSocketState newState);
    void setEndpoint(Endpoint& endpoint, const std::string& value, const char* name);
    void socketError(const std::string& function, int code);
    void raiseText(const std::string& message);
    // Resolves the properties: the local port too when `withLocalPort`, the
    // address (as IPv4) unless the caller resolves it itself.
    void resolveAll(bool withLocalPort, bool withAddress = true);
    // Resolves the properties (as resolveAll), drops any earlier handle and
    // unsent data, and opens a fresh non-blocking handle of `family` for the
    // protocol. A failure is reported (a resolve failure as "<operation>:
    // ...", the socket call as `socketFunction`) and gives INVALID_SOCKET.
    int openFreshHandle(bool withLocalPort, const char* operation, const char* socketFunction,
                        int family = AF_INET, bool withAddress = true);
    // Takes `fd` as the socket's handle (an earlier one must be closed).
    void adoptHandle(int fd);
    void applyLinger();
    bool subscribe(std::uint32_t events);
    void updateInterest();
    std::uint32_t wantedEvents() const;
    void closeHandle();
    void internalClose(bool shutdownSending);
    void applyDefaults();
    template <typename Fn>
    void dispatchGuarded(Fn&& fn);
    void backgroundException(const std::exception& error);

    // Constant after construction.
    TEventLoop* loop_;
    std::shared_ptr<TEventLoop> loopKeepAlive_;  // null when the loop is not shared-owned
    std::shared_ptr<Life> life_;

    // Owner thread, or a thread the owner waits for (see above).
    int handle_ = INVALID_SOCKET;
    std::uint64_t watchToken_ = 0;
    std::uint32_t watchedEvents_ = 0;
    std::uint64_t generation_ = 0;  // advances with every handle adopted or closed
    TSocketState state_ = ssClosed;
    Endpoint addr_;
    Endpoint port_;
    Endpoint proto_;
    Endpoint localPort_;
    in_addr_t addrValue_ = 0;
    int portValue_ = 0;
    int protoValue_ = 6;
    int localPortValue_ = 0;
    std::int32_t lastError_ = 0;
    std::string lastErrorMessage_;
    TSocketLingerOnOff lingerOnOff_ = lingerOn;
    std::uint16_t lingerTimeout_ = 0;
    bool closeNotified_ = false;  // OnSessionClosed was called for this handle
    bool destroying_ = false;

    // The roles' own state.
    TSocketListener listener_{*this};
    TSocketConnector connector_{*this};
    TSocketStream stream_{*this};
};

}  // namespace zv
