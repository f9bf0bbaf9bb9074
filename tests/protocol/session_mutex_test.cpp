// The session mutex runs the steps of all sessions on the main loop, one at a
// time, in the order the sessions asked, and always goes on to the next
// session: after a step that threw, and when the main loop ends first.

#include "protocol/session_mutex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "main_loop_thread.h"
#include "net/event_loop.h"
#include "stores/file_access.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

// Waits until `mutex` counts `n` sessions (holder and waiters).
void waitUntilQueued(TSessionMutex& mutex, std::size_t n) {
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (mutex.queued() != n) {
        ASSERT_LT(std::chrono::steady_clock::now(), limit) << "expected " << n << " sessions queued";
        std::this_thread::yield();
    }
}

// A gate the first step waits behind until the test opens it.
class TGate {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

TEST(SessionMutex, StepsRunOnTheMainLoopOneAtATimeInTheOrderAskedAndAThrowingStepPassesItOn) {
    test::TMainLoopThread main;
    TSessionMutex mutex;
    EXPECT_EQ(mutex.queued(), 0u);

    std::mutex recordMutex;
    std::vector<int> order;
    std::vector<std::thread::id> ranOn;
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    auto record = [&](int who) {
        const int now = ++inside;
        if (now > mostInside) mostInside = now;
        std::this_thread::sleep_for(1ms);
        {
            std::lock_guard lock(recordMutex);
            order.push_back(who);
            ranOn.push_back(std::this_thread::get_id());
        }
        --inside;
    };

    TGate gate;
    std::thread first([&] { mutex.runStep(main.loop(), [&] { gate.pass(); record(0); }); });
    waitUntilQueued(mutex, 1);

    std::vector<std::thread> sessions;
    std::atomic<int> thrownSeen{0};
    for (int i = 1; i <= 6; ++i) {
        sessions.emplace_back([&, i] {
            try {
                mutex.runStep(main.loop(), [&, i] {
                    record(i);
                    if (i == 3) throw std::runtime_error("step 3 failed");
                });
            } catch (const std::runtime_error& e) {
                if (std::string(e.what()) == "step 3 failed") ++thrownSeen;
            }
        });
        // The next session asks only once this one waits.
        waitUntilQueued(mutex, static_cast<std::size_t>(i) + 1);
    }
    gate.open();
    first.join();
    for (auto& t : sessions) t.join();

    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(mostInside, 1);
    EXPECT_EQ(thrownSeen, 1) << "the failing step's error reaches its own session";
    std::thread::id mainId;
    main.loop().handle()->post([&] { mainId = std::this_thread::get_id(); });
    mutex.runStep(main.loop(), [] {});  // after the post above: the id is set
    for (const auto& id : ranOn) EXPECT_EQ(id, mainId);
    EXPECT_EQ(mutex.queued(), 0u);
}

TEST(SessionMutex, GroupedStepsQueuedTogetherSaveOnceBeforeAnyOfThemReturnsAndShareAFailedSave) {
    test::TMainLoopThread main;
    TSessionMutex mutex;
    std::mutex eventsMutex;
    std::vector<std::string> events;
    auto note = [&](const std::string& what) {
        std::lock_guard lock(eventsMutex);
        events.push_back(what);
    };
    bool failSaves = false;  // read and written on the main loop only
    const int store = 0;     // the owner of the recorded save
    // A step as a client's is: it changes the store, commits, and would reply.
    auto stepSaving = [&](const std::string& name, bool throws) {
        return [&, name, throws] {
            fileio::TDirectorySyncBatch batch;
            note(name);
            fileio::deferWrite(&store, [&] {
                note("save");
                if (failSaves) throw std::runtime_error("disk full");
            });
            batch.commit();
            if (throws) throw std::runtime_error(name + " failed");
        };
    };

    // Behind a step that holds the mutex: three grouped steps, a plain one,
    // a grouped one; each session asks once the one before it waits.
    auto round = [&](bool failing) {
        events.clear();
        TGate gate;
        std::vector<std::thread> sessions;
        std::vector<std::string> errors(6);
        sessions.emplace_back([&] { mutex.runStep(main.loop(), [&] { gate.pass(); failSaves = failing; }); });
        waitUntilQueued(mutex, 1);
        const std::vector<std::string> names{"g1", "g2", "g3", "p", "g4"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            sessions.emplace_back([&, i] {
                try {
                    if (names[i] == "p")
                        mutex.runStep(main.loop(), stepSaving("p", false));
                    else
                        mutex.runGroupedStep(main.loop(), stepSaving(names[i], names[i] == "g2"));
                    note("return " + names[i]);
                } catch (const std::exception& e) {
                    errors[i] = e.what();
                    note("return " + names[i]);
                }
            });
            waitUntilQueued(mutex, i + 2);
        }
        gate.open();
        for (auto& t : sessions) t.join();
        return errors;
    };

    std::vector<std::string> errors = round(false);
    // g1 to g3 ran in one turn and saved once, before any of them heard back;
    // the plain step ran alone and saved at its commit; g4 made a group of
    // its own.
    auto at = [&](const std::string& what) {
        return std::find(events.begin(), events.end(), what) - events.begin();
    };
    ASSERT_EQ(std::count(events.begin(), events.end(), "save"), 3) << testing::PrintToString(events);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
              (std::vector<std::string>{"g1", "g2", "g3", "save"}));
    for (const char* member : {"return g1", "return g2", "return g3"}) EXPECT_GT(at(member), 3) << member;
    EXPECT_EQ(errors[1], "g2 failed") << "a step's own failure reaches its session alone";
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[2], "");

    // When the group's save fails, every step of the group is told.
    errors = round(true);
    for (std::size_t i : {0u, 1u, 2u, 4u}) EXPECT_NE(errors[i].find("disk full"), std::string::npos) << i;
    EXPECT_NE(errors[3].find("disk full"), std::string::npos) << "the plain step's own commit failed too";
    EXPECT_EQ(mutex.queued(), 0u);
}

