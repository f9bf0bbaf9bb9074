// A timer on an event loop: a timerfd watched by the loop, whose handler runs
// on the loop's thread once its deadline has passed. The one place where the
// loops get timers.
//
// Two clocks: the monotonic one for "in so many milliseconds", and the wall
// clock for "at this moment" (a time of day). A wall-clock timer fires early,
// telling so, when the system clock is set, so that its owner can work its
// deadline out again.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>

#include "net/event_loop.h"

namespace zv {

class TLoopTimer : private TEventLoop::Watcher {
public:
    enum class Clock { Monotonic, WallClock };
    // `clockSet` is true when the wall clock was set before the deadline.
    using Handler = std::function<void(bool clockSet)>;

    // Owns the timerfd; watched by `loop` until destroyed. Throws
    // std::system_error when the timer cannot be made or watched.
    TLoopTimer(TEventLoop& loop, Clock clock, Handler handler);
    ~TLoopTimer();
    TLoopTimer(const TLoopTimer&) = delete;
    TLoopTimer& operator=(const TLoopTimer&) = delete;

    // Monotonic timers: fire once `delay` has passed (at once for 0 or less).
    void startAfter(std::chrono::nanoseconds delay);
    // Wall-clock timers: fire at `at` (seconds since 1970), or when the clock
    // is set before.
    void startAt(std::time_t at);
    void cancel();

private:
    void handleEvents(std::uint32_t events) override;
    void arm(const struct itimerspec& timing, int flags);

    TEventLoop& loop_;
    const Clock clock_;
    Handler handler_;
    int fd_ = -1;
    std::uint64_t watch_ = 0;
};

}  // namespace zv
