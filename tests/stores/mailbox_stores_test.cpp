// The memo and message stores: recipient bundles, expiry in days, and the
// deletes that follow a confirmed transfer.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "local_time.h"
#include "stores/date_time.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::fileExists;
using testing::readBytes;
using testing::TempDir;

using test::localTime;

// A store in a temporary folder with the clock at 12/7/26 12:00:00 PM.
class MailboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        datetime::setFormats("M/d/yy", "h:mm:ss AM/PM");
        now_ = localTime(2026, 12, 7, 12, 0, 0);
        datetime::setClockForTesting([this] { return now_; });
        memos_.setFileName(dir_.file("posti.dat"));
        memos_.setDebugLogFileName(dir_.file("debug_posti.log"));
        messages_.setFileName(dir_.file("wywa.dat"));
        messages_.setDebugLogFileName(dir_.file("debug_wywo.log"));
    }
    void TearDown() override { datetime::setClockForTesting(nullptr); }

    TPOSTINode& addMemo(const std::string& to, const std::string& text, std::time_t written) {
        return addMemoText(to, text, datetime::shortDateText(written), datetime::longTimeText(written));
    }
    TPOSTINode& addMemoText(const std::string& to, const std::string& text, const std::string& date,
                            const std::string& time) {
        return memos_.addNode(memos_.createNodeFromString(to + "<~FLD~>" + text + "<~FLD~>" + date +
                                                          "<~FLD~>" + time + "<~FLD~>5<~FLD~>6"));
    }
    // The memo texts (field 2) of `to`, read through a bundle that expires nothing.
    std::string memoTexts(const std::string& to) {
        std::string bundle = memos_.makeBundleFromList(to, 0);
        std::string texts;
        std::size_t pos = 0;
        while ((pos = bundle.find("<~FLD~>", pos)) != std::string::npos) {
            const std::size_t end = bundle.find("<~FLD~>", pos + 7);
            texts += bundle.substr(pos + 7, end - pos - 7) + " ";
            pos = bundle.find("<~REC~>", end);
            if (pos == std::string::npos) break;
        }
        return texts;
    }

    TempDir dir_;
    std::time_t now_ = 0;
    TPOSTIList memos_;
    TWYWOList messages_;
};

TEST_F(MailboxTest, BundleCarriesTheRecipientsRecordsInSubmissionOrder) {
    addMemo("Smith,John", "one", now_);
    addMemo("Adams,Al", "other", now_);
    addMemo("Smith,John", "two", now_);
    const std::string date = datetime::shortDateText(now_);
    const std::string time = datetime::longTimeText(now_);
    std::vector<std::uint64_t> carried;
    EXPECT_EQ(memos_.makeBundleFromList("Smith,John", 1, &carried),
              "2|Smith,John<~FLD~>one<~FLD~>" + date + "<~FLD~>" + time + "<~FLD~>5<~FLD~>6<~REC~>" +
                  "Smith,John<~FLD~>two<~FLD~>" + date + "<~FLD~>" + time + "<~FLD~>5<~FLD~>6<~REC~>");
    EXPECT_EQ(carried.size(), 2u);
    EXPECT_EQ(memos_.makeBundleFromList("smith,john", 1), "0|");
    EXPECT_EQ(memos_.makeBundleFromList("Nobody", 1), "0|");
}

TEST_F(MailboxTest, ExpiryCountsDaysForEveryRecipientAndTheRecipientGetsItsExpiredRecordOnce) {
    addMemo("Smith,John", "old-own", now_ - 86400 - 1);
    addMemo("Adams,Al", "old-other", now_ - 86400);  // exactly one day: expired
    addMemo("Adams,Al", "young-other", now_ - 86400 + 60);
    addMemo("Smith,John", "young-own", now_ - 3600);
    addMemoText("Adams,Al", "midnight-yesterday", datetime::shortDateText(now_ - 86400), "");
    addMemoText("Adams,Al", "yesterday-1pm", datetime::shortDateText(now_ - 86400), "13:00");

    const std::string bundle = memos_.makeBundleFromList("Smith,John", 1);
    EXPECT_EQ(bundle.substr(0, 2), "2|");
    EXPECT_NE(bundle.find("old-own"), std::string::npos);
    EXPECT_EQ(memoTexts("Smith,John"), "young-own ");
    EXPECT_EQ(memoTexts("Adams,Al"), "young-other yesterday-1pm ");

    // With two days nothing more goes; one hour later, the young one does.
    memos_.makeBundleFromList("Adams,Al", 2);
    EXPECT_EQ(memoTexts("Adams,Al"), "young-other yesterday-1pm ");
    now_ += 3600;
    memos_.makeBundleFromList("Adams,Al", 1);
    EXPECT_EQ(memoTexts("Adams,Al"), "");
    EXPECT_FALSE(fileExists(dir_.file("debug_posti.log")));
}

