// Loads and debug logs that the file system fails: what is raised, what is
// kept and what is reported.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "stores/file_access.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::account;
using testing::fileExists;
using testing::FileOpsOverride;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

TEST(DataFileFailure, AReadThatFailsInTheMiddleOfTheBoardWarnsLeavesThatRecordOutAndGoesOn) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    {
        TWIWOList board;
        board.setFileName(name);
        for (const char* key : {"A,A", "B,B", "C,C", "D,D", "E,E"}) board.addNode(account(key));
        board.saveToFile();
    }
    // One record a read; the third read fails once.
    FileOpsOverride override;
    auto reads = std::make_shared<int>(0);
    auto realRead = override.ops().read;
    override.ops().read = [reads, realRead](int fd, void* buffer, std::size_t size) -> ssize_t {
        if (++*reads == 3) {
            errno = EIO;
            return -1;
        }
        return realRead(fd, buffer, size < 1909 ? size : 1909);
    };
    override.install();

    TWIWOList board;
    board.setFileName(name);
    std::vector<std::string> warnings;
    board.setConversionWarning([&](const std::string& text) { warnings.push_back(text); });
    ASSERT_NO_THROW(board.loadFromFile());
    ASSERT_EQ(board.getCount(), 4);
    EXPECT_EQ(board.getNode(1).Employee, "B,B");
    EXPECT_EQ(board.getNode(2).Employee, "D,D");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(name), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("Input/output error"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("4 records"), std::string::npos) << warnings[0];
}

// ---- Failures of the file system

TEST(DataFileFailure, UnreadableFileRaisesAndLeavesTheListAsItWasOrKeepsTheRecordsReadBeforeTheFailure) {
    TempDir dir;
    TDEPTList depts;
    depts.setFileName(dir.file("department.dat"));
    auto dept = std::make_unique<TDEPTNode>();
    dept->Name = "Sales";
    depts.addNode(std::move(dept));

    // A folder in place of the file cannot be read.
    std::filesystem::create_directory(dir.file("department.dat"));
    EXPECT_THROW(depts.loadFromFile(), StoreError);
    EXPECT_EQ(depts.getCount(), 1);
    std::filesystem::remove(dir.file("department.dat"));

    FileOpsOverride override;
    override.ops().open = [](const char*, int, mode_t) {
        errno = EACCES;
        return -1;
    };
    override.install();
    try {
        depts.loadFromFile();
        FAIL() << "open failure must raise";
    } catch (const StoreError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("department.dat"), std::string::npos) << what;
        EXPECT_NE(what.find("Permission denied"), std::string::npos) << what;
    }
    EXPECT_EQ(depts.getCount(), 1);

    // A read that fails part-way keeps the records read before it.
    override.ops() = fileio::systemFileOps();
    auto reads = std::make_shared<int>(0);
    auto realRead = override.ops().read;
    override.ops().read = [reads, realRead](int fd, void* buffer, std::size_t size) -> ssize_t {
        if (++*reads > 1) {
            errno = EIO;
            return -1;
        }
        return realRead(fd, buffer, size < 256 * 256 ? size : 256 * 256);
    };
    writeBytes(dir.file("department.dat"), std::string(300 * 256, '\0'));
    try {
        depts.loadFromFile();
        FAIL() << "a failed read must raise";
    } catch (const StoreError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("department.dat"), std::string::npos) << what;
        EXPECT_NE(what.find("Input/output error"), std::string::npos) << what;
    }
    EXPECT_EQ(depts.getCount(), 256);
}

TEST(DataFileFailure, DebugLogThatCannotBeCreatedRaisesToTheCaller) {
    TempDir dir;
    TPHONEList phones;
    phones.setFileName(dir.file("phonebook.dat"));
    phones.setDebugLogFileName(dir.file("no/such/folder/debug_phone.log"));
    try {
        phones.addToPhoneListFromString("x|");
        FAIL() << "the log failure must raise";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("debug_phone.log"), std::string::npos) << e.what();
    }
    EXPECT_EQ(phones.getCount(), 0);
}

}  // namespace
}  // namespace zv
