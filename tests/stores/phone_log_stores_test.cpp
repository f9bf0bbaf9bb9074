// Phonebook bundles received from clients, and the bounded status log.

#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/date_time.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::fileExists;
using testing::readBytes;
using testing::TempDir;

class PhoneBundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        phones_.setFileName(dir_.file("phonebook.dat"));
        phones_.setDebugLogFileName(dir_.file("debug_phone.log"));
        phones_.addNode(phones_.createNodeFromString("Mary<~FLD~>Acme<~FLD~>1"));
        phones_.addNode(phones_.createNodeFromString("Zoe<~FLD~>Beta<~FLD~>2"));
        phones_.saveToFile();
        before_ = readBytes(dir_.file("phonebook.dat"));
    }
    std::vector<std::string> callers() {
        std::vector<std::string> out;
        for (int i = 0; i < phones_.getCount(); ++i) out.push_back(phones_.getNode(i).Caller);
        return out;
    }

    TempDir dir_;
    TPHONEList phones_;
    std::string before_;
};

TEST_F(PhoneBundleTest, ReceivedEntriesAreAddedInOrderAndSaved) {
    phones_.addToPhoneListFromString("3|Bob<~FLD~>X<~FLD~>3<~REC~>Al<~FLD~>Y<~FLD~>4<~REC~>Mary<~FLD~>Acme<~FLD~>1<~REC~>");
    EXPECT_EQ(callers(), (std::vector<std::string>{"Al", "Bob", "Mary", "Mary", "Zoe"}));
    EXPECT_EQ(readBytes(dir_.file("phonebook.dat")).size(), 5u * 641);
    EXPECT_EQ(phones_.makeBundleFromList(),
              "5|Al<~FLD~>Y<~FLD~>4<~REC~>Bob<~FLD~>X<~FLD~>3<~REC~>Mary<~FLD~>Acme<~FLD~>1<~REC~>"
              "Mary<~FLD~>Acme<~FLD~>1<~REC~>Zoe<~FLD~>Beta<~FLD~>2<~REC~>");
}

TEST_F(PhoneBundleTest, ZeroOrNegativeCountAddsNothingButSaves) {
    for (const char* bundle : {"0|", "-3|Bob<~REC~>", "+0|"}) {
        std::remove(dir_.file("phonebook.dat").c_str());
        phones_.addToPhoneListFromString(bundle);
        EXPECT_EQ(readBytes(dir_.file("phonebook.dat")), before_) << bundle;
        EXPECT_EQ(phones_.getCount(), 2) << bundle;
    }
    EXPECT_FALSE(fileExists(dir_.file("debug_phone.log")));
}

TEST_F(PhoneBundleTest, UnreadableCountIsLoggedAndChangesNothing) {
    const std::time_t fixed = [] {
        std::tm parts{};
        parts.tm_year = 127;
        parts.tm_mon = 0;
        parts.tm_mday = 2;
        parts.tm_hour = 0;
        parts.tm_min = 3;
        parts.tm_sec = 4;
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    }();
    datetime::setFormats("M/d/yy", "h:mm:ss AM/PM");
    datetime::setClockForTesting([fixed] { return fixed; });
    const std::vector<std::string> bad = {"",       "|",    "Bob<~FLD~>X<~REC~>", "two|Bob<~REC~>",
                                          "1x|Bob", "1 |A", "99999999999999999999|A<~REC~>", "--1|", "+-1|", "0x1|"};
    std::remove(dir_.file("phonebook.dat").c_str());
    for (const auto& bundle : bad) phones_.addToPhoneListFromString(bundle);
    datetime::setClockForTesting(nullptr);

    EXPECT_FALSE(fileExists(dir_.file("phonebook.dat")));  // never saved
    EXPECT_EQ(phones_.getCount(), 2);
    std::string expected;
    for (std::size_t i = 0; i < bad.size(); ++i)
        expected += "EConvertError in addToPhoneListFromString() at 1/2/27 12:03:04 AM\r\n";
    EXPECT_EQ(readBytes(dir_.file("debug_phone.log")), expected);
}

