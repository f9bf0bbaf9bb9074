#pragma once
// The live-update streams of the open board pages (Server-Sent Events). Each
// stream is a libmicrohttpd response whose content reader sends what is due
// and otherwise suspends its connection, so that a thousand open pages hold
// no thread and cost nothing while the board does not change. A new board
// version resumes every suspended stream, which then sends the version's tag;
// a comment line every 15 seconds keeps proxies from closing them. A page
// that went away is found within kProbe: the library does not watch a
// suspended connection, so the heartbeat thread asks the system whether its
// peer has hung up, and ends the stream (freeing its place among the
// address's connections).
//
// A session holds at most kPerSession streams (a new one ends its oldest:
// a page reloaded opens its new stream before the old one is found gone)
// and a client address (IPv6: a /64) at most kPerAddress (a further one is
// refused); a stream ends at once when its session ends (signed out,
// expired, or its account changed).
//
// Locking: the streams' state is guarded by one mutex, and a connection is
// suspended and resumed only while it is held, so a connection is never
// resumed before it was suspended. Suspended connections cannot close, so a
// stream marked suspended always has a live connection. The sessions are
// never asked while the mutex is held (their end notice takes it).

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct MHD_Connection;

namespace zv::web {

class TWebSessions;

// The streams of pages that need no sign-in (a lobby display) name no
// session but "<this prefix><what they show>": the heartbeat leaves them
// be, the limit per session does not hold for them (several screens show
// one display), and whoever revokes what they show ends them through
// endSessions.
inline constexpr std::string_view kStandingStreamPrefix = "standing:";

// What a stream tells: the board's versions (event "board", or event "rows"
// with the changed rows when the stream told the version before), and for
// the administrator's pages also the user table's (event "users"). An
// employee's stream also tells when that employee's messages or memos
// changed (event "inbox"), to that employee's pages alone.
enum LiveChannel : unsigned {
    kBoardChannel = 1,
    kUsersChannel = 2,
};
inline constexpr int kLiveChannelCount = 2;

class TLiveStream {
public:
    TLiveStream(MHD_Connection* connection, int fd, std::string sessionToken, unsigned channels,
                std::string group, std::string employee)
        : connection_(connection),
          fd_(fd),
          sessionToken_(std::move(sessionToken)),
          channels_(channels),
          group_(std::move(group)),
          employee_(std::move(employee)) {}

private:
    friend class TLiveStreams;
    MHD_Connection* const connection_;
    const int fd_;  // the connection's socket (the library's); -1 when unknown
    const std::string sessionToken_;
    const unsigned channels_;     // LiveChannel bits
    const std::string group_;     // of the client's address
    const std::string employee_;  // whose messages it tells (record bytes); empty: none
    // Guarded by TLiveStreams::mutex_.
    bool suspended_ = false;
    bool ending_ = false;
    bool heartbeatDue_ = false;
    bool inboxDue_ = false;
    std::string sentTag_[kLiveChannelCount];
    std::string out_;  // text due and not yet taken by the reader
    // Set when the response is gone (any thread, no lock).
    std::atomic<bool> gone_{false};
};

class TLiveStreams {
public:
    static constexpr std::chrono::seconds kHeartbeat{15};
    static constexpr std::chrono::seconds kProbe{2};
    static constexpr std::size_t kPerSession = 4;
    static constexpr std::size_t kPerAddress = 64;

    explicit TLiveStreams(TWebSessions& sessions);
    ~TLiveStreams();
    TLiveStreams(const TLiveStreams&) = delete;
    TLiveStreams& operator=(const TLiveStreams&) = delete;

    // Starts the heartbeat thread.
    void start();
    // A new stream on `connection` (on a libmicrohttpd thread, inside the
    // request handler) telling the `channels` (LiveChannel bits) to a client
    // of the address group `group`; it first sends the current tag of each.
    // Null when the address has its streams already.
    // `employee`: whose messages' changes it tells (empty: nobody's).
    std::shared_ptr<TLiveStream> open(MHD_Connection* connection, std::string sessionToken, unsigned channels,
                                      const std::string& group, std::string employee = {});
    // The content reader: bytes for `buffer`, 0 after suspending the
    // connection, or -1 at the end of the stream.
    ssize_t read(TLiveStream& stream, char* buffer, std::size_t max);
    // The stream's response was freed (its connection closed).
    static void closed(TLiveStream& stream) { stream.gone_ = true; }

    // The board has a new version: every stream sends its tag.
    void announce(const std::string& tag) { announceBoard(tag, {}, {}); }
    // The board has version `tag` after `base`, with `delta` (JSON, one line)
    // the rows that changed: a stream that told `base` sends the delta, any
    // other the tag. An empty delta: the tag to every stream.
    void announceBoard(const std::string& tag, std::string base, std::string delta);
    // A new version on `channel`: every stream that tells it sends its tag.
    void announce(LiveChannel channel, const std::string& tag);
    // The messages or memos of these employees changed: their streams say so.
    void announceInbox(const std::vector<std::string>& employees);
    // Ends every stream (the suspended ones are resumed to end) and the
    // heartbeat thread; streams opened later end at once. Before the daemon
    // stops.
    void endAll();
    // Ends the streams of these sessions (which have ended).
    void endSessions(const std::vector<std::string>& sessionTokens);
    // Streams open now.
    std::size_t count();

private:
    void heartbeatLoop();
    void wake(TLiveStream& stream);                 // mutex_ held
    void forgetGone();                              // mutex_ held
    void endHungUp();                               // mutex_ held
    void beat(std::unique_lock<std::mutex>& lock);  // let go while the sessions are asked

    TWebSessions& sessions_;

    std::mutex mutex_;
    std::condition_variable stopCv_;
    std::vector<std::shared_ptr<TLiveStream>> streams_;  // guarded by mutex_
    std::string deltaBase_, delta_;                      // guarded by mutex_
    std::string currentTag_[kLiveChannelCount];          // guarded by mutex_
    bool ending_ = false;                                // guarded by mutex_
    std::thread heartbeat_;
};

}  // namespace zv::web
