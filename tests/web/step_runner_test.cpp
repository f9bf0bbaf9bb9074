// The HTTP side's steps on the main loop: in order, under the session mutex,
// and at a stop either run whole or not at all.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "net/event_loop.h"
#include "protocol/session_mutex.h"
#include "web/step_runner.h"

namespace zv::web {
namespace {

using namespace std::chrono_literals;

struct Answers {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int> statuses;  // in the order they came

    void add(int status) {
        std::lock_guard lock(mutex);
        statuses.push_back(status);
        cv.notify_all();
    }
};

TEST(StepRunner, StepsRunOnTheMainLoopInTheirOrderAndAStopRunsNoneStillQueued) {
    TEventLoop& loop = TEventLoop::forCurrentThread();
    TSessionMutex sessionMutex;
    TStepRunner runner(loop, [&](const std::function<void()>& step) { sessionMutex.runStep(loop, step); });
    runner.start();

    Answers answers;
    std::vector<int> ran;
    std::atomic<bool> onLoopThread{true};
    for (int i = 0; i < 3; ++i) {
        runner.submit(
            [&, i] {
                onLoopThread = onLoopThread && loop.isInLoopThread();
                ran.push_back(i);
                return errorReply(200 + i, "ran");
            },
            [&](TReply reply) { answers.add(reply.status); });
    }
    // The main loop turns: each step runs there, first come first served.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ran.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        loop.waitAndDispatch(std::chrono::steady_clock::now() + 20ms);
    }
    {
        std::unique_lock lock(answers.mutex);
        answers.cv.wait_for(lock, 5s, [&] { return answers.statuses.size() == 3; });
    }
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(onLoopThread);
    EXPECT_EQ(answers.statuses, (std::vector<int>{200, 201, 202}));

    // Stopping: the step under way (if any) runs whole; those still queued
    // never run and are answered 503.
    std::atomic<int> laterRan{0};
    runner.submit([&] { ++laterRan; return errorReply(210, "ran"); }, [&](TReply r) { answers.add(r.status); });
    runner.submit([&] { ++laterRan; return errorReply(211, "ran"); }, [&](TReply r) { answers.add(r.status); });
    runner.stop();
    {
        std::unique_lock lock(answers.mutex);
        answers.cv.wait_for(lock, 5s, [&] { return answers.statuses.size() == 5; });
    }
    ASSERT_EQ(answers.statuses.size(), 5u);
    // Each job was answered once: with its own reply when it ran, 503 when not.
    int ranAnswers = 0, refused = 0;
    for (std::size_t i = 3; i < 5; ++i) {
        if (answers.statuses[i] == 503) ++refused;
        else ++ranAnswers;
    }
    EXPECT_EQ(ranAnswers, laterRan.load());
    EXPECT_EQ(ranAnswers + refused, 2);

    // After the stop nothing more runs.
    runner.submit([&] { ++laterRan; return errorReply(299, "ran"); }, [&](TReply r) { answers.add(r.status); });
    EXPECT_EQ(answers.statuses.back(), 503);
    loop.pump();
    EXPECT_LE(laterRan.load(), 2);
}

}  // namespace
}  // namespace zv::web
