// Arriving data and the data handler of a connected socket.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketData, TwoPeerSendsThatArriveBeforeTheHandlerRunComeBackAsOneText) {
    AdoptedPair pair;
    std::vector<std::string> texts;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t error) {
        EXPECT_EQ(error, 0);
        texts.push_back(s.ReceiveText());
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "READY_TO_"));
    ASSERT_TRUE(test::sendAll(pair.peer, "RECEIVE"));
    // Let both arrive before the loop runs (waiting without dispatching).
    int pending = 0;
    for (int i = 0; i < 2000 && pending < 16; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::ioctl(pair.socket->HSocket(), FIONREAD, &pending);
    }
    ASSERT_EQ(pending, 16);
    TEventLoop::current()->pump();
    EXPECT_EQ(texts, (std::vector<std::string>{"READY_TO_RECEIVE"}));
    EXPECT_EQ(pair.socket->ReadCount(), 16);
}

TEST(SocketData, AHandlerIsCalledAgainAtOnceWhileItLeavesBytesPending) {
    AdoptedPair pair;
    int calls = 0;
    std::string text;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        if (++calls >= 3) text += s.ReceiveText();  // reads only on the third call
    };
    ASSERT_TRUE(test::sendAll(pair.peer, "PUNCH_OUT:Doe,John:"));
    ASSERT_TRUE(pumpUntil([&] { return !text.empty(); }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(text, "PUNCH_OUT:Doe,John:");

    // One that reads everything is called once per arrival.
    calls = 0;
    text.clear();
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
        ++calls;
        text += s.ReceiveText();
    };
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(test::sendAll(pair.peer, "CONFIRM"));
        ASSERT_TRUE(pumpUntil([&] { return calls == i + 1; }));
    }
    EXPECT_EQ(text, "CONFIRMCONFIRMCONFIRM");
}

TEST(SocketData, ReceiveTextWithNothingPendingReceivesNothing) {
    AdoptedPair pair;
    const int before = pair.socket->ReadCount();
    EXPECT_EQ(pair.socket->RcvdCount(), 0);
    EXPECT_EQ(pair.socket->ReceiveText(), "");
    EXPECT_EQ(pair.socket->ReadCount(), before);
    EXPECT_EQ(pair.socket->State(), ssConnected);
    char buffer[8];
    EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(pair.socket->LastError(), 10035);
}

TEST(SocketData, WithoutAHandlerArrivingDataIsDiscardedAndTheSocketStaysOpen) {
    AdoptedPair pair;
    ASSERT_TRUE(test::sendAll(pair.peer, std::string(5000, 'd')));
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->ReadCount() == 5000; }));
    EXPECT_EQ(pair.socket->State(), ssConnected);
    EXPECT_EQ(pair.socket->RcvdCount(), 0);
}

}  // namespace
}  // namespace zv
