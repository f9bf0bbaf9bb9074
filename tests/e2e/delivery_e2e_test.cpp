// Memos and messages: delivered in the bundle, deleted only on confirmation,
// and only those the confirmed bundle carried; the status log's bound.

#include "e2e_support.h"

namespace zv::e2e {
namespace {

TEST(ServerDelivery, MemosAndMessagesAreDeletedOnlyWhenTheClientConfirms) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "x"), test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Memo,
                 {memo("Smith,John", "first"), memo("Doe,Jane", "not yours"), memo("Smith,John", "second")});
    writeRecords(*server, RecordKind::Message, {message("Smith,John", "Caller A")});
    server->start();

    // Pulled but never confirmed: everything stays and comes again.
    std::string bundle = fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw"), 8192,
                                      /*confirm=*/false);
    auto sections = test::splitBundle(bundle);
    EXPECT_EQ(sections.posti,
              test::bundleOf({memo("Smith,John", "first"), memo("Smith,John", "second")}));
    EXPECT_EQ(sections.wywo, test::bundleOf({message("Smith,John", "Caller A")}));
    EXPECT_EQ(records(*server, RecordKind::Memo).size(), 3u);
    EXPECT_EQ(records(*server, RecordKind::Message).size(), 1u);

    bundle = fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw"));
    EXPECT_EQ(test::splitBundle(bundle).posti, sections.posti);
    EXPECT_EQ(records(*server, RecordKind::Memo),
              (std::vector<Fields>{memo("Doe,Jane", "not yours")}));
    EXPECT_TRUE(records(*server, RecordKind::Message).empty());

    bundle = fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw"));
    EXPECT_EQ(test::splitBundle(bundle).posti, "0|");
    EXPECT_EQ(test::splitBundle(bundle).wywo, "0|");
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerDelivery, AMemoStoredAfterTheBundleWasBuiltSurvivesTheConfirmation) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "x"), test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Memo, {memo("Smith,John", "old")});
    server->start();

    TcpClient smith(server->port());
    smith.send(loginRequest("FULL", "Smith,John", "pw"));
    ASSERT_EQ(smith.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    const std::string bundle = smith.pullBundle(8192);
    EXPECT_EQ(test::splitBundle(bundle).posti, test::bundleOf({memo("Smith,John", "old")}));

    // Meanwhile Jane sends John a memo and a message.
    fullExchange(server->port(),
                 loginRequest("FULL", "Doe,Jane", "x", "NO_DATA",
                              test::recordString(memo("Smith,John", "new")),
                              test::recordString(message("Smith,John", "Caller B"))));
    smith.send("CONFIRM");
    EXPECT_TRUE(smith.closedWithin(std::chrono::seconds(15)));

    EXPECT_EQ(records(*server, RecordKind::Memo),
              (std::vector<Fields>{memo("Smith,John", "new")}));
    EXPECT_EQ(records(*server, RecordKind::Message),
              (std::vector<Fields>{message("Smith,John", "Caller B")}));
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerDelivery, TheStatusLogKeepsTheNewestRecordsWithinItsBound) {
    auto server = makeServer({{"MaxLogSize", "3"}});
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    server->start();
    for (int i = 0; i < 5; ++i) {
        Fields sent = test::boardRecord("Smith,John", "pw", "Sales", "Status " + std::to_string(i));
        fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw", test::recordString(sent)));
    }
    const auto log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0][4], "Status 2");
    EXPECT_EQ(log[2][4], "Status 4");
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerDelivery, AZeroBlockSizeMergesButAnswersNothingAndDeletesNothing) {
    auto server = makeServer({{"BlockSize", "0"}});
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Memo, {memo("Smith,John", "keep me")});
    server->start();
    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Smith,John", "pw", "NO_DATA",
                             test::recordString(memo("Doe,Jane", "merged"))));
    // No reply announces the end of the step: wait for its debug line.
    ASSERT_TRUE(eventually([&] { return test::fileExists(server->dataFile("debug_prepare.log")); }));
    EXPECT_EQ(client.receiveFor(std::chrono::milliseconds(300)), "");
    client.send("CONFIRM");
    EXPECT_EQ(client.receiveFor(std::chrono::milliseconds(300)), "");
    EXPECT_EQ(records(*server, RecordKind::Memo),
              (std::vector<Fields>{memo("Smith,John", "keep me"), memo("Doe,Jane", "merged")}));
    const std::string debug = test::readFile(server->dataFile("debug_prepare.log"));
    EXPECT_NE(debug.find(": in prepareDataForSend() at "), std::string::npos) << debug;
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e

namespace zv::e2e {
namespace {

TEST(ServerDelivery, AMessageForSomeoneWhoWantsMailIsStoredWhateverTheMailHostDoes) {
    // The mail host is this computer's port 25: refused when nothing listens
    // there, or a local mail server that takes the notice. Either way the
    // message is stored and the exchange completes.
    auto server = makeServer({{"SMTPHost", "127.0.0.1"}});
    Fields smith = test::boardRecord("Smith,John", "pw");
    smith[test::board::EMail] = "nobody-zelvora-test@localhost";
    smith[test::board::EMailNotify] = "YES";
    Fields doe = test::boardRecord("Doe,Jane", "x");
    doe[test::board::EMail] = "sender-zelvora-test@localhost";
    writeRecords(*server, RecordKind::Board, {doe, smith});
    server->start();
    fullExchange(server->port(), loginRequest("FULL", "Doe,Jane", "x", "NO_DATA", "NO_DATA",
                                              test::recordString(message("Smith,John", "Caller M"))));
    EXPECT_EQ(records(*server, RecordKind::Message),
              (std::vector<Fields>{message("Smith,John", "Caller M")}));
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e
