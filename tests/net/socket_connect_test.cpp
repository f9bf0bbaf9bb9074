// Connecting: the connect event on the owner thread, and a refused connect.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::pumpUntil;

TEST(SocketConnect, AConnectCompletesThroughTheConnectEvent) {
    int port = 0;
    const int listener = test::listenBlocking(&port);
    TAsyncSocket client;
    std::vector<TSocketState> states;
    client.OnChangeState = [&](TAsyncSocket&, TSocketState, TSocketState to) { states.push_back(to); };
    int connected = -1;
    client.OnSessionConnected = [&](TAsyncSocket& s, std::uint16_t error) {
        EXPECT_EQ(s.State(), ssConnected);
        connected = error;
    };
    client.setAddr("localhost");
    client.setPort(std::to_string(port));
    client.Connect();
    EXPECT_EQ(client.State(), ssConnecting);
    ASSERT_TRUE(pumpUntil([&] { return connected != -1; }));
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(states, (std::vector<TSocketState>{ssOpened, ssConnecting, ssConnected}));

    const int server = test::acceptBlocking(listener);
    EXPECT_EQ(client.SendText("HELO"), 4);
    EXPECT_EQ(test::recvExactly(server, 4), "HELO");
    ::close(server);
    ::close(listener);
}

TEST(SocketConnect, ARefusedConnectReportsItsErrorAndThenCloses) {
    int port = 0;
    const int listener = test::listenBlocking(&port);
    ::close(listener);  // nobody listens there now
    TAsyncSocket client;
    std::vector<std::string> events;
    client.OnSessionConnected = [&](TAsyncSocket&, std::uint16_t error) {
        events.push_back("connected " + std::to_string(error));
    };
    client.OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) {
        events.push_back("closed " + std::to_string(error));
    };
    client.setAddr("127.0.0.1");
    client.setPort(std::to_string(port));
    client.Connect();
    ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
    EXPECT_EQ(events, (std::vector<std::string>{"connected 10061", "closed 0"}));

    // The same settings given again make the socket usable for a new attempt.
    client.setAddr("127.0.0.1");
    client.setPort(std::to_string(port));
    EXPECT_NO_THROW(client.Connect());
    ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
}

}  // namespace
}  // namespace zv
