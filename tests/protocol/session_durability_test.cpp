// What a step has saved is durable before the client hears of it: every
// store changed in a step is written once, the records changed in place are
// flushed, and the folder of every file replaced is flushed once, before the
// reply is sent, the socket is closed or a message is e-mailed.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "protocol/session_step.h"
#include "protocol_fixture.h"
#include "stores/file_access.h"

namespace zv {
namespace {

using Events = std::vector<std::string>;

// Records renames, folder flushes, replies, closes and e-mailed messages in
// the order they happen.
class TRecordingSocket : public TSessionSocket {
public:
    explicit TRecordingSocket(Events& events) : events_(events) {}
    std::string ReceiveText() override {
        std::string text;
        text.swap(incoming);
        return text;
    }
    void SendText(std::string_view text) override { events_.push_back("send " + std::string(text)); }
    void Close() override { events_.push_back("close"); }

    std::string incoming;

private:
    Events& events_;
};

class TRecordingContext : public test::TFakeServerContext {
public:
    explicit TRecordingContext(Events& events) : events_(events) {}
    // Other work may run while a notice is sent; here it saves a file.
    void notifyMessage(TWYWONode& message) override {
        events_.push_back("notify");
        TFakeServerContext::notifyMessage(message);
        departments().saveToFile();
        events_.push_back("notified");
    }

private:
    Events& events_;
};

class SessionDurability : public ::testing::Test {
protected:
    SessionDurability() : ops_(fileio::systemFileOps()) {
        const fileio::FileOps real = ops_;
        ops_.open = [this, real](const char* path, int flags, mode_t mode) {
            const int fd = real.open(path, flags, mode);
            if (fd >= 0 && (flags & O_DIRECTORY)) folderFds_.push_back(fd);
            if (fd >= 0) pathOfFd_[fd] = path;
            return fd;
        };
        ops_.fsync = [this, real](int fd) {
            auto it = std::find(folderFds_.begin(), folderFds_.end(), fd);
            if (it != folderFds_.end()) events.push_back("folder flush");
            return real.fsync(fd);
        };
        ops_.close = [this, real](int fd) {
            folderFds_.erase(std::remove(folderFds_.begin(), folderFds_.end(), fd), folderFds_.end());
            pathOfFd_.erase(fd);
            return real.close(fd);
        };
        ops_.rename = [this, real](const char* from, const char* to) {
            events.push_back("rename " + std::string(to));
            return real.rename(from, to);
        };
        // Records written where they lie, and their flushes.
        ops_.pwrite = [this, real](int fd, const void* data, std::size_t size, off_t offset) {
            events.push_back("write " + pathOfFd_[fd]);
            return real.pwrite(fd, data, size, offset);
        };
        ops_.fdatasync = [this, real](int fd) {
            events.push_back("flush " + pathOfFd_[fd]);
            return real.fdatasync(fd);
        };
    }
    void SetUp() override {
        ctx.addEmployee("Smith,John", "pw", "In", "Sales");
        ctx.addEmployee("Brown,Ann", "pw", "In", "Sales");
        ctx.addMemo("Smith,John", "waiting memo", test::sampleTime());
        fileio::setFileOpsForTesting(&ops_);
    }
    void TearDown() override { fileio::setFileOpsForTesting(nullptr); }

    // One arrival of data and the events of the step it causes.
    Events step(const std::string& text) {
        events.clear();
        socket.incoming = text;
        session.onData(socket);
        return events;
    }

