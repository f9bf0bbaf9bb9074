#include "net/loop_timer.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace zv {

TLoopTimer::TLoopTimer(TEventLoop& loop, Clock clock, Handler handler)
    : loop_(loop), clock_(clock), handler_(std::move(handler)) {
    fd_ = ::timerfd_create(clock == Clock::Monotonic ? CLOCK_MONOTONIC : CLOCK_REALTIME,
                           TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
    watch_ = loop_.addWatch(fd_, EPOLLIN, this);
    if (watch_ == 0) {
        const int err = errno;
        ::close(fd_);
        throw std::system_error(err, std::generic_category(), "watching a timer");
    }
}

TLoopTimer::~TLoopTimer() {
    loop_.removeWatch(watch_);
    ::close(fd_);
}

void TLoopTimer::arm(const itimerspec& timing, int flags) {
    if (::timerfd_settime(fd_, flags, &timing, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "timerfd_settime");
    }
}

void TLoopTimer::startAfter(std::chrono::nanoseconds delay) {
    // A zero value would disarm the timer: the shortest wait stands for "now".
    if (delay < std::chrono::nanoseconds(1)) delay = std::chrono::nanoseconds(1);
    itimerspec timing{};
    timing.it_value.tv_sec = static_cast<time_t>(delay.count() / 1000000000);
    timing.it_value.tv_nsec = static_cast<long>(delay.count() % 1000000000);
    arm(timing, 0);
}

void TLoopTimer::startAt(std::time_t at) {
    itimerspec timing{};
    timing.it_value.tv_sec = at > 0 ? at : 1;
    arm(timing, clock_ == Clock::WallClock ? TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET : TFD_TIMER_ABSTIME);
}

void TLoopTimer::cancel() {
    const itimerspec none{};
    arm(none, 0);
}

void TLoopTimer::handleEvents(std::uint32_t) {
    std::uint64_t expirations = 0;
    bool fired = false;
    bool clockSet = false;
    for (;;) {
        const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
        if (n == static_cast<ssize_t>(sizeof expirations)) {
            fired = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // ECANCELED: the wall clock was set; the timer stays armed no longer.
        if (n < 0 && errno == ECANCELED) clockSet = true;
        break;
    }
    if ((fired || clockSet) && handler_) handler_(clockSet);
}

}  // namespace zv
