// Saves inside a batch: a store's saves are made once, when the batch
// commits; files are replaced whole at once, their folders are flushed once
// each when the batch commits, and a failing folder flush is reported naming
// the folder.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stores/file_access.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::fileExists;
using testing::readBytes;
using testing::TempDir;

void saveText(const std::string& name, const std::string& text) {
    fileio::AtomicFileWriter writer(name);
    writer.write(text.data(), text.size());
    writer.commit();
}

// Replaces the file calls and counts the flushes of files and of folders
// (by folder path).
class SyncCounter {
public:
    SyncCounter() : ops_(fileio::systemFileOps()) {
        const fileio::FileOps real = ops_;
        ops_.open = [this, real](const char* path, int flags, mode_t mode) {
            const int fd = real.open(path, flags, mode);
            if (fd >= 0 && (flags & O_DIRECTORY)) folderOfFd_[fd] = path;
            return fd;
        };
        ops_.fsync = [this, real](int fd) {
            const auto folder = folderOfFd_.find(fd);
            if (folder == folderOfFd_.end()) {
                ++fileSyncs_;
                return real.fsync(fd);
            }
            ++folderSyncs_[folder->second];
            if (folder->second == failingFolder_) {
                errno = EIO;
                return -1;
            }
            return real.fsync(fd);
        };
        ops_.close = [this, real](int fd) {
            folderOfFd_.erase(fd);
            return real.close(fd);
        };
        ops_.fdatasync = [this, real](int fd) {
            ++dataSyncs_;
            return real.fdatasync(fd);
        };
        fileio::setFileOpsForTesting(&ops_);
    }
    ~SyncCounter() { fileio::setFileOpsForTesting(nullptr); }
    SyncCounter(const SyncCounter&) = delete;
    SyncCounter& operator=(const SyncCounter&) = delete;

    int folderSyncs(const std::string& folder) const {
        const auto it = folderSyncs_.find(folder);
        return it == folderSyncs_.end() ? 0 : it->second;
    }
    int allFolderSyncs() const {
        int total = 0;
        for (const auto& [folder, count] : folderSyncs_) total += count;
        return total;
    }
    int fileSyncs() const { return fileSyncs_; }
    // Flushes of a journal or of records written in place.
    int dataSyncs() const { return dataSyncs_; }
    void failFolder(const std::string& folder) { failingFolder_ = folder; }

private:
    fileio::FileOps ops_;
    std::map<int, std::string> folderOfFd_;
    std::map<std::string, int> folderSyncs_;
    int fileSyncs_ = 0;
    int dataSyncs_ = 0;
    std::string failingFolder_;
};

TEST(DirectorySyncBatch, SavesOutsideABatchFlushTheirFolderAtOnceAsBefore) {
    TempDir dir;
    SyncCounter counter;
    EXPECT_FALSE(fileio::TDirectorySyncBatch::active());
    saveText(dir.file("a.dat"), "one");
    saveText(dir.file("a.dat"), "two");
    EXPECT_EQ(counter.fileSyncs(), 2);
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 2);
    EXPECT_EQ(readBytes(dir.file("a.dat")), "two");
}

