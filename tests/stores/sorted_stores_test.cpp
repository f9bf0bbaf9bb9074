// The board, department and phonebook stores: key order, lookups and updates.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/date_time.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::unique_ptr<TWIWONode> account(const std::string& key, const std::string& status = "In") {
    auto node = std::make_unique<TWIWONode>();
    node->Employee = key;
    node->Status = status;
    return node;
}

std::vector<std::string> boardKeys(TWIWOList& board) {
    std::vector<std::string> keys;
    for (int i = 0; i < board.getCount(); ++i) keys.push_back(board.getNode(i).Employee);
    return keys;
}

// The order of a whole-list sort by unsigned bytes.
std::vector<std::string> byteSorted(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    });
    return keys;
}

TEST(SortedStore, AddsKeepByteOrderCapitalsFirstAndHighBytesLast) {
    TWIWOList board;
    const std::vector<std::string> keys = {"smith,john", "Smith,John", "\xc4ngstr\xf6m,Ann", "Smith",
                                           "",           "Zed,Z",      "adams,al",            "Smith,Jo",
                                           "~tilde",     "Adams,Al",   "\x80low",             "Smith,John"};
    for (const auto& key : keys) board.addNode(account(key));
    EXPECT_EQ(boardKeys(board), byteSorted(keys));
    EXPECT_EQ(boardKeys(board).front(), "");
    EXPECT_EQ(boardKeys(board).back(), "\xc4ngstr\xf6m,Ann");
}

TEST(SortedStore, RandomAddsGiveTheOrderOfAFullSort) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> length(0, 6);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        TPHONEList phones;
        std::vector<std::string> keys;
        for (int i = 0; i < 200; ++i) {
            std::string key(static_cast<std::size_t>(length(rng)), '\0');
            for (char& c : key) c = static_cast<char>(byte(rng) % 4 == 0 ? 'a' + byte(rng) % 3 : byte(rng));
            key.erase(std::remove(key.begin(), key.end(), '<'), key.end());
            keys.push_back(key);
            phones.addNode(phones.createNodeFromString(key));
            // Reads between adds merge what was added so far.
            if (i % 13 == 0) phones.makeBundleFromList();
            if (i % 29 == 0) phones.getNode(0);
        }
        std::vector<std::string> got;
        for (int i = 0; i < phones.getCount(); ++i) got.push_back(phones.getNode(i).Caller);
        EXPECT_EQ(got, byteSorted(keys));
    }
}

