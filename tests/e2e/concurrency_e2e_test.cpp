// Requests split anywhere, and many clients at once.

#include "e2e_support.h"

#include <algorithm>
#include <thread>

namespace zv::e2e {
namespace {

TEST(ServerRequests, ALoginSplitAtAnyByteGivesTheSameResultAsSentWhole) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "x"), test::boardRecord("Smith,John", "pw")});
    server->start();

    const Fields board = test::boardRecord("Smith,John", "pw", "Sales", "In");
    const std::string phones = test::bundleOf({{"Caller", "Co", "1"}});
    auto request = [&](int n) {
        return loginRequest("FULL", "Smith,John", "pw", test::recordString(board),
                            test::recordString(memo("Doe,Jane", "split " + std::to_string(n))),
                            "NO_DATA", phones);
    };
    const std::size_t length = request(0).size();
    // Every position in the head (command, credentials, tags) and a sample
    // through the sections; each split is its own exchange.
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < length; i += (i < 60 ? 1 : 13)) cuts.push_back(i);
    cuts.push_back(length - 1);

    std::vector<Fields> expected;
    int n = 0;
    for (std::size_t cut : cuts) {
        ++n;
        const std::string whole = request(n);
        TcpClient client(server->port());
        client.send(whole.substr(0, cut));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        client.send(whole.substr(cut));
        ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE") << "cut at " << cut;
        expected.push_back(memo("Doe,Jane", "split " + std::to_string(n)));
    }
    EXPECT_EQ(records(*server, RecordKind::Memo), expected);
    EXPECT_EQ(records(*server, RecordKind::Phone).size(), cuts.size());
    const auto log = records(*server, RecordKind::Log);
    EXPECT_EQ(log.size(), std::min<std::size_t>(cuts.size(), 100));
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerRequests, ManyClientsAtOnceLeaveExactlyWhatTheySent) {
    auto server = makeServer();
    std::vector<Fields> board;
    for (int c = 0; c < 20; ++c) board.push_back(test::boardRecord("C" + std::to_string(10 + c) + ",X", "pw"));
    board.push_back(test::boardRecord("Inbox,X", "pw"));
    writeRecords(*server, RecordKind::Board, board);
    server->start();

    constexpr int kClients = 20;
    constexpr int kRounds = 3;
    std::vector<std::string> failures(kClients);
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            try {
                const std::string key = "C" + std::to_string(10 + c) + ",X";
                for (int r = 0; r < kRounds; ++r) {
                    const Fields m = memo("Inbox,X", key + " round " + std::to_string(r));
                    const Fields p = {key + " caller " + std::to_string(r), "Co", "1"};
                    fullExchange(server->port(),
                                 loginRequest("FULL", key, "pw", "NO_DATA", test::recordString(m),
                                              test::recordString(message("Inbox,X", key)),
                                              test::bundleOf({p})));
                }
            } catch (const std::exception& e) {
                failures[static_cast<std::size_t>(c)] = e.what();
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int c = 0; c < kClients; ++c) EXPECT_EQ(failures[static_cast<std::size_t>(c)], "") << c;

    std::vector<std::string> memoTexts;
    for (const auto& m : records(*server, RecordKind::Memo)) memoTexts.push_back(m[4]);
    std::vector<std::string> expected;
    for (int c = 0; c < kClients; ++c) {
        for (int r = 0; r < kRounds; ++r) {
            expected.push_back("C" + std::to_string(10 + c) + ",X round " + std::to_string(r));
        }
    }
    std::sort(memoTexts.begin(), memoTexts.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(memoTexts, expected);
    EXPECT_EQ(records(*server, RecordKind::Message).size(), static_cast<std::size_t>(kClients * kRounds));
    EXPECT_EQ(records(*server, RecordKind::Phone).size(), static_cast<std::size_t>(kClients * kRounds));
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e
