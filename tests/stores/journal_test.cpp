// Records changed where they lie: what a save writes and in which order, and
// what a load makes of the journal a crash left behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "file_images.h"
#include "stores/file_journal.h"
#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using test::RecordKind;
using testing::account;
using testing::fileExists;
using testing::FileOpsOverride;
using testing::readBytes;
using testing::TempDir;
using testing::wholeFileImage;
using testing::writeBytes;

// Records the file calls that change something, by file name.
class ChangeRecorder {
public:
    ChangeRecorder() {
        fileio::FileOps& o = override_.ops();
        const fileio::FileOps real = o;
        o.open = [this, real](const char* path, int flags, mode_t mode) {
            const int fd = real.open(path, flags, mode);
            if (fd >= 0) names_[fd] = std::filesystem::path(path).filename().string();
            return fd;
        };
        o.pwrite = [this, real](int fd, const void* data, std::size_t size, off_t offset) {
            events.push_back("write " + names_[fd] + " " + std::to_string(offset) + "+" +
                             std::to_string(size));
            return real.pwrite(fd, data, size, offset);
        };
        o.write = [this, real](int fd, const void* data, std::size_t size) {
            events.push_back("write " + names_[fd]);
            return real.write(fd, data, size);
        };
        o.fdatasync = [this, real](int fd) {
            events.push_back("flush " + names_[fd]);
            return real.fdatasync(fd);
        };
        o.fsync = [this, real](int fd) {
            events.push_back("flush " + names_[fd]);
            return real.fsync(fd);
        };
        o.ftruncate = [this, real](int fd, off_t length) {
            events.push_back("truncate " + names_[fd] + " " + std::to_string(length));
            return real.ftruncate(fd, length);
        };
        o.rename = [this, real](const char* from, const char* to) {
            events.push_back("rename " + std::filesystem::path(to).filename().string());
            return real.rename(from, to);
        };
        override_.install();
    }

    std::vector<std::string> events;

private:
    FileOpsOverride override_;
    std::map<int, std::string> names_;
};

void fillBoard(TWIWOList& board, int count) {
    for (int i = 0; i < count; ++i) board.addNode(account("Key," + std::to_string(i)));
}

TEST(InPlaceSave, OnlyTheChangedRecordsAreWrittenWhereTheyLieBehindAJournalThatIsEmptiedAndRemoved) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    const std::string journal = name + ".journal";
    const std::string folder = dir.path().filename().string();
    struct stat before {};
    {
        TWIWOList board;
        board.setFileName(name);
        fillBoard(board, 5);
        board.saveToFile();
        ASSERT_EQ(::stat(name.c_str(), &before), 0);

        ChangeRecorder recorder;
        board.findByKey("Key,1")->Status = "Out";
        board.findByKey("Key,2");  // lent, left as it was
        board.getNode(4).Comments = "back at 3";
        board.getNode(3).Comments = "lunch";
        board.saveToFile();
        // The journal first, flushed, its new name made durable; then the
        // records (the last two are neighbours: one stretch), flushed; then
        // the journal emptied.
        const std::vector<std::string> expected{
            "write wiwo.dat.journal 0+" + std::to_string(48 + 16 + 1909 + 16 + 2 * 1909),
            "flush wiwo.dat.journal",
            "flush " + folder,
            "write wiwo.dat 1909+1909",
            "write wiwo.dat 5727+3818",
            "flush wiwo.dat",
            "truncate wiwo.dat.journal 0",
        };
        EXPECT_EQ(recorder.events, expected);
        EXPECT_EQ(readBytes(name), wholeFileImage(board, RecordKind::Board));
        struct stat after {};
        ASSERT_EQ(::stat(name.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        struct stat journalState {};
        ASSERT_EQ(::stat(journal.c_str(), &journalState), 0);
        EXPECT_EQ(journalState.st_size, 0);
        EXPECT_EQ(journalState.st_mode & 0777, 0600u);

        // Nothing changed: nothing written. Records read through the const
        // accessors are not even compared.
        recorder.events.clear();
        EXPECT_EQ(std::as_const(board).getNode(2).Status, "In");
        board.saveToFile();
        board.findByKey("Key,0");
        board.saveToFile();
        EXPECT_TRUE(recorder.events.empty()) << recorder.events.front();

        // A record added moves the ones after it: the file is replaced whole.
        board.addNode(account("Key,11"));
        board.saveToFile();
        EXPECT_EQ(recorder.events.back(), "flush " + folder);
        EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "rename wiwo.dat"), 1);
        EXPECT_EQ(readBytes(name), wholeFileImage(board, RecordKind::Board));

        // A file replaced behind the store's back is replaced whole too.
        writeBytes(name + ".copy", readBytes(name));
        ASSERT_EQ(::rename((name + ".copy").c_str(), name.c_str()), 0);
        board.getNode(0).Status = "Away";
        board.saveToFile();
        EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "rename wiwo.dat"), 2);
        EXPECT_EQ(readBytes(name), wholeFileImage(board, RecordKind::Board));
    }
    EXPECT_FALSE(fileExists(journal)) << "the store is gone, and so is its empty journal";
}

