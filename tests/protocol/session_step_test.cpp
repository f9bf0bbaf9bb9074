// The session's conversation: states, replies, block transfer, confirmation,
// request collection, driven step by step over a scripted socket.

#include "protocol/session_step.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "net/socket_errors.h"
#include "protocol/connection_id.h"
#include "protocol_fixture.h"
#include "stores/date_time.h"

namespace zv {
namespace {

// Gives the session what the test delivers and records what it sends.
class TScriptedSocket : public TSessionSocket {
public:
    std::string ReceiveText() override {
        if (failReceive) throw ESocketException("Error 10054 in function recv", 10054, "recv");
        if (incoming.empty()) return {};
        std::string text = incoming.front();
        incoming.pop_front();
        return text;
    }
    void SendText(std::string_view text) override {
        if (failSend) throw ESocketException("Error 10054 in function send", 10054, "send");
        sent.emplace_back(text);
    }
    void Close() override { ++closes; }

    std::deque<std::string> incoming;
    std::vector<std::string> sent;
    int closes = 0;
    bool failReceive = false;
    bool failSend = false;
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.addEmployee("Smith,John", "pw", "Out", "Sales");
        ctx.addEmployee("Brown,Ann", "pw", "In", "Sales");
    }

    // One arrival of data and the step it causes.
    void deliver(const std::string& text) {
        socket.incoming.push_back(text);
        session.onData(socket);
    }
    // Sent texts since the last call.
    std::vector<std::string> takeSent() {
        std::vector<std::string> out;
        out.swap(socket.sent);
        return out;
    }
    void loginAndPrepare(const std::string& request = test::loginRequest("DLTA", "Smith,John", "pw")) {
        deliver(request);
        ASSERT_EQ(takeSent(), std::vector<std::string>{"PREPARE_TO_RECEIVE"});
        ASSERT_EQ(session.state(), "SENDING_DATA");
    }
    // Makes the next login's bundle exactly `length` characters long by
    // adding a department with a name of the right size.
    void makeBundleLength(std::size_t length) {
        auto dept = std::make_unique<TDEPTNode>();
        TDEPTNode& stored = ctx.departments().addNode(std::move(dept));
        const std::size_t base = buildBundle(ctx, "Smith,John").str().size();
        ASSERT_LT(base, length);
        stored.Name = std::string(length - base, 'd');
        ASSERT_EQ(buildBundle(ctx, "Smith,John").str().size(), length);
    }

    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    test::TFakeServerContext ctx;
    TClientSession session{ctx, "0000ABCD"};
    TScriptedSocket socket;
};

TEST_F(SessionTest, AFullExchangeSendsTheBundleInBlocksAndReleasesOnConfirm) {
    ctx.blockSize = 64;
    ctx.addMemo("Smith,John", "for John", test::sampleTime());
    ctx.addMessage("Smith,John", "Caller", test::sampleTime());
    const std::string expected = buildBundle(ctx, "Smith,John").str();

    loginAndPrepare();
    EXPECT_EQ(session.employeeName(), "Smith,John");
    EXPECT_EQ(ctx.threadListUpdates.at(0).first, "0000ABCD");

    std::string received;
    for (int i = 0; i < session.blockCount(); ++i) {
        deliver("READY_TO_RECEIVE");
        auto sent = takeSent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_LE(sent[0].size(), 64u);
        received += sent[0];
    }
    EXPECT_EQ(received, expected);
    deliver("READY_TO_RECEIVE");
    EXPECT_EQ(takeSent(), std::vector<std::string>{"DATA_COMPLETE"});
    EXPECT_EQ(session.state(), "WAITING_FOR_CONFIRM");
    EXPECT_EQ(socket.closes, 0);

    deliver("CONFIRM");
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(socket.closes, 1);
    EXPECT_EQ(session.state(), "READY");
    EXPECT_EQ(buildBundle(ctx, "Smith,John").str().find("for John"), std::string::npos);

    // LastContact of the login is in the file, not in the bundle sent.
    TWIWOList reloaded;
    reloaded.setFileName("wiwo.dat");
    reloaded.loadFromFile();
    EXPECT_EQ(reloaded.findByKey("Smith,John")->LastContact, datetime::dateTimeText(test::sampleTime()));
}

TEST_F(SessionTest, BlocksAreCutWithTheBlockSizeReadAtPreparation) {
    ctx.blockSize = 4096;
    makeBundleLength(10000);
    loginAndPrepare();
    EXPECT_EQ(session.blockCount(), 3);
    EXPECT_EQ(session.remainder(), 1808);
    ctx.blockSize = 1024;  // a reload during the transfer changes nothing
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 3; ++i) {
        deliver("READY_TO_RECEIVE");
        sizes.push_back(takeSent().at(0).size());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{4096, 4096, 1808}));
    deliver("READY_TO_RECEIVE");
    EXPECT_EQ(takeSent(), std::vector<std::string>{"DATA_COMPLETE"});
}

