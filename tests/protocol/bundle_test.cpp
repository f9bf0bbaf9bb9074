// The outgoing bundle, the last-contact stamp and the release of what a
// confirmed bundle delivered.

#include "protocol/bundle.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "protocol_fixture.h"
#include "stores/date_time.h"

namespace zv {
namespace {

constexpr std::time_t kDay = 24 * 3600;

class BundleTest : public ::testing::Test {
protected:
    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    test::TFakeServerContext ctx;
};

TEST_F(BundleTest, HasFiveTaggedSectionsInOrder) {
    ctx.addEmployee("Smith,John", "pw");
    const std::string board = ctx.board().makeBundleFromList();
    EXPECT_EQ(buildBundle(ctx, "Smith,John").str(),
              "[*DEPT*]0|[*PHONE*]0|[*WIWO*]" + board + "[*POSTI*]0|[*WYWO*]0|");

    auto dept = std::make_unique<TDEPTNode>();
    dept->Name = "Sales";
    ctx.departments().addNode(std::move(dept));
    ctx.phonebook().addToPhoneListFromString("1|Caller<~FLD~>Co<~FLD~>555<~REC~>");
    const std::time_t now = test::sampleTime();
    ctx.addMemo("Smith,John", "memo one", now);
    ctx.addMemo("Brown,Ann", "not for John", now);
    ctx.addMessage("Smith,John", "Caller A", now);

    const std::string expected = "[*DEPT*]1|Sales<~REC~>[*PHONE*]1|Caller<~FLD~>Co<~FLD~>555<~REC~>[*WIWO*]" +
                                 board + "[*POSTI*]1|" + test::memoRecord("Smith,John", "memo one", now) +
                                 "<~REC~>[*WYWO*]1|" +
                                 test::messageRecord("Smith,John", "Taker,Tom", "Caller A", now) + "<~REC~>";
    TDeliveredRecords carried;
    EXPECT_EQ(buildBundle(ctx, "Smith,John", &carried).str(), expected);
    EXPECT_EQ(carried.memos.size(), 1u);
    EXPECT_EQ(carried.messages.size(), 1u);
}

TEST_F(BundleTest, ExpiryDropsOldRecordsOfEveryoneButDeliversTheEmployeesOnce) {
    const std::time_t now = test::sampleTime();
    ctx.addMemo("Brown,Ann", "old, for Ann", now - 2 * kDay);
    ctx.addMemo("Smith,John", "old, for John", now - 2 * kDay);
    ctx.addMemo("Smith,John", "fresh", now - 3600);
    ctx.addMessage("Brown,Ann", "old caller", now - 2 * kDay);
    ctx.expDays = "1";

    const std::string first = buildBundle(ctx, "Smith,John").str();
    EXPECT_NE(first.find("[*POSTI*]2|"), std::string::npos);
    EXPECT_NE(first.find("old, for John"), std::string::npos);
    EXPECT_EQ(first.find("old, for Ann"), std::string::npos);
    EXPECT_NE(first.find("[*WYWO*]0|"), std::string::npos);

    // The expired memo went out once and is gone now; Ann's old records too.
    const std::string second = buildBundle(ctx, "Smith,John").str();
    EXPECT_NE(second.find("[*POSTI*]1|"), std::string::npos);
    EXPECT_EQ(second.find("old, for John"), std::string::npos);
    EXPECT_EQ(buildBundle(ctx, "Brown,Ann").str().find("old"), std::string::npos);
}

TEST_F(BundleTest, NothingExpiresWithExpDaysZero) {
    const std::time_t now = test::sampleTime();
    ctx.addMemo("Brown,Ann", "ancient", now - 400 * kDay);
    ctx.expDays = "0";
    buildBundle(ctx, "Smith,John").str();
    EXPECT_NE(buildBundle(ctx, "Brown,Ann").str().find("[*POSTI*]1|"), std::string::npos);
}

TEST_F(BundleTest, AnExpDaysThatIsNotANumberFailsNamingIt) {
    ctx.addMemo("Brown,Ann", "old", test::sampleTime() - 9 * kDay);
    const std::string memosBefore = test::readFile("posti.dat");
    for (const char* bad : {"", "one", "1x", "1.5"}) {
        ctx.expDays = bad;
        try {
            buildBundle(ctx, "Smith,John").str();
            ADD_FAILURE() << "no error for ExpDays '" << bad << "'";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("'") + bad + "'"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(test::readFile("posti.dat"), memosBefore);  // nothing expired
    EXPECT_EQ(expDaysValue(" 7"), 7);
    EXPECT_EQ(expDaysValue("-2"), -2);
}

TEST_F(BundleTest, TwoLoginsWithoutAConfirmationReceiveTheSameMessages) {
    ctx.addMessage("Smith,John", "Caller A", test::sampleTime());
    const std::string a = buildBundle(ctx, "Smith,John").str();
    const std::string b = buildBundle(ctx, "Smith,John").str();
    EXPECT_EQ(a, b);
    EXPECT_NE(a.find("[*WYWO*]1|"), std::string::npos);
}

TEST_F(BundleTest, ReleaseDeletesOnlyWhatTheBundleCarried) {
    const std::time_t now = test::sampleTime();
    ctx.addMemo("Smith,John", "delivered memo", now);
    ctx.addMessage("Smith,John", "delivered caller", now);
    ctx.addMessage("Brown,Ann", "Ann's caller", now);

    TDeliveredRecords carried;
    buildBundle(ctx, "Smith,John", &carried).str();
    // Stored by another session while the bundle is on its way.
    ctx.addMemo("Smith,John", "late memo", now);
    ctx.addMessage("Smith,John", "late caller", now);

    releaseDelivered(ctx, carried);

    const std::string next = buildBundle(ctx, "Smith,John").str();
    EXPECT_NE(next.find("[*POSTI*]1|"), std::string::npos);
    EXPECT_NE(next.find("late memo"), std::string::npos);
    EXPECT_NE(next.find("[*WYWO*]1|"), std::string::npos);
    EXPECT_NE(next.find("late caller"), std::string::npos);
    EXPECT_EQ(next.find("delivered"), std::string::npos);
    EXPECT_NE(buildBundle(ctx, "Brown,Ann").str().find("Ann's caller"), std::string::npos);

    // The files agree.
    TWYWOList messagesFile;
    messagesFile.setFileName("wywa.dat");
    messagesFile.loadFromFile();
    EXPECT_EQ(messagesFile.makeBundleFromList("Smith,John", 0).substr(0, 2), "1|");
}

TEST_F(BundleTest, AfterAConfirmationTheNextBundleHasEmptyMemoAndMessageSections) {
    ctx.addMemo("Smith,John", "m", test::sampleTime());
    ctx.addMessage("Smith,John", "c", test::sampleTime());
    TDeliveredRecords carried;
    buildBundle(ctx, "Smith,John", &carried).str();
    releaseDelivered(ctx, carried);
    const std::string next = buildBundle(ctx, "Smith,John").str();
    EXPECT_NE(next.find("[*POSTI*]0|[*WYWO*]0|"), std::string::npos);
}

TEST_F(BundleTest, LastContactIsStampedAfterTheBundleWasBuilt) {
    TWIWONode& e = ctx.addEmployee("Smith,John", "pw");
    e.LastContact = "previous contact";
    ctx.board().saveToFile();
    clock.set(test::sampleTime() + 60);

    const std::string bundle = buildBundle(ctx, "Smith,John").str();
    stampLastContact(ctx, "Smith,John");

    EXPECT_NE(bundle.find("previous contact"), std::string::npos);
    TWIWOList reloaded;
    reloaded.setFileName("wiwo.dat");
    reloaded.loadFromFile();
    EXPECT_EQ(reloaded.findByKey("Smith,John")->LastContact, datetime::dateTimeText(test::sampleTime() + 60));

    const std::string boardBefore = test::readFile("wiwo.dat");
    stampLastContact(ctx, "Nobody,Here");  // unknown key: nothing changes
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBefore);
}

}  // namespace
}  // namespace zv