TEST(SessionMutex, AStepThatKeepsTheLoopTurningLetsNoOtherStepIn) {
    test::TMainLoopThread main;
    TSessionMutex mutex;
    std::atomic<bool> firstRunning{false};
    std::atomic<bool> secondRanInsideFirst{false};
    std::atomic<bool> otherTaskRan{false};

    std::thread first([&] {
        mutex.runStep(main.loop(), [&] {
            firstRunning = true;
            // Like a step waiting for the mail host: the loop keeps running
            // other work meanwhile.
            const auto until = std::chrono::steady_clock::now() + 150ms;
            while (std::chrono::steady_clock::now() < until) {
                main.loop().pump();
                std::this_thread::sleep_for(1ms);
            }
            firstRunning = false;
        });
    });
    waitUntilQueued(mutex, 1);
    while (!firstRunning) std::this_thread::yield();
    std::thread second([&] { mutex.runStep(main.loop(), [&] { secondRanInsideFirst = firstRunning.load(); }); });
    waitUntilQueued(mutex, 2);
    main.loop().handle()->post([&] { otherTaskRan = true; });
    first.join();
    second.join();
    EXPECT_FALSE(secondRanInsideFirst);
    EXPECT_TRUE(otherTaskRan) << "other work of the loop goes on during the wait";
}

TEST(SessionMutex, WhenTheMainLoopEndsFirstEveryWaitingSessionIsToldAndNoneIsLeftHanging) {
    TSessionMutex mutex;
    std::mutex loopMutex;
    std::condition_variable loopCv;
    TEventLoop* loop = nullptr;
    std::shared_ptr<TLoopHandle> handle;
    TGate gate;
    std::thread mainThread([&] {
        TEventLoop& own = TEventLoop::forCurrentThread();
        {
            std::lock_guard lock(loopMutex);
            loop = &own;
            handle = own.handle();
        }
        loopCv.notify_all();
        own.run();
        // The loop goes with this thread, with the step handed to it last.
    });
    {
        std::unique_lock lock(loopMutex);
        loopCv.wait(lock, [&] { return loop != nullptr; });
    }

    // The first step ends the loop; two sessions wait behind it.
    std::thread first([&] {
        mutex.runStep(*loop, [&] {
            gate.pass();
            TEventLoop::current()->quit();
        });
    });
    waitUntilQueued(mutex, 1);
    std::atomic<int> told{0};
    std::vector<std::thread> waiting;
    for (int i = 0; i < 2; ++i) {
        waiting.emplace_back([&] {
            try {
                mutex.runStep(*loop, [] { ADD_FAILURE() << "a step ran after the loop ended"; });
            } catch (const std::runtime_error&) {
                ++told;
            }
        });
        waitUntilQueued(mutex, static_cast<std::size_t>(i) + 2);
    }
    gate.open();
    first.join();
    for (auto& t : waiting) t.join();
    mainThread.join();
    EXPECT_EQ(told, 2);
    EXPECT_EQ(mutex.queued(), 0u);
    EXPECT_FALSE(handle->post([] {})) << "the loop is gone";
}

TEST(SessionMutex, StepsStillQueuedWhenTheMutexObjectGoesRunAndPassItOn) {
    test::TMainLoopThread main;
    auto mutex = std::make_unique<TSessionMutex>();
    TSessionMutex* raw = mutex.get();
    TGate gate;
    std::atomic<int> ran{0};
    std::atomic<bool> firstRunning{false};
    std::thread first([&] {
        raw->runStep(main.loop(), [&] {
            firstRunning = true;
            gate.pass();
            ++ran;
        });
    });
    while (!firstRunning) std::this_thread::yield();
    std::thread second([&] { raw->runStep(main.loop(), [&] { ++ran; }); });
    waitUntilQueued(*raw, 2);
    mutex.reset();  // as at the end of the program
    gate.open();
    first.join();
    second.join();
    EXPECT_EQ(ran, 2);
}

TEST(SessionMutex, AskingOnTheMainLoopsOwnThreadIsRefused) {
    test::TMainLoopThread main;
    TSessionMutex mutex;
    std::atomic<bool> refused{false};
    std::thread asker([&] {
        mutex.runStep(main.loop(), [&] {
            try {
                mutex.runStep(main.loop(), [] {});
            } catch (const std::logic_error&) {
                refused = true;
            }
        });
    });
    asker.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(mutex.queued(), 0u);
}

}  // namespace
}  // namespace zv