TEST_F(SessionTest, ABundleOfAnExactMultipleIsSentInFullBlocks) {
    ctx.blockSize = 4096;
    makeBundleLength(8192);
    loginAndPrepare();
    EXPECT_EQ(session.blockCount(), 2);
    EXPECT_EQ(session.remainder(), 0);
    deliver("READY_TO_RECEIVE");
    deliver("READY_TO_RECEIVE");
    auto sent = takeSent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), 4096u);
    EXPECT_EQ(sent[1].size(), 4096u);
    deliver("READY_TO_RECEIVE");
    EXPECT_EQ(takeSent(), std::vector<std::string>{"DATA_COMPLETE"});
}

TEST_F(SessionTest, OnlyTheFirstSixteenCharactersCountAsAReadyToReceive) {
    ctx.blockSize = 8;
    loginAndPrepare();
    deliver("READY_TO_RECEIV");  // one short
    deliver("ready_to_receive");
    deliver("CONFIRM");
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(session.blocksSent(), 0);

    deliver("READY_TO_RECEIVEREADY_TO_RECEIVE");  // two in one read count as one
    EXPECT_EQ(takeSent().size(), 1u);
    deliver("READY_TO_RECEIVE and more");
    EXPECT_EQ(takeSent().size(), 1u);
    EXPECT_EQ(session.blocksSent(), 2);
}

TEST_F(SessionTest, WaitingForConfirmTakesConfirmOrReadyTAndIgnoresTheRest) {
    ctx.blockSize = 1 << 20;
    ctx.addMemo("Smith,John", "memo", test::sampleTime());
    loginAndPrepare();
    deliver("READY_TO_RECEIVE");
    deliver("READY_TO_RECEIVE");
    EXPECT_EQ(takeSent().back(), "DATA_COMPLETE");

    deliver("CONFIR");
    deliver("confirm");
    deliver("PUNCH_OUT:Smith,John:");
    EXPECT_EQ(session.state(), "WAITING_FOR_CONFIRM");
    EXPECT_EQ(socket.closes, 0);

    deliver("READY_TO_RECEIVE");  // begins with READY_T: confirms
    EXPECT_EQ(session.state(), "READY");
    EXPECT_EQ(socket.closes, 1);
    EXPECT_TRUE(takeSent().empty());
    EXPECT_NE(buildBundle(ctx, "Smith,John").str().find("[*POSTI*]0|"), std::string::npos);
}

