// Saves that fail part-way leave the old file whole.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>

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

class SaveFailure : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = dir_.file("wiwo.dat");
        board_.setFileName(name_);
        for (int i = 0; i < 600; ++i) board_.addNode(account("Old," + std::to_string(i)));
        board_.saveToFile();
        oldImage_ = readBytes(name_);
        board_.addNode(account("New,One"));
    }

    // Saves, expects an error naming the file and the given system text, and
    // checks that the old file is whole and no temporary file is left.
    void expectFailedSave(const std::string& systemText) {
        try {
            board_.saveToFile();
            ADD_FAILURE() << "the save must raise";
        } catch (const StoreError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(name_), std::string::npos) << what;
            EXPECT_NE(what.find(systemText), std::string::npos) << what;
        }
        fileio::setFileOpsForTesting(nullptr);
        EXPECT_EQ(readBytes(name_), oldImage_);
        EXPECT_FALSE(fileExists(name_ + ".tmp"));
    }

    TempDir dir_;
    std::string name_;
    TWIWOList board_;
    std::string oldImage_;
    FileOpsOverride override_;
};

TEST_F(SaveFailure, DiskFullPartWayLeavesTheOldFileWhole) {
    auto written = std::make_shared<std::size_t>(0);
    auto realWrite = override_.ops().write;
    override_.ops().write = [written, realWrite](int fd, const void* data, std::size_t size) -> ssize_t {
        if (*written > 300000) {
            errno = ENOSPC;
            return -1;
        }
        const ssize_t n = realWrite(fd, data, size < 100000 ? size : 100000);
        if (n > 0) *written += static_cast<std::size_t>(n);
        return n;
    };
    override_.install();
    expectFailedSave("No space left on device");
}

TEST_F(SaveFailure, FailedFlushLeavesTheOldFileWhole) {
    override_.ops().fsync = [](int) {
        errno = EIO;
        return -1;
    };
    override_.install();
    expectFailedSave("Input/output error");
}

TEST_F(SaveFailure, FailedRenameLeavesTheOldFileWhole) {
    override_.ops().rename = [](const char*, const char*) {
        errno = EXDEV;
        return -1;
    };
    override_.install();
    expectFailedSave("Invalid cross-device link");
}

TEST_F(SaveFailure, TemporaryFileThatCannotBeCreatedLeavesTheOldFileWhole) {
    // A folder where the temporary file would go blocks its creation even for
    // a privileged user.
    std::filesystem::create_directory(name_ + ".tmp");
    try {
        board_.saveToFile();
        ADD_FAILURE() << "the save must raise";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find(name_), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(name_), oldImage_);
    std::filesystem::remove(name_ + ".tmp");

    board_.saveToFile();  // and the next save goes through
    EXPECT_EQ(readBytes(name_).size(), oldImage_.size() + 1909);
}

TEST_F(SaveFailure, ReadOnlyFolderLeavesTheOldFileWhole) {
    namespace fs = std::filesystem;
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    if (geteuid() != 0) {
        expectFailedSave("Permission denied");
        return;
    }
    // Folder permissions do not bind a privileged user: save as nobody in a
    // child process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 3;
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            try {
                board_.saveToFile();
                status = 1;
            } catch (const StoreError& e) {
                const std::string what = e.what();
                status = what.find(name_) != std::string::npos &&
                                 what.find("Permission denied") != std::string::npos
                             ? 0
                             : 2;
            }
        }
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "this process may not change its user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save raised nothing, 2: the error text is wrong";
    EXPECT_EQ(readBytes(name_), oldImage_);
    EXPECT_FALSE(fileExists(name_ + ".tmp"));
}

}  // namespace
}  // namespace zv
