// TSocketStream: the connected-stream role of a TAsyncSocket. It sends through
// its send queue (never blocking: what the stack does not take waits for
// write readiness), receives for the data handler, holds the data event back
// after a handler threw, and reports the peer's close. It owns the send queue
// and the state of sending and receiving; the handle belongs to the socket.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/send_buffer.h"

struct iovec;

namespace zv {

class TAsyncSocket;

class TSocketStream {
public:
    enum TTcpOption { kNoDelay, kCork };

    explicit TSocketStream(TAsyncSocket& socket) : socket_(socket) {}
    TSocketStream(const TSocketStream&) = delete;
    TSocketStream& operator=(const TSocketStream&) = delete;

    void adopt(int handle);
    int send(const void* data, int length);
    int sendParts(const std::string_view* parts, int count);
    int receive(void* buffer, int size);
    std::string receiveText();
    // The same into `text`, replacing what it held; its capacity is kept, so
    // that a caller receiving many short replies allocates once.
    void receiveText(std::string& text);
    int pendingCount();
    void setTcpOption(TTcpOption option, bool on);
    bool beginWaitingReceives(std::chrono::milliseconds upTo);
    void endWaitingReceives() noexcept;

    bool allSent() const { return allSent_; }
    std::int32_t readCount() const { return readCount_; }
    bool urgent() const { return urgent_; }
    void setUrgent(bool value) { urgent_ = value; }
    std::vector<int> queueChunkFill() const { return queue_.chunkFill(); }

    // The events of a connected handle: data, write readiness, the peer's close.
    void handleEvents(std::uint32_t events);
    std::uint32_t wantedEvents() const;

    // A fresh connection: nothing is unsent.
    void beginConnection();
    // Unsent data is dropped (a new handle, an abort).
    void discardUnsent() { queue_.clear(); }
    // The handle was closed: nothing is waited for on it any more.
    void handleClosed();
    // What a close puts back for the next connection.
    void applyDefaults();

private:
    void tryToSend();
    ssize_t transmit(const struct iovec* iov, int parts);
    void postWriteEvent();
    void writeEvent(std::uint16_t error);
    void receiveLoop(std::uint16_t error);
    void holdDataEvent(bool handlerRead);
    bool releaseHeldDataEvent();
    void peerClosedEvent(std::uint16_t error);

    TAsyncSocket& socket_;
    TSendQueue queue_;
    bool urgent_ = false;  // sends go out of band
    bool allSent_ = true;
    bool writeWanted_ = false;  // EPOLLOUT wanted: the queue holds unsent bytes
    bool writeEventPosted_ = false;
    bool receiveDrained_ = false;  // the last receive came back short
    bool waitingReceives_ = false;  // the handle blocks in receives, for a while
    std::int32_t readCount_ = 0;
    std::uint64_t bytesReceived_ = 0;  // by receive, over the socket's life
    // After a data handler threw: the bytes that count as seen (pending then).
    // The watch is edge-triggered meanwhile, and the data event is held back
    // until more bytes are pending (-1: not held).
    long heldPending_ = -1;
};

}  // namespace zv
