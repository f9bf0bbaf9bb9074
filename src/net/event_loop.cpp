#include "net/event_loop.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "net/completion.h"

namespace zv {

namespace {

thread_local TEventLoop* t_loopInThisThread = nullptr;
thread_local std::shared_ptr<TEventLoop> t_ownedLoop;

constexpr std::uint64_t kWakeToken = 0;
constexpr int kMaxEventsPerRound = 64;

[[noreturn]] void fatal(const char* what) {
    std::fprintf(stderr, "TEventLoop: %s\n", what);
    std::abort();
}

struct DepthScope {
    explicit DepthScope(std::atomic<int>& d) : depth(d) { ++depth; }
    ~DepthScope() { --depth; }
    std::atomic<int>& depth;
};

// Nothing above the loop can catch what escapes a task or handler; the rest of
// the batch must still run, so the error is written to standard error.
void reportEscaped(const char* where, const char* what) {
    std::fprintf(stderr, "TEventLoop: %s raised: %s\n", where, what);
}

}  // namespace

bool TLoopHandle::post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loop_ == nullptr) return false;
    loop_->enqueue(std::move(task));
    return true;
}

bool TLoopHandle::quit() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loop_ == nullptr) return false;
    loop_->requestQuit();
    return true;
}

TEventLoop::TBlockedScope::TBlockedScope(TEventLoop* loop) : loop_(loop) {
    if (loop_ != nullptr) loop_->blockedWaiters_.fetch_add(1);
}

TEventLoop::TBlockedScope::~TBlockedScope() {
    if (loop_ != nullptr) loop_->blockedWaiters_.fetch_sub(1);
}

TEventLoop::TEventLoop() : threadId_(std::this_thread::get_id()) {
    if (t_loopInThisThread != nullptr) {
        fatal("a second event loop was created on a thread that already has one");
    }
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "TEventLoop: epoll_create1");
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        const int err = errno;
        ::close(epollFd_);
        throw std::system_error(err, std::generic_category(), "TEventLoop: eventfd");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeToken;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) < 0) {
        const int err = errno;
        ::close(wakeFd_);
        ::close(epollFd_);
        throw std::system_error(err, std::generic_category(), "TEventLoop: epoll_ctl(eventfd)");
    }
    handle_ = std::make_shared<TLoopHandle>();
    handle_->loop_ = this;
    t_loopInThisThread = this;
}

TEventLoop::~TEventLoop() {
    {
        std::lock_guard<std::mutex> lock(handle_->mutex_);
        handle_->loop_ = nullptr;
    }
    if (t_loopInThisThread == this && isInLoopThread()) t_loopInThisThread = nullptr;
    // Tasks that never ran are destroyed here; runInLoopAndWait's waiters learn
    // it through their completion guard.
    std::vector<std::function<void()>> orphans;
    {
        std::lock_guard<std::mutex> lock(taskMutex_);
        orphans.swap(tasks_);
    }
    orphans.clear();
    ::close(wakeFd_);
    ::close(epollFd_);
}

TEventLoop& TEventLoop::forCurrentThread() {
    if (t_loopInThisThread != nullptr) return *t_loopInThisThread;
    t_ownedLoop = std::make_shared<TEventLoop>();
    return *t_ownedLoop;
}

TEventLoop* TEventLoop::current() { return t_loopInThisThread; }

bool TEventLoop::isInLoopThreadOrBlocked() const { return isInLoopThread() || blockedWaiters_.load() > 0; }

void TEventLoop::run() {
    if (!isInLoopThread()) fatal("run() called from a thread that does not own the loop");
    terminated_ = false;
    // terminated_ also ends the loop when a nested pump or wait (inside a
    // handler) consumed the quit request.
    while (!consumeQuit() && !terminated_) dispatchRound(-1);
}

void TEventLoop::pump() {
    if (!isInLoopThread()) fatal("pump() called from a thread that does not own the loop");
    // A peer that keeps sending must not hold the caller here for ever: a
    // bounded number of rounds, each of which drains what was ready.
    for (int round = 0; round < 16; ++round) {
        const int dispatched = dispatchRound(0);
        if (consumeQuit() || dispatched == 0) break;
    }
    // Tasks posted by this thread while it dispatched made no wake-up; an
    // outside loop watching fd() must still see that work is waiting.
    if (hasTasks_.load(std::memory_order_acquire)) wake();
}

bool TEventLoop::waitAndDispatch(Clock::time_point deadline) {
    if (!isInLoopThread()) {
        fatal("waitAndDispatch() called from a thread that does not own the loop");
    }
    if (waitHandler_) {
        const std::uint64_t before = dispatchCount_;
        const std::uint64_t quitsBefore = quitsConsumed_;
        waitHandler_(deadline);
        consumeQuit();
        return dispatchCount_ != before || quitsConsumed_ != quitsBefore;
    }
    for (;;) {
        if (consumeQuit()) return true;
        const auto now = Clock::now();
        int timeoutMs = 0;
        if (deadline > now) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            timeoutMs = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }
        const int dispatched = dispatchRound(timeoutMs);
        if (consumeQuit() || dispatched > 0) return true;
        if (Clock::now() >= deadline) return false;
    }
}

void TEventLoop::post(std::function<void()> task) {
    if (isInLoopThread()) {
        enqueue(std::move(task));
        return;
    }
    // Held across the wake-up: the loop may run the task, end and be destroyed
    // as soon as the task is queued; its destructor waits for this lock.
    std::lock_guard<std::mutex> lock(handle_->mutex_);
    enqueue(std::move(task));
}

void TEventLoop::quit() {
    if (isInLoopThread()) {
        requestQuit();
        return;
    }
    std::lock_guard<std::mutex> lock(handle_->mutex_);
    requestQuit();
}

