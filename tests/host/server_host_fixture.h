#pragma once
// The host in this process, in a fresh folder that is both the program
// folder and the current directory (where the data files go).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "host/platform_info.h"
#include "net/event_loop.h"
#include "recording_view.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace zv {

class ServerHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!localIPAddressOfHost()) {
            GTEST_SKIP() << "this computer's host name does not resolve to an IPv4 address";
        }
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        port_ = test::freeTcpPort();
        test::writeFile(dir_.file("zva.ini"),
                        "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=" + std::to_string(port_) +
                            "\r\nExpDays=0\r\nMaxLogSize=100\r\n");
    }
    void TearDown() override {
        if (!oldCwd_.empty()) {
            ASSERT_EQ(::chdir(oldCwd_.c_str()), 0);
        }
    }

    // Rewrites "zva.ini" with more [Options] lines after the usual ones.
    void writeIniWith(const std::string& moreOptions, const std::string& blockSize = "8192") {
        test::writeFile(dir_.file("zva.ini"), "[Options]\r\nBlockSize=" + blockSize +
                                                  "\r\nSMTPHost=\r\nPort=" + std::to_string(port_) +
                                                  "\r\nExpDays=0\r\nMaxLogSize=100\r\n" + moreOptions);
    }

    // Pumps the main loop until `done` holds (or a generous limit passes).
    void pumpUntil(const std::function<bool()>& done) {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < limit) {
            loop.waitAndDispatch(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        }
    }

    test::TempDir dir_;
    std::string oldCwd_;
    int port_ = 0;
    test::RecordingView view_;
};

}  // namespace zv