TEST_F(SessionTest, TransferRepliesSplitAtAnyByteCountAsIfTheyCameWhole) {
    ctx.blockSize = 1 << 20;
    ctx.addMemo("Smith,John", "memo", test::sampleTime());
    loginAndPrepare();
    deliver("READY_");
    deliver("TO_REC");
    EXPECT_TRUE(takeSent().empty());
    deliver("EIVE");  // the bundle fits one block
    ASSERT_EQ(takeSent().size(), 1u);
    for (char c : std::string("READY_TO_RECEIVE")) deliver(std::string(1, c));
    EXPECT_EQ(takeSent(), std::vector<std::string>{"DATA_COMPLETE"});

    // A start that can no longer match is judged at once and ignored.
    deliver("CONF");
    deliver("USED");
    EXPECT_EQ(session.state(), "WAITING_FOR_CONFIRM");
    deliver("CON");
    deliver("FI");
    EXPECT_EQ(socket.closes, 0);
    deliver("RM");
    EXPECT_EQ(session.state(), "READY");
    EXPECT_EQ(socket.closes, 1);
    EXPECT_NE(buildBundle(ctx, "Smith,John").str().find("[*POSTI*]0|"), std::string::npos);
}

TEST_F(SessionTest, ARefusedLoginKeepsTheConnectionAndThePunchInMark) {
    deliver(test::loginRequest("PUNCH_IN", "Smith,John", "wrong"));
    EXPECT_EQ(takeSent(), std::vector<std::string>{"LOGIN_DENIED"});
    EXPECT_EQ(session.state(), "READY");
    EXPECT_EQ(session.employeeName(), "*DENIED*");
    EXPECT_TRUE(session.punchInMark());
    EXPECT_EQ(socket.closes, 0);
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Out");  // nobody punched in
    EXPECT_TRUE(ctx.threadListUpdates.empty());

    deliver(test::loginRequest("DLTA", "Nobody,Here", "pw"));
    EXPECT_EQ(takeSent(), std::vector<std::string>{"NON_EXIST"});
    EXPECT_EQ(session.employeeName(), "*NON_EXIST*");

    // The mark of the refused punch-in request applies to the next login.
    loginAndPrepare(test::loginRequest("DLTA", "Smith,John", "pw"));
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "In");
    EXPECT_EQ(ctx.statusLog().getCount(), 1);
}

TEST_F(SessionTest, APunchInLoginPunchesInBeforeTheBoardRecordIsMerged) {
    loginAndPrepare(test::loginRequest("PUNCH_IN", "Smith,John", "pw",
                                       test::boardRecord("Smith,John", "Meeting", "room 4")));
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Meeting");
    ASSERT_EQ(ctx.statusLog().getCount(), 2);
    EXPECT_EQ(ctx.statusLog().getNode(0).Status, "In");
    EXPECT_EQ(ctx.statusLog().getNode(1).Status, "Meeting");
}

TEST_F(SessionTest, OtherRequestsAreIgnoredWithoutAReply) {
    for (const char* text : {"HELLO", "SUBMIT_LOGIN:XYZ:Smith,John|pw:NO_DATA", "READY_TO_RECEIVE", "CONFIRM",
                             "submit_login:DLTA:Smith,John|pw:"}) {
        deliver(text);
        EXPECT_TRUE(takeSent().empty()) << text;
        EXPECT_FALSE(session.collecting()) << text;
    }
    EXPECT_EQ(session.state(), "READY");
    EXPECT_EQ(socket.closes, 0);
}

TEST_F(SessionTest, TheBareLoginTextsAreAnsweredNonExistAfterTheSilence) {
    deliver("SUBMIT_LOGIN");
    EXPECT_TRUE(takeSent().empty());
    EXPECT_TRUE(session.collecting());
    session.onSilence(socket);
    EXPECT_EQ(takeSent(), std::vector<std::string>{"NON_EXIST"});
    EXPECT_EQ(socket.closes, 0);

    deliver("SUBMIT_LOGIN");
    deliver("SUBMIT_LOGIN");
    session.onSilence(socket);
    EXPECT_EQ(takeSent(), std::vector<std::string>{"NON_EXIST"});
    EXPECT_EQ(session.state(), "READY");
}

