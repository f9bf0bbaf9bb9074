#include "web/awaited_answers.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "net/event_loop.h"
#include "net/loop_timer.h"

namespace zv::web {

TAwaitedAnswers::TAwaitedAnswers(TEventLoop& mainLoop)
    : mainLoop_(mainLoop), self_(std::make_shared<TAwaitedAnswers*>(this)) {}

TAwaitedAnswers::~TAwaitedAnswers() {
    *self_ = nullptr;
    stop();
}

void TAwaitedAnswers::begin(const TAwaited& awaited, Completion done) {
    if (!timer_) {
        timer_ =
            std::make_unique<TLoopTimer>(mainLoop_, TLoopTimer::Clock::Monotonic, [this](bool) { expire(); });
    }
    const std::uint64_t id = ++next_;
    entries_[id] = Entry{Clock::now() + awaited.limit, awaited.late, std::move(done)};
    rearm();
    std::weak_ptr<TAwaitedAnswers*> self = self_;
    std::shared_ptr<TLoopHandle> loop = mainLoop_.handle();
    try {
        awaited.ask([self, loop, id](TReply reply) {
            // On the main loop, where the entries are kept.
            loop->post([self, id, reply = std::move(reply)]() mutable {
                const auto answers = self.lock();
                if (answers && *answers) (*answers)->answer(id, std::move(reply));
            });
        });
    } catch (const std::exception& e) {
        answer(id, failureReply(e));
    }
}

void TAwaitedAnswers::answer(std::uint64_t id, TReply reply) {
    const auto it = entries_.find(id);
    if (it == entries_.end()) return;  // answered already (late, or stopped)
    Completion done = std::move(it->second.done);
    entries_.erase(it);
    done(std::move(reply));
}

void TAwaitedAnswers::expire() {
    const Clock::time_point now = Clock::now();
    std::vector<std::uint64_t> due;
    for (const auto& [id, entry] : entries_) {
        if (entry.deadline <= now) due.push_back(id);
    }
    for (const std::uint64_t id : due) {
        TReply reply;
        try {
            reply = entries_.at(id).late();
        } catch (const std::exception& e) {
            reply = failureReply(e);
        }
        answer(id, std::move(reply));
    }
    rearm();
}

void TAwaitedAnswers::rearm() {
    if (entries_.empty()) return;  // a timer that fires for nothing only looks again
    Clock::time_point next = Clock::time_point::max();
    for (const auto& entry : entries_) next = std::min(next, entry.second.deadline);
    timer_->startAfter(std::max<Clock::duration>(next - Clock::now(), std::chrono::milliseconds(1)));
}

void TAwaitedAnswers::stop() {
    std::map<std::uint64_t, Entry> waiting;
    waiting.swap(entries_);
    if (timer_) timer_->cancel();
    for (auto& [id, entry] : waiting) {
        entry.done(errorReply(503, "The server is shutting down; please try again later."));
    }
}

}  // namespace zv::web
