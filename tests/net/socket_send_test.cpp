// Sending through the send queue: its chunks, OnDataSent, large and urgent
// sends.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketSend, FiveThousandBytesFillChunksOf1514AndAllArriveInOrder) {
    AdoptedPair pair;
    int dataSent = 0;
    pair.socket->OnDataSent = [&](TAsyncSocket& s, std::uint16_t error) {
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(s.AllSent());
        ++dataSent;
    };
    const long prefill = test::fillKernelBuffers(pair.socket->HSocket());
    ASSERT_GT(prefill, 0);
    const std::string bytes = test::pattern(5000);
    EXPECT_EQ(pair.socket->Send(bytes.data(), 5000), 5000);  // the stack takes none now
    EXPECT_EQ(pair.socket->sendQueueChunkFill(), (std::vector<int>{1514, 1514, 1514, 458}));
    EXPECT_FALSE(pair.socket->AllSent());
    EXPECT_EQ(pair.socket->Send(bytes.data(), 0), 0);

    std::string received;
    std::jthread reader(
        [&] { received = test::recvExactly(pair.peer, static_cast<std::size_t>(prefill) + 5000); });
    ASSERT_TRUE(pumpUntil([&] { return dataSent > 0; }));
    reader.join();
    ASSERT_EQ(received.size(), static_cast<std::size_t>(prefill) + 5000);
    EXPECT_EQ(received.substr(static_cast<std::size_t>(prefill)), bytes);
    EXPECT_EQ(dataSent, 1);
    EXPECT_TRUE(pair.socket->AllSent());
    EXPECT_EQ(pair.socket->sendQueueChunkFill(), (std::vector<int>{0}));
}

TEST(SocketSend, OnDataSentFollowsFromTheLoopWhenTheStackTookEverythingAtOnce) {
    AdoptedPair pair;
    int dataSent = 0;
    pair.socket->OnDataSent = [&](TAsyncSocket&, std::uint16_t) { ++dataSent; };
    EXPECT_EQ(pair.socket->SendText("PREPARE_TO_RECEIVE"), 18);
    EXPECT_EQ(dataSent, 0);  // not inside Send
    EXPECT_TRUE(pair.socket->AllSent());
    ASSERT_TRUE(pumpUntil([&] { return dataSent == 1; }));
    EXPECT_EQ(test::recvExactly(pair.peer, 18), "PREPARE_TO_RECEIVE");
}

TEST(SocketSend, ALargeSendReachesASlowReaderWholeAndInOrder) {
    AdoptedPair pair;
    int dataSent = 0;
    pair.socket->OnDataSent = [&](TAsyncSocket&, std::uint16_t) { ++dataSent; };
    const std::string bytes = test::pattern(6 * 1024 * 1024, 7);
    std::string received;
    std::jthread reader([&] {
        char buffer[4096];
        while (received.size() < bytes.size()) {
            const ssize_t n = ::recv(pair.peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    EXPECT_EQ(pair.socket->Send(bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    ASSERT_TRUE(pumpUntil([&] { return dataSent > 0; }));
    reader.join();
    EXPECT_EQ(dataSent, 1);
    EXPECT_TRUE(received == bytes);
}

TEST(SocketSend, AGatheredSendOfManyPartsArrivesAsTheirTextWhetherTakenAtOnceOrQueued) {
    // Parts of uneven sizes, some empty, more than one gathered send takes,
    // and 3 MB in all: the stack takes some at once, the rest is queued.
    const std::string bytes = test::pattern(3 * 1024 * 1024, 11);
    std::vector<std::string_view> parts;
    for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
        const std::size_t n = std::min(bytes.size() - at, i % 7 == 0 ? 0 : 1 + (i * 7919) % 40000);
        parts.push_back(std::string_view(bytes).substr(at, n));
        at += n;
    }
    ASSERT_GT(parts.size(), 100u);
    for (const bool queueFirst : {false, true}) {
        AdoptedPair pair;
        int dataSent = 0;
        pair.socket->OnDataSent = [&](TAsyncSocket&, std::uint16_t) { ++dataSent; };
        // With a few bytes queued first, every part goes to the queue.
        const long prefill = queueFirst ? test::fillKernelBuffers(pair.socket->HSocket()) : 0;
        const std::string head = queueFirst ? "head" : "";
        if (queueFirst) EXPECT_EQ(pair.socket->SendText(head), 4);
        std::string received;
        std::jthread reader([&] {
            received =
                test::recvExactly(pair.peer, static_cast<std::size_t>(prefill) + head.size() + bytes.size());
        });
        EXPECT_EQ(pair.socket->SendParts(parts.data(), static_cast<int>(parts.size())),
                  static_cast<int>(bytes.size()));
        ASSERT_TRUE(pumpUntil([&] { return dataSent > 0 && pair.socket->AllSent(); }));
        reader.join();
        EXPECT_TRUE(received.substr(static_cast<std::size_t>(prefill)) == head + bytes)
            << "queued first: " << queueFirst;
    }
}

TEST(SocketSend, UrgentSendsGoOutOfBand) {
    AdoptedPair pair;
    pair.socket->setSendFlags(sendUrgent);
    pair.socket->SendText("!");
    pollfd p{pair.peer, POLLPRI, 0};
    ASSERT_EQ(::poll(&p, 1, 20000), 1);
    char c = 0;
    EXPECT_EQ(::recv(pair.peer, &c, 1, MSG_OOB), 1);
    EXPECT_EQ(c, '!');
}

}  // namespace
}  // namespace zv