TEST_F(SessionTest, APunchOutPunchesOutAndClosesWithoutAReply) {
    ctx.board().findByKey("Smith,John")->Status = "In";
    deliver("PUNCH_OUT:Smith,John:whatever");
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(socket.closes, 1);
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Out");
    EXPECT_EQ(ctx.statusLog().getCount(), 1);
}

TEST_F(SessionTest, APunchOutWithoutItsSecondColonWaitsThenPunchesNobody) {
    deliver("PUNCH_OUT:Brown,Ann");
    EXPECT_EQ(socket.closes, 0);
    EXPECT_TRUE(session.collecting());
    session.onSilence(socket);
    EXPECT_EQ(socket.closes, 1);
    EXPECT_EQ(ctx.board().findByKey("Brown,Ann")->Status, "In");
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
}

TEST_F(SessionTest, AFailedPreparationAnswersNothingMoreAndTakesNoConfirmation) {
    for (int blockSize : {0, -5}) {
        test::TTempFolder inner;
        test::TFakeServerContext c;
        c.addEmployee("Smith,John", "pw");
        c.addMemo("Smith,John", "keep me", test::sampleTime());
        c.blockSize = blockSize;
        TClientSession s(c, "00000001");
        TScriptedSocket io;
        auto step = [&](const std::string& text) {
            io.incoming.push_back(text);
            s.onData(io);
        };

        step(test::loginRequest("DLTA", "Smith,John", "pw", test::boardRecord("Smith,John", "Away", "x")));
        EXPECT_TRUE(io.sent.empty());
        EXPECT_EQ(s.blockCount(), -1);
        EXPECT_EQ(s.state(), "SENDING_DATA");
        EXPECT_EQ(c.board().findByKey("Smith,John")->Status, "Away");  // the merge happened

        const std::string line = test::readFile("debug_prepare.log");
        const std::string error = blockSize == 0 ? "Division by zero" : "Block size -5 is below 1";
        EXPECT_EQ(line, error + ": in prepareDataForSend() at " +
                            datetime::shortDateText(test::sampleTime()) + " " +
                            datetime::longTimeText(test::sampleTime()) + "\r\n");

        for (const char* text : {"READY_TO_RECEIVE", "READY_TO_RECEIVE", "CONFIRM", "READY_T"}) step(text);
        EXPECT_TRUE(io.sent.empty());
        EXPECT_EQ(io.closes, 0);
        EXPECT_NE(buildBundle(c, "Smith,John").str().find("keep me"), std::string::npos);
    }
}

TEST_F(SessionTest, ABundleThatCannotBeBuiltLeavesTheSessionSilent) {
    ctx.expDays = "soon";
    ctx.addMemo("Smith,John", "keep me", test::sampleTime());
    EXPECT_THROW(deliver(test::loginRequest("DLTA", "Smith,John", "pw")), std::invalid_argument);
    EXPECT_TRUE(takeSent().empty());
    for (const char* text : {"READY_TO_RECEIVE", "READY_TO_RECEIVE", "CONFIRM"}) deliver(text);
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(socket.closes, 0);
    ctx.expDays = "0";
    EXPECT_NE(buildBundle(ctx, "Smith,John").str().find("keep me"), std::string::npos);
}

TEST_F(SessionTest, SocketErrorsCloseTheSocket) {
    socket.failReceive = true;
    deliver("anything");
    EXPECT_EQ(socket.closes, 1);

    socket.failReceive = false;
    socket.incoming.clear();
    socket.failSend = true;
    deliver(test::loginRequest("DLTA", "Smith,John", "wrong"));
    EXPECT_EQ(socket.closes, 2);
}