    // Every rename before each event starting with `what` is followed by a
    // folder flush before that event, and every write in place by a flush
    // of its file.
    static void expectDurableBefore(const Events& ev, const std::string& what) {
        bool seen = false;
        bool unflushed = false;
        std::set<std::string> unflushedFiles;
        for (const std::string& e : ev) {
            if (e.rfind("rename ", 0) == 0) unflushed = true;
            if (e == "folder flush") unflushed = false;
            if (e.rfind("write ", 0) == 0) unflushedFiles.insert(e.substr(6));
            if (e.rfind("flush ", 0) == 0) unflushedFiles.erase(e.substr(6));
            if (e.rfind(what, 0) == 0) {
                seen = true;
                EXPECT_FALSE(unflushed) << "a file replaced before \"" << e << "\" is not flushed";
                EXPECT_TRUE(unflushedFiles.empty()) << "\"" << *unflushedFiles.begin()
                                                    << "\", written before \"" << e << "\", is not flushed";
            }
        }
        EXPECT_TRUE(seen) << what;
    }
    static long countOf(const Events& ev, const std::string& prefix) {
        return std::count_if(ev.begin(), ev.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    }

    Events events;
    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    TRecordingContext ctx{events};
    TClientSession session{ctx, "0000ABCD"};
    TRecordingSocket socket{events};
    fileio::FileOps ops_;
    std::vector<int> folderFds_;
    std::map<int, std::string> pathOfFd_;
};

TEST_F(SessionDurability, ALoginStepFlushesTheFolderOnceForAllItsSavesBeforeTheReply) {
    const std::string login = test::loginRequest("PUNCH_IN", "Smith,John", "pw",
                                                 test::boardRecord("Smith,John", "Meeting", "room 4"),
                                                 test::memoRecord("Brown,Ann", "a memo", test::sampleTime()));
    const Events first = step(login);
    ASSERT_EQ(countOf(first, "send "), 1);
    EXPECT_EQ(first.back(), "send PREPARE_TO_RECEIVE");
    // Punch-in, board merge and last contact: the board is written once, its
    // one changed record where it lies, behind its journal (made now, so its
    // folder is flushed before the record is written).
    EXPECT_EQ(countOf(first, "rename wiwo.dat"), 0);
    EXPECT_EQ(countOf(first, "write wiwo.dat.journal"), 1);
    EXPECT_EQ(countOf(first, "write wiwo.dat"), 2);  // the journal, then the record
    // The log and the memo file take a new record: replaced whole, their
    // folder flushed once for both.
    EXPECT_EQ(countOf(first, "rename log_stat.dat"), 1);
    EXPECT_EQ(countOf(first, "rename posti.dat"), 1);
    EXPECT_EQ(countOf(first, "folder flush"), 2);
    expectDurableBefore(first, "send ");
    EXPECT_FALSE(fileio::TDirectorySyncBatch::active());

    // The bundle transfer saves nothing; the confirmation deletes the
    // delivered memo and is durable before the close.
    for (const char* text : {"READY_TO_RECEIVE", "READY_TO_RECEIVE"}) step(text);
    const Events confirm = step("CONFIRM");
    EXPECT_EQ(countOf(confirm, "rename "), 1);
    EXPECT_EQ(countOf(confirm, "folder flush"), 1);
    EXPECT_EQ(confirm.back(), "close");
    expectDurableBefore(confirm, "close");
    EXPECT_NE(test::readFile("posti.dat").find("a memo"), std::string::npos);
    EXPECT_EQ(test::readFile("posti.dat").find("waiting memo"), std::string::npos);

    // The journal is there from now on: one folder flush for the step.
    const Events again =
        step(test::loginRequest("DLTA", "Smith,John", "pw", test::boardRecord("Smith,John", "Out", "lunch"),
                                test::memoRecord("Brown,Ann", "a memo", test::sampleTime())));
    EXPECT_EQ(countOf(again, "write wiwo.dat.journal"), 1);
    EXPECT_EQ(countOf(again, "rename "), 2);
    EXPECT_EQ(countOf(again, "folder flush"), 1);
    expectDurableBefore(again, "send ");
}

TEST_F(SessionDurability, AStoredMessageIsDurableBeforeItIsMailedAndTheLaterSavesBeforeTheReply) {
    const Events login = step(test::loginRequest(
        "DLTA", "Smith,John", "pw", test::boardRecord("Smith,John", "Out", "lunch"), "NO_DATA",
        test::messageRecord("Brown,Ann", "Smith,John", "A caller", test::sampleTime())));
    ASSERT_EQ(countOf(login, "notify"), 1);
    expectDurableBefore(login, "notify");
    // The save made while the notice went out is flushed at once.
    expectDurableBefore(login, "notified");
    expectDurableBefore(login, "send ");
    EXPECT_EQ(countOf(login, "folder flush"), 3);
    EXPECT_EQ(login.back(), "send PREPARE_TO_RECEIVE");
}

TEST_F(SessionDurability, APunchOutIsDurableBeforeTheCloseAndARefusedLoginFlushesNothing) {
    const Events refused = step(test::loginRequest("DLTA", "Smith,John", "wrong"));
    EXPECT_EQ(refused, Events{"send LOGIN_DENIED"});

    const Events out = step("PUNCH_OUT:Smith,John:");
    EXPECT_EQ(countOf(out, "write wiwo.dat"), 2);  // the journal, then the record
    EXPECT_EQ(countOf(out, "rename "), 1);         // the status log
    EXPECT_EQ(countOf(out, "folder flush"), 2);    // the journal's (new) and the log's
    EXPECT_EQ(out.back(), "close");
    expectDurableBefore(out, "close");
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Out");
}

}  // namespace
}  // namespace zv