TEST_F(MailboxTest, ExpiryAddsCalendarDaysSoThatDaylightSavingChangesMoveNothing) {
    testing::ScopedTimeZone zone("America/New_York");
    // 8 March 2026 has 23 hours, 1 November 2026 has 25.
    addMemoText("Smith,John", "before-spring", "3/7/26", "12:00:00 PM");
    addMemoText("Smith,John", "before-autumn", "10/31/26", "12:00:00 PM");
    addMemoText("Smith,John", "two-days-over-spring", "3/7/26", "11:00:00 PM");

    now_ = localTime(2026, 3, 8, 11, 59, 59);
    memos_.makeBundleFromList("Nobody", 1);
    EXPECT_EQ(memoTexts("Smith,John"), "before-spring before-autumn two-days-over-spring ");
    now_ = localTime(2026, 3, 8, 12, 0, 0);  // one day on the calendar, 23 hours
    memos_.makeBundleFromList("Nobody", 1);
    EXPECT_EQ(memoTexts("Smith,John"), "before-autumn two-days-over-spring ");
    now_ = localTime(2026, 3, 9, 22, 59, 59);
    memos_.makeBundleFromList("Nobody", 2);
    EXPECT_EQ(memoTexts("Smith,John"), "before-autumn two-days-over-spring ");
    now_ = localTime(2026, 3, 9, 23, 0, 0);
    memos_.makeBundleFromList("Nobody", 2);
    EXPECT_EQ(memoTexts("Smith,John"), "before-autumn ");

    now_ = localTime(2026, 11, 1, 11, 30, 0);  // 24.5 hours later: not yet a day
    memos_.makeBundleFromList("Nobody", 1);
    EXPECT_EQ(memoTexts("Smith,John"), "before-autumn ");
    now_ = localTime(2026, 11, 1, 12, 0, 0);
    memos_.makeBundleFromList("Nobody", 1);
    EXPECT_EQ(memoTexts("Smith,John"), "");
}

TEST_F(MailboxTest, UnreadableTimestampsAreLoggedNeverExpireAndTheScanGoesOn) {
    addMemo("Smith,John", "first", now_);
    addMemoText("Smith,John", "bad-date", "not a date", "9:00:00 AM");
    addMemoText("Adams,Al", "bad-time", datetime::shortDateText(now_), "25:99");
    addMemo("Smith,John", "after", now_ - 10 * 86400);
    addMemo("Adams,Al", "expired-after", now_ - 10 * 86400);

    const std::string bundle = memos_.makeBundleFromList("Smith,John", 1);
    EXPECT_EQ(bundle.substr(0, 2), "3|");
    EXPECT_NE(bundle.find("after"), std::string::npos);
    EXPECT_EQ(readBytes(dir_.file("debug_posti.log")),
              "EConvertError in makeBundleFromList() at 12/7/26 12:00:00 PM\r\n"
              "EConvertError in makeBundleFromList() at 12/7/26 12:00:00 PM\r\n");
    EXPECT_EQ(memoTexts("Smith,John"), "first bad-date ");
    EXPECT_EQ(memoTexts("Adams,Al"), "bad-time ");

    // The message store logs to its own file.
    messages_.addNode(messages_.createNodeFromString("Smith,John<~FLD~>Adams,Al<~FLD~>?<~FLD~>?"));
    EXPECT_EQ(messages_.makeBundleFromList("Smith,John", 1).substr(0, 2), "1|");
    EXPECT_EQ(readBytes(dir_.file("debug_wywo.log")),
              "EConvertError in makeBundleFromList() at 12/7/26 12:00:00 PM\r\n");
}

TEST_F(MailboxTest, ZeroOrNegativeExpiryRemovesNothingLogsNothingAndStillSaves) {
    addMemoText("Adams,Al", "ancient", "1/1/01", "");
    addMemoText("Adams,Al", "unreadable", "x", "y");
    for (int e : {0, -5}) {
        std::remove(dir_.file("posti.dat").c_str());
        EXPECT_EQ(memos_.makeBundleFromList("Smith,John", e), "0|");
        EXPECT_EQ(readBytes(dir_.file("posti.dat")).size(), 2u * 1076);
    }
    EXPECT_FALSE(fileExists(dir_.file("debug_posti.log")));

    // Nothing expired with E above 0: the file is still rewritten.
    std::remove(dir_.file("posti.dat").c_str());
    memos_.deleteByKey("Adams,Al");
    addMemo("Adams,Al", "fresh", now_);
    std::remove(dir_.file("posti.dat").c_str());
    EXPECT_EQ(memos_.makeBundleFromList("Smith,John", 1), "0|");
    EXPECT_EQ(readBytes(dir_.file("posti.dat")).size(), 1076u);
}