TEST_F(SessionTest, ARequestAboveSixteenMebibytesClosesWithNothingMerged) {
    const std::string head = "SUBMIT_LOGIN:DLTA:Smith,John|pw:[*WIWO*]" +
                             test::boardRecord("Smith,John", "X", "y") +
                             "[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]999999|";
    deliver(head);
    const std::string chunk(1 << 20, 'p');
    for (int i = 0; i < 16 && socket.closes == 0; ++i) deliver(chunk);
    EXPECT_EQ(socket.closes, 1);
    EXPECT_TRUE(takeSent().empty());
    EXPECT_FALSE(session.collecting());
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Out");
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
}

TEST_F(SessionTest, AnIncompleteLoginIsAnsweredAfterTheSilenceWithoutItsIncompleteSection) {
    const std::time_t now = test::sampleTime();
    deliver(test::loginRequest("DLTA", "Smith,John", "pw", "NO_DATA", test::memoRecord("Brown,Ann", "m", now),
                               "NO_DATA", "2|a<~FLD~>b<~FLD~>c<~REC~>"));
    EXPECT_TRUE(takeSent().empty());
    session.onSilence(socket);
    EXPECT_EQ(takeSent(), std::vector<std::string>{"PREPARE_TO_RECEIVE"});
    EXPECT_EQ(ctx.memos().makeBundleFromList("Brown,Ann", 0).substr(0, 2), "1|");
    EXPECT_EQ(ctx.phonebook().getCount(), 0);
}

// The files a sample login leaves behind, with the replies it got.
struct TLoginOutcome {
    std::vector<std::string> replies;
    std::vector<std::string> files;
    bool operator==(const TLoginOutcome&) const = default;
};

TLoginOutcome runLoginInPieces(const std::string& request, const std::vector<std::size_t>& cuts) {
    test::TTempFolder folder;
    test::TFakeServerContext c;
    c.addEmployee("Smith,John", "pw");
    c.addEmployee("Brown,Ann", "pw");
    TClientSession s(c, "00000001");
    TScriptedSocket io;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        io.incoming.push_back(request.substr(from, cut - from));
        s.onData(io);
        from = cut;
    }
    io.incoming.push_back(request.substr(from));
    s.onData(io);
    TLoginOutcome out;
    out.replies = io.sent;
    for (const char* name : {"wiwo.dat", "log_stat.dat", "posti.dat", "wywa.dat", "phonebook.dat"})
        out.files.push_back(test::readFile(name));
    return out;
}

TEST(SessionCollection, ALoginSplitAtAnyByteGivesTheSameResultAsSentWhole) {
    test::TFixedClock clock{test::sampleTime()};
    const std::time_t now = test::sampleTime();
    const std::string request =
        test::loginRequest("PUNCH_IN", "Smith,John", "pw", test::boardRecord("Smith,John", "Out", "lunch"),
                           test::memoRecord("Brown,Ann", "memo", now),
                           test::messageRecord("Brown,Ann", "Smith,John", "Caller", now),
                           "2|Zed<~FLD~>Co<~FLD~>1<~REC~>Abe<~FLD~>Co<~FLD~>2<~REC~>");

    const TLoginOutcome whole = runLoginInPieces(request, {});
    ASSERT_EQ(whole.replies, std::vector<std::string>{"PREPARE_TO_RECEIVE"});
    ASSERT_FALSE(whole.files[2].empty());
    ASSERT_FALSE(whole.files[4].empty());

    for (std::size_t cut = 1; cut < request.size(); ++cut)
        ASSERT_EQ(runLoginInPieces(request, {cut}), whole) << "split after " << cut << " bytes";

    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < request.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(runLoginInPieces(request, everyByte), whole);
}

TEST(ConnectionIds, AreEightUpperCaseHexDigitsAndUniqueAmongLiveSessions) {
    std::vector<std::string> ids;
    for (int i = 0; i < 1000; ++i) ids.push_back(acquireConnectionId());
    for (const std::string& id : ids) {
        ASSERT_EQ(id.size(), 8u);
        for (char ch : id) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << id;
    }
    std::vector<std::string> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const std::string& id : ids) releaseConnectionId(id);
}

}  // namespace
}  // namespace zv