TEST(DirectorySyncBatch, SavesInABatchReplaceTheFilesAtOnceAndFlushEachFolderOnceAtCommit) {
    TempDir dir;
    TempDir other;
    SyncCounter counter;
    {
        fileio::TDirectorySyncBatch batch;
        EXPECT_TRUE(fileio::TDirectorySyncBatch::active());
        saveText(dir.file("a.dat"), "first");
        // Whole and renamed already, the file itself flushed; the folder waits.
        EXPECT_EQ(readBytes(dir.file("a.dat")), "first");
        EXPECT_FALSE(fileExists(dir.file("a.dat.tmp")));
        EXPECT_EQ(counter.fileSyncs(), 1);
        EXPECT_EQ(counter.allFolderSyncs(), 0);

        // A board store save is made at the commit.
        TWIWOList board;
        board.setFileName(dir.file("wiwo.dat"));
        auto node = std::make_unique<TWIWONode>();
        node->Employee = "Smith,John";
        board.addNode(std::move(node));
        board.saveToFile();
        saveText(dir.file("a.dat"), "second");
        saveText(other.file("b.dat"), "elsewhere");
        EXPECT_EQ(readBytes(dir.file("a.dat")), "second");
        EXPECT_EQ(readBytes(other.file("b.dat")), "elsewhere");
        EXPECT_EQ(counter.allFolderSyncs(), 0);
        EXPECT_EQ(fileio::pendingFolderSyncs().size(), 2u);

        batch.commit();
        EXPECT_EQ(counter.folderSyncs(dir.path().string()), 1);
        EXPECT_EQ(counter.folderSyncs(other.path().string()), 1);
        EXPECT_TRUE(fileio::pendingFolderSyncs().empty());

        // Saves after a commit are flushed by the next commit or the end.
        saveText(dir.file("a.dat"), "third");
        EXPECT_EQ(counter.folderSyncs(dir.path().string()), 1);
    }
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 2);
    EXPECT_EQ(counter.folderSyncs(other.path().string()), 1);
    EXPECT_FALSE(fileio::TDirectorySyncBatch::active());
    EXPECT_EQ(readBytes(dir.file("a.dat")), "third");

    // A batch that saved nothing flushes nothing.
    { fileio::TDirectorySyncBatch batch; }
    EXPECT_EQ(counter.allFolderSyncs(), 3);
}

TEST(DirectorySyncBatch, AStoreSavedSeveralTimesInABatchIsWrittenOnceAtTheCommitAndAReloadDropsItsSave) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    TWIWOList board;
    board.setFileName(name);
    for (const char* key : {"A,A", "B,B", "C,C"}) board.addNode(testing::account(key));
    board.saveToFile();
    const std::string before = readBytes(name);
    SyncCounter counter;
    {
        fileio::TDirectorySyncBatch batch;
        board.findByKey("A,A")->Status = "Out";
        board.saveToFile();
        board.findByKey("C,C")->Status = "Out";
        board.saveToFile();
        board.saveToFile();
        EXPECT_EQ(readBytes(name), before);
        EXPECT_EQ(counter.dataSyncs(), 0);
        batch.commit();
        // One journal (new: its folder flushed), one write in place of the
        // two records.
        EXPECT_EQ(counter.dataSyncs(), 2);
        EXPECT_EQ(counter.folderSyncs(dir.path().string()), 1);
        EXPECT_EQ(board.getCount(), 3);
        EXPECT_NE(readBytes(name), before);

        // A reload drops the save recorded before it.
        board.findByKey("B,B")->Status = "Away";
        board.saveToFile();
        board.loadFromFile();
        batch.commit();
        EXPECT_EQ(counter.dataSyncs(), 2);
        EXPECT_EQ(board.findByKey("B,B")->Status, "In");
    }

    // A save that fails at the commit: the others are made and flushed all
    // the same, then the failure is raised, naming the file.
    TWIWOList lost;
    lost.setFileName(dir.file("no/such/folder/wiwo.dat"));
    lost.addNode(testing::account("D,D"));
    try {
        fileio::TDirectorySyncBatch batch;
        lost.saveToFile();
        board.addNode(testing::account("E,E"));
        board.saveToFile();
        batch.commit();
        ADD_FAILURE() << "the failed save must raise";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("no/such/folder/wiwo.dat"), std::string::npos) << e.what();
    }
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 2);
    TWIWOList reread;
    reread.setFileName(name);
    reread.loadFromFile();
    EXPECT_EQ(reread.getCount(), 4);
}

