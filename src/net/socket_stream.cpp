// TSocketStream: adopting a connected handle, sending and receiving.
#include "net/socket_stream.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>

#include "net/async_socket.h"
#include "net/socket_internal.h"

namespace zv {

using namespace socket_internal;

void TSocketStream::adopt(int handle) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (handle <= 0) return s.socketError("Dup", WSAEINVAL);
    if (s.handle_ != INVALID_SOCKET) {
        s.closeHandle();
        s.setState(ssClosed);
    }
    s.adoptHandle(handle);
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) < 0) {
        return s.socketError("Dup", lastCode());
    }
    s.applyLinger();
    s.closeNotified_ = false;
    beginConnection();
    if (!s.subscribe(EPOLLIN | EPOLLRDHUP)) return s.socketError("WSAAsyncSelect", lastCode());
    s.setState(ssConnected);
}

void TSocketStream::beginConnection() {
    writeWanted_ = false;
    allSent_ = true;
}

void TSocketStream::handleClosed() {
    writeWanted_ = false;
    waitingReceives_ = false;
    heldPending_ = -1;
}

void TSocketStream::applyDefaults() {
    allSent_ = true;
    readCount_ = 0;
}

int TSocketStream::send(const void* data, int length) {
    const std::string_view whole(static_cast<const char*>(data),
                                 length > 0 ? static_cast<std::size_t>(length) : 0);
    return sendParts(&whole, 1);
}

int TSocketStream::sendParts(const std::string_view* parts, int count) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    if (s.state_ != ssConnected) {
        s.socketError("Send", WSAENOTCONN);
        return -1;
    }
    std::size_t length = 0;
    for (int i = 0; i < count; ++i) length += parts[i].size();
    if (length == 0) return 0;
    allSent_ = false;
    std::size_t taken = 0;
    if (queue_.empty()) {
        // Nothing waits in the queue: hand the bytes to the stack straight from
        // the caller's buffers and copy only what it does not take (the order
        // of bytes on the wire is the same either way).
        iovec iov[kMaxIovPerSend];
        int used = 0;
        for (int i = 0; i < count && used < kMaxIovPerSend; ++i) {
            if (!parts[i].empty()) iov[used++] = {const_cast<char*>(parts[i].data()), parts[i].size()};
        }
        const ssize_t sent = transmit(iov, used);
        if (sent < 0) return static_cast<int>(length);  // the connection was closed and reported
        taken = static_cast<std::size_t>(sent);
    }
    // The rest is copied into the queue a slice at a time, letting the stack
    // take what it can between slices: a fast peer then drains the queue while
    // it is filled, and the drained chunks' memory is reused for the next slice.
    constexpr std::size_t kSlice = 256 * 1024;
    if (taken == length) tryToSend();  // queue empty: marks everything sent
    std::size_t skip = taken;          // bytes of the parts already taken
    for (int i = 0; i < count && s.handle_ != INVALID_SOCKET; ++i) {
        std::string_view rest = parts[i];
        const std::size_t skipped = std::min(skip, rest.size());
        rest.remove_prefix(skipped);
        skip -= skipped;
        while (!rest.empty() && s.handle_ != INVALID_SOCKET) {
            const std::size_t slice = std::min(kSlice, rest.size());
            queue_.append(rest.data(), static_cast<int>(slice));
            rest.remove_prefix(slice);
            tryToSend();
        }
    }
    if (s.handle_ != INVALID_SOCKET && allSent_) postWriteEvent();
    return static_cast<int>(length);
}

int TSocketStream::receive(void* buffer, int size) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    ssize_t count;
    do {
        count = ::recv(s.handle_, buffer, size > 0 ? static_cast<std::size_t>(size) : 0, 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        s.lastError_ = lastCode();
        receiveDrained_ = s.lastError_ == WSAEWOULDBLOCK;
        return -1;
    }
    receiveDrained_ = count < size;
    readCount_ += static_cast<std::int32_t>(count);
    bytesReceived_ += static_cast<std::uint64_t>(count);
    return static_cast<int>(count);
}

int TSocketStream::pendingCount() {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    int pending = 0;
    if (::ioctl(s.handle_, FIONREAD, &pending) < 0) {
        s.socketError("ioctlSocket", lastCode());
        return -1;
    }
    return pending;
}

std::string TSocketStream::receiveText() {
    std::string text;
    receiveText(text);
    return text;
}

