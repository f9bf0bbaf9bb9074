// Merging the sections a client sends with its login.

#include "protocol/merge.h"

#include <gtest/gtest.h>

#include "protocol/incoming_sections.h"
#include "protocol_fixture.h"
#include "stores/date_time.h"

namespace zv {
namespace {

class MergeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.addEmployee("Smith,John", "pw", "In", "Sales");
        ctx.addEmployee("Brown,Ann", "pw", "In", "Sales");
    }

    // The merge of a whole payload, as a login does it.
    void mergePayload(const std::string& payload) { mergeIncoming(ctx, cutSections(payload), "Smith,John"); }

    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    test::TFakeServerContext ctx;
};

std::string payloadOf(const std::string& board, const std::string& memo, const std::string& message,
                      const std::string& phone) {
    return "[*WIWO*]" + board + "[*POSTI*]" + memo + "[*WYWO*]" + message + "[*PHONE*]" + phone;
}

TEST_F(MergeTest, ABoardRecordUpdatesOnlyTheLoggedInEmployeeAndLogsTheReceivedRecord) {
    clock.set(test::sampleTime() + 120);
    // The record names Ann, but John is logged in: John's record changes.
    mergeBoardRecord(ctx, test::boardRecord("Brown,Ann", "Out", "gone fishing", "newpw"), "Smith,John");

    const TWIWONode* john = ctx.board().findByKey("Smith,John");
    ASSERT_NE(john, nullptr);
    EXPECT_EQ(john->Employee, "Smith,John");
    EXPECT_EQ(john->Status, "Out");
    EXPECT_EQ(john->Comments, "gone fishing");
    EXPECT_EQ(john->Password, "newpw");
    EXPECT_EQ(john->Department, "Support");
    EXPECT_EQ(john->StatusChanged, datetime::dateTimeText(test::sampleTime() + 120));
    EXPECT_EQ(john->LastContact, datetime::dateTimeText(test::sampleTime() + 120));
    EXPECT_EQ(ctx.board().findByKey("Brown,Ann")->Status, "In");

    ASSERT_EQ(ctx.statusLog().getCount(), 1);
    const TLOGNode& rec = ctx.statusLog().getNode(0);
    EXPECT_EQ(rec.Employee, "Brown,Ann");  // the name found in the received record
    EXPECT_EQ(rec.Department, "Support");
    EXPECT_EQ(rec.Date, datetime::shortDateText(test::sampleTime() + 120));
    EXPECT_EQ(rec.Time, datetime::longTimeText(test::sampleTime() + 120));
    EXPECT_EQ(rec.Status, "Out");
    EXPECT_EQ(rec.Returning, "at 3");
    EXPECT_EQ(rec.ReachedAt, "cell");
    EXPECT_EQ(rec.Comments, "gone fishing");

    EXPECT_EQ(ctx.userTableClears, std::vector<int>{2});
    EXPECT_EQ(ctx.userTableRefreshes, std::vector<std::string>{"Smith,John"});

    TWIWOList reloaded;
    reloaded.setFileName("wiwo.dat");
    reloaded.loadFromFile();
    EXPECT_EQ(reloaded.findByKey("Smith,John")->Comments, "gone fishing");
}

TEST_F(MergeTest, AnUnchangedBoardRecordStillLogsAStatusChange) {
    TWIWONode same = *ctx.board().findByKey("Smith,John");
    mergeBoardRecord(ctx, same.toRecordString(), "Smith,John");
    mergeBoardRecord(ctx, same.toRecordString(), "Smith,John");
    EXPECT_EQ(ctx.statusLog().getCount(), 2);
}

TEST_F(MergeTest, MemoAndMessageAreStoredAndTheMessageIsHandedToTheMailHook) {
    const std::time_t now = test::sampleTime();
    mergeMemo(ctx, test::memoRecord("Brown,Ann", "hello", now));
    mergeMessage(ctx, test::messageRecord("Brown,Ann", "Smith,John", "Caller", now));
    EXPECT_EQ(ctx.notifiedRecipients, std::vector<std::string>{"Brown,Ann"});

    TPOSTIList memos;
    memos.setFileName("posti.dat");
    memos.loadFromFile();
    EXPECT_EQ(memos.makeBundleFromList("Brown,Ann", 0),
              "1|" + test::memoRecord("Brown,Ann", "hello", now) + "<~REC~>");
    TWYWOList messages;
    messages.setFileName("wywa.dat");
    messages.loadFromFile();
    EXPECT_EQ(messages.makeBundleFromList("Brown,Ann", 0).substr(0, 2), "1|");
}

TEST_F(MergeTest, AMemoSectionWithTwoRecordsStoresOneMemoHoldingTheRest) {
    const std::time_t now = test::sampleTime();
    const std::string two =
        test::memoRecord("Brown,Ann", "one", now) + "<~REC~>" + test::memoRecord("Brown,Ann", "two", now);
    mergeMemo(ctx, two);
    EXPECT_EQ(ctx.memos().makeBundleFromList("Brown,Ann", 0).substr(0, 2), "1|");
}

