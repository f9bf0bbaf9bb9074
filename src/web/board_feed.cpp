#include "web/board_feed.h"

#include <iostream>

#include "host/maintenance_api.h"
#include "web/json_views.h"
#include "web/live_streams.h"
#include "web/sessions.h"
#include "web/step_runner.h"

namespace zv::web {

TBoardFeed::TBoardFeed(TMaintenanceApi& host, TLiveStreams& streams, TStepRunner& runner)
    : host_(host), streams_(streams), runner_(runner), tagPrefix_(randomToken().substr(0, 8)) {}

TBoardFeed::~TBoardFeed() { stop(); }

void TBoardFeed::start() {
    if (alive_) return;
    timer_ = std::make_unique<TLoopTimer>(host_.mainLoop(), TLoopTimer::Clock::Monotonic,
                                          [this](bool) { queueBuild(); });
    alive_ = std::make_shared<bool>(true);
    observerToken_ = host_.addBoardObserver([this](std::uint64_t) { boardChanged(); });
    dirty_ = true;
    build();
}

void TBoardFeed::stop() {
    if (!alive_) return;
    host_.removeBoardObserver(observerToken_);
    alive_.reset();
    timer_.reset();
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
    try {
        timer_->startAfter(kMinInterval - since);
    } catch (const std::exception& e) {
        std::cerr << "zelvorad: the board for the browsers could not be scheduled: " << e.what() << '\n';
        buildPending_ = false;
    }
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
        json = boardJson(host_.boardRows(&moments_));
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
