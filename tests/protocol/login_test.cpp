// The login check, punching in and out, and their status log records.

#include "protocol/login.h"

#include <gtest/gtest.h>

#include "protocol_fixture.h"
#include "stores/date_time.h"

namespace zv {
namespace {

class LoginTest : public ::testing::Test {
protected:
    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    test::TFakeServerContext ctx;
};

TEST_F(LoginTest, AcceptsTheRightPasswordAndLabelsTheSession) {
    ctx.addEmployee("Smith,John", "secret");
    ctx.addEmployee("Brown,Ann", "x");
    const std::string boardBefore = test::readFile("wiwo.dat");

    EXPECT_EQ(validateLogin(ctx, "Smith,John|secret", "0000002A"), "Smith,John");
    ASSERT_EQ(ctx.threadListUpdates.size(), 1u);
    EXPECT_EQ(ctx.threadListUpdates[0], std::make_pair(std::string("0000002A"), std::string("Smith,John")));
    EXPECT_EQ(ctx.userTableClears, std::vector<int>{2});
    EXPECT_EQ(ctx.userTableRefreshes, std::vector<std::string>{"Smith,John"});
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBefore);  // the check writes nothing
}

TEST_F(LoginTest, RefusesUnknownKeysAndWrongPasswordsChangingNothing) {
    ctx.addEmployee("Smith,John", "secret");
    EXPECT_EQ(validateLogin(ctx, "Smith,John|Secret", "1"), "*DENIED*");  // case matters
    EXPECT_EQ(validateLogin(ctx, "Smith,John|", "1"), "*DENIED*");
    EXPECT_EQ(validateLogin(ctx, "smith,john|secret", "1"), "*NON_EXIST*");
    EXPECT_EQ(validateLogin(ctx, "Nobody|secret", "1"), "*NON_EXIST*");
    EXPECT_EQ(validateLogin(ctx, "secret", "1"), "*NON_EXIST*");  // no "|": the key is empty
    EXPECT_EQ(validateLogin(ctx, "", "1"), "*NON_EXIST*");
    EXPECT_TRUE(ctx.threadListUpdates.empty());
    EXPECT_TRUE(ctx.userTableRefreshes.empty());
}

TEST_F(LoginTest, AnEmptyPasswordLogsInWithAKeyAndABarButAnEmptyKeyNever) {
    ctx.addEmployee("Open,Door", "");
    EXPECT_EQ(validateLogin(ctx, "Open,Door|", "1"), "Open,Door");
    ctx.addEmployee("", "");
    EXPECT_EQ(validateLogin(ctx, "|", "1"), "*NON_EXIST*");
    EXPECT_EQ(validateLogin(ctx, "", "1"), "*NON_EXIST*");
}

TEST_F(LoginTest, PunchInSetsInClearsTheDetailsStampsSavesAndLogs) {
    ctx.addEmployee("Smith,John", "pw", "Out", "Sales");
    const std::time_t later = test::sampleTime() + 3600;
    clock.set(later);

    punchIn(ctx, "Smith,John");

    TWIWONode* e = ctx.board().findByKey("Smith,John");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Status, "In");
    EXPECT_EQ(e->Returning, "");
    EXPECT_EQ(e->ReachedAt, "");
    EXPECT_EQ(e->Comments, "");
    EXPECT_EQ(e->StatusChanged, datetime::dateTimeText(later));

    TWIWOList reloaded;
    reloaded.setFileName("wiwo.dat");
    reloaded.loadFromFile();
    ASSERT_NE(reloaded.findByKey("Smith,John"), nullptr);
    EXPECT_EQ(reloaded.findByKey("Smith,John")->Status, "In");

    ASSERT_EQ(ctx.statusLog().getCount(), 1);
    const TLOGNode& rec = ctx.statusLog().getNode(0);
    EXPECT_EQ(rec.Employee, "Smith,John");
    EXPECT_EQ(rec.Department, "Sales");
    EXPECT_EQ(rec.Date, datetime::shortDateText(later));
    EXPECT_EQ(rec.Time, datetime::longTimeText(later));
    EXPECT_EQ(rec.Status, "In");
    EXPECT_EQ(rec.Returning, "");
    EXPECT_EQ(rec.ReachedAt, "");
    EXPECT_EQ(rec.Comments, "");

    TLOGList logFile;
    logFile.setFileName("log_stat.dat");
    logFile.loadFromFile();
    EXPECT_EQ(logFile.getCount(), 1);

    punchIn(ctx, "Smith,John");  // a repeated punch-in logs again
    EXPECT_EQ(ctx.statusLog().getCount(), 2);
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "In");
}

TEST_F(LoginTest, PunchOutOnlyChangesAnEmployeeWhoIsIn) {
    ctx.addEmployee("In,Person", "pw", "In");
    ctx.addEmployee("Lunch,Person", "pw", "At lunch");
    ctx.addEmployee("Lower,Case", "pw", "in");
    const std::string boardBefore = test::readFile("wiwo.dat");

    punchOut(ctx, "Lunch,Person");
    punchOut(ctx, "Lower,Case");
    punchOut(ctx, "Nobody,Here");
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBefore);
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
    EXPECT_FALSE(test::fileExists("log_stat.dat"));
    EXPECT_EQ(ctx.board().findByKey("Lunch,Person")->Comments, "busy");

    punchOut(ctx, "In,Person");
    TWIWONode* e = ctx.board().findByKey("In,Person");
    EXPECT_EQ(e->Status, "Out");
    EXPECT_EQ(e->Comments, "");
    EXPECT_EQ(e->StatusChanged, datetime::dateTimeText(test::sampleTime()));
    ASSERT_EQ(ctx.statusLog().getCount(), 1);
    EXPECT_EQ(ctx.statusLog().getNode(0).Status, "Out");

    punchOut(ctx, "In,Person");  // now Out: nothing more
    EXPECT_EQ(ctx.statusLog().getCount(), 1);
}

TEST_F(LoginTest, PunchingAnUnknownEmployeeDoesNothing) {
    punchIn(ctx, "Ghost,Casper");
    punchOut(ctx, "");
    EXPECT_EQ(ctx.statusLog().getCount(), 0);
    EXPECT_FALSE(test::fileExists("wiwo.dat"));
}

TEST_F(LoginTest, StatusRecordsFollowTheLogBound) {
    ctx.addEmployee("Smith,John", "pw");
    ctx.statusLog().setMaxSize(2);
    for (int i = 0; i < 5; ++i) punchIn(ctx, "Smith,John");
    EXPECT_EQ(ctx.statusLog().getCount(), 2);
}

}  // namespace
}  // namespace zv
