#include "web/live_streams.h"

#include <microhttpd.h>

#include <algorithm>
#include <cstring>

#include "web/sessions.h"

namespace zv::web {

namespace {

// The browser reconnects this long after a stream broke.
constexpr const char* kStreamStart = "retry: 3000\n\n";

constexpr const char* kEventNames[kLiveChannelCount] = {"board", "users"};

}  // namespace

TLiveStreams::TLiveStreams(TWebSessions& sessions) : sessions_(sessions) {}

TLiveStreams::~TLiveStreams() { endAll(); }

void TLiveStreams::start() {
    std::lock_guard lock(mutex_);
    if (heartbeat_.joinable() || ending_) return;
    heartbeat_ = std::thread([this] { heartbeatLoop(); });
}

std::shared_ptr<TLiveStream> TLiveStreams::open(MHD_Connection* connection, std::string sessionToken,
                                                unsigned channels) {
    auto stream = std::make_shared<TLiveStream>(connection, std::move(sessionToken), channels);
    std::lock_guard lock(mutex_);
    stream->out_ = kStreamStart;
    stream->ending_ = ending_;
    streams_.push_back(stream);
    return stream;
}

ssize_t TLiveStreams::read(TLiveStream& stream, char* buffer, std::size_t max) {
    std::lock_guard lock(mutex_);
    if (stream.out_.empty()) {
        if (stream.ending_) return MHD_CONTENT_READER_END_OF_STREAM;
        for (int c = 0; c < kLiveChannelCount; ++c) {
            if ((stream.channels_ & (1u << c)) == 0) continue;
            if (currentTag_[c].empty() || stream.sentTag_[c] == currentTag_[c]) continue;
            stream.out_ += std::string("event: ") + kEventNames[c] + "\ndata: " + currentTag_[c] + "\n\n";
            stream.sentTag_[c] = currentTag_[c];
        }
        if (stream.out_.empty() && stream.heartbeatDue_) {
            stream.out_ = ": keep-alive\n\n";
        }
        stream.heartbeatDue_ = false;
    }
    if (stream.out_.empty()) {
        // Nothing due: the connection sleeps until wake().
        stream.suspended_ = true;
        MHD_suspend_connection(stream.connection_);
        return 0;
    }
    const std::size_t n = std::min(max, stream.out_.size());
    std::memcpy(buffer, stream.out_.data(), n);
    stream.out_.erase(0, n);
    return static_cast<ssize_t>(n);
}

void TLiveStreams::wake(TLiveStream& stream) {
    if (!stream.suspended_) return;
    stream.suspended_ = false;
    MHD_resume_connection(stream.connection_);
}

void TLiveStreams::announce(LiveChannel channel, const std::string& tag) {
    const int c = channel == kBoardChannel ? 0 : 1;
    std::lock_guard lock(mutex_);
    currentTag_[c] = tag;
    for (const auto& stream : streams_) {
        if (stream->channels_ & channel) wake(*stream);
    }
}

void TLiveStreams::endAll() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        for (const auto& stream : streams_) {
            stream->ending_ = true;
            wake(*stream);
        }
    }
    stopCv_.notify_all();
    if (heartbeat_.joinable()) heartbeat_.join();
}

std::size_t TLiveStreams::count() {
    std::lock_guard lock(mutex_);
    std::erase_if(streams_, [](const auto& s) { return s->gone_.load(); });
    return streams_.size();
}

void TLiveStreams::heartbeatLoop() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        stopCv_.wait_for(lock, kHeartbeat, [this] { return ending_; });
        if (ending_) break;
        std::erase_if(streams_, [](const auto& s) { return s->gone_.load(); });
        for (const auto& stream : streams_) {
            // A page whose session ended (signed out, idle too long) is
            // told by the end of its stream.
            if (!sessions_.peek(stream->sessionToken_)) stream->ending_ = true;
            stream->heartbeatDue_ = true;
            wake(*stream);
        }
    }
}

}  // namespace zv::web