void TEventLoop::enqueue(std::function<void()> task) {
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(taskMutex_);
        wasEmpty = tasks_.empty();
        tasks_.push_back(std::move(task));
        hasTasks_.store(true, std::memory_order_release);
    }
    // A post made by the owner thread while it dispatches is run in the same
    // round (or the next, which does not block while tasks wait), so it needs no
    // wake-up. Any other post must make the epoll descriptor readable, also for
    // an outside loop (Qt) that watches fd().
    if (wasEmpty && !(dispatchDepth_ > 0 && isInLoopThread())) wake();
}

void TEventLoop::requestQuit() {
    quitRequested_.store(true);
    if (!isInLoopThread()) wake();
}

std::uint64_t TEventLoop::addWatch(int fd, std::uint32_t events, Watcher* watcher) {
    std::lock_guard<std::mutex> lock(watchMutex_);
    const std::uint64_t token = nextToken_++;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = token;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) < 0) return 0;
    watches_.emplace(token, WatchEntry{fd, events, watcher});
    return token;
}

bool TEventLoop::modifyWatch(std::uint64_t token, std::uint32_t events) {
    std::lock_guard<std::mutex> lock(watchMutex_);
    auto it = watches_.find(token);
    if (it == watches_.end()) {
        errno = ENOENT;
        return false;
    }
    if (it->second.events == events) return true;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = token;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, it->second.fd, &ev) < 0) return false;
    it->second.events = events;
    return true;
}

void TEventLoop::removeWatch(std::uint64_t token) {
    std::lock_guard<std::mutex> lock(watchMutex_);
    auto it = watches_.find(token);
    if (it == watches_.end()) return;
    // Fails only when the descriptor is already closed, which removed it anyway.
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    watches_.erase(it);
}

int TEventLoop::dispatchRound(int timeoutMs) {
    if (hasTasks_.load(std::memory_order_acquire)) timeoutMs = 0;
    epoll_event events[kMaxEventsPerRound];
    int count = ::epoll_wait(epollFd_, events, kMaxEventsPerRound, timeoutMs);
    if (count < 0) {
        if (errno != EINTR) fatal("epoll_wait failed");
        count = 0;
    }
    const std::uint64_t myEpoch = ++epoch_;
    DepthScope depth(dispatchDepth_);
    int dispatched = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t token = events[i].data.u64;
        if (token == kWakeToken) {
            drainWakeFd();
            continue;
        }
        WatchEntry entry;
        {
            std::lock_guard<std::mutex> lock(watchMutex_);
            auto it = watches_.find(token);
            if (it == watches_.end()) continue;  // removed since the wait: stale
            entry = it->second;
        }
        std::uint32_t ready = events[i].events;
        if (epoch_ != myEpoch) {
            // A handler ran a nested wait that may already have consumed this
            // readiness; look again instead of delivering a stale event.
            pollfd p{entry.fd, static_cast<short>(entry.events & (POLLIN | POLLOUT | POLLRDHUP)), 0};
            if (::poll(&p, 1, 0) <= 0) continue;
            ready = static_cast<std::uint16_t>(p.revents);
        }
        ++dispatched;
        ++dispatchCount_;
        try {
            entry.watcher->handleEvents(ready);
        } catch (const std::exception& e) {
            reportEscaped("an event handler", e.what());
        } catch (...) {
            reportEscaped("an event handler", "unknown exception");
        }
    }
    dispatched += runPostedTasks();
    return dispatched;
}

int TEventLoop::runPostedTasks() {
    if (!hasTasks_.load(std::memory_order_acquire)) return 0;
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(taskMutex_);
        batch.swap(tasks_);
        hasTasks_.store(false, std::memory_order_relaxed);
    }
    int ran = 0;
    for (auto& task : batch) {
        ++ran;
        ++dispatchCount_;
        try {
            task();
        } catch (const std::exception& e) {
            reportEscaped("a posted task", e.what());
        } catch (...) {
            reportEscaped("a posted task", "unknown exception");
        }
    }
    return ran;
}

bool TEventLoop::consumeQuit() {
    if (!quitRequested_.exchange(false)) return false;
    terminated_ = true;
    ++quitsConsumed_;
    return true;
}

void TEventLoop::wake() {
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) already means "readable"; nothing else can fail here.
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void TEventLoop::drainWakeFd() {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &value, sizeof value);
}

void RunMessageLoop() { TEventLoop::forCurrentThread().run(); }

void PumpMessages() { TEventLoop::forCurrentThread().pump(); }

namespace {

// Signals the waiter even when the task is destroyed without running (the
// target loop ended first), so that the waiter is never left blocked.
struct CompletionGuard {
    std::shared_ptr<TCompletion> completion;
    ~CompletionGuard() {
        if (completion) {
            completion->finish(std::make_exception_ptr(
                std::runtime_error("runInLoopAndWait: the event loop ended before running the task")));
        }
    }
};

}  // namespace

void runInLoopAndWait(TEventLoop& loop, std::function<void()> task) {
    if (loop.isInLoopThread()) {
        task();
        return;
    }
    // Counted as blocked before the task can start, so that the task may use
    // this thread's sockets from its first instruction.
    TEventLoop::TBlockedScope blocked(TEventLoop::current());
    auto completion = std::make_shared<TCompletion>();
    auto guard = std::make_shared<CompletionGuard>();
    guard->completion = completion;
    loop.post([guard, task = std::move(task)]() mutable {
        std::exception_ptr error;
        try {
            task();
        } catch (...) {
            error = std::current_exception();
        }
        // Moved, not copied: the waiter alone then holds the exception.
        guard->completion->finish(std::move(error));
    });
    guard.reset();
    completion->wait();
}

}  // namespace zv
