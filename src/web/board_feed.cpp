#include "web/board_feed.h"

#include <iostream>

#include "host/maintenance_api.h"
#include "web/gzip_body.h"
#include "web/json_views.h"
#include "web/live_streams.h"
#include "web/sessions.h"
#include "web/step_runner.h"

namespace zv::web {

std::shared_ptr<const std::string> TBoardSnapshot::gzipJson() const {
    std::call_once(gzipOnce_, [this] {
        try {
            gzipJson_ = std::make_shared<const std::string>(gzipped(*json));
        } catch (const std::runtime_error& e) {
            std::cerr << "zelvorad: " << e.what() << " (the board is sent uncompressed)\n";
        }
    });
    return gzipJson_;
}

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
    std::vector<TBoardRow> rows;
    try {
        rows = host_.boardRows(&moments_);
    } catch (const std::exception& e) {
        // The stores are gone (shutting down): the last snapshot stays.
        std::cerr << "zelvorad: the board for the browsers could not be built: " << e.what() << '\n';
        return;
    }
    inboxMayHaveChanged();

    std::unordered_map<std::string, TRowState> nextRows;
    nextRows.reserve(rows.size());
    std::vector<std::string> order;
    order.reserve(rows.size());
    std::vector<const std::string*> changed;
    for (const TBoardRow& row : rows) {
        TRowState state;
        appendBoardRowFields(state.fields, row);
        const auto before = rows_.find(row.Employee);
        state.version = before != rows_.end() && before->second.fields == state.fields
                            ? before->second.version
                            : ++rowVersions_;
        order.push_back(row.Employee);
        auto [at, fresh] = nextRows.emplace(row.Employee, std::move(state));
        if (!fresh) continue;  // a key twice: the board shows the first
        if (before == rows_.end() || before->second.version != at->second.version)
            changed.push_back(&at->first);
    }
    std::string departments = departmentsJson(rows);
    const bool sameShape = order == order_ && departments == departments_;
    std::shared_ptr<const TBoardSnapshot> previous = current();
    if (previous && sameShape && changed.empty()) return;

    const auto withVersion = [](std::string& out, const TRowState& state) {
        out.push_back('{');
        out.append(state.fields);
        out.append(",\"v\":");
        out.append(std::to_string(state.version));
        out.push_back('}');
    };
    std::string json;
    json.reserve(64 + rows.size() * 330);
    json.append("{\"departments\":").append(departments).append(",\"rows\":[");
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i > 0) json.push_back(',');
        withVersion(json, nextRows.at(order[i]));
    }
    json.append("]}");

    auto snapshot = std::make_shared<TBoardSnapshot>();
    snapshot->etag = "\"" + tagPrefix_ + "-" + std::to_string(++published_) + "\"";
    snapshot->json = std::make_shared<const std::string>(std::move(json));

    // The changed rows, for the pages that hold the previous version.
    std::string delta;
    if (previous && sameShape) {
        delta.append("{\"base\":");
        appendJsonString(delta, previous->etag);
        delta.append(",\"tag\":");
        appendJsonString(delta, snapshot->etag);
        delta.append(",\"rows\":[");
        for (std::size_t i = 0; i < changed.size(); ++i) {
            if (i > 0) delta.push_back(',');
            withVersion(delta, nextRows.at(*changed[i]));
        }
        delta.append("]}");
    }
    rows_ = std::move(nextRows);
    order_ = std::move(order);
    departments_ = std::move(departments);
    {
        std::lock_guard lock(snapshotMutex_);
        snapshot_ = snapshot;
    }
    streams_.announceBoard(snapshot->etag, previous ? previous->etag : std::string(), std::move(delta));
}

void TBoardFeed::inboxMayHaveChanged() {
    std::map<std::string, std::uint64_t> stamps;
    try {
        stamps = host_.inboxStamps();
    } catch (const std::exception& e) {
        std::cerr << "zelvorad: the messages waiting could not be read: " << e.what() << '\n';
        return;
    }
    if (inboxStamps_) {
        // The recipients whose messages changed: in one map and not the
        // other, or with another number.
        std::vector<std::string> changed;
        auto a = inboxStamps_->begin();
        auto b = stamps.begin();
        while (a != inboxStamps_->end() || b != stamps.end()) {
            if (b == stamps.end() || (a != inboxStamps_->end() && a->first < b->first)) {
                changed.push_back((a++)->first);
            } else if (a == inboxStamps_->end() || b->first < a->first) {
                changed.push_back((b++)->first);
            } else {
                if (a->second != b->second) changed.push_back(a->first);
                ++a;
                ++b;
            }
        }
        if (!changed.empty()) streams_.announceInbox(changed);
    }
    inboxStamps_ = std::move(stamps);
}

}  // namespace zv::web
