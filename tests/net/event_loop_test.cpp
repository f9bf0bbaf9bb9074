#include "net/event_loop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "net_test_support.h"

namespace zv {
namespace {

using namespace std::chrono_literals;
using test::LoopThread;
using test::Signal;

TEST(EventLoop, TasksPostedFromOtherThreadsRunInOrderOnTheLoopThread) {
    std::vector<int> seen;
    std::vector<std::thread::id> threads;
    std::jthread worker([&] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        EXPECT_EQ(&loop, TEventLoop::current());
        EXPECT_EQ(&loop, &TEventLoop::forCurrentThread());
        std::jthread poster([&] {
            for (int i = 0; i < 100; ++i) {
                loop.post([&, i] {
                    seen.push_back(i);
                    threads.push_back(std::this_thread::get_id());
                });
            }
            loop.post([&] { loop.quit(); });
        });
        loop.run();
        poster.join();
        EXPECT_TRUE(loop.terminated());
        ASSERT_EQ(seen.size(), 100u);
        for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
        for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    });
    worker.join();
}

TEST(EventLoop, AQuitRequestFromAnyThreadEndsRunEvenWhenPostedBeforeRunStarts) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        loop.quit();
        loop.run();  // returns at once: the request was waiting
        EXPECT_TRUE(loop.terminated());

        std::jthread other([&] {
            std::this_thread::sleep_for(20ms);
            loop.quit();
        });
        loop.run();  // blocks until the other thread's request
        other.join();
        EXPECT_TRUE(loop.terminated());
    });
    worker.join();
}

TEST(EventLoop, PumpDispatchesWhatIsReadyNeverBlocksAndConsumesAQuit) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        loop.pump();  // nothing pending: returns
        EXPECT_FALSE(loop.terminated());

        int ran = 0;
        loop.post([&] { ++ran; });
        loop.post([&] { loop.post([&] { ++ran; }); });  // posted while dispatching
        PumpMessages();
        EXPECT_EQ(ran, 2);

        loop.quit();
        loop.pump();
        EXPECT_TRUE(loop.terminated());
        // The request was consumed there: a later run waits for a new one.
        std::jthread other([&] {
            std::this_thread::sleep_for(20ms);
            loop.post([&] { ++ran; });
            loop.quit();
        });
        loop.run();
        other.join();
        EXPECT_EQ(ran, 3);
    });
    worker.join();
}

TEST(EventLoop, WaitAndDispatchReturnsAtTheDeadlineOrWhenSomethingWasDispatched) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        const auto start = TEventLoop::Clock::now();
        EXPECT_FALSE(loop.waitAndDispatch(start + 30ms));
        EXPECT_GE(TEventLoop::Clock::now(), start + 30ms);
        EXPECT_FALSE(loop.waitAndDispatch(start));  // a deadline already passed

        bool ran = false;
        std::jthread other([&] {
            std::this_thread::sleep_for(10ms);
            loop.post([&] { ran = true; });
        });
        EXPECT_TRUE(loop.waitAndDispatch(TEventLoop::Clock::now() + test::kSafetyLimit));
        other.join();
        EXPECT_TRUE(ran);

        loop.quit();
        EXPECT_TRUE(loop.waitAndDispatch(TEventLoop::Clock::now() + test::kSafetyLimit));
        EXPECT_TRUE(loop.terminated());
    });
    worker.join();
}