void TSocketStream::receiveText(std::string& text) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    // Most arrivals are a short request or a reply of a few bytes: one
    // receive takes them without first asking how many bytes are pending.
    // Only a full buffer asks for the rest, so that all of it still comes at
    // once.
    char first[16384];
    text.clear();
    const int count = receive(first, static_cast<int>(sizeof first));
    if (count <= 0) {
        // Nothing pending is no error here, as when the count said 0; a
        // socket that cannot be read at all is reported as before, by the
        // query of the count.
        if (count < 0) {
            s.lastError_ = 0;
            pendingCount();
        }
        return;
    }
    text.assign(first, static_cast<std::size_t>(count));
    if (count < static_cast<int>(sizeof first)) return;
    const int pending = pendingCount();
    if (pending < 1) return;
    text.resize(text.size() + static_cast<std::size_t>(pending));
    const int more = receive(text.data() + count, pending);
    text.resize(static_cast<std::size_t>(count) + static_cast<std::size_t>(std::max(more, 0)));
    // Everything that was pending has been taken: the receive loop need not ask.
    if (more == pending) receiveDrained_ = true;
}

bool TSocketStream::beginWaitingReceives(std::chrono::milliseconds upTo) {
    TAsyncSocket& s = socket_;
    s.assertInLoopThreadOrBlocked();
    const int handle = s.handle_;
    if (handle == INVALID_SOCKET || waitingReceives_) return false;
    const auto ms = std::max<std::chrono::milliseconds::rep>(1, upTo.count());
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(ms / 1000);
    limit.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    if (::setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
    waitingReceives_ = true;
    return true;
}

void TSocketStream::endWaitingReceives() noexcept {
    TAsyncSocket& s = socket_;
    if (!waitingReceives_) return;
    waitingReceives_ = false;
    const int handle = s.handle_;
    if (handle == INVALID_SOCKET) return;
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) != 0) {
        // A handle left blocking could stall the event loop in a receive. Shut
        // down, every receive returns at once, and the loop reports the close.
        if (::shutdown(handle, SHUT_RDWR) != 0) {
            // Nothing is left to try on this handle; its next receive reports
            // what is wrong with it.
        }
    }
}

void TSocketStream::setTcpOption(TTcpOption option, bool on) {
    const int handle = socket_.handle_;
    if (handle == INVALID_SOCKET) return;
    const int value = on ? 1 : 0;
    const int name = option == kNoDelay ? TCP_NODELAY : TCP_CORK;
    if (::setsockopt(handle, IPPROTO_TCP, name, &value, sizeof value) != 0) {
        // Only slower, never wrong: the data goes out all the same.
    }
}

// One native send of the given parts. Returns the count the stack took (0 when
// it would block, after subscribing to write readiness), or -1 when the
// connection failed and was closed (OnSessionClosed called with the code).
// Other failures are reported as "TryToSend failed".
ssize_t TSocketStream::transmit(const iovec* iov, int parts) {
    TAsyncSocket& s = socket_;
    // Never waits, also while receives wait (beginWaitingReceives).
    const int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (urgent_ ? MSG_OOB : 0);
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(iov);
    message.msg_iovlen = static_cast<std::size_t>(parts);
    for (;;) {
        const ssize_t sent = ::sendmsg(s.handle_, &message, flags);
        if (sent >= 0) return sent;
        if (errno == EINTR) continue;
        const int code = lastCode();
        if (code == WSAEWOULDBLOCK) return 0;
        if (code == WSAECONNRESET || code == WSAENOTSOCK || code == WSAENOTCONN || code == WSAEINVAL) {
            s.closeNotified_ = true;
            s.internalClose(true);
            if (s.OnSessionClosed) s.OnSessionClosed(s, static_cast<std::uint16_t>(code));
            return -1;
        }
        s.socketError("TryToSend failed", code);
        return 0;  // only with OnError set
    }
}

void TSocketStream::tryToSend() {
    TAsyncSocket& s = socket_;
    for (;;) {
        if (s.handle_ == INVALID_SOCKET) return;
        iovec iov[kMaxIovPerSend];
        const int parts = queue_.gather(iov, kMaxIovPerSend);
        if (parts == 0) {
            allSent_ = true;
            writeWanted_ = false;
            s.updateInterest();
            return;
        }
        std::size_t total = 0;
        for (int i = 0; i < parts; ++i) total += iov[i].iov_len;
        const ssize_t sent = transmit(iov, parts);
        if (sent < 0) return;
        queue_.consume(sent);
        if (static_cast<std::size_t>(sent) < total) {
            // The stack is full: the next write-ready event resumes.
            writeWanted_ = true;
            s.updateInterest();
            return;
        }
    }
}

void TSocketStream::postWriteEvent() {
    if (writeEventPosted_) return;  // one pending write-ready event is enough
    writeEventPosted_ = true;
    const std::shared_ptr<TAsyncSocket::Life> life = socket_.life_;
    const std::uint64_t generation = socket_.generation_;
    socket_.loop_->post([life, generation] {
        if (!life->alive) return;
        TAsyncSocket* self = life->self;
        TSocketStream& stream = self->stream_;
        stream.writeEventPosted_ = false;
        if (self->generation_ != generation || self->handle_ == INVALID_SOCKET) return;
        self->dispatchGuarded([&stream] { stream.writeEvent(0); });
    });
}

}  // namespace zv
