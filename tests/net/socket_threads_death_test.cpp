// The rule that a socket's operations run on its owner thread.
#include <gtest/gtest.h>

#include <thread>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

#ifndef NDEBUG
TEST(SocketThreadsDeathTest, AnOperationFromAnotherThreadWhileTheOwnerRunsIsFatalInDebugBuilds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TAsyncSocket s;
            std::jthread other([&] { s.Close(); });
            other.join();
        },
        "another thread");
}
#endif

}  // namespace
}  // namespace zv
