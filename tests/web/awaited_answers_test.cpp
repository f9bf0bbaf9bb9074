// Requests that wait for an answer coming later: each gets exactly one
// reply, the part's own, the one its limit gives, or 503 at a stop.

#include "web/awaited_answers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "net/event_loop.h"

namespace zv::web {
namespace {

using namespace std::chrono_literals;

TEST(AwaitedAnswers, EachRequestGetsOneReplyFromItsAnswerItsLimitOrTheStop) {
    TEventLoop& loop = TEventLoop::forCurrentThread();
    TAwaitedAnswers awaited(loop);
    std::map<std::string, std::vector<int>> replies;
    std::map<std::string, std::function<void(TReply)>> answerOf;
    const auto ask = [&](const std::string& name, std::chrono::milliseconds limit) {
        TAwaited a;
        a.limit = limit;
        a.ask = [&, name](std::function<void(TReply)> answer) { answerOf[name] = std::move(answer); };
        a.late = [] { return errorReply(504, "late"); };
        awaited.begin(a, [&, name](TReply reply) { replies[name].push_back(reply.status); });
    };
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (!done() && std::chrono::steady_clock::now() < end)
            loop.waitAndDispatch(std::chrono::steady_clock::now() + 10ms);
    };

    ask("answered", 10s);
    ask("late", 50ms);
    ask("never", 10s);
    EXPECT_EQ(awaited.waiting(), 3u);
    // An answer from another thread (a directory's worker) arrives on the loop.
    std::thread([&] { answerOf["answered"](errorReply(201, "")); }).join();
    pumpUntil([&] { return replies.count("answered") && replies.count("late"); });
    EXPECT_EQ(replies["answered"], std::vector<int>{201});
    EXPECT_EQ(replies["late"], std::vector<int>{504});
    // What comes after the limit, or twice, is dropped.
    answerOf["late"](errorReply(200, ""));
    answerOf["answered"](errorReply(200, ""));
    loop.waitAndDispatch(std::chrono::steady_clock::now() + 50ms);
    EXPECT_EQ(replies["late"].size(), 1u);
    EXPECT_EQ(replies["answered"].size(), 1u);

    awaited.stop();
    EXPECT_EQ(replies["never"], std::vector<int>{503});
    EXPECT_EQ(awaited.waiting(), 0u);
    answerOf["never"](errorReply(200, ""));
    loop.waitAndDispatch(std::chrono::steady_clock::now() + 50ms);
    EXPECT_EQ(replies["never"].size(), 1u);
}

}  // namespace
}  // namespace zv::web
