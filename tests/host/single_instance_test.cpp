// One server per user and data folder.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/single_instance.h"
#include "temp_dir.h"

namespace zv {
namespace {

TEST(SingleInstanceGuard, ASecondStartAsksTheFirstToRestoreAndTheSlotFreesWithIt) {
    test::TempDir dir;
    std::atomic<int> restores{0};
    {
        SingleInstanceGuard first(dir.path());
        ASSERT_EQ(first.acquire(), SingleInstanceGuard::Result::Acquired) << first.error();
        first.serveRestoreRequests([&] { ++restores; });

        SingleInstanceGuard second(dir.path());
        EXPECT_EQ(second.acquire(), SingleInstanceGuard::Result::OtherRunning);
        // The same folder named another way is the same instance.
        SingleInstanceGuard third(dir.path() + "/.");
        EXPECT_EQ(third.acquire(), SingleInstanceGuard::Result::OtherRunning);

        for (int i = 0; i < 500 && restores.load() < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(restores.load(), 2);

        // Another data folder is another instance.
        test::TempDir other;
        SingleInstanceGuard elsewhere(other.path());
        EXPECT_EQ(elsewhere.acquire(), SingleInstanceGuard::Result::Acquired);
    }
    SingleInstanceGuard again(dir.path());
    EXPECT_EQ(again.acquire(), SingleInstanceGuard::Result::Acquired);
}

TEST(SingleInstanceGuard, LongFolderNamesAreShortenedToFitTheSocketName) {
    const std::string longFolder = "/" + std::string(300, 'a');
    const std::string name = SingleInstanceGuard::socketNameFor(1000, longFolder);
    EXPECT_LE(name.size(), 107u);
    EXPECT_NE(name, SingleInstanceGuard::socketNameFor(1000, longFolder + "b"));
    EXPECT_NE(SingleInstanceGuard::socketNameFor(1000, "/data"),
              SingleInstanceGuard::socketNameFor(1001, "/data"));
}

}  // namespace
}  // namespace zv
