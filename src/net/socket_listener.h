// TSocketListener: the listening role of a TAsyncSocket. It binds, listens and
// takes pending connections, and owns whether the next pending connection is
// reported (a handler that does not accept is not called again until Accept).
// It does not own the handle: the socket it belongs to does.
#pragma once

#include <cstdint>

namespace zv {

class TAsyncSocket;

class TSocketListener {
public:
    explicit TSocketListener(TAsyncSocket& socket) : socket_(socket) {}
    TSocketListener(const TSocketListener&) = delete;
    TSocketListener& operator=(const TSocketListener&) = delete;

    void listen();
    int accept();

    // The events of the listening handle: a pending connection.
    void handleEvents(std::uint32_t events);
    std::uint32_t wantedEvents() const;
    // The handle was closed: the next listening socket reports at once.
    void handleClosed() { armed_ = true; }

private:
    TAsyncSocket& socket_;
    bool armed_ = true;  // a pending connection is reported; re-armed by accept()
};

}  // namespace zv