TEST(DirectorySyncBatch, NestedBatchesLeaveTheFlushToTheOutermostUnlessOneCommits) {
    TempDir dir;
    SyncCounter counter;
    const std::string folder = dir.path().string();
    {
        fileio::TDirectorySyncBatch outer;
        {
            fileio::TDirectorySyncBatch inner;
            saveText(dir.file("a.dat"), "inner");
        }
        EXPECT_TRUE(fileio::TDirectorySyncBatch::active());
        EXPECT_EQ(counter.folderSyncs(folder), 0);
        saveText(dir.file("b.dat"), "outer");
        EXPECT_EQ(counter.folderSyncs(folder), 0);
    }
    EXPECT_EQ(counter.folderSyncs(folder), 1);

    // A commit in an inner batch makes everything saved so far durable.
    {
        fileio::TDirectorySyncBatch outer;
        saveText(dir.file("a.dat"), "before");
        {
            fileio::TDirectorySyncBatch inner;
            saveText(dir.file("b.dat"), "inside");
            inner.commit();
            EXPECT_EQ(counter.folderSyncs(folder), 2);
        }
        EXPECT_EQ(counter.folderSyncs(folder), 2);
    }
    EXPECT_EQ(counter.folderSyncs(folder), 2);
}

TEST(DirectorySyncBatch, ASuspensionFlushesSavesAtOnceAndKeepsTheBatchRecordForLater) {
    TempDir dir;
    SyncCounter counter;
    const std::string folder = dir.path().string();
    {
        fileio::TDirectorySyncBatch batch;
        saveText(dir.file("a.dat"), "in the batch");
        {
            fileio::TDirectorySyncSuspension suspension;
            EXPECT_FALSE(fileio::TDirectorySyncBatch::active());
            EXPECT_TRUE(fileio::pendingFolderSyncs().empty());
            saveText(dir.file("b.dat"), "aside");
            EXPECT_EQ(counter.folderSyncs(folder), 1);
            {
                fileio::TDirectorySyncBatch inner;
                saveText(dir.file("c.dat"), "inner");
                EXPECT_EQ(counter.folderSyncs(folder), 1);
            }
            EXPECT_EQ(counter.folderSyncs(folder), 2);
        }
        EXPECT_TRUE(fileio::TDirectorySyncBatch::active());
        EXPECT_EQ(fileio::pendingFolderSyncs(), std::vector<std::string>{folder});
    }
    EXPECT_EQ(counter.folderSyncs(folder), 3);
}

TEST(DirectorySyncBatch, AFailingFolderFlushRaisesNamingTheFolderAtCommitOrAtTheEnd) {
    TempDir dir;
    TempDir other;
    SyncCounter counter;
    counter.failFolder(dir.path().string());
    {
        fileio::TDirectorySyncBatch batch;
        saveText(dir.file("a.dat"), "new");
        saveText(other.file("b.dat"), "new");
        try {
            batch.commit();
            ADD_FAILURE() << "the failed folder flush must raise";
        } catch (const StoreError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("\"" + dir.path().string() + "\""), std::string::npos) << what;
            EXPECT_NE(what.find("Input/output error"), std::string::npos) << what;
        }
        // The other folder was still flushed, and nothing is left pending.
        EXPECT_EQ(counter.folderSyncs(other.path().string()), 1);
        EXPECT_TRUE(fileio::pendingFolderSyncs().empty());
    }
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 1);

    // Without an explicit commit the end of the batch raises.
    bool raised = false;
    try {
        fileio::TDirectorySyncBatch batch;
        saveText(dir.file("a.dat"), "newer");
    } catch (const StoreError& e) {
        raised = true;
        EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos) << e.what();
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 2);
    EXPECT_FALSE(fileio::TDirectorySyncBatch::active());

    // Ending because of another exception: that exception goes on, the flush
    // is still tried (its failure goes to stderr).
    try {
        fileio::TDirectorySyncBatch batch;
        saveText(dir.file("a.dat"), "newest");
        throw std::logic_error("merge failed");
    } catch (const StoreError&) {
        ADD_FAILURE() << "the first exception must go on";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "merge failed");
    }
    EXPECT_EQ(counter.folderSyncs(dir.path().string()), 3);
    EXPECT_EQ(readBytes(dir.file("a.dat")), "newest");
    EXPECT_FALSE(fileio::TDirectorySyncBatch::active());

    // Outside a batch a failure still names the saved file, as before.
    try {
        saveText(dir.file("a.dat"), "plain");
        ADD_FAILURE() << "the failed folder flush must raise";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("folder of \"" + dir.file("a.dat") + "\""),
                  std::string::npos)
            << e.what();
    }
}

}  // namespace
}  // namespace zv
