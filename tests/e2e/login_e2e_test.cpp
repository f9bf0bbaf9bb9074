// Logins, punching, the outgoing bundle and the merges, as a client sees them.

#include "e2e_support.h"

namespace zv::e2e {
namespace {

using test::board::Comments;
using test::board::Department;
using test::board::Employee;
using test::board::LastContact;
using test::board::Password;
using test::board::Status;
using test::board::StatusChanged;

TEST(ServerLogin, RefusedLoginsKeepTheConnectionAndAnAcceptedOneGetsTheBundle) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "pw2"), test::boardRecord("Smith,John", "secret")});
    writeRecords(*server, RecordKind::Department, {{"Sales"}, {"Support"}});
    server->start();

    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Smith,John", "Secret"));
    EXPECT_EQ(client.receiveLoginReply(), "LOGIN_DENIED");
    client.send(loginRequest("DLTA", "Nobody,Here", "x"));
    EXPECT_EQ(client.receiveLoginReply(), "NON_EXIST");
    client.send("SUBMIT_LOGIN");
    EXPECT_EQ(client.receiveLoginReply(), "NON_EXIST");
    client.send(loginRequest("OVRD", "Smith,John", "secret"));
    ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    const std::string bundle = client.pullBundle(8192);
    client.send("CONFIRM");
    EXPECT_TRUE(client.closedWithin(std::chrono::seconds(15)));

    const auto sections = test::splitBundle(bundle);
    EXPECT_EQ(sections.dept, "2|Sales<~REC~>Support<~REC~>");
    EXPECT_EQ(sections.phone, "0|");
    EXPECT_EQ(sections.posti, "0|");
    EXPECT_EQ(sections.wywo, "0|");
    // The whole board with every field, passwords included, in key order;
    // the logged-in record still carries its previous LastContact.
    EXPECT_EQ(sections.wiwo, test::bundleOf({test::boardRecord("Doe,Jane", "pw2"),
                                             test::boardRecord("Smith,John", "secret")}));

    const auto board = records(*server, RecordKind::Board);
    ASSERT_EQ(board.size(), 2u);
    EXPECT_EQ(board[0][LastContact], "");
    EXPECT_FALSE(board[1][LastContact].empty());  // stamped after the bundle
    EXPECT_EQ(board[1][Status], "Out");           // DLTA/FULL/OVRD do not punch

    // A login whose mode is none of the four is ignored without a reply.
    TcpClient other(server->port());
    other.send(loginRequest("SOMETIMES", "Smith,John", "secret"));
    EXPECT_EQ(other.receiveFor(std::chrono::milliseconds(300)), "");
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLogin, PunchInAndPunchOutChangeTheBoardAndAppendLogRecords) {
    auto server = makeServer();
    Fields smith = test::boardRecord("Smith,John", "pw", "Sales", "Lunch");
    smith[Comments] = "back at 2";
    writeRecords(*server, RecordKind::Board, {smith, test::boardRecord("Doe,Jane", "x", "HR", "Vacation")});
    server->start();

    fullExchange(server->port(), loginRequest("PUNCH_IN", "Smith,John", "pw"));
    // The file keeps the order it was written in (Smith first) until an add sorts it.
    auto board = records(*server, RecordKind::Board);
    EXPECT_EQ(board[0][Employee], "Smith,John");
    EXPECT_EQ(board[0][Status], "In");
    EXPECT_EQ(board[0][Comments], "");
    EXPECT_FALSE(board[0][StatusChanged].empty());
    auto log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], "Smith,John");
    EXPECT_EQ(log[0][1], "Sales");
    EXPECT_EQ(log[0][4], "In");

    {
        TcpClient client(server->port());
        client.send("PUNCH_OUT:Smith,John:anything");
        EXPECT_EQ(client.receiveUntilClosed(), "");  // no reply, then closed
    }
    // The session has ended once the connection is closed, but its step ran
    // before the close: the files are already written.
    board = records(*server, RecordKind::Board);
    EXPECT_EQ(board[0][Status], "Out");
    log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1][4], "Out");

    // Punching out someone who is not "In" changes nothing; a wrong password
    // with PUNCH_IN punches nobody in.
    {
        TcpClient client(server->port());
        client.send("PUNCH_OUT:Doe,Jane:");
        EXPECT_EQ(client.receiveUntilClosed(), "");
        TcpClient second(server->port());
        second.send(loginRequest("PUNCH_IN", "Doe,Jane", "wrong"));
        EXPECT_EQ(second.receiveLoginReply(), "LOGIN_DENIED");
    }
    board = records(*server, RecordKind::Board);
    EXPECT_EQ(board[1][Status], "Vacation");
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLogin, TheBundleIsCutIntoBlocksOfTheConfiguredSize) {
    auto server = makeServer({{"BlockSize", "1024"}});
    std::vector<Fields> board;
    for (int i = 0; i < 40; ++i) board.push_back(test::boardRecord("Emp" + std::to_string(100 + i) + ",X", "pw"));
    writeRecords(*server, RecordKind::Board, board);
    server->start();

    TcpClient client(server->port());
    client.send(loginRequest("FULL", "Emp100,X", "pw"));
    ASSERT_EQ(client.receiveLoginReply(), "PREPARE_TO_RECEIVE");
    std::vector<std::string> blocks;
    const std::string bundle = client.pullBundle(1024, &blocks);
    ASSERT_GT(blocks.size(), 2u);
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i].size(), 1024u) << i;
    EXPECT_EQ(blocks.size(), (bundle.size() + 1023) / 1024);
    EXPECT_EQ(test::splitBundle(bundle).wiwo, test::bundleOf(board));
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLogin, ABoardRecordIsMergedUnderTheLoggedInKeyAndLoggedWithItsOwnName) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board,
                 {test::boardRecord("Doe,Jane", "x", "HR", "In"), test::boardRecord("Smith,John", "pw")});
    server->start();

    Fields sent = test::boardRecord("Doe,Jane", "newpw", "Sales", "Lunch");
    sent[Comments] = "till 1";
    sent[StatusChanged] = "ignored";
    const std::string bundle =
        fullExchange(server->port(), loginRequest("DLTA", "Smith,John", "pw", test::recordString(sent)));

    const auto board = records(*server, RecordKind::Board);
    ASSERT_EQ(board.size(), 2u);
    EXPECT_EQ(board[0], test::boardRecord("Doe,Jane", "x", "HR", "In"));  // untouched
    EXPECT_EQ(board[1][Employee], "Smith,John");                          // key kept
    EXPECT_EQ(board[1][Password], "newpw");
    EXPECT_EQ(board[1][Department], "Sales");
    EXPECT_EQ(board[1][Status], "Lunch");
    EXPECT_NE(board[1][StatusChanged], "ignored");
    const auto log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0], "Doe,Jane");  // the name found in the received record
    EXPECT_EQ(log[0][4], "Lunch");
    EXPECT_EQ(log[0][7], "till 1");
    // The client gets its own change back in the same bundle.
    EXPECT_NE(test::splitBundle(bundle).wiwo.find("Lunch"), std::string::npos);

    // A payload with a tag missing merges nothing but is answered as usual.
    TcpClient client(server->port());
    client.send("SUBMIT_LOGIN:FULL:Smith,John|newpw:[*WIWO*]" + test::recordString(sent) +
                "[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
    EXPECT_EQ(client.receiveLoginReply(std::chrono::seconds(15)), "PREPARE_TO_RECEIVE");
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 1u);
    EXPECT_EQ(server->stop(), 0);
}

