#include "web/board_feed.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <system_error>

#include "host/board_snapshot.h"
#include "host/server_host.h"
#include "web/json_views.h"
#include "web/live_streams.h"
#include "web/sessions.h"
#include "web/step_runner.h"

namespace zv::web {

TBoardFeed::TBoardFeed(TServerHost& host, TLiveStreams& streams, TStepRunner& runner)
    : host_(host), streams_(streams), runner_(runner), tagPrefix_(randomToken().substr(0, 8)) {}

TBoardFeed::~TBoardFeed() { stop(); }

void TBoardFeed::start() {
    if (alive_) return;
    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
    timerWatch_ = host_.mainLoop().addWatch(timerFd_, EPOLLIN, this);
    if (timerWatch_ == 0) {
        const int err = errno;
        ::close(timerFd_);
        timerFd_ = -1;
        throw std::system_error(err, std::generic_category(), "watching the board's build timer");
    }
    alive_ = std::make_shared<bool>(true);
    observerToken_ = host_.addBoardObserver([this](std::uint64_t) { boardChanged(); });
    dirty_ = true;
    build();
}

void TBoardFeed::stop() {
    if (!alive_) return;
    host_.removeBoardObserver(observerToken_);
    alive_.reset();
    host_.mainLoop().removeWatch(timerWatch_);
    ::close(timerFd_);
    timerFd_ = -1;
}

std::shared_ptr<const TBoardSnapshot> TBoardFeed::current() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void TBoardFeed::boardChanged() {
    dirty_ = true;
    if (buildPending_) return;
    buildPending_ = true;
    const auto since = std::chrono::steady_clock::now() - lastBuild_;
    if (since >= kMinInterval) {
        queueBuild();
        return;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(kMinInterval - since);
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(wait.count() / 1000000000);
    at.it_value.tv_nsec = static_cast<long>(wait.count() % 1000000000);
    if (::timerfd_settime(timerFd_, 0, &at, nullptr) != 0) {
        std::cerr << "zelvorad: the board for the browsers could not be scheduled: "
                  << std::system_category().message(errno) << '\n';
        buildPending_ = false;
    }
}

void TBoardFeed::handleEvents(std::uint32_t) {
    std::uint64_t expirations = 0;
    while (::read(timerFd_, &expirations, sizeof expirations) > 0) {
    }
    queueBuild();
}

// A step behind the one that made the change (which holds the session mutex
// now), so that the changes of one step make one build and no build reads
// the board in the middle of a step.
void TBoardFeed::queueBuild() {
    std::weak_ptr<bool> alive = alive_;
    runner_.submit(
        [this, alive] {
            if (alive.lock()) build();
            return TReply{};
        },
        [](TReply) {});
}

void TBoardFeed::build() {
    buildPending_ = false;
    if (!dirty_) return;
    dirty_ = false;
    lastBuild_ = std::chrono::steady_clock::now();
    std::string json;
    try {
        json = boardJson(boardRows(host_.board(), &moments_));
    } catch (const std::exception& e) {
        // The stores are gone (shutting down): the last snapshot stays.
        std::cerr << "zelvorad: the board for the browsers could not be built: " << e.what() << '\n';
        return;
    }
    std::shared_ptr<const TBoardSnapshot> previous = current();
    if (previous && *previous->json == json) return;
    auto snapshot = std::make_shared<TBoardSnapshot>();
    snapshot->etag = "\"" + tagPrefix_ + "-" + std::to_string(++published_) + "\"";
    snapshot->json = std::make_shared<const std::string>(std::move(json));
    {
        std::lock_guard lock(snapshotMutex_);
        snapshot_ = snapshot;
    }
    streams_.announce(snapshot->etag);
}

}  // namespace zv::web
