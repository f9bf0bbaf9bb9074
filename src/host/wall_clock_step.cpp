#include "host/wall_clock_step.h"

#include <algorithm>
#include <exception>

#include "host/server_parts.h"
#include "net/loop_timer.h"
#include "stores/date_time.h"

namespace zv {

TWallClockStep::TWallClockStep(TServerParts& parts, std::function<void(std::time_t)> work,
                               std::function<std::optional<std::time_t>(std::time_t)> nextMoment,
                               TWallClockTexts texts)
    : parts_(parts), work_(std::move(work)), nextMoment_(std::move(nextMoment)), texts_(std::move(texts)) {}

TWallClockStep::~TWallClockStep() { stop(); }

void TWallClockStep::start() {
    if (alive_) return;
    alive_ = std::make_shared<bool>(true);
    try {
        timer_ = std::make_unique<TLoopTimer>(parts_.mainLoop, TLoopTimer::Clock::WallClock,
                                              [this](bool) { runSoon(); });
    } catch (const std::exception& e) {
        parts_.view.showMessage(MessageKind::Warning,
                                texts_.noTimer + e.what() + "\r" + texts_.noTimerConsequence);
    }
    runSoon();  // what came due while the server was down
}

void TWallClockStep::stop() {
    alive_.reset();
    timer_.reset();
    runPending_ = false;
}

void TWallClockStep::runSoon() {
    if (!alive_ || runPending_) return;
    runPending_ = true;
    // The step waits for its turn behind the client steps under way.
    std::weak_ptr<bool> alive = alive_;
    parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive] {
        if (!alive.lock()) return;
        runPending_ = false;
        // One reading of the clock for what is due and for the next moment:
        // read twice, a moment could pass between them, found not yet due
        // and then not waited for either.
        const std::time_t now = datetime::now();
        try {
            work_(now);
        } catch (const std::exception& e) {
            parts_.view.showMessage(MessageKind::Warning, texts_.failed + e.what());
        }
        if (alive.lock()) reschedule(now);
    });
}

void TWallClockStep::reschedule(std::time_t now) {
    if (!timer_) return;
    if (const auto next = nextMoment_(now))
        timer_->startAt(*next);
    else
        timer_->cancel();
}

}  // namespace zv