TEST(EventLoop, AWaitHandlerDoesTheBlockingAndTheEpollDescriptorShowsWork) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        int handlerCalls = 0;
        // What an outside loop does: wait for fd() to be readable, then pump.
        loop.setWaitHandler([&](TEventLoop::Clock::time_point deadline) {
            ++handlerCalls;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TEventLoop::Clock::now());
            pollfd p{loop.fd(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count()))) > 0) loop.pump();
        });
        bool ran = false;
        std::jthread other([&] { loop.post([&] { ran = true; }); });
        other.join();
        EXPECT_TRUE(loop.waitAndDispatch(TEventLoop::Clock::now() + test::kSafetyLimit));
        EXPECT_TRUE(ran);
        EXPECT_FALSE(loop.waitAndDispatch(TEventLoop::Clock::now() + 10ms));
        EXPECT_EQ(handlerCalls, 2);
        // A quit request consumed by the handler's pump counts as dispatched.
        std::jthread quitter([&] { loop.quit(); });
        quitter.join();
        EXPECT_TRUE(loop.waitAndDispatch(TEventLoop::Clock::now() + test::kSafetyLimit));
        EXPECT_TRUE(loop.terminated());
        // An earlier quit does not make later waits return at once.
        EXPECT_FALSE(loop.waitAndDispatch(TEventLoop::Clock::now() + 10ms));
        loop.setWaitHandler(nullptr);
        EXPECT_FALSE(loop.waitAndDispatch(TEventLoop::Clock::now() + 10ms));
    });
    worker.join();
}

TEST(EventLoop, RunInLoopAndWaitRunsTheTaskOnTheTargetThreadAndRethrowsItsError) {
    LoopThread target;
    std::thread::id ranOn;
    runInLoopAndWait(target.loop(), [&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, target.id());

    EXPECT_THROW(runInLoopAndWait(target.loop(), [] { throw std::logic_error("step failed"); }),
                 std::logic_error);

    // On the loop's own thread the task simply runs.
    target.exec([&] {
        bool inline_ran = false;
        runInLoopAndWait(target.loop(), [&] { inline_ran = true; });
        EXPECT_TRUE(inline_ran);
    });
}

TEST(EventLoop, HandedOverTasksRunWhileTheTargetWaitsInWaitAndDispatch) {
    // The main thread waits for a mail host (waitAndDispatch) while a session
    // thread hands it a step: the step must run inside that wait.
    std::jthread mainLike([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        Signal stepRan;
        std::jthread session([&] {
            TEventLoop::forCurrentThread();
            runInLoopAndWait(loop, [&] { stepRan.notify(); });
        });
        const auto deadline = TEventLoop::Clock::now() + test::kSafetyLimit;
        while (stepRan.count() == 0 && TEventLoop::Clock::now() < deadline) {
            loop.waitAndDispatch(deadline);
        }
        session.join();
        EXPECT_EQ(stepRan.count(), 1);
    });
    mainLike.join();
}

TEST(EventLoop, AWaiterIsReleasedWithAnErrorWhenTheLoopEndsBeforeRunningItsTask) {
    std::promise<TEventLoop*> created;
    std::promise<void> posted;
    std::jthread owner([&] {
        auto loop = std::make_unique<TEventLoop>();
        created.set_value(loop.get());
        posted.get_future().wait();
        std::this_thread::sleep_for(20ms);
        loop.reset();  // destroyed with the task still queued
    });
    TEventLoop* loop = created.get_future().get();
    std::jthread waiter([&] {
        std::jthread signaller([&] {
            std::this_thread::sleep_for(10ms);
            posted.set_value();
        });
        EXPECT_THROW(runInLoopAndWait(*loop, [] {}), std::runtime_error);
        signaller.join();
    });
    waiter.join();
    owner.join();
}

TEST(EventLoop, TheHandleOfALoopOutlivesItAndPostingThroughItThenDoesNothing) {
    std::shared_ptr<TLoopHandle> handle;
    std::jthread worker([&] {
        TEventLoop loop;
        handle = loop.handle();
        int ran = 0;
        EXPECT_TRUE(handle->post([&] { ++ran; }));
        loop.pump();
        EXPECT_EQ(ran, 1);
    });
    worker.join();
    EXPECT_FALSE(handle->post([] {}));
    EXPECT_FALSE(handle->quit());
}

TEST(EventLoop, IsInLoopThreadOrBlockedHoldsOnlyOnTheOwnerOrWhileItWaits) {
    LoopThread owner;
    EXPECT_FALSE(owner.loop().isInLoopThread());
    EXPECT_FALSE(owner.loop().isInLoopThreadOrBlocked());
    owner.exec([&] { EXPECT_TRUE(owner.loop().isInLoopThreadOrBlocked()); });

    // While the owner waits for this thread's loop, this thread may act for it.
    std::jthread helper([&] {
        TEventLoop& helperLoop = TEventLoop::forCurrentThread();
        std::jthread runner([&] {
            bool sawBlocked = false;
            owner.exec([&] {
                runInLoopAndWait(helperLoop, [&] { sawBlocked = owner.loop().isInLoopThreadOrBlocked(); });
            });
            EXPECT_TRUE(sawBlocked);
            helperLoop.quit();
        });
        helperLoop.run();
        runner.join();
    });
    helper.join();
    EXPECT_FALSE(owner.loop().isInLoopThreadOrBlocked());
}

TEST(EventLoop, ATaskThatThrowsDoesNotStopTheTasksAfterIt) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        bool after = false;
        loop.post([] { throw std::runtime_error("ignored by the loop"); });
        loop.post([&] { after = true; });
        testing::internal::CaptureStderr();
        loop.pump();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(after);
        EXPECT_NE(err.find("ignored by the loop"), std::string::npos);
    });
    worker.join();
}

