#pragma once
// The requests that wait for an answer coming later (TAwaited, a directory's
// check of a password): each is asked on the main loop and answered exactly
// once, by the part asked, by its time limit, or with 503 when the HTTP side
// stops, so that no request waits for ever and none holds a thread while it
// waits. One timer on the main loop serves every limit. Main thread only;
// owns the timer. The completions resume the requests.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "web/http_reply.h"

namespace zv {
class TEventLoop;
class TLoopTimer;
}  // namespace zv

namespace zv::web {

class TAwaitedAnswers {
public:
    using Completion = std::function<void(TReply)>;
    using Clock = std::chrono::steady_clock;

    explicit TAwaitedAnswers(TEventLoop& mainLoop);
    // Answers what still waits.
    ~TAwaitedAnswers();
    TAwaitedAnswers(const TAwaitedAnswers&) = delete;
    TAwaitedAnswers& operator=(const TAwaitedAnswers&) = delete;

    // Asks, and gives `done` the answer, exactly once. Throws
    // std::system_error (nothing asked, `done` not called) when the timer
    // cannot be made.
    void begin(const TAwaited& awaited, Completion done);
    // Every request still waiting is answered 503; later answers are dropped.
    void stop();
    std::size_t waiting() const { return entries_.size(); }

private:
    struct Entry {
        Clock::time_point deadline;
        std::function<TReply()> late;
        Completion done;
    };
    void answer(std::uint64_t id, TReply reply);
    // Answers the requests whose limit has passed; the timer then waits for
    // the next limit.
    void expire();
    // The timer waits for the earliest limit.
    void rearm();

    TEventLoop& mainLoop_;
    std::unique_ptr<TLoopTimer> timer_;
    std::map<std::uint64_t, Entry> entries_;
    std::uint64_t next_ = 0;
    // The answers' way back, which may come after this object is gone.
    std::shared_ptr<TAwaitedAnswers*> self_;
};

}  // namespace zv::web
