// Closing: the peer's close, OnSessionClosed at most once, destroying, Abort
// and Shutdown, linger.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketClose, ThePeerClosingDeliversPendingDataBeforeOnSessionClosed) {
    AdoptedPair pair;
    std::vector<std::string> events;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        events.push_back("data " + s.ReceiveText());
    };
    pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) {
        events.push_back("closed " + std::to_string(error));
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "CONFIRM"));
    ::close(pair.peer);
    pair.peer = -1;
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
    EXPECT_EQ(events, (std::vector<std::string>{"data CONFIRM", "closed 0"}));
    EXPECT_EQ(pair.socket->HSocket(), INVALID_SOCKET);
}

TEST(SocketClose, OnSessionClosedComesAtMostOncePerConnection) {
    {  // Close by the owner, with a handler that closes again.
        AdoptedPair pair;
        int closed = 0;
        pair.socket->OnSessionClosed = [&](TAsyncSocket& s, std::uint16_t error) {
            EXPECT_EQ(error, 0);
            ++closed;
            s.Close();
        };
        pair.socket->Close();
        pair.socket->Close();
        TEventLoop::current()->pump();
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(test::recvUntilClosed(pair.peer), "");
    }
    {  // A data handler closes while the peer's close is already reported.
        AdoptedPair pair;
        int closed = 0;
        pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
            s.ReceiveText();
            s.Close();
        };
        pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
        ASSERT_TRUE(test::sendAll(pair.peer, "PUNCH_OUT:x:"));
        ::shutdown(pair.peer, SHUT_WR);
        ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
        TEventLoop::current()->pump();
        EXPECT_EQ(closed, 1);
    }
    {  // The peer resets.
        AdoptedPair pair;
        int closed = 0;
        pair.socket->OnSessionClosed = [&](TAsyncSocket& s, std::uint16_t) {
            ++closed;
            s.Close();
        };
        test::setResetOnClose(pair.peer);
        ::close(pair.peer);
        pair.peer = -1;
        ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
        TEventLoop::current()->pump();
        EXPECT_EQ(closed, 1);
    }
    {  // A transmit fails after the peer reset: closed with the error, once.
        AdoptedPair pair;
        std::vector<int> closed;
        pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) { closed.push_back(error); };
        test::setResetOnClose(pair.peer);
        ::close(pair.peer);
        pair.peer = -1;
        // Wait for the reset to arrive without letting the loop see it.
        pollfd p{pair.socket->HSocket(), POLLIN, 0};
        for (int i = 0; i < 2000 && (p.revents & (POLLERR | POLLHUP)) == 0; ++i) ::poll(&p, 1, 10);
        ASSERT_NE(p.revents & (POLLERR | POLLHUP), 0);
        EXPECT_NO_THROW(pair.socket->SendText("DATA_COMPLETE"));
        EXPECT_EQ(pair.socket->State(), ssClosed);
        TEventLoop::current()->pump();
        ASSERT_EQ(closed.size(), 1u);
    }
}

TEST(SocketClose, DestroyingAConnectedSocketClosesItWithoutOnSessionClosed) {
    AdoptedPair pair;
    int closed = 0;
    pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
    pair.socket.reset();
    EXPECT_EQ(closed, 0);
    char c;
    EXPECT_LE(::recv(pair.peer, &c, 1, 0), 0);  // end of stream or reset
}

TEST(SocketClose, AbortDiscardsTheSendQueueAndShutdownEndsOneDirection) {
    {
        AdoptedPair pair;
        const long prefill = test::fillKernelBuffers(pair.socket->HSocket());
        pair.socket->SendText(std::string(100000, 'z'));
        EXPECT_FALSE(pair.socket->sendQueueChunkFill().empty());
        pair.socket->Abort();
        EXPECT_EQ(pair.socket->State(), ssClosed);
        EXPECT_TRUE(pair.socket->sendQueueChunkFill().empty());
        const std::string received = test::recvUntilClosed(pair.peer);
        EXPECT_LE(received.size(), static_cast<std::size_t>(prefill));  // the queued bytes never left
    }
    {
        AdoptedPair pair;
        std::string text;
        pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) { text += s.ReceiveText(); };
        pair.socket->SendText("bye");
        pair.socket->Shutdown(1);
        EXPECT_EQ(test::recvUntilClosed(pair.peer), "bye");  // end of stream seen
        ASSERT_TRUE(test::sendAll(pair.peer, "still reading"));
        ASSERT_TRUE(pumpUntil([&] { return text == "still reading"; }));
        EXPECT_EQ(pair.socket->State(), ssConnected);
    }
}

TEST(SocketClose, WithLingerOffTheCloseIsOrderlyAndThePeerGetsEverything) {
    AdoptedPair pair;
    pair.socket->setLingerOnOff(lingerOff);
    // Dup applied the default (on, 0 s); apply the new choice by adopting again.
    const int handle = ::dup(pair.socket->HSocket());
    pair.socket->Dup(handle);
    const std::string bytes = test::pattern(300000, 5);
    pair.socket->Send(bytes.data(), static_cast<int>(bytes.size()));
    std::string received;
    std::jthread reader([&] { received = test::recvUntilClosed(pair.peer); });
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->AllSent(); }));
    pair.socket->Close();
    reader.join();
    EXPECT_TRUE(received == bytes);
}

}  // namespace
}  // namespace zv
