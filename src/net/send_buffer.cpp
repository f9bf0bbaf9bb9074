#include "net/send_buffer.h"

#include <algorithm>
#include <cstring>

namespace zv {

TBuffer::TBuffer(int size) : size_(size <= 0 ? kDefaultSize : size) {
    data_ = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size_));
}

int TBuffer::Write(const void* data, int len) {
    const int count = std::min(len, size_ - wrCount_);
    if (count <= 0) return 0;
    std::memcpy(data_.get() + wrCount_, data, static_cast<std::size_t>(count));
    wrCount_ += count;
    return count;
}

int TBuffer::Peek(const char** data) const {
    *data = data_.get() + rdCount_;
    return wrCount_ - rdCount_;
}

void TBuffer::Remove(int count) {
    if (count <= 0) return;
    rdCount_ += std::min(count, wrCount_ - rdCount_);
    if (rdCount_ >= wrCount_) {
        rdCount_ = 0;
        wrCount_ = 0;
    }
}

void TSendQueue::append(const char* data, int len) {
    while (len > 0) {
        if (chunks_.empty() || chunks_.back().Full()) chunks_.emplace_back();
        const int written = chunks_.back().Write(data, len);
        data += written;
        len -= written;
    }
}

bool TSendQueue::empty() const {
    for (const auto& chunk : chunks_) {
        if (chunk.Unread() > 0) return false;
    }
    return true;
}

void TSendQueue::dropDrainedFront() {
    while (chunks_.size() > 1 && chunks_.front().Unread() == 0) chunks_.pop_front();
}

int TSendQueue::gather(struct iovec* iov, int maxIov) {
    dropDrainedFront();
    int n = 0;
    for (auto it = chunks_.begin(); it != chunks_.end() && n < maxIov; ++it) {
        const char* data = nullptr;
        const int unread = it->Peek(&data);
        if (unread == 0) continue;
        iov[n].iov_base = const_cast<char*>(data);
        iov[n].iov_len = static_cast<std::size_t>(unread);
        ++n;
    }
    return n;
}

void TSendQueue::consume(long count) {
    while (count > 0 && !chunks_.empty()) {
        dropDrainedFront();
        TBuffer& front = chunks_.front();
        const int take = static_cast<int>(std::min<long>(count, front.Unread()));
        front.Remove(take);
        count -= take;
        if (take == 0) break;
    }
    dropDrainedFront();
}

std::vector<int> TSendQueue::chunkFill() const {
    std::vector<int> fill;
    fill.reserve(chunks_.size());
    for (const auto& chunk : chunks_) fill.push_back(chunk.WrCount());
    return fill;
}

long TSendQueue::unreadBytes() const {
    long total = 0;
    for (const auto& chunk : chunks_) total += chunk.Unread();
    return total;
}

}  // namespace zv
