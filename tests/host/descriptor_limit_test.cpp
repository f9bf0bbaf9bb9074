// The server raises its soft descriptor limit so that many clients fit.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/platform_info.h"

namespace zv {
namespace {

TEST(DescriptorLimit, IsRaisedToTheHardLimit) {
    // In a child, so that the test process keeps its own limits.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(10);
        if (limit.rlim_max > 64) {
            limit.rlim_cur = 64;  // as low as a strict login would set it
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(11);
        }
        long soft = 0;
        if (!raiseDescriptorLimit(soft).empty()) ::_exit(12);
        rlimit now{};
        if (::getrlimit(RLIMIT_NOFILE, &now) != 0) ::_exit(13);
        if (now.rlim_cur != limit.rlim_max || soft != static_cast<long>(now.rlim_cur)) ::_exit(14);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zv
