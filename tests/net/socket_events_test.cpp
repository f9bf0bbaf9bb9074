// Events fetched for a handle that the socket has replaced meanwhile.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketEvents, EventsOfAReplacedHandleDoNotReachTheNewConnection) {
    AdoptedPair first;
    AdoptedPair second;
    // The first socket's handler adopts the second connection's handle while
    // the first peer's close is already pending for the old handle.
    const int secondHandle = ::dup(second.socket->HSocket());
    second.socket.reset();
    int closed = 0;
    std::string text;
    first.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
    first.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        const std::string got = s.ReceiveText();
        text += got;
        if (got == "switch") s.Dup(secondHandle);
    };
    ASSERT_TRUE(test::sendAll(first.peer, "switch"));
    ::shutdown(first.peer, SHUT_WR);
    ASSERT_TRUE(pumpUntil([&] { return text == "switch"; }));
    TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(30));
    EXPECT_EQ(first.socket->State(), ssConnected);
    EXPECT_EQ(closed, 0);
    ASSERT_TRUE(test::sendAll(second.peer, "new peer"));
    ASSERT_TRUE(pumpUntil([&] { return text == "switchnew peer"; }));
}

}  // namespace
}  // namespace zv