TEST_F(MergeTest, APhonebookSectionAddsEveryEntryAgainEachTime) {
    const std::string section = "2|Zed<~FLD~>Co<~FLD~>1<~REC~>Abe<~FLD~>Co<~FLD~>2<~REC~>";
    mergePhonebook(ctx, section);
    mergePhonebook(ctx, section);
    EXPECT_EQ(ctx.phonebook().getCount(), 4);
    EXPECT_EQ(ctx.phonebook().getNode(0).Caller, "Abe");

    mergePhonebook(ctx, "x|junk");
    EXPECT_EQ(ctx.phonebook().getCount(), 4);
    EXPECT_NE(test::readFile("debug_phone.log").find("EConvertError in addToPhoneListFromString() at "),
              std::string::npos);
}

TEST_F(MergeTest, AllFourSectionsMergeInOrder) {
    const std::time_t now = test::sampleTime();
    mergePayload(payloadOf(
        test::boardRecord("Smith,John", "Out", "c"), test::memoRecord("Brown,Ann", "m", now),
        test::messageRecord("Brown,Ann", "Smith,John", "caller", now), "1|Caller<~FLD~>Co<~FLD~>555<~REC~>"));
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Out");
    EXPECT_EQ(ctx.statusLog().getCount(), 1);
    EXPECT_EQ(ctx.memos().makeBundleFromList("Brown,Ann", 0).substr(0, 2), "1|");
    EXPECT_EQ(ctx.notifiedRecipients.size(), 1u);
    EXPECT_EQ(ctx.phonebook().getCount(), 1);
}

TEST_F(MergeTest, NoDataSectionsAreSkippedOnTheirFirstSevenCharacters) {
    const std::string boardBefore = test::readFile("wiwo.dat");
    mergePayload(payloadOf("NO_DATA", "NO_DATA", "NO_DATA", "NO_DATA"));
    mergePayload(payloadOf("NO_DATA trailing", "NO_DATAx", "NO_DATA<~FLD~>", "NO_DATA1|a<~REC~>"));
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBefore);
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
    EXPECT_FALSE(test::fileExists("posti.dat"));
    EXPECT_FALSE(test::fileExists("wywa.dat"));
    EXPECT_FALSE(test::fileExists("phonebook.dat"));
    EXPECT_TRUE(ctx.notifiedRecipients.empty());
}

TEST_F(MergeTest, AnEmptySectionIsMergedLikeAnyOther) {
    mergePayload(payloadOf("NO_DATA", "", "NO_DATA", "NO_DATA"));
    EXPECT_EQ(ctx.memos().makeBundleFromList("", 0).substr(0, 2), "1|");
}

TEST_F(MergeTest, APayloadWithAMissingOrMisplacedTagMergesNothing) {
    const std::time_t now = test::sampleTime();
    const std::string board = test::boardRecord("Smith,John", "Out", "c");
    const std::string memo = test::memoRecord("Brown,Ann", "m", now);
    const std::string message = test::messageRecord("Brown,Ann", "Smith,John", "caller", now);
    const std::string phone = "1|Caller<~FLD~>Co<~FLD~>555<~REC~>";
    const std::string boardBefore = test::readFile("wiwo.dat");

    for (const std::string& payload : {
             "[*POSTI*]" + memo + "[*WYWO*]" + message + "[*PHONE*]" + phone,  // no board tag
             "[*WIWO*]" + board + "[*WYWO*]" + message + "[*PHONE*]" + phone,  // no memo tag
             "[*WIWO*]" + board + "[*POSTI*]" + memo + "[*PHONE*]" + phone,    // no message tag
             "[*WIWO*]" + board + "[*POSTI*]" + memo + "[*WYWO*]" + message,   // no phonebook tag
             "[*POSTI*]" + memo + "[*WIWO*]" + board + "[*WYWO*]" + message + "[*PHONE*]" + phone,
             "[*WIWO*]" + board + "[*POSTI*]" + memo + "[*PHONE*]" + phone + "[*WYWO*]" + message,
             std::string(""),
         }) {
        mergePayload(payload);
    }
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBefore);
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Comments, "busy");
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
    EXPECT_FALSE(test::fileExists("posti.dat"));
    EXPECT_FALSE(test::fileExists("wywa.dat"));
    EXPECT_FALSE(test::fileExists("phonebook.dat"));
}

TEST_F(MergeTest, AnIncompletePhonebookSectionIsNotMergedButTheOthersAre) {
    const std::time_t now = test::sampleTime();
    mergePayload(payloadOf("NO_DATA", test::memoRecord("Brown,Ann", "m", now), "NO_DATA",
                           "3|a<~FLD~>b<~FLD~>c<~REC~>"));
    EXPECT_EQ(ctx.memos().makeBundleFromList("Brown,Ann", 0).substr(0, 2), "1|");
    EXPECT_EQ(ctx.phonebook().getCount(), 0);
    EXPECT_FALSE(test::fileExists("phonebook.dat"));

    mergePayload(payloadOf("NO_DATA", "NO_DATA", "NO_DATA", ""));
    EXPECT_FALSE(test::fileExists("debug_phone.log"));
}

}  // namespace
}  // namespace zv
