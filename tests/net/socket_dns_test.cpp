// Name look-ups in the background, reported on the owner thread.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::pumpUntil;

TEST(SocketDns, ADottedAddressCompletesBeforeDnsLookupReturns) {
    TAsyncSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
    s.DnsLookup("127.000.000.001");
    EXPECT_EQ(done, (std::vector<int>{0}));
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"127.0.0.1"}));
}

TEST(SocketDns, ANameIsLookedUpInTheBackgroundAndReportedOnTheOwnerThread) {
    TAsyncSocket s;
    int done = -1;
    std::thread::id thread;
    s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) {
        done = error;
        thread = std::this_thread::get_id();
    };
    s.DnsLookup("localhost");
    ASSERT_TRUE(pumpUntil([&] { return done != -1; }));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");

    done = -1;
    s.DnsLookup("no-such-host.invalid");
    ASSERT_TRUE(pumpUntil([&] { return done != -1; }));
    EXPECT_GE(done, 11001);
    EXPECT_LE(done, 11004);
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(SocketDns, CancellingReportsInterruptedAndTheLateResultIsIgnored) {
    std::vector<int> done;
    {
        TAsyncSocket s;
        s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
        s.DnsLookup("localhost");
        s.CancelDnsLookup();
        EXPECT_EQ(done, (std::vector<int>{10004}));
        s.CancelDnsLookup();  // nothing pending: nothing happens
        EXPECT_EQ(done.size(), 1u);
        // Give the lookup thread time to post its (ignored) result.
        TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(200));
        EXPECT_EQ(done.size(), 1u);
        EXPECT_EQ(s.DnsResult(), "");

        // A lookup still running when the socket is destroyed reports nothing.
        s.DnsLookup("localhost");
    }
    TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(200));
    EXPECT_EQ(done.size(), 1u);
}

TEST(SocketDns, AnEmptyHostIsRefusedAndReportedAsDoneWithInvalidArgument) {
    TAsyncSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
    try {
        s.DnsLookup("");
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "DNS lookup: invalid host name.");
    }
    EXPECT_TRUE(done.empty());
    int errors = 0;
    s.OnError = [&](TAsyncSocket&) { ++errors; };
    s.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done, (std::vector<int>{10022}));
}

}  // namespace
}  // namespace zv
