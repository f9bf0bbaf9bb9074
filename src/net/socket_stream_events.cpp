// TSocketStream: the events of a connected handle and the handlers they call.
#include <sys/epoll.h>
#include <sys/ioctl.h>

#include "net/async_socket.h"
#include "net/socket_internal.h"
#include "net/socket_stream.h"

namespace zv {

using namespace socket_internal;

std::uint32_t TSocketStream::wantedEvents() const {
    return kIn | kRdHup | (writeWanted_ ? kOut : 0u) | (heldPending_ >= 0 ? kEdge : 0u);
}

void TSocketStream::handleEvents(std::uint32_t events) {
    TAsyncSocket& s = socket_;
    const std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    const std::uint64_t generation = s.generation_;
    auto unchanged = [&] {
        return life->alive && s.generation_ == generation && s.handle_ != INVALID_SOCKET;
    };

    const bool hangup = (events & kHangupEvents) != 0;
    // With a hang-up the close event delivers the pending data itself, first.
    if ((events & EPOLLIN) && !hangup) {
        receiveLoop(0);
        if (!unchanged()) return;
    }
    if ((events & EPOLLOUT) && writeWanted_) {
        s.dispatchGuarded([&] { writeEvent(0); });
        if (!unchanged()) return;
    }
    if (hangup) {
        const std::uint16_t error = (events & EPOLLERR) ? pendingSocketError(s.handle_) : 0;
        s.dispatchGuarded([&] { peerClosedEvent(error); });
    }
}

void TSocketStream::writeEvent(std::uint16_t error) {
    TAsyncSocket& s = socket_;
    tryToSend();
    if (s.handle_ == INVALID_SOCKET || !queue_.empty()) return;
    if (s.OnDataSent) s.OnDataSent(s, error);
}

// Exceptions inside the loop end it and go no further: the socket stays open
// and its state unchanged, and its data event is held until new bytes arrive.
void TSocketStream::receiveLoop(std::uint16_t error) {
    TAsyncSocket& s = socket_;
    const std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    if (!releaseHeldDataEvent()) return;
    std::uint64_t receivedBefore = bytesReceived_;
    try {
        for (;;) {
            s.lastError_ = 0;
            receiveDrained_ = false;
            receivedBefore = bytesReceived_;
            if (s.OnDataAvailable) {
                s.OnDataAvailable(s, error);
            } else {
                char discard[1024];
                if (receive(discard, sizeof discard) < 0 && s.lastError_ == WSAEWOULDBLOCK) {
                    s.lastError_ = 0;
                    break;
                }
            }
            if (!life->alive) return;
            if (s.lastError_ != 0) break;
            // A handler whose last receive came back short emptied the stack's
            // queue: asking for the pending count would say 0 (bytes arriving since
            // raise a new data event), so the query is saved.
            if (receiveDrained_) break;
            int pending = 0;
            if (::ioctl(s.handle_, FIONREAD, &pending) < 0) {
                s.lastError_ = lastCode();
                break;
            }
            if (pending == 0) break;
        }
    } catch (...) {
        if (life->alive) holdDataEvent(bytesReceived_ != receivedBefore);
    }
}

// A handler that threw before reading leaves its bytes pending: with the
// level-triggered watch they would call it again at once, for ever. The watch
// turns edge-triggered, so that epoll reports the socket again when bytes
// arrive, and the count of bytes pending tells a real arrival from a report
// that only repeats the old readiness (changing the watch makes one).
// A handler that did read has seen nothing of what is pending now (bytes
// that came while it ran, or that it left): those still call it at once, and
// each call takes some of them.
void TSocketStream::holdDataEvent(bool handlerRead) {
    TAsyncSocket& s = socket_;
    if (s.handle_ == INVALID_SOCKET) return;
    int pending = 0;
    if (!handlerRead && ::ioctl(s.handle_, FIONREAD, &pending) < 0) pending = 0;
    heldPending_ = pending;
    s.updateInterest();
}

// False while the data event is held and nothing new has arrived; otherwise
// the watch is level-triggered again and the handler may run.
bool TSocketStream::releaseHeldDataEvent() {
    TAsyncSocket& s = socket_;
    if (heldPending_ < 0) return true;
    int pending = 0;
    if (::ioctl(s.handle_, FIONREAD, &pending) == 0 && pending <= heldPending_) return false;
    heldPending_ = -1;
    s.updateInterest();
    return true;
}

void TSocketStream::peerClosedEvent(std::uint16_t error) {
    TAsyncSocket& s = socket_;
    const std::shared_ptr<TAsyncSocket::Life> life = s.life_;
    const std::uint64_t generation = s.generation_;
    int pending = 0;
    if (::ioctl(s.handle_, FIONREAD, &pending) == 0 && pending > 0) {
        // The close is news as well: a held handler gets the bytes once more.
        heldPending_ = -1;
        s.updateInterest();
        receiveLoop(0);
        if (!life->alive || generation != s.generation_) return;
    }
    if (s.OnSessionClosed && !s.closeNotified_) {
        s.closeNotified_ = true;
        s.OnSessionClosed(s, error);
        if (!life->alive || generation != s.generation_) return;
    }
    if (s.state_ != ssClosed) s.Close();
}

}  // namespace zv