TEST_F(MailboxTest, DeleteBySerialsDeletesExactlyTheCarriedRecordsAndSaves) {
    messages_.addNode(messages_.createNodeFromString("Smith,John<~FLD~>A<~FLD~><~FLD~><~FLD~>first"));
    messages_.addNode(messages_.createNodeFromString("Adams,Al<~FLD~>A<~FLD~><~FLD~><~FLD~>other"));
    std::vector<std::uint64_t> carried;
    const std::string bundle = messages_.makeBundleFromList("Smith,John", 0, &carried);
    ASSERT_EQ(carried.size(), 1u);
    // A message that arrives after the bundle was built.
    messages_.addNode(messages_.createNodeFromString("Smith,John<~FLD~>A<~FLD~><~FLD~><~FLD~>later"));

    messages_.deleteBySerials(carried);
    messages_.deleteBySerials({});
    const std::string left = messages_.makeBundleFromList("Smith,John", 0);
    EXPECT_EQ(left.substr(0, 2), "1|");
    EXPECT_NE(left.find("later"), std::string::npos);
    EXPECT_EQ(messages_.makeBundleFromList("Adams,Al", 0).substr(0, 2), "1|");

    TWYWOList reloaded;
    reloaded.setFileName(dir_.file("wywa.dat"));
    reloaded.loadFromFile();
    EXPECT_EQ(reloaded.makeBundleFromList("Smith,John", 0), left);
}

TEST_F(MailboxTest, DeleteByKeyRemovesEveryRecordOfTheRecipientOnlyAndSaves) {
    addMemo("Smith,John", "a", now_);
    addMemo("Adams,Al", "b", now_);
    addMemo("Smith,John", "c", now_);
    memos_.deleteByKey("Smith,John");
    EXPECT_EQ(readBytes(dir_.file("posti.dat")).size(), 1076u);
    EXPECT_EQ(memoTexts("Smith,John"), "");
    EXPECT_EQ(memoTexts("Adams,Al"), "b ");

    messages_.addNode(messages_.createNodeFromString("Smith,John"));
    messages_.addNode(messages_.createNodeFromString("Smith,John"));
    EXPECT_EQ(readBytes(dir_.file("wywa.dat")).size(), 2u * 1624);
    messages_.deleteByKey("Smith,John");
    EXPECT_EQ(readBytes(dir_.file("wywa.dat")).size(), 0u);
}

TEST_F(MailboxTest, ReloadedRecordsGetNewSerials) {
    const std::uint64_t before = addMemo("Smith,John", "a", now_).serial;
    memos_.loadFromFile();
    std::vector<std::uint64_t> carried;
    memos_.makeBundleFromList("Smith,John", 0, &carried);
    ASSERT_EQ(carried.size(), 1u);
    EXPECT_GT(carried[0], before);
    memos_.deleteBySerials({before});  // a serial from before the reload matches nothing
    EXPECT_EQ(memoTexts("Smith,John"), "a ");
}

TEST(DebugLogFiles, StoresWriteTheirOwnLogsInTheCurrentFolderByDefault) {
    TempDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    {
        TPOSTIList memos;
        memos.setFileName("posti.dat");
        memos.addNode(memos.createNodeFromString("A<~FLD~><~FLD~>?<~FLD~>?"));
        memos.makeBundleFromList("A", 1);
        TWYWOList messages;
        messages.setFileName("wywa.dat");
        messages.addNode(messages.createNodeFromString("A<~FLD~><~FLD~>?<~FLD~>?"));
        messages.makeBundleFromList("B", 3);
        TPHONEList phones;
        phones.setFileName("phonebook.dat");
        phones.addToPhoneListFromString("none");
    }
    std::filesystem::current_path(previous);
    for (const char* log : {"debug_posti.log", "debug_wywo.log", "debug_phone.log"}) {
        const std::string text = readBytes(dir.file(log));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << log;
        EXPECT_EQ(text.substr(0, 14), "EConvertError ") << log;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << log;
    }
    EXPECT_TRUE(fileExists(dir.file("posti.dat")));
}

TEST_F(MailboxTest, AFullDebugLogIsRenamedWithDotOneAndANewOneBegun) {
    // One client storing unreadable dates adds a line at every bundle: the log
    // stops at 10 MiB, its older part kept as "<name>.1".
    const std::string log = dir_.file("debug_posti.log");
    const std::string line = "EConvertError in makeBundleFromList() at 12/7/26 12:00:00 PM\r\n";
    const std::size_t limit = 10u * 1024u * 1024u;
    testing::writeBytes(log + ".1", "an older part\r\n");
    const std::string nearlyFull = std::string(limit - line.size(), 'x');
    testing::writeBytes(log, nearlyFull);
    addMemoText("Smith,John", "bad", "not a date", "");

    memos_.makeBundleFromList("Smith,John", 1);  // still fits: exactly 10 MiB
    EXPECT_EQ(std::filesystem::file_size(log), limit);
    EXPECT_EQ(readBytes(log + ".1"), "an older part\r\n");

    memos_.makeBundleFromList("Smith,John", 1);  // would not fit: a new log
    EXPECT_EQ(readBytes(log), line);
    const std::string older = readBytes(log + ".1");
    EXPECT_EQ(older.size(), limit);
    EXPECT_TRUE(older.starts_with("xxx") && older.ends_with("x" + line));
    memos_.makeBundleFromList("Smith,John", 1);
    EXPECT_EQ(readBytes(log), line + line);
}

}  // namespace
}  // namespace zv