TEST(ServerLogin, PhonebookEntriesAreMergedSortedAndABadCountLeavesADebugLine) {
    auto server = makeServer();
    writeRecords(*server, RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    writeRecords(*server, RecordKind::Phone, {{"Miller", "Co", "1"}});
    server->start();

    const std::string phones = test::bundleOf({{"Zed", "Z Inc", "9"}, {"Adams", "A Inc", "2"}});
    std::string bundle = fullExchange(server->port(),
                                      loginRequest("FULL", "Smith,John", "pw", "NO_DATA", "NO_DATA",
                                                   "NO_DATA", phones));
    EXPECT_EQ(test::splitBundle(bundle).phone,
              test::bundleOf({{"Adams", "A Inc", "2"}, {"Miller", "Co", "1"}, {"Zed", "Z Inc", "9"}}));
    EXPECT_EQ(records(*server, RecordKind::Phone).size(), 3u);

    fullExchange(server->port(), loginRequest("FULL", "Smith,John", "pw", "NO_DATA", "NO_DATA",
                                              "NO_DATA", "two|Bad<~FLD~>x<~FLD~>y<~REC~>"));
    EXPECT_EQ(records(*server, RecordKind::Phone).size(), 3u);
    const std::string debug = test::readFile(server->dataFile("debug_phone.log"));
    EXPECT_EQ(debug.rfind("EConvertError in addToPhoneListFromString() at ", 0), 0u) << debug;
    EXPECT_EQ(debug.size() - 2, debug.find("\r\n"));  // one CR LF line
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::e2e
