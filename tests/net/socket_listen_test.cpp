// A listening socket and its pending-connection handler.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::pumpUntil;

TEST(SocketListen, AHandlerThatDoesNotAcceptIsNotCalledAgainUntilAcceptIsCalled) {
    TAsyncSocket server;
    server.setAddr("127.0.0.1");
    server.setPort("0");
    server.Listen();
    int calls = 0;
    server.OnSessionAvailable = [&](TAsyncSocket&, std::uint16_t) { ++calls; };
    const int a = test::connectBlocking(server.boundPort());
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(30));
    EXPECT_EQ(calls, 1);
    const int handle = server.Accept();
    EXPECT_GT(handle, 0);
    EXPECT_EQ(server.Accept(), INVALID_SOCKET);  // nothing pending: no failure
    EXPECT_EQ(server.LastError(), 10035);
    EXPECT_EQ(server.State(), ssListening);
    ::close(handle);
    ::close(a);
}

}  // namespace
}  // namespace zv
