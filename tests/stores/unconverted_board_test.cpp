// An employee file written with another record size is kept as found before
// the server's first save rewrites it in whole 1909-byte records.

#include <gtest/gtest.h>

#include "stores/board_store.h"
#include "stores/store_error.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::TempDir;
using testing::readBytes;
using testing::writeBytes;

TEST(UnconvertedBoardFile, IsCopiedAsFoundBeforeAnySaveCanRewriteIt) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    std::string original(1909 * 2, '\0');
    original.replace(0, 5, "Old,A");
    original.replace(1909, 5, "Old,B");
    original.append(777, 'x');  // what an earlier version's longer records leave over
    writeBytes(name, original);

    TWIWOList board;
    board.setFileName(name);
    int warnings = 0;
    board.setConversionWarning([&](const std::string&) { ++warnings; });
    board.loadFromFile();
    EXPECT_EQ(warnings, 1);
    ASSERT_EQ(board.getCount(), 2);

    board.getNode(0).Status = "Out";
    board.saveToFile();
    EXPECT_EQ(readBytes(name).size(), 1909u * 2);
    EXPECT_EQ(readBytes(name + kUnconvertedSuffix), original);

    // A whole file makes no copy; the one already kept stays as it was.
    board.loadFromFile();
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(readBytes(name + kUnconvertedSuffix), original);
}

TEST(UnconvertedBoardFile, ACopyThatCannotBeMadeStopsTheLoad) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    writeBytes(name, std::string(1909 + 10, 'q'));
    // A folder in the copy's place cannot be overwritten by a file.
    std::filesystem::create_directory(name + kUnconvertedSuffix);

    TWIWOList board;
    board.setFileName(name);
    int warnings = 0;
    board.setConversionWarning([&](const std::string&) { ++warnings; });
    try {
        board.loadFromFile();
        FAIL() << "the load went on without a copy of the unconverted file";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("wiwo.dat.unconverted"), std::string::npos) << e.what();
    }
    EXPECT_EQ(warnings, 0);
}

}  // namespace
}  // namespace zv
