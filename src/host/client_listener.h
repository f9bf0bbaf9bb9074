#pragma once
// The listener of the Zelvora Clients (`ServerSocket`): opens the port of
// the settings, accepts each connection into a session of its own (added to
// the registry before its thread starts) and closes at once what the server
// cannot take: a connection beyond MaxClients sessions (reported at most once
// a minute, without a box to answer) and, when the process has no descriptor
// left, one pending connection through a descriptor kept in reserve. Owns the
// listening socket; main thread only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zv {

class TAsyncSocket;
class TConnectionRefusal;
class TServerContext;
struct TServerParts;

class TClientListener {
public:
    TClientListener(TServerParts& parts, TServerContext& context);
    ~TClientListener();
    TClientListener(const TClientListener&) = delete;
    TClientListener& operator=(const TClientListener&) = delete;

    // The socket for `port` (decimal or a service name) on `address` (empty:
    // every IPv4 and IPv6 interface); throws with the socket layer's words
    // when the port is no port.
    void prepare(const std::string& port, const std::string& address);
    // Listens; throws ESocketException (or another error) when it cannot.
    void listen();
    // No more connections; a listener that failed or never opened is left as it is.
    void close();
    // Closes and lets the socket go (the window has gone).
    void discard();

    // The port it is bound to (0 before it listens).
    int boundPort() const;

private:
    void sessionAvailable(TAsyncSocket& sender, std::uint16_t error);
    void reportRefusedConnection();

    TServerParts& parts_;
    TServerContext& context_;
    std::unique_ptr<TAsyncSocket> socket_;
    std::unique_ptr<TConnectionRefusal> refusal_;

    // Connections refused because MaxClients sessions run.
    static constexpr std::chrono::seconds kRefusalReportInterval{60};
    std::optional<std::chrono::steady_clock::time_point> lastRefusalReport_;
    int refusedSinceReport_ = 0;  // refusals not reported yet
};

}  // namespace zv
