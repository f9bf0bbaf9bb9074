#include "web/live_streams.h"

#include <microhttpd.h>
#include <poll.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "web/sessions.h"

namespace zv::web {

namespace {

// The browser reconnects this long after a stream broke.
constexpr const char* kStreamStart = "retry: 3000\n\n";

constexpr const char* kEventNames[kLiveChannelCount] = {"board", "users"};

}  // namespace

TLiveStreams::TLiveStreams(TWebSessions& sessions) : sessions_(sessions) {
    sessions_.setEndNotice([this](const std::vector<std::string>& tokens) { endSessions(tokens); });
}

TLiveStreams::~TLiveStreams() {
    sessions_.setEndNotice(nullptr);
    endAll();
}

void TLiveStreams::start() {
    std::lock_guard lock(mutex_);
    if (heartbeat_.joinable() || ending_) return;
    heartbeat_ = std::thread([this] { heartbeatLoop(); });
}

std::shared_ptr<TLiveStream> TLiveStreams::open(MHD_Connection* connection, std::string sessionToken,
                                                unsigned channels, const std::string& group,
                                                std::string employee) {
    const MHD_ConnectionInfo* socket = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    std::lock_guard lock(mutex_);
    forgetGone();
    std::vector<TLiveStream*> ofSession;  // oldest first, as opened
    std::size_t ofGroup = 0;
    // The screens of one lobby display share its name: the limit per
    // address alone bounds them.
    const bool standing = sessionToken.starts_with(kStandingStreamPrefix);
    for (const auto& open : streams_) {
        if (open->ending_) continue;
        if (open->sessionToken_ == sessionToken && !standing) ofSession.push_back(open.get());
        if (open->group_ == group) ++ofGroup;
    }
    if (ofGroup >= kPerAddress) return nullptr;
    for (std::size_t i = 0; i + kPerSession <= ofSession.size(); ++i) {
        ofSession[i]->ending_ = true;
        wake(*ofSession[i]);
    }
    auto stream =
        std::make_shared<TLiveStream>(connection, socket ? socket->connect_fd : -1, std::move(sessionToken),
                                      channels, group, std::move(employee));
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
            // The changed rows go to the employees' pages alone: the
            // administration's pages and the displays fetch what they show
            // (a display shows only some departments and fields).
            if (c == 0 && !stream.employee_.empty() && !delta_.empty() && stream.sentTag_[c] == deltaBase_) {
                stream.out_ += "event: rows\ndata: " + delta_ + "\n\n";
            } else {
                stream.out_ += std::string("event: ") + kEventNames[c] + "\ndata: " + currentTag_[c] + "\n\n";
            }
            stream.sentTag_[c] = currentTag_[c];
        }
        if (stream.inboxDue_) stream.out_ += "event: inbox\ndata: changed\n\n";
        stream.inboxDue_ = false;
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

void TLiveStreams::announceBoard(const std::string& tag, std::string base, std::string delta) {
    {
        std::lock_guard lock(mutex_);
        deltaBase_ = std::move(base);
        delta_ = std::move(delta);
    }
    announce(kBoardChannel, tag);
}

void TLiveStreams::announce(LiveChannel channel, const std::string& tag) {
    const int c = std::countr_zero(static_cast<unsigned>(channel));
    std::lock_guard lock(mutex_);
    currentTag_[c] = tag;
    for (const auto& stream : streams_) {
        if (stream->channels_ & channel) wake(*stream);
    }
}

void TLiveStreams::announceInbox(const std::vector<std::string>& employees) {
    std::lock_guard lock(mutex_);
    for (const auto& stream : streams_) {
        if (stream->employee_.empty() ||
            std::find(employees.begin(), employees.end(), stream->employee_) == employees.end()) {
            continue;
        }
        stream->inboxDue_ = true;
        wake(*stream);
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

void TLiveStreams::endSessions(const std::vector<std::string>& sessionTokens) {
    std::lock_guard lock(mutex_);
    for (const auto& stream : streams_) {
        if (std::find(sessionTokens.begin(), sessionTokens.end(), stream->sessionToken_) ==
            sessionTokens.end()) {
            continue;
        }
        stream->ending_ = true;
        wake(*stream);
    }
}

void TLiveStreams::forgetGone() {
    std::erase_if(streams_, [](const auto& s) { return s->gone_.load(); });
}

std::size_t TLiveStreams::count() {
    std::lock_guard lock(mutex_);
    forgetGone();
    return streams_.size();
}

void TLiveStreams::endHungUp() {
    std::vector<pollfd> sockets;
    std::vector<TLiveStream*> asked;
    for (const auto& stream : streams_) {
        // Only a suspended connection is sure to be open, its socket still
        // its own.
        if (!stream->suspended_ || stream->fd_ < 0) continue;
        sockets.push_back(pollfd{stream->fd_, POLLRDHUP, 0});
        asked.push_back(stream.get());
    }
    if (sockets.empty() || ::poll(sockets.data(), sockets.size(), 0) <= 0) return;
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if ((sockets[i].revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) continue;
        // Resumed to end, the library closes the connection.
        asked[i]->ending_ = true;
        wake(*asked[i]);
    }
}

void TLiveStreams::beat(std::unique_lock<std::mutex>& lock) {
    // A page whose session has lapsed (idle or too old) is told by the end
    // of its stream. The sessions are asked without the lock: a session
    // found lapsed ends, and its end notice takes the lock.
    std::vector<std::string> tokens;
    for (const auto& stream : streams_) tokens.push_back(stream->sessionToken_);
    std::sort(tokens.begin(), tokens.end());
    tokens.erase(std::unique(tokens.begin(), tokens.end()), tokens.end());
    lock.unlock();
    std::erase_if(tokens, [this](const std::string& token) {
        return token.starts_with(kStandingStreamPrefix) || sessions_.alive(token);
    });
    lock.lock();
    for (const auto& stream : streams_) {
        // (A stream opened just as its session ended missed the notice.)
        if (std::binary_search(tokens.begin(), tokens.end(), stream->sessionToken_)) stream->ending_ = true;
        stream->heartbeatDue_ = true;
        wake(*stream);
    }
}

void TLiveStreams::heartbeatLoop() {
    std::unique_lock lock(mutex_);
    auto lastBeat = std::chrono::steady_clock::now();
    while (!ending_) {
        stopCv_.wait_for(lock, kProbe, [this] { return ending_; });
        if (ending_) break;
        forgetGone();
        endHungUp();
        if (std::chrono::steady_clock::now() - lastBeat < kHeartbeat) continue;
        lastBeat = std::chrono::steady_clock::now();
        beat(lock);
    }
}

}  // namespace zv::web
