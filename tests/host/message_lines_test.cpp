// Message lines under systemd's journal: a priority prefix only when
// JOURNAL_STREAM names the very stream the lines go to.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/headless_view.h"
#include "host/message_lines.h"

namespace zv {
namespace {

std::string deviceAndInode(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return "";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

TEST(MessageLines, OnlyTheStreamThatJournalStreamNamesIsTheJournal) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    int otherFds[2];
    ASSERT_EQ(::pipe(otherFds), 0);
    const std::string named = deviceAndInode(pipeFds[1]);
    EXPECT_TRUE(journalStreamNames(named.c_str(), pipeFds[1]));
    EXPECT_FALSE(journalStreamNames(named.c_str(), otherFds[1]));  // inherited, but not this stream
    EXPECT_FALSE(journalStreamNames(nullptr, pipeFds[1]));
    for (const std::string& bad : std::vector<std::string>{"", ":", "12", "x:1", named + "x", "1:" + named}) {
        EXPECT_FALSE(journalStreamNames(bad.c_str(), pipeFds[1])) << bad;
    }
    for (int fd : {pipeFds[0], pipeFds[1], otherFds[0], otherFds[1]}) ::close(fd);

    EXPECT_EQ(prefixedLine(LinePriority::Error, "zelvorad: x", true), "<3>zelvorad: x");
    EXPECT_EQ(prefixedLine(LinePriority::Warning, "zelvorad: x", false), "zelvorad: x");
}

TEST(MessageLines, TheWindowlessViewPrefixesEachLineWithItsPriorityForTheJournal) {
    std::ostringstream out;
    HeadlessView view(out, [] {}, /*forJournal=*/true);
    view.showMessage(MessageKind::Error, "cannot\rstart");
    view.showMessage(MessageKind::Warning, "careful");
    view.showMessage(MessageKind::Information, "note");
    view.showMessage(MessageKind::Question, "Really?");
    view.setStatusPanel(kPortPanel, "Port: 6480");
    EXPECT_EQ(out.str(),
              "<3>zelvorad: error: cannot start\n"
              "<4>zelvorad: warning: careful\n"
              "<6>zelvorad: information: note\n"
              "<5>zelvorad: question: Really?\n"
              "<6>zelvorad: Port: 6480\n");
}

}  // namespace
}  // namespace zv