// A save stopped right after its journal was flushed: the data file is as
// before, the journal complete.
struct StopAfterJournal {};
void stopAfterJournal() { throw StopAfterJournal{}; }

class JournalRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = dir_.file("wiwo.dat");
        journal_ = name_ + ".journal";
        TWIWOList board;
        board.setFileName(name_);
        fillBoard(board, 4);
        board.saveToFile();
        before_ = readBytes(name_);

        board.getNode(2).Comments = "changed in place";
        board.getNode(2).Status = "Out";
        after_ = wholeFileImage(board, RecordKind::Board);
        fileio::setJournalFlushedHookForTesting(&stopAfterJournal);
        EXPECT_THROW(board.saveToFile(), StopAfterJournal);
        fileio::setJournalFlushedHookForTesting(nullptr);
        EXPECT_EQ(readBytes(name_), before_);
        complete_ = readBytes(journal_);
    }

    // Loads a fresh board store; returns its warnings.
    std::vector<std::string> load(TWIWOList& board) {
        std::vector<std::string> warnings;
        board.setFileName(name_);
        board.setLoadWarning([&](const std::string& text) { warnings.push_back(text); });
        board.loadFromFile();
        return warnings;
    }

    // With this journal beside the file as it was before the change: the
    // load discards it with one line, and serves and keeps the file as it was.
    void expectDiscarded(const std::string& journalBytes, const std::string& what) {
        writeBytes(journal_, journalBytes);
        TWIWOList board;
        const std::vector<std::string> warnings = load(board);
        ASSERT_EQ(warnings.size(), journalBytes.empty() ? 0u : 1u) << what;
        if (!warnings.empty()) {
            EXPECT_NE(warnings[0].find("was incomplete or damaged and was discarded"), std::string::npos)
                << what << ": " << warnings[0];
            EXPECT_EQ(warnings[0].find('\r'), std::string::npos) << "one line";
        }
        EXPECT_FALSE(fileExists(journal_)) << what;
        ASSERT_EQ(readBytes(name_), before_) << what;
        EXPECT_EQ(board.getNode(2).Comments, "") << what;
    }

    TempDir dir_;
    std::string name_, journal_;
    std::string before_, after_, complete_;
};

TEST_F(JournalRecovery, ACompleteJournalIsPlayedIntoTheFileBeforeTheLoadAndATornOrDamagedOneIsDiscarded) {
    ASSERT_EQ(complete_.size(), 48u + 16u + 1909u);

    // Cut at every byte: discarded, the file served as it was.
    for (std::size_t cut = 0; cut < complete_.size(); ++cut) {
        expectDiscarded(complete_.substr(0, cut), "cut at " + std::to_string(cut));
        if (HasFatalFailure()) return;
    }
    // Any one byte wrong, in the header, in a stretch's offset or length,
    // in the new bytes, in the checksum: discarded.
    for (std::size_t at = 0; at < complete_.size(); at += at < 80 ? 1 : 61) {
        std::string damaged = complete_;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        expectDiscarded(damaged, "byte " + std::to_string(at) + " changed");
        if (HasFatalFailure()) return;
    }

    // Complete: played into the file, whatever the file holds of it so far.
    std::string torn = before_;
    torn.replace(2 * 1909, 700, after_.substr(2 * 1909, 700));
    writeBytes(name_, torn);
    writeBytes(journal_, complete_);
    {
        TWIWOList board;
        const std::vector<std::string> warnings = load(board);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("held a complete change"), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("\"" + journal_ + "\""), std::string::npos) << warnings[0];
        EXPECT_EQ(readBytes(name_), after_);
        EXPECT_EQ(board.getNode(2).Comments, "changed in place");
        EXPECT_FALSE(fileExists(journal_));
    }

    // Complete, but the file was replaced whole since: it is not this
    // journal's file, and is served as it is.
    writeBytes(name_ + ".new", before_);
    ASSERT_EQ(::rename((name_ + ".new").c_str(), name_.c_str()), 0);
    writeBytes(journal_, complete_);
    {
        TWIWOList board;
        const std::vector<std::string> warnings = load(board);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("belongs to another version"), std::string::npos) << warnings[0];
        EXPECT_EQ(readBytes(name_), before_);
        EXPECT_FALSE(fileExists(journal_));
    }
}

}  // namespace
}  // namespace zv
