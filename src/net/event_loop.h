// One event loop per thread: epoll over the thread's sockets, an eventfd to wake
// it, a queue of tasks posted from any thread and a quit request.
//
// A loop belongs to the thread that created it; a second loop on the same
// thread is a fatal error. Sockets register watches with it; their handlers run
// inside run(), pump() or waitAndDispatch() on that thread only. post(),
// quit() and handle() may be used from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zv {

class TEventLoop;

// A thread-safe way to reach a loop that may already be gone: posting to a
// destroyed loop does nothing and returns false. Background work (name
// look-ups) holds one of these instead of a TEventLoop pointer.
class TLoopHandle {
public:
    bool post(std::function<void()> task);
    bool quit();

private:
    friend class TEventLoop;
    std::mutex mutex_;
    TEventLoop* loop_ = nullptr;  // guarded by mutex_; cleared by ~TEventLoop
};

class TEventLoop : public std::enable_shared_from_this<TEventLoop> {
public:
    using Clock = std::chrono::steady_clock;
    using TWaitHandler = std::function<void(Clock::time_point deadline)>;

    // Receives the readiness of one registered descriptor (epoll event bits).
    class Watcher {
    public:
        virtual void handleEvents(std::uint32_t events) = 0;

    protected:
        ~Watcher() = default;
    };

    // Marks the calling thread's loop as blocked waiting for another thread for
    // the life of the scope (see isInLoopThreadOrBlocked). runInLoopAndWait
    // uses it; code that waits for another thread by other means should too.
    class TBlockedScope {
    public:
        explicit TBlockedScope(TEventLoop* loop);
        ~TBlockedScope();
        TBlockedScope(const TBlockedScope&) = delete;
        TBlockedScope& operator=(const TBlockedScope&) = delete;

    private:
        TEventLoop* loop_;
    };

    // Creates the calling thread's loop; aborts if the thread has one already.
    TEventLoop();
    ~TEventLoop();
    TEventLoop(const TEventLoop&) = delete;
    TEventLoop& operator=(const TEventLoop&) = delete;

    // The calling thread's loop, created on first use and kept until the thread
    // ends (longer while sockets still refer to it).
    static TEventLoop& forCurrentThread();
    // The calling thread's loop, or nullptr when it has none.
    static TEventLoop* current();

    // Waits for and dispatches events and posted tasks until a quit request is
    // retrieved (or a nested pump consumed one); then terminated() is true.
    void run();
    // Dispatches what is ready now and never blocks. A quit request met here sets
    // terminated() and is consumed.
    void pump();
    // Blocks until at least one event or task was dispatched or the deadline
    // passed; returns true when something was dispatched (a consumed quit
    // request counts). With a wait handler set, the handler does the blocking.
    bool waitAndDispatch(Clock::time_point deadline);

    // Any thread. From another thread the loop must exist when the call starts
    // (it may end right after); use handle() when it may already be gone.
    void post(std::function<void()> task);
    void quit();
    bool terminated() const { return terminated_; }
    int fd() const { return epollFd_; }
    bool isInLoopThread() const { return std::this_thread::get_id() == threadId_; }
    void setWaitHandler(TWaitHandler handler) { waitHandler_ = std::move(handler); }
    std::shared_ptr<TLoopHandle> handle() const { return handle_; }

    // True on the loop's own thread, or while that thread is blocked waiting for
    // another thread (inside a TBlockedScope). Operations of a socket may only be
    // called under this rule.
    bool isInLoopThreadOrBlocked() const;

    // Watches, for the socket layer. addWatch returns a token that is never
    // reused, or 0 with errno set. Events of a token that was removed (even ones
    // already fetched in the current batch) are never delivered.
    std::uint64_t addWatch(int fd, std::uint32_t events, Watcher* watcher);
    bool modifyWatch(std::uint64_t token, std::uint32_t events);  // errno on false
    void removeWatch(std::uint64_t token);

    // Number of events and tasks dispatched so far (for wait handlers and tests).
    std::uint64_t dispatchCount() const { return dispatchCount_; }

private:
    struct WatchEntry {
        int fd;
        std::uint32_t events;
        Watcher* watcher;
    };

    friend class TLoopHandle;
    void enqueue(std::function<void()> task);
    void requestQuit();
    int dispatchRound(int timeoutMs);
    int runPostedTasks();
    // True when a quit request was waiting (now consumed; terminated_ set).
    bool consumeQuit();
    void wake();
    void drainWakeFd();

    // Constant after construction.
    const std::thread::id threadId_;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::shared_ptr<TLoopHandle> handle_;

    // Owner thread only.
    bool terminated_ = false;
    std::uint64_t epoch_ = 0;  // counts epoll_wait calls; detects nested dispatch
    std::uint64_t dispatchCount_ = 0;
    std::uint64_t quitsConsumed_ = 0;
    std::atomic<int> dispatchDepth_{0};  // written by the owner thread only
    TWaitHandler waitHandler_;

    std::atomic<bool> quitRequested_{false};
    std::atomic<int> blockedWaiters_{0};

    mutable std::mutex watchMutex_;
    std::uint64_t nextToken_ = 1;                            // guarded by watchMutex_
    std::unordered_map<std::uint64_t, WatchEntry> watches_;  // guarded by watchMutex_

    std::mutex taskMutex_;
    std::vector<std::function<void()>> tasks_;  // guarded by taskMutex_
    std::atomic<bool> hasTasks_{false};
};

// The calling thread's loop (created on demand) until a quit request.
void RunMessageLoop();
// Pumps the calling thread's loop without blocking.
void PumpMessages();

// Runs task on loop's thread and blocks the caller until it has run; the
// task's exception is rethrown in the caller. On the loop's own thread the task
// simply runs. If the loop is destroyed before running the task, the caller
// gets a std::runtime_error. While waiting, the caller's own loop counts as
// blocked (TBlockedScope), so the target thread may use the caller's sockets.
void runInLoopAndWait(TEventLoop& loop, std::function<void()> task);

}  // namespace zv
