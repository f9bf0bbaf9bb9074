// A save killed at any moment leaves either the old or the new file, whole.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "stores/stores.h"
#include "test_support.h"

namespace zv {
namespace {

using testing::readBytes;
using testing::TempDir;

void fillBoard(TWIWOList& board, int count, const std::string& tag) {
    board.clearList();
    for (int i = 0; i < count; ++i) {
        auto node = std::make_unique<TWIWONode>();
        node->Employee = tag + "," + std::to_string(i);
        node->Comments = std::string(200, static_cast<char>('a' + i % 26));
        node->Status = tag;
        board.addNode(std::move(node));
    }
}

TEST(CrashSafety, KillingASavingProcessLeavesTheOldOrTheNewFileWhole) {
    TempDir dir;
    const std::string name = dir.file("wiwo.dat");
    TWIWOList board;
    board.setFileName(name);

    fillBoard(board, 60, "New");
    board.saveToFile();
    const std::string newImage = readBytes(name);
    fillBoard(board, 40, "Old");
    board.saveToFile();
    const std::string oldImage = readBytes(name);
    ASSERT_NE(oldImage.size(), newImage.size());

    TWIWOList oldBoard, newBoard;
    oldBoard.setFileName(name);
    newBoard.setFileName(name);
    fillBoard(oldBoard, 40, "Old");
    fillBoard(newBoard, 60, "New");

    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delayMicros(0, 3000);
    int sawOld = 0, sawNew = 0;
    constexpr int kKills = 200;
    for (int kill_ = 0; kill_ < kKills; ++kill_) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves the two versions in turn until killed; reports once the
            // first save has completed.
            close(ready[0]);
            try {
                newBoard.saveToFile();
                oldBoard.saveToFile();
                const char byte = 1;
                if (write(ready[1], &byte, 1) != 1) _exit(2);
                for (;;) {
                    newBoard.saveToFile();
                    oldBoard.saveToFile();
                }
            } catch (...) {
                _exit(3);
            }
        }
        close(ready[1]);
        char byte = 0;
        const ssize_t got = read(ready[0], &byte, 1);
        close(ready[0]);
        ASSERT_EQ(got, 1) << "the saving process stopped early";
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(rng)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process failed on its own";

        const std::string image = readBytes(name);
        if (image == oldImage) {
            ++sawOld;
        } else if (image == newImage) {
            ++sawNew;
        } else {
            FAIL() << "after kill " << kill_ << " the file holds " << image.size()
                   << " bytes that are neither the old nor the new version";
        }
    }
    EXPECT_EQ(sawOld + sawNew, kKills);
    RecordProperty("old_versions_seen", sawOld);
    RecordProperty("new_versions_seen", sawNew);

    // What is left loads as one of the two versions.
    board.loadFromFile();
    EXPECT_TRUE(board.getCount() == 40 || board.getCount() == 60);
}

}  // namespace
}  // namespace zv
