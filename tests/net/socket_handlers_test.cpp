// Exceptions thrown by the handlers of a socket.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketHandlers, AnExceptionFromTheDataHandlerIsDroppedAndTheConnectionStays) {
    AdoptedPair pair;
    int calls = 0;
    int backgroundErrors = 0;
    pair.socket->OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) { ++backgroundErrors; };
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        ++calls;
        s.ReceiveText();
        throw std::runtime_error("step failed");
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "first"));
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    EXPECT_EQ(pair.socket->State(), ssConnected);
    ASSERT_TRUE(test::sendAll(pair.peer, "second"));
    ASSERT_TRUE(pumpUntil([&] { return calls == 2; }));
    EXPECT_EQ(pair.socket->State(), ssConnected);
    EXPECT_EQ(backgroundErrors, 0);
}

TEST(SocketHandlers, AfterADataHandlerThrowsBeforeReadingItIsCalledAgainOnlyWhenNewDataArrive) {
    AdoptedPair pair;
    int calls = 0;
    bool failing = true;
    std::string text;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        ++calls;
        if (failing) throw std::runtime_error("step failed before reading");
        text += s.ReceiveText();
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "first"));
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    // The bytes stay pending, yet the handler is not called again: the loop
    // sleeps instead of calling it without end.
    TEventLoop& loop = TEventLoop::forCurrentThread();
    const auto quietUntil = TEventLoop::Clock::now() + std::chrono::milliseconds(300);
    while (TEventLoop::Clock::now() < quietUntil) loop.waitAndDispatch(quietUntil);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(pair.socket->RcvdCount(), 5);
    EXPECT_EQ(pair.socket->State(), ssConnected);

    // New bytes bring the event back, with everything pending.
    failing = false;
    ASSERT_TRUE(test::sendAll(pair.peer, "second"));
    ASSERT_TRUE(pumpUntil([&] { return text == "firstsecond"; }));
    EXPECT_EQ(calls, 2);

    // Once a call went through, a handler that leaves bytes is called again at
    // once, as before.
    int partialCalls = 0;
    text.clear();
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        if (++partialCalls >= 3) text += s.ReceiveText();
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "third"));
    ASSERT_TRUE(pumpUntil([&] { return text == "third"; }));
    EXPECT_EQ(partialCalls, 3);
}

TEST(SocketHandlers, AnExceptionFromAnotherHandlerGoesToOnBackgroundErrorThenAborts) {
    {  // The accept handler fails: listening ends.
        TAsyncSocket server;
        server.setAddr("127.0.0.1");
        server.setPort("0");
        server.Listen();
        std::string seen;
        server.OnBackgroundError = [&](TAsyncSocket& s, const std::exception& e, bool& canClose) {
            EXPECT_EQ(&s, &server);
            EXPECT_TRUE(canClose);
            seen = e.what();
        };
        server.OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) {
            ::close(s.Accept());
            throw std::runtime_error("cannot start a session");
        };
        const int client = test::connectBlocking(server.boundPort());
        ASSERT_TRUE(pumpUntil([&] { return server.State() == ssClosed; }));
        EXPECT_EQ(seen, "cannot start a session");
        ::close(client);
    }
    {  // The handler keeps the socket by clearing the can-close flag.
        TAsyncSocket server;
        server.setAddr("127.0.0.1");
        server.setPort("0");
        server.Listen();
        int errors = 0;
        int accepted = 0;
        server.OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool& canClose) {
            ++errors;
            canClose = false;
        };
        server.OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) {
            ::close(s.Accept());
            ++accepted;
            throw 42;  // not even a std::exception
        };
        const int a = test::connectBlocking(server.boundPort());
        const int b = test::connectBlocking(server.boundPort());
        ASSERT_TRUE(pumpUntil([&] { return accepted == 2; }));
        EXPECT_EQ(errors, 2);
        EXPECT_EQ(server.State(), ssListening);
        ::close(a);
        ::close(b);
    }
    {  // OnDataSent fails without an OnBackgroundError: the socket is aborted.
        AdoptedPair pair;
        pair.socket->OnDataSent = [](TAsyncSocket&, std::uint16_t) { throw std::runtime_error("x"); };
        pair.socket->SendText("x");
        ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
    }
}

TEST(SocketHandlers, FailuresOfTheConnectCloseAndLookupHandlersAbortQuietly) {
    {  // OnSessionConnected
        int port = 0;
        const int listener = test::listenBlocking(&port);
        TAsyncSocket client;
        int background = 0;
        client.OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) { ++background; };
        client.OnSessionConnected = [](TAsyncSocket&, std::uint16_t) {
            throw std::runtime_error("connected handler failed");
        };
        client.setAddr("127.0.0.1");
        client.setPort(std::to_string(port));
        client.Connect();
        ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
        EXPECT_EQ(background, 1);
        ::close(listener);
    }
    {  // OnSessionClosed on a peer close: reported once, the loop goes on
        AdoptedPair pair;
        int background = 0;
        int closed = 0;
        pair.socket->OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) { ++background; };
        pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) {
            ++closed;
            throw std::runtime_error("closed handler failed");
        };
        ::close(pair.peer);
        pair.peer = -1;
        ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
        TEventLoop::current()->pump();
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(background, 1);
    }
    {  // OnDnsLookupDone from the background look-up
        TAsyncSocket s;
        int background = 0;
        s.OnBackgroundError = [&](TAsyncSocket&, const std::exception& e, bool&) {
            EXPECT_STREQ(e.what(), "lookup handler failed");
            ++background;
        };
        s.OnDnsLookupDone = [](TAsyncSocket&, std::uint16_t) {
            throw std::runtime_error("lookup handler failed");
        };
        s.DnsLookup("localhost");
        ASSERT_TRUE(pumpUntil([&] { return background == 1; }));
    }
}

}  // namespace
}  // namespace zv
