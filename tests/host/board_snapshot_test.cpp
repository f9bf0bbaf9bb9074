// What the board shows of an account, and the moment a "returning" text
// names, which marks an employee who is out as overdue once it has passed.

#include <gtest/gtest.h>

#include "host/board_snapshot.h"
#include "local_time.h"
#include "stores/board_store.h"
#include "stores/date_time.h"

namespace zv {
namespace {

using test::localTime;

class ReturningMoment : public ::testing::Test {
protected:
    void SetUp() override { datetime::setFormats("M/d/yy", "h:mm:ss AM/PM"); }
};

TEST_F(ReturningMoment, ATimeOfDayIsItsNextOccurrenceAfterTheStatusWasSet) {
    const std::time_t morning = localTime(2026, 6, 12, 9, 15);
    EXPECT_EQ(returningMoment("1:30 PM", morning), localTime(2026, 6, 12, 13, 30));
    EXPECT_EQ(returningMoment("13:30", morning), localTime(2026, 6, 12, 13, 30));
    EXPECT_EQ(returningMoment(" 3 pm", morning), localTime(2026, 6, 12, 15, 0));
    EXPECT_EQ(returningMoment("2:00:30 PM today", morning), localTime(2026, 6, 12, 14, 0, 30));
    // Set in the evening, "8:00 AM" is the next morning.
    const std::time_t evening = localTime(2026, 6, 12, 18, 0);
    EXPECT_EQ(returningMoment("8:00 AM", evening), localTime(2026, 6, 13, 8, 0));
}

TEST_F(ReturningMoment, ADateTimeIsItselfAndADateAloneIsTheEndOfThatDay) {
    const std::time_t at = localTime(2026, 6, 12, 9, 15);
    EXPECT_EQ(returningMoment("6/15/26 9:00 AM", at), localTime(2026, 6, 15, 9, 0));
    EXPECT_EQ(returningMoment("6/15/2026 17:45", at), localTime(2026, 6, 15, 17, 45));
    EXPECT_EQ(returningMoment("6/15/26", at), localTime(2026, 6, 16, 0, 0));
}

TEST_F(ReturningMoment, AnyOtherTextNamesNoMoment) {
    const std::time_t at = localTime(2026, 6, 12, 9, 15);
    for (const char* text : {"", "after lunch", "2", "2 days", "tomorrow", "25:00", "Monday", "?"}) {
        EXPECT_EQ(returningMoment(text, at), std::nullopt) << text;
    }
}

TEST_F(ReturningMoment, BoardRowsCarryTheMomentsOfEveryStatusButInAndNoPrivateField) {
    TWIWOList board;
    auto out = board.createNodeFromString(
        "Doe,Jane<~FLD~>Doe<~FLD~>Jane<~FLD~>pw<~FLD~>Sales<~FLD~>555<~FLD~>12<~FLD~>Out<~FLD~>3:30 PM"
        "<~FLD~>Cell<~FLD~>x<~FLD~>jane@x<~FLD~>YES<~FLD~>home<~FLD~>car<~FLD~>pager<~FLD~>other"
        "<~FLD~>6/12/26 9:15:00 AM<~FLD~>6/12/26 9:15:00 AM<~FLD~>e<~FLD~>e<~FLD~>e");
    auto busy = board.createNodeFromString(
        "Roe,Rick<~FLD~>Roe<~FLD~>Rick<~FLD~>pw<~FLD~>Sales<~FLD~><~FLD~><~FLD~>In a meeting<~FLD~>3:30 PM"
        "<~FLD~><~FLD~><~FLD~><~FLD~><~FLD~><~FLD~><~FLD~><~FLD~><~FLD~>not a date");
    board.addNode(std::move(out));
    board.addNode(std::move(busy));
    const std::vector<TBoardRow> rows = boardRows(board);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Employee, "Doe,Jane");
    EXPECT_EQ(rows[0].statusSince, localTime(2026, 6, 12, 9, 15));
    EXPECT_EQ(rows[0].returnsAt, localTime(2026, 6, 12, 15, 30));
    EXPECT_EQ(rows[1].StatusChanged, "not a date");
    EXPECT_EQ(rows[1].statusSince, std::nullopt);
    // Away in a meeting: overdue too once 3:30 PM has passed (counted from
    // today, the status's moment not reading).
    EXPECT_TRUE(rows[1].returnsAt.has_value());
}

}  // namespace
}  // namespace zv
