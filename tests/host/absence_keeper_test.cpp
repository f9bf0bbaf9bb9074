// The planned absences in the host of this process: applied at start-up
// when they came due while the server was down, and at their start while it
// runs; skipped, ended and removed as their rules say; never applied again
// once the employee overrode them.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "record_files.h"
#include "server_host_fixture.h"
#include "stores/date_time.h"

namespace zv {
namespace {

using test::Fields;
using test::RecordKind;
namespace b = test::board;
namespace s = test::schedule;

std::time_t systemNow() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

std::string stamp(std::time_t t) { return datetime::utcStampText(t); }

Fields absence(const std::string& employee, std::time_t from, const std::string& until,
               const std::string& status, const std::string& state = "") {
    Fields f(test::fieldCount(RecordKind::Schedule));
    f[s::Employee] = employee;
    f[s::Kind] = "Absence";
    f[s::From] = stamp(from);
    f[s::Until] = until;
    f[s::Status] = status;
    f[s::ReachedAt] = "Cell";
    f[s::Comments] = "Planned";
    f[s::PlannedBy] = employee;
    f[s::State] = state;
    return f;
}

// The absence of `employee` that starts at `from`, as the file holds it.
Fields scheduled(const std::string& employee, std::time_t from) {
    for (const Fields& f : test::readRecordFile("schedule.dat", RecordKind::Schedule)) {
        if (f[s::Employee] == employee && f[s::From] == stamp(from)) return f;
    }
    return {};
}

Fields boardEntry(const std::string& key) { return test::boardRecord(key, "pw", "Sales", "In"); }

const Fields& entryOf(const std::vector<Fields>& board, const std::string& key) {
    for (const Fields& f : board) {
        if (f[b::Employee] == key) return f;
    }
    throw std::runtime_error("no board entry " + key);
}

TEST_F(ServerHostTest, AbsencesAreAppliedOnceAtTheirStartOrAtStartUpAndOverriddenOnesStayOverridden) {
    const std::time_t now = systemNow();
    test::writeRecordFile("wiwo.dat", RecordKind::Board,
                          {boardEntry("Doe,Jane"), boardEntry("Roe,Rick"), boardEntry("Poe,Ed")});
    test::writeRecordFile("schedule.dat", RecordKind::Schedule,
                          {
                              // Due while the server was down: the one that started last wins.
                              absence("Doe,Jane", now - 7200, stamp(now + 1800), "In a meeting"),
                              absence("Doe,Jane", now - 3600, stamp(now + 3600), "At the dentist"),
                              // Ended while the server was down: never applied, kept a day.
                              absence("Roe,Rick", now - 3 * 3600, stamp(now - 2 * 3600), "Out"),
                              // Applied until further notice, but the board shows "In" now: it ends.
                              absence("Roe,Rick", now - 5 * 3600, "", "Out", "Applied"),
                              // Ended two days ago: removed.
                              absence("Roe,Rick", now - 3 * 86400, stamp(now - 2 * 86400), "Out", "Applied"),
                              // Of an account that is gone: removed when it comes due.
                              absence("Gone,Account", now - 60, stamp(now + 60), "Out"),
                              // Comes due while the server runs.
                              absence("Poe,Ed", now + 2, stamp(now + 4000), "Out"),
                              // Comes due while a longer absence of the account holds the board.
                              absence("Doe,Jane", now + 2, stamp(now + 600), "In a meeting"),
                          });
    {
        TServerHost host(view_, dir_.path());
        host.FormShow();
        ASSERT_TRUE(host.serving()) << view_.allMessages();
        pumpUntil([] {
            const auto board = test::readRecordFile("wiwo.dat", RecordKind::Board);
            return entryOf(board, "Poe,Ed")[b::Status] == "Out";
        });
        pumpUntil([&] { return scheduled("Doe,Jane", now + 2).at(s::State) == "Skipped"; });

        const auto board = test::readRecordFile("wiwo.dat", RecordKind::Board);
        const Fields& jane = entryOf(board, "Doe,Jane");
        EXPECT_EQ(jane[b::Status], "At the dentist");
        EXPECT_EQ(jane[b::Returning],
                  datetime::shortDateText(now + 3600) + " " + datetime::longTimeText(now + 3600));
        EXPECT_EQ(jane[b::ReachedAt], "Cell");
        EXPECT_EQ(jane[b::Comments], "Planned");
        EXPECT_FALSE(jane[b::StatusChanged].empty());
        EXPECT_EQ(entryOf(board, "Roe,Rick")[b::Status], "In");
        EXPECT_EQ(entryOf(board, "Poe,Ed")[b::Returning],
                  datetime::shortDateText(now + 4000) + " " + datetime::longTimeText(now + 4000));

        // One status log record for each absence applied, as a status edit logs it.
        const auto log = test::readRecordFile("log_stat.dat", RecordKind::Log);
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0][0], "Doe,Jane");
        EXPECT_EQ(std::vector<std::string>(log[0].begin() + 4, log[0].end()),
                  (std::vector<std::string>{"At the dentist", jane[b::Returning], "Cell", "Planned"}));
        EXPECT_EQ(log[1][0], "Poe,Ed");

        EXPECT_EQ(test::readRecordFile("schedule.dat", RecordKind::Schedule).size(), 6u);  // two removed
        EXPECT_EQ(scheduled("Doe,Jane", now - 7200).at(s::State), "Skipped");
        EXPECT_EQ(scheduled("Doe,Jane", now - 3600).at(s::State), "Applied");
        EXPECT_EQ(scheduled("Poe,Ed", now + 2).at(s::State), "Applied");
        EXPECT_EQ(scheduled("Roe,Rick", now - 3 * 3600).at(s::State), "");  // ended unapplied
        const Fields open = scheduled("Roe,Rick", now - 5 * 3600);          // until further notice, now ended
        EXPECT_EQ(open.at(s::State), "Applied");
        EXPECT_LE(datetime::readUtcStamp(open[s::Until]).value_or(0), systemNow());
        EXPECT_GE(datetime::readUtcStamp(open[s::Until]).value_or(0), now);

        // Jane punches in: her absence stays overridden.
        EXPECT_EQ(host.maintenance().punchIn("Doe,Jane"), PunchOutcome::Done);
        EXPECT_TRUE(host.FormCloseQuery());
    }
    // Started again with one more absence to remove: once it is gone, the
    // look at the schedule at start-up has run, and Jane stays "In".
    auto schedule = test::readRecordFile("schedule.dat", RecordKind::Schedule);
    schedule.push_back(absence("Poe,Ed", now - 3 * 86400, stamp(now - 2 * 86400), "Out", "Applied"));
    test::writeRecordFile("schedule.dat", RecordKind::Schedule, schedule);
    TServerHost again(view_, dir_.path());
    again.FormShow();
    ASSERT_TRUE(again.serving());
    pumpUntil([] { return test::readRecordFile("schedule.dat", RecordKind::Schedule).size() == 6; });
    EXPECT_EQ(test::readRecordFile("schedule.dat", RecordKind::Schedule).size(), 6u);
    EXPECT_EQ(entryOf(test::readRecordFile("wiwo.dat", RecordKind::Board), "Doe,Jane")[b::Status], "In");
    EXPECT_EQ(test::readRecordFile("log_stat.dat", RecordKind::Log).size(), 3u);
    EXPECT_TRUE(again.FormCloseQuery());
}

}  // namespace
}  // namespace zv
