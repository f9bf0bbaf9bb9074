// The main loop under Qt's loop: posted work runs while Qt's loop (or a
// modal dialog's) runs, and a synchronous wait keeps Qt's events flowing.
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "admin/qt_loop_bridge.h"
#include "net/event_loop.h"

namespace zv::admin::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class LoopBridgeTest : public ::testing::Test {
protected:
    TEventLoop& loop = TEventLoop::forCurrentThread();
    TQtLoopBridge bridge{loop};

    void TearDown() override {
        loop.pump();  // nothing left for the next test
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    }
};

TEST_F(LoopBridgeTest, WorkPostedFromAnotherThreadRunsUnderQtsLoopAndUnderAModalDialog) {
    std::atomic<bool> ran{false};
    std::thread poster([this, &ran] { loop.post([&ran] { ran = true; }); });
    EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran.load(); }, 10000));
    poster.join();

    QDialog dialog;
    bool ranInDialog = false;
    bool dialogWasOpen = false;
    std::thread later;
    QTimer::singleShot(0, &dialog, [&] {
        later = std::thread([&] {
            loop.post([&] {
                dialogWasOpen = QApplication::activeModalWidget() == &dialog;
                ranInDialog = true;
                dialog.accept();
            });
        });
    });
    dialog.exec();
    later.join();
    EXPECT_TRUE(ranInDialog);
    EXPECT_TRUE(dialogWasOpen);
}

TEST_F(LoopBridgeTest, SynchronousWaitRunsQtEventsAndEndsOnceTheLoopDispatched) {
    bool qtTimerFired = false;
    std::atomic<bool> taskRan{false};
    std::thread poster;
    // The Qt timer fires first; only then does the other thread post work.
    QTimer::singleShot(5, qApp, [&] {
        qtTimerFired = true;
        poster = std::thread([&] { loop.post([&taskRan] { taskRan = true; }); });
    });
    bool dispatched = false;
    const auto deadline = Clock::now() + 20s;
    while (!taskRan && Clock::now() < deadline) dispatched = loop.waitAndDispatch(deadline);
    poster.join();
    EXPECT_TRUE(qtTimerFired);
    EXPECT_TRUE(taskRan);
    EXPECT_TRUE(dispatched);
    EXPECT_EQ(bridge.waitDepth(), 0);
}

TEST_F(LoopBridgeTest, SynchronousWaitWithNothingToDoEndsAtItsDeadline) {
    bool qtTimerFired = false;
    QTimer::singleShot(1, qApp, [&] { qtTimerFired = true; });
    const auto deadline = Clock::now() + 100ms;
    EXPECT_FALSE(loop.waitAndDispatch(deadline));
    EXPECT_GE(Clock::now(), deadline);
    EXPECT_TRUE(qtTimerFired);
}

TEST_F(LoopBridgeTest, AWaitInsideAPumpedTaskStillDispatchesTheLoop) {
    // As a session step that mails a message: the step runs from the loop and
    // waits; an end handler posted meanwhile runs inside that wait.
    bool stepDone = false;
    std::atomic<bool> innerRan{false};
    bool innerRanInsideStep = false;
    std::thread poster;
    loop.post([&] {
        poster = std::thread([&] { loop.post([&innerRan] { innerRan = true; }); });
        const auto deadline = Clock::now() + 20s;
        while (!innerRan && Clock::now() < deadline) loop.waitAndDispatch(deadline);
        innerRanInsideStep = innerRan;
        stepDone = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&stepDone] { return stepDone; }, 20000));
    poster.join();
    EXPECT_TRUE(innerRanInsideStep);

    // And the bridge pumps again afterwards.
    std::atomic<bool> after{false};
    std::thread again([&] { loop.post([&after] { after = true; }); });
    EXPECT_TRUE(QTest::qWaitFor([&after] { return after.load(); }, 10000));
    again.join();
}

}  // namespace
}  // namespace zv::admin::test