TEST(SortedStore, LoadedOrderIsKeptUntilTheNextAddSortsTheWholeList) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    std::string image(3 * 1909, '\0');
    image.replace(0, 1, "c");
    image.replace(1909, 1, "a");
    image.replace(2 * 1909, 1, "d");
    writeBytes(name, image);

    TWIWOList board;
    board.setFileName(name);
    board.loadFromFile();
    EXPECT_EQ(boardKeys(board), (std::vector<std::string>{"c", "a", "d"}));
    board.addNode(account("b"));
    EXPECT_EQ(boardKeys(board), (std::vector<std::string>{"a", "b", "c", "d"}));

    // Adding in any order and saving writes key order.
    board.saveToFile();
    TWIWOList again;
    again.setFileName(name);
    again.loadFromFile();
    EXPECT_EQ(boardKeys(again), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(SortedStore, AKeyChangedThroughALentRecordIsResortedAtTheNextAdd) {
    TWIWOList board;
    for (const char* key : {"a", "b", "c"}) board.addNode(account(key));
    board.findByKey("a")->Employee = "z";
    board.addNode(account("bb"));
    EXPECT_EQ(boardKeys(board), (std::vector<std::string>{"b", "bb", "c", "z"}));
    board.getNode(0).Employee = "y";
    board.addNode(account("a"));
    EXPECT_EQ(boardKeys(board), (std::vector<std::string>{"a", "bb", "c", "y", "z"}));
}

TEST(BoardStore, LookupsAndDeletesCompareKeysExactly) {
    TWIWOList board;
    board.addNode(account("Smith,John", "first"));
    board.addNode(account("smith,john"));
    board.addNode(account("Smith,John", "second"));
    ASSERT_NE(board.findByKey("Smith,John"), nullptr);
    EXPECT_EQ(board.findByKey("Smith,John"), &board.getNode(0));
    EXPECT_EQ(board.findByKey("Smith, John"), nullptr);
    EXPECT_EQ(board.findByKey("Smith,John "), nullptr);
    EXPECT_EQ(board.findByKey("SMITH,JOHN"), nullptr);

    board.deleteByKey("Smith,John");  // every match
    EXPECT_EQ(boardKeys(board), (std::vector<std::string>{"smith,john"}));
    board.deleteByKey("nobody");
    EXPECT_EQ(board.getCount(), 1);
    EXPECT_THROW(board.getNode(1), ListIndexError);
    EXPECT_THROW(board.getNode(-1), ListIndexError);
}

TEST(BoardStore, UpdateByKeyCopiesAllButTheKeyStampsTheTimesAndSaves) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    datetime::setFormats("M/d/yy", "h:mm:ss AM/PM");
    std::tm parts{};
    parts.tm_year = 126;
    parts.tm_mon = 11;
    parts.tm_mday = 7;
    parts.tm_hour = 14;
    parts.tm_min = 5;
    parts.tm_sec = 9;
    parts.tm_isdst = -1;
    const std::time_t fixed = std::mktime(&parts);
    datetime::setClockForTesting([fixed] { return fixed; });

    TWIWOList board;
    board.setFileName(name);
    board.addNode(account("Smith,John", "In"));
    board.addNode(account("Adams,Al", "In"));
    board.saveToFile();

    TWIWONode received;
    received.setFromString("Other,Key<~FLD~>L<~FLD~>F<~FLD~>pw<~FLD~>Dept<~FLD~>wp<~FLD~>ext<~FLD~>Out"
                           "<~FLD~>ret<~FLD~>reach<~FLD~>com<~FLD~>mail<~FLD~>YES<~FLD~>hp<~FLD~>cp"
                           "<~FLD~>pg<~FLD~>oth<~FLD~>sc<~FLD~>lc<~FLD~>en<~FLD~>ep<~FLD~>er");
    board.updateByKey("Smith,John", received);
    const TWIWONode& stored = *board.findByKey("Smith,John");
    EXPECT_EQ(stored.Employee, "Smith,John");
    EXPECT_EQ(stored.toRecordString(),
              "Smith,John<~FLD~>L<~FLD~>F<~FLD~>pw<~FLD~>Dept<~FLD~>wp<~FLD~>ext<~FLD~>Out"
              "<~FLD~>ret<~FLD~>reach<~FLD~>com<~FLD~>mail<~FLD~>YES<~FLD~>hp<~FLD~>cp"
              "<~FLD~>pg<~FLD~>oth<~FLD~>12/7/26 2:05:09 PM<~FLD~>12/7/26 2:05:09 PM<~FLD~>en<~FLD~>ep<~FLD~>er");
    EXPECT_EQ(board.findByKey("Other,Key"), nullptr);
    EXPECT_EQ(received.StatusChanged, "sc");  // the given record is only read

    TWIWOList reloaded;
    reloaded.setFileName(name);
    reloaded.loadFromFile();
    EXPECT_EQ(reloaded.findByKey("Smith,John")->Status, "Out");

    // Applied to the stored record itself only the two stamps change.
    datetime::setClockForTesting([fixed] { return fixed + 60; });
    TWIWONode& self = *board.findByKey("Adams,Al");
    const std::string before = self.toRecordString();
    board.updateByKey("Adams,Al", self);
    EXPECT_EQ(self.StatusChanged, "12/7/26 2:06:09 PM");
    EXPECT_EQ(self.LastContact, "12/7/26 2:06:09 PM");
    self.StatusChanged.clear();
    self.LastContact.clear();
    EXPECT_EQ(self.toRecordString(), before);

    // An unknown key changes nothing and still rewrites the file.
    std::remove(name.c_str());
    board.updateByKey("Nobody,Here", received);
    EXPECT_EQ(readBytes(name).size(), 2u * 1909);
    datetime::setClockForTesting(nullptr);
}

TEST(DepartmentStore, DeletesOnlyTheFirstMatchAndKeepsCaseApart) {
    TDEPTList depts;
    for (const char* name : {"sales", "Sales", "Support", "Sales"}) {
        auto dept = std::make_unique<TDEPTNode>();
        dept->setFromString(name);
        depts.addNode(std::move(dept));
    }
    EXPECT_EQ(depts.makeBundleFromList(), "4|Sales<~REC~>Sales<~REC~>Support<~REC~>sales<~REC~>");
    const std::uint64_t second = depts.getNode(1).serial;
    depts.deleteByKey("Sales");
    ASSERT_EQ(depts.getCount(), 3);
    EXPECT_EQ(depts.getNode(0).Name, "Sales");
    EXPECT_EQ(depts.getNode(0).serial, second);
    depts.deleteByKey("Marketing");
    EXPECT_EQ(depts.getCount(), 3);
}

TEST(PhoneStore, RemoveNodeTakesOutTheGivenEntryOnly) {
    TPHONEList phones;
    TPHONENode& first = phones.addNode(phones.createNodeFromString("Bob<~FLD~>A"));
    phones.addNode(phones.createNodeFromString("Bob<~FLD~>B"));
    phones.removeNode(&first);
    ASSERT_EQ(phones.getCount(), 1);
    EXPECT_EQ(phones.getNode(0).Company, "B");
    TPHONENode stranger;
    EXPECT_THROW(phones.removeNode(&stranger), ListIndexError);
    EXPECT_EQ(phones.getCount(), 1);
}

}  // namespace
}  // namespace zv