TEST_F(PhoneBundleTest, CountAboveTheRecordsPresentAddsOnlyThosePresent) {
    phones_.addToPhoneListFromString("4|Bob<~FLD~>X<~FLD~>3<~REC~>Al<~REC~>Cut<~FLD~>of");
    EXPECT_EQ(callers(), (std::vector<std::string>{"Al", "Bob", "Mary", "Zoe"}));
    EXPECT_EQ(phones_.getNode(2).Company, "Acme");  // existing entries unchanged
    EXPECT_EQ(readBytes(dir_.file("phonebook.dat")).size(), 4u * 641);

    // Fewer counted than present: only the counted ones.
    phones_.addToPhoneListFromString("1|Ann<~REC~>Ben<~REC~>");
    EXPECT_EQ(callers(), (std::vector<std::string>{"Al", "Ann", "Bob", "Mary", "Zoe"}));
}

// ---- Status log

std::unique_ptr<TLOGNode> entry(TLOGList& log, int n) {
    return log.createNodeFromString("E" + std::to_string(n) + "<~FLD~>Dept");
}

std::vector<std::string> employees(TLOGList& log) {
    std::vector<std::string> out;
    for (int i = 0; i < log.getCount(); ++i) out.push_back(log.getNode(i).Employee);
    return out;
}

TEST(StatusLog, AddAtTheMaximumDropsExactlyTheOldestEntryAndSaves) {
    TempDir dir;
    TLOGList log;
    log.setFileName(dir.file("log_stat.dat"));
    EXPECT_EQ(log.maxSize(), 100);
    for (int i = 0; i < 100; ++i) log.addNode(entry(log, i));
    EXPECT_EQ(log.getCount(), 100);
    log.addNode(entry(log, 100));
    ASSERT_EQ(log.getCount(), 100);
    EXPECT_EQ(log.getNode(0).Employee, "E1");
    EXPECT_EQ(log.getNode(99).Employee, "E100");
    EXPECT_EQ(readBytes(dir.file("log_stat.dat")).size(), 100u * 820);

    // Lowering the maximum does not shrink the log: one out, one in.
    log.setMaxSize(10);
    log.addNode(entry(log, 101));
    EXPECT_EQ(log.getCount(), 100);
    EXPECT_EQ(log.getNode(0).Employee, "E2");

    // Loading keeps the order of the adds.
    TLOGList reloaded;
    reloaded.setFileName(dir.file("log_stat.dat"));
    reloaded.loadFromFile();
    EXPECT_EQ(employees(reloaded), employees(log));
}

TEST(StatusLog, MaximumOfZeroOrLessKeepsOnlyTheNewestEntry) {
    TempDir dir;
    for (int max : {0, -4}) {
        TLOGList log;
        log.setFileName(dir.file("log_stat.dat"));
        log.setMaxSize(max);
        log.addNode(entry(log, 1));
        log.addNode(entry(log, 2));
        EXPECT_EQ(employees(log), (std::vector<std::string>{"E2"}));
    }
}

TEST(StatusLog, AddingNoRecordIsRefusedAndChangesNothing) {
    TempDir dir;
    TLOGList log;
    log.setFileName(dir.file("log_stat.dat"));
    log.setMaxSize(1);
    log.addNode(entry(log, 1));
    EXPECT_THROW(log.addNode(nullptr), std::invalid_argument);
    EXPECT_EQ(log.getCount(), 1);
    TPHONEList phones;
    EXPECT_THROW(phones.addNode(nullptr), std::invalid_argument);
    EXPECT_EQ(phones.getCount(), 0);
}

TEST(StatusLog, DeleteAtAndRemoveNodeChangeOnlyTheListInMemory) {
    TempDir dir;
    TLOGList log;
    log.setFileName(dir.file("log_stat.dat"));
    for (int i = 0; i < 4; ++i) log.addNode(entry(log, i));
    const std::string saved = readBytes(dir.file("log_stat.dat"));
    log.deleteAt(4);
    log.deleteAt(-1);
    EXPECT_EQ(log.getCount(), 4);
    log.deleteAt(1);
    log.removeNode(&log.getNode(2));
    EXPECT_EQ(employees(log), (std::vector<std::string>{"E0", "E2"}));
    EXPECT_EQ(readBytes(dir.file("log_stat.dat")), saved);
    log.loadFromFile();  // a cancelled viewer discards its changes
    EXPECT_EQ(log.getCount(), 4);
}

}  // namespace
}  // namespace zv
