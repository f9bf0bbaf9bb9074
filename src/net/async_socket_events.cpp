// TAsyncSocket: the events of the owner loop and the handlers they call.
#include "net/async_socket.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

#include "net/socket_internal.h"

namespace zv {

using namespace socket_internal;

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

void TAsyncSocket::handleEvents(std::uint32_t events) {
  // Handlers called from here always run on the owner thread: only the owner
  // loop dispatches this socket's events.
  assert(loop_->isInLoopThread());
  if (handle_ == INVALID_SOCKET) return;
  const std::shared_ptr<Life> life = life_;
  const std::uint64_t generation = generation_;
  auto unchanged = [&] {
    return life->alive && generation_ == generation && handle_ != INVALID_SOCKET;
  };

  if (state_ == ssOpened) return;  // not yet connecting
  if (state_ == ssConnecting) {
    if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0) return;
    const std::uint16_t error = pendingSocketError(handle_);
    dispatchGuarded([&] { connectEvent(error); });
    if (error != 0 || !unchanged()) return;
  }
  if (state_ == ssListening) {
    if (events & (EPOLLIN | EPOLLERR | EPOLLHUP)) {
      // Not reported again until Accept is called, as with the notification
      // this mimics; a handler that never accepts does not spin the loop.
      acceptArmed_ = false;
      updateInterest();
      dispatchGuarded([&] {
        if (OnSessionAvailable) OnSessionAvailable(*this, 0);
      });
    }
    return;
  }
  const bool hangup = (events & kHangupEvents) != 0;
  // With a hang-up the close event delivers the pending data itself, first.
  if ((events & EPOLLIN) && !hangup) {
    receiveLoop(0);
    if (!unchanged()) return;
  }
  if ((events & EPOLLOUT) && writeWanted_) {
    dispatchGuarded([&] { writeEvent(0); });
    if (!unchanged()) return;
  }
  if (hangup) {
    const std::uint16_t error = (events & EPOLLERR) ? pendingSocketError(handle_) : 0;
    dispatchGuarded([&] { peerClosedEvent(error); });
  }
}

void TAsyncSocket::connectEvent(std::uint16_t error) {
  const std::shared_ptr<Life> life = life_;
  setState(ssConnected);
  updateInterest();
  if (OnSessionConnected) OnSessionConnected(*this, error);
  if (!life->alive) return;
  if (error != 0 && state_ != ssClosed) Close();
}

void TAsyncSocket::writeEvent(std::uint16_t error) {
  tryToSend();
  if (handle_ == INVALID_SOCKET || !sendQueue_.empty()) return;
  if (OnDataSent) OnDataSent(*this, error);
}

// Exceptions inside the loop end it and go no further: the socket stays open
// and its state unchanged, and its data event is held until new bytes arrive.
void TAsyncSocket::receiveLoop(std::uint16_t error) {
  const std::shared_ptr<Life> life = life_;
  if (!releaseHeldDataEvent()) return;
  std::uint64_t receivedBefore = bytesReceived_;
  try {
    for (;;) {
      lastError_ = 0;
      receiveDrained_ = false;
      receivedBefore = bytesReceived_;
      if (OnDataAvailable) {
        OnDataAvailable(*this, error);
      } else {
        char discard[1024];
        if (Receive(discard, sizeof discard) < 0 && lastError_ == WSAEWOULDBLOCK) {
          lastError_ = 0;
          break;
        }
      }
      if (!life->alive) return;
      if (lastError_ != 0) break;
      // A handler whose last receive came back short emptied the stack's
      // queue: asking for the pending count would say 0 (bytes arriving since
      // raise a new data event), so the query is saved.
      if (receiveDrained_) break;
      int pending = 0;
      if (::ioctl(handle_, FIONREAD, &pending) < 0) {
        lastError_ = lastCode();
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
void TAsyncSocket::holdDataEvent(bool handlerRead) {
  if (handle_ == INVALID_SOCKET) return;
  int pending = 0;
  if (!handlerRead && ::ioctl(handle_, FIONREAD, &pending) < 0) pending = 0;
  heldPending_ = pending;
  updateInterest();
}

// False while the data event is held and nothing new has arrived; otherwise
// the watch is level-triggered again and the handler may run.
bool TAsyncSocket::releaseHeldDataEvent() {
  if (heldPending_ < 0) return true;
  int pending = 0;
  if (::ioctl(handle_, FIONREAD, &pending) == 0 && pending <= heldPending_) return false;
  heldPending_ = -1;
  updateInterest();
  return true;
}

void TAsyncSocket::peerClosedEvent(std::uint16_t error) {
  const std::shared_ptr<Life> life = life_;
  const std::uint64_t generation = generation_;
  int pending = 0;
  if (::ioctl(handle_, FIONREAD, &pending) == 0 && pending > 0) {
    // The close is news as well: a held handler gets the bytes once more.
    heldPending_ = -1;
    updateInterest();
    receiveLoop(0);
    if (!life->alive || generation != generation_) return;
  }
  if (OnSessionClosed && !closeNotified_) {
    closeNotified_ = true;
    OnSessionClosed(*this, error);
    if (!life->alive || generation != generation_) return;
  }
  if (state_ != ssClosed) Close();
}

}  // namespace zv
