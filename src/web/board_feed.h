#pragma once
// The board as the browsers get it: built as JSON once per change of the
// board, as a step on the main loop under the session mutex (after the step
// that made the change, never in the middle of one), and published as an
// immutable snapshot with a tag (its ETag) that the HTTP threads serve
// without waiting for the main loop.
// A burst of changes (a busy morning of logins) is built at most every
// kMinInterval; a build equal to the last one publishes nothing, so that a
// change that the board page does not show (a login's time stamp) wakes no
// page. Each new snapshot is announced to the live streams.
// Every row carries a version ("v") that changes only when the row does; when
// the accounts and their order stay, the announcement carries the changed
// rows, so that an open page takes those and fetches nothing.
// After each build, and when a browser took or finished a message, the
// messages and memos waiting are compared, and a change is announced too.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/board_snapshot.h"
#include "net/loop_timer.h"

namespace zv {
class TMaintenanceApi;
}

namespace zv::web {

class TLiveStreams;
class TStepRunner;

struct TBoardSnapshot {
    std::string etag;  // quoted
    std::shared_ptr<const std::string> json;

    // The same, gzip-compressed: made by the first request that wants it (on
    // an HTTP thread, off the change's way to the pages), then shared; null
    // when zlib failed (the plain text is sent then).
    std::shared_ptr<const std::string> gzipJson() const;

private:
    mutable std::once_flag gzipOnce_;
    mutable std::shared_ptr<const std::string> gzipJson_;
};

class TBoardFeed {
public:
    static constexpr std::chrono::milliseconds kMinInterval{200};

    TBoardFeed(TMaintenanceApi& host, TLiveStreams& streams, TStepRunner& runner);
    ~TBoardFeed();
    TBoardFeed(const TBoardFeed&) = delete;
    TBoardFeed& operator=(const TBoardFeed&) = delete;

    // On the main thread, outside any step, with the runner started: builds
    // the first snapshot and follows the board.
    // Throws std::system_error when the build timer cannot be made.
    void start();
    // On the main thread: stops following the board.
    void stop();

    // The current snapshot (any thread); null before start().
    std::shared_ptr<const TBoardSnapshot> current() const;

    // On the main loop, inside a step: the messages or memos may have
    // changed; open pages are told when they did.
    void inboxMayHaveChanged();

private:
    void boardChanged();
    void queueBuild();
    void build();

    TMaintenanceApi& host_;
    TLiveStreams& streams_;
    TStepRunner& runner_;
    const std::string tagPrefix_;  // tells this run's tags from an earlier run's

    // Main thread only.
    int observerToken_ = 0;
    std::unique_ptr<TLoopTimer> timer_;  // the next build of a burst
    bool dirty_ = false;
    bool buildPending_ = false;  // queued or timed
    std::chrono::steady_clock::time_point lastBuild_{};
    std::uint64_t published_ = 0;
    TMomentCache moments_;
    struct TRowState {
        std::string fields;  // the row's JSON without its version
        std::uint64_t version = 0;
    };
    std::unordered_map<std::string, TRowState> rows_;  // by account key
    std::vector<std::string> order_;                   // the keys in board order
    std::string departments_;                          // JSON array
    std::uint64_t rowVersions_ = 0;
    std::optional<std::map<std::string, std::uint64_t>> inboxStamps_;  // by recipient (record bytes)
    std::shared_ptr<bool> alive_;                                      // queued builds check it

    mutable std::mutex snapshotMutex_;
    std::shared_ptr<const TBoardSnapshot> snapshot_;  // guarded by snapshotMutex_
};

}  // namespace zv::web
