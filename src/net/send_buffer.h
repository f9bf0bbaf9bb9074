// The send queue of a socket: fixed-size chunks (TBuffer) filled in order and
// drained from the front. Bytes are copied once, into the chunks; a drained
// chunk is reused while it is the only one and freed when another follows it.
#pragma once

#include <sys/uio.h>

#include <deque>
#include <memory>
#include <vector>

namespace zv {

class TBuffer {
public:
    static constexpr int kDefaultSize = 1514;

    explicit TBuffer(int size = kDefaultSize);

    // Copies as many of len bytes as fit; returns that count.
    int Write(const void* data, int len);
    // The unread bytes: *data points at them, the result is their count.
    int Peek(const char** data) const;
    // Advances the read position by at most the unread count; once everything
    // written has been read both positions return to 0 so the chunk is reused.
    void Remove(int count);

    int Size() const { return size_; }
    int WrCount() const { return wrCount_; }
    int RdCount() const { return rdCount_; }
    int Unread() const { return wrCount_ - rdCount_; }
    bool Full() const { return wrCount_ == size_; }

private:
    std::unique_ptr<char[]> data_;
    int size_;
    int wrCount_ = 0;
    int rdCount_ = 0;
};

class TSendQueue {
public:
    // Appends len bytes, filling the last chunk first and adding chunks of
    // TBuffer::kDefaultSize as needed. The queue has no upper bound.
    void append(const char* data, int len);
    // True when no chunk holds unread bytes.
    bool empty() const;
    // Fills iov with the unread parts of the first chunks (at most maxIov);
    // returns the number of entries. Drained chunks that are followed by
    // others are freed on the way.
    int gather(struct iovec* iov, int maxIov);
    // Removes count bytes from the front (count never exceeds what gather gave).
    void consume(long count);
    // Frees every chunk.
    void clear() { chunks_.clear(); }
    // Write counts of the chunks, front first (for tests and diagnostics).
    std::vector<int> chunkFill() const;
    long unreadBytes() const;

private:
    void dropDrainedFront();
    std::deque<TBuffer> chunks_;
};

}  // namespace zv
