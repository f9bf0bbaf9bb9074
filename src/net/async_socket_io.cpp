// TAsyncSocket: sending and receiving.
#include "net/async_socket.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/socket_internal.h"

namespace zv {

using namespace socket_internal;

int TAsyncSocket::Send(const void* data, int length) {
  assertInLoopThreadOrBlocked();
  if (state_ != ssConnected) {
    socketError("Send", WSAENOTCONN);
    return -1;
  }
  if (length <= 0) return 0;
  allSent_ = false;
  const char* bytes = static_cast<const char*>(data);
  int taken = 0;
  if (sendQueue_.empty()) {
    // Nothing waits in the queue: hand the bytes to the stack straight from
    // the caller's buffer and copy only what it does not take (the order of
    // bytes on the wire is the same either way).
    iovec iov{const_cast<char*>(bytes), static_cast<std::size_t>(length)};
    const ssize_t sent = transmit(&iov, 1);
    if (sent < 0) return length;  // the connection was closed and reported
    taken = static_cast<int>(sent);
  }
  // The rest is copied into the queue a slice at a time, letting the stack
  // take what it can between slices: a fast peer then drains the queue while
  // it is filled, and the drained chunks' memory is reused for the next slice.
  constexpr int kSlice = 256 * 1024;
  if (taken == length) tryToSend();  // queue empty: marks everything sent
  while (taken < length && handle_ != INVALID_SOCKET) {
    const int slice = std::min(kSlice, length - taken);
    sendQueue_.append(bytes + taken, slice);
    taken += slice;
    tryToSend();
  }
  if (handle_ != INVALID_SOCKET && allSent_) postWriteEvent();
  return length;
}

int TAsyncSocket::SendText(std::string_view text) {
  return Send(text.data(), static_cast<int>(text.size()));
}

int TAsyncSocket::Receive(void* buffer, int size) {
  assertInLoopThreadOrBlocked();
  ssize_t count;
  do {
    count = ::recv(handle_, buffer, size > 0 ? static_cast<std::size_t>(size) : 0, 0);
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    lastError_ = lastCode();
    receiveDrained_ = lastError_ == WSAEWOULDBLOCK;
    return -1;
  }
  receiveDrained_ = count < size;
  readCount_ += static_cast<std::int32_t>(count);
  bytesReceived_ += static_cast<std::uint64_t>(count);
  return static_cast<int>(count);
}

int TAsyncSocket::RcvdCount() {
  assertInLoopThreadOrBlocked();
  int pending = 0;
  if (::ioctl(handle_, FIONREAD, &pending) < 0) {
    socketError("ioctlSocket", lastCode());
    return -1;
  }
  return pending;
}

std::string TAsyncSocket::ReceiveText() {
  const int pending = RcvdCount();
  if (pending < 1) return {};
  std::string text(static_cast<std::size_t>(pending), '\0');
  const int count = Receive(text.data(), pending);
  if (count <= 0) return {};
  // Everything that was pending has been taken: the receive loop need not ask.
  if (count == pending) receiveDrained_ = true;
  text.resize(static_cast<std::size_t>(count));
  return text;
}


// One native send of the given parts. Returns the count the stack took (0 when
// it would block, after subscribing to write readiness), or -1 when the
// connection failed and was closed (OnSessionClosed called with the code).
// Other failures are reported as "TryToSend failed".
ssize_t TAsyncSocket::transmit(const iovec* iov, int parts) {
  const int flags = MSG_NOSIGNAL | (sendFlags_ == sendUrgent ? MSG_OOB : 0);
  msghdr message{};
  message.msg_iov = const_cast<iovec*>(iov);
  message.msg_iovlen = static_cast<std::size_t>(parts);
  for (;;) {
    const ssize_t sent = ::sendmsg(handle_, &message, flags);
    if (sent >= 0) return sent;
    if (errno == EINTR) continue;
    const int code = lastCode();
    if (code == WSAEWOULDBLOCK) return 0;
    if (code == WSAECONNRESET || code == WSAENOTSOCK || code == WSAENOTCONN || code == WSAEINVAL) {
      closeNotified_ = true;
      internalClose(true);
      if (OnSessionClosed) OnSessionClosed(*this, static_cast<std::uint16_t>(code));
      return -1;
    }
    socketError("TryToSend failed", code);
    return 0;  // only with OnError set
  }
}

void TAsyncSocket::tryToSend() {
  for (;;) {
    if (handle_ == INVALID_SOCKET) return;
    iovec iov[kMaxIovPerSend];
    const int parts = sendQueue_.gather(iov, kMaxIovPerSend);
    if (parts == 0) {
      allSent_ = true;
      writeWanted_ = false;
      updateInterest();
      return;
    }
    std::size_t total = 0;
    for (int i = 0; i < parts; ++i) total += iov[i].iov_len;
    const ssize_t sent = transmit(iov, parts);
    if (sent < 0) return;
    sendQueue_.consume(sent);
    if (static_cast<std::size_t>(sent) < total) {
      // The stack is full: the next write-ready event resumes.
      writeWanted_ = true;
      updateInterest();
      return;
    }
  }
}

void TAsyncSocket::postWriteEvent() {
  if (writeEventPosted_) return;  // one pending write-ready event is enough
  writeEventPosted_ = true;
  const std::shared_ptr<Life> life = life_;
  const std::uint64_t generation = generation_;
  loop_->post([life, generation] {
    if (!life->alive) return;
    TAsyncSocket* self = life->self;
    self->writeEventPosted_ = false;
    if (self->generation_ != generation || self->handle_ == INVALID_SOCKET) return;
    self->dispatchGuarded([self] { self->writeEvent(0); });
  });
}

}  // namespace zv