TEST(EventLoopDeathTest, ASecondLoopOnOneThreadIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TEventLoop::forCurrentThread();
            TEventLoop second;
        },
        "second event loop");
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// A readable eventfd registered with the loop; counts its deliveries.
struct ReadyFd : TEventLoop::Watcher {
    explicit ReadyFd(TEventLoop& l) : loop(l) {
        fd = ::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
        token = loop.addWatch(fd, EPOLLIN, this);
    }
    ~ReadyFd() {
        if (token != 0) loop.removeWatch(token);
        ::close(fd);
    }
    void handleEvents(std::uint32_t) override {
        ++calls;
        if (onEvent) onEvent();
    }
    void drain() {
        std::uint64_t value;
        [[maybe_unused]] auto n = ::read(fd, &value, sizeof value);
    }
    TEventLoop& loop;
    int fd = -1;
    std::uint64_t token = 0;
    int calls = 0;
    std::function<void()> onEvent;
};

TEST(EventLoopWatches, AnEventOfAWatchRemovedEarlierInTheSameBatchIsNotDelivered) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        ReadyFd a(loop), b(loop);
        ASSERT_NE(a.token, 0u);
        // Whichever runs first removes the other, whose event is already fetched.
        a.onEvent = [&] {
            a.drain();
            loop.removeWatch(b.token);
        };
        b.onEvent = [&] {
            b.drain();
            loop.removeWatch(a.token);
        };
        loop.pump();
        EXPECT_EQ(a.calls + b.calls, 1);
    });
    worker.join();
}

TEST(EventLoopWatches, ReadinessConsumedByANestedWaitIsNotDeliveredAgain) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        ReadyFd a(loop), b(loop);
        auto nested = [&](ReadyFd& self) {
            return [&] {
                self.drain();
                loop.pump();  // a handler that waits dispatches the other one there
            };
        };
        a.onEvent = nested(a);
        b.onEvent = nested(b);
        loop.pump();
        EXPECT_EQ(a.calls, 1);
        EXPECT_EQ(b.calls, 1);
    });
    worker.join();
}

TEST(EventLoopWatches, AWatchOnABadDescriptorFailsWithErrno) {
    std::jthread worker([] {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        struct Nothing : TEventLoop::Watcher {
            void handleEvents(std::uint32_t) override {}
        } nothing;
        errno = 0;
        EXPECT_EQ(loop.addWatch(-1, EPOLLIN, &nothing), 0u);
        EXPECT_EQ(errno, EBADF);
        EXPECT_FALSE(loop.modifyWatch(12345, EPOLLIN));
        loop.removeWatch(12345);  // unknown: nothing happens
    });
    worker.join();
}

}  // namespace
}  // namespace zv
