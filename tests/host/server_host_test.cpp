// The host in this process: start-up, refusal and confirmation of the close,
// failed start-ups, and sessions entering and leaving the registry.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <thread>

#include "host/platform_info.h"
#include "host/maintenance_api.h"
#include "host/server_host.h"
#include "protocol/server_context.h"
#include "local_time.h"
#include "net/event_loop.h"
#include "record_files.h"
#include "recording_view.h"
#include "server_host_fixture.h"
#include "stores/date_time.h"
#include "stores/stores.h"
#include "tcp_client.h"
#include "temp_dir.h"

namespace zv {
namespace {

using test::RecordKind;

TEST_F(ServerHostTest, StartsServingAndOnlyAConfirmedCloseStopsIt) {
    test::writeRecordFile("wiwo.dat", RecordKind::Board,
                          {test::boardRecord("Doe,Jane", "x"), test::boardRecord("Smith,John", "pw")});
    const std::string boardBytes = test::readFile("wiwo.dat");
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    EXPECT_FALSE(host.fatalStartup());
    EXPECT_EQ(host.listeningPort(), port_);
    EXPECT_EQ(view_.panels[kAddressPanel], "IP Address: " + host.localIPAddress());
    EXPECT_EQ(view_.panels[kPortPanel], "Port: " + std::to_string(port_));
    EXPECT_EQ(view_.panels[kUsersPanel], "Users: 2");
    EXPECT_EQ(host.userTable().cell(2, 0), "Smith,John");
    EXPECT_EQ(host.userTable().cell(2, 1), "Idle");
    EXPECT_EQ(host.maintenance().accountCount(), 2);
    for (const char* f : {"wywa.dat", "posti.dat", "department.dat", "phonebook.dat", "log_stat.dat"}) {
        EXPECT_TRUE(test::fileExists(f)) << f;  // created empty by the loads
    }
    host.FormShow();  // a second showing starts nothing again
    EXPECT_EQ(host.maintenance().accountCount(), 2);

    view_.confirmAnswer = false;
    EXPECT_FALSE(host.FormCloseQuery());
    EXPECT_TRUE(host.serving());
    EXPECT_EQ(host.maintenance().accountCount(), 2);

    view_.confirmAnswer = true;
    view_.placement.state = WindowState::Minimized;
    EXPECT_TRUE(host.FormCloseQuery());
    EXPECT_EQ(view_.shutdownQuestions, 2);
    EXPECT_EQ(host.maintenance().accountCount(), 0);  // emptied, not saved
    EXPECT_EQ(test::readFile("wiwo.dat"), boardBytes);
    EXPECT_NE(test::readFile("zva.ini").find("Status=2\r\n"), std::string::npos);
    EXPECT_THROW(host.maintenance().saveAccounts(), StoreError);  // nothing may overwrite the file now
    // A session step still queued at the close fails instead of using the
    // emptied stores (it could otherwise save them over their files).
    EXPECT_THROW(host.sessionContext().messages(), StoreError);
    EXPECT_THROW(host.sessionContext().board(), StoreError);
    host.FormDestroy();
    test::TcpClient probe;
    EXPECT_FALSE(probe.tryConnect(port_));
}

TEST_F(ServerHostTest, APortInUseFailsStartUpWithoutAskingAndWithoutSavingAnyStore) {
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(blocker, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    {
        TServerHost host(view_, dir_.path());
        host.FormShow();
        EXPECT_TRUE(host.fatalStartup());
        EXPECT_FALSE(host.serving());
        EXPECT_EQ(view_.closeRequests, 1);
        ASSERT_EQ(view_.messages.size(), 1u);
        EXPECT_EQ(view_.messages[0].kind, MessageKind::Error);
        EXPECT_NE(view_.messages[0].text.find("port " + std::to_string(port_)), std::string::npos)
            << view_.messages[0].text;
        EXPECT_THROW(host.maintenance().saveAccounts(), StoreError);
        EXPECT_TRUE(host.FormCloseQuery());
        EXPECT_EQ(view_.shutdownQuestions, 0);  // a failed start-up closes without asking
        host.FormDestroy();
    }
    ::close(blocker);
    EXPECT_EQ(test::readRecordFile("wiwo.dat", RecordKind::Board).size(), 1u);
}

TEST_F(ServerHostTest, AnOldEmployeeFileIsReportedOnceAndItsWholeRecordsServe) {
    std::string bytes = test::encodeRecord(RecordKind::Board, test::boardRecord("Smith,John", "pw"));
    bytes += std::string(100, 'x');
    test::writeFile("wiwo.dat", bytes);
    TServerHost host(view_, dir_.path());
    host.FormShow();
    EXPECT_TRUE(host.serving());
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0].kind, MessageKind::Warning);
    EXPECT_NE(view_.messages[0].text.find("converter.exe"), std::string::npos);
    EXPECT_EQ(host.maintenance().accountCount(), 1);
    EXPECT_TRUE(host.FormCloseQuery());
    EXPECT_EQ(test::readFile("wiwo.dat"), bytes);  // nothing written at shutdown
}

TEST_F(ServerHostTest, DataFilesCutShortAreReportedOnceEachKeptAsFoundAndStartUpGoesOn) {
    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    const struct {
        const char* file;
        RecordKind kind;
        test::Fields record;
    } damaged[] = {
        {"posti.dat", RecordKind::Memo, {"Smith,John", "a", "1/2/26", "9:00:00 AM", "x", "y"}},
        {"wywa.dat", RecordKind::Message, {"Smith,John", "Doe,Jane", "1/2/26", "9:00:00 AM"}},
        {"log_stat.dat", RecordKind::Log, {"Smith,John", "Sales", "1/2/26", "9:00:00 AM", "In"}},
        {"department.dat", RecordKind::Department, {"Sales"}},
        {"phonebook.dat", RecordKind::Phone, {"Caller", "Co", "555"}},
        {"schedule.dat", RecordKind::Schedule, {"", "Feed", "", "", "", "", "", "", "", "", "Sales", "", "0123abcd"}},
    };
    for (const auto& d : damaged) {
        std::string bytes = test::encodeRecord(d.kind, d.record) + test::encodeRecord(d.kind, d.record);
        test::writeFile(d.file, bytes + "cut short");
    }
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    ASSERT_EQ(view_.messages.size(), 6u) << view_.allMessages();
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string& text = view_.messages[i].text;
        EXPECT_EQ(view_.messages[i].kind, MessageKind::Warning);
        const std::string file = text.substr(text.find('"') + 1, text.find('"', text.find('"') + 1) - text.find('"') - 1);
        EXPECT_NE(text.find("2 complete records"), std::string::npos) << text;
        EXPECT_NE(text.find("\"" + file + ".damaged\""), std::string::npos) << text;
        EXPECT_TRUE(test::fileExists(file + ".damaged")) << file;
    }
    EXPECT_EQ(host.maintenance().departmentNames().size(), 2);
    EXPECT_EQ(host.maintenance().phonebook().size(), 2);
    EXPECT_EQ(host.maintenance().statusLogCount(), 2);
    EXPECT_TRUE(host.FormCloseQuery());
}

std::time_t systemClock() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

// The timer of the end-of-day punch-out waits on the system clock; a reading
// of the clock taken as it fires may still show the second before. The day is
// then done a moment later, not waited for again until tomorrow.
TEST_F(ServerHostTest, TheEndOfDayPunchOutComesOnItsDayWhenTheClockReadsTheSecondBeforeAsItsTimerFires) {
    const std::time_t start = systemClock();
    const std::time_t moment = start + 2;
    if (test::localText(start, "%F") != test::localText(moment + 5, "%F")) GTEST_SKIP() << "too close to midnight";
    std::tm today{};
    localtime_r(&start, &today);
    const std::time_t yesterdayNoon = test::localTime(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday - 1, 12);
    writeIniWith("[Board]\r\nAutoOutAt=" + test::localText(moment, "%H:%M:%S") +
                 "\r\nAutoOutDone=" + test::localText(yesterdayNoon, "%F") + "\r\n");
    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Doe,Jane", "pw", "Sales", "In")});
    auto lagged = std::make_shared<std::atomic<bool>>(false);
    datetime::setClockForTesting([moment, lagged] {
        const std::time_t t = systemClock();
        return t >= moment && !lagged->exchange(true) ? moment - 1 : t;
    });
    struct RestoreClock {
        ~RestoreClock() { datetime::setClockForTesting(nullptr); }
    } restore;

    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    const auto punchedOut = [] {
        return test::readRecordFile("wiwo.dat", RecordKind::Board)[0][test::board::Status] == "Out";
    };
    pumpUntil([&] { return punchedOut() || systemClock() > moment + 5; });
    EXPECT_TRUE(lagged->load());
    EXPECT_TRUE(punchedOut());
    EXPECT_EQ(host.maintenance().statusLogCount(), 1);
    EXPECT_NE(test::readFile("zva.ini").find("AutoOutDone=" + test::localText(moment, "%F")), std::string::npos);
    EXPECT_TRUE(host.FormCloseQuery());
}

TEST_F(ServerHostTest, ASessionIsRegisteredShowsUpdatingAndLeavesTheRegistryWhenItEnds) {
    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();

    std::atomic<int> stage{0};
    std::atomic<bool> proceed{false};
    std::string failure;
    std::thread client([&] {
        try {
            test::TcpClient c(port_);
            c.send("SUBMIT_LOGIN:FULL:Smith,John|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA"
                   "[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
            if (c.receiveLoginReply() != "PREPARE_TO_RECEIVE") throw std::runtime_error("refused");
            stage = 1;
            while (!proceed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            c.pullBundle(8192);
            c.send("CONFIRM");
            if (!c.closedWithin(std::chrono::seconds(10))) throw std::runtime_error("still open");
        } catch (const std::exception& e) {
            failure = e.what();
        }
        stage = 2;
    });
    pumpUntil([&] { return stage.load() != 0; });
    EXPECT_EQ(host.registry().count(), 1);
    EXPECT_FALSE(host.registry().getConnectionID("Smith,John").empty());
    EXPECT_EQ(host.userTable().cell(1, 1), "Updating");
    proceed = true;
    pumpUntil([&] { return stage.load() == 2 && host.registry().empty(); });
    client.join();
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(host.registry().empty());
    EXPECT_EQ(host.userTable().cell(1, 1), "Idle");
    EXPECT_FALSE(host.userTable().cell(1, 2).empty());
    EXPECT_TRUE(host.FormCloseQuery());
    host.FormDestroy();
}

TEST_F(ServerHostTest, AConnectionSilentForIdleTimeoutIsClosedWhateverItsStateAndItsSessionEnds) {
    writeIniWith("IdleTimeout=1\r\n", "16");
    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    test::writeRecordFile("posti.dat", RecordKind::Memo,
                          {{"Smith,John", "a", "1/2/26", "9:00:00 AM", "waiting", "y"}});
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();

    std::atomic<int> ended{0};
    std::string silentFailure, transferFailure;
    std::thread silent([&] {
        try {
            test::TcpClient c(port_);  // connects and never says a word
            if (!c.closedWithin(std::chrono::seconds(15))) throw std::runtime_error("a silent client stays");
        } catch (const std::exception& e) {
            silentFailure = e.what();
        }
        ++ended;
    });
    std::thread vanishing([&] {
        try {
            test::TcpClient c(port_);
            c.send("SUBMIT_LOGIN:FULL:Smith,John|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA"
                   "[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
            if (c.receiveLoginReply() != "PREPARE_TO_RECEIVE") throw std::runtime_error("refused");
            c.send("READY_TO_RECEIVE");
            c.receiveExactly(16);  // the first block of many; then the client goes quiet
            if (!c.closedWithin(std::chrono::seconds(15))) throw std::runtime_error("a stalled transfer stays");
        } catch (const std::exception& e) {
            transferFailure = e.what();
        }
        ++ended;
    });
    pumpUntil([&] { return ended.load() == 2 && host.registry().empty(); });
    silent.join();
    vanishing.join();
    EXPECT_EQ(silentFailure, "");
    EXPECT_EQ(transferFailure, "");
    EXPECT_TRUE(host.registry().empty());
    EXPECT_EQ(host.userTable().cell(1, 1), "Idle");
    // Nothing was confirmed: the memo waits for the next login.
    EXPECT_EQ(test::readRecordFile("posti.dat", RecordKind::Memo).size(), 1u);
    EXPECT_TRUE(host.FormCloseQuery());
    host.FormDestroy();
}

TEST_F(ServerHostTest, BeyondMaxClientsAConnectionIsClosedAtOnceReportedWithoutABoxAndServingGoesOn) {
    writeIniWith("MaxClients=2\r\n");
    test::writeRecordFile("wiwo.dat", RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();

    auto first = std::make_unique<test::TcpClient>(port_);
    test::TcpClient second(port_);
    pumpUntil([&] { return host.registry().count() == 2; });
    ASSERT_EQ(host.registry().count(), 2);

    test::TcpClient third(port_);
    pumpUntil([&] { return third.closedWithin(std::chrono::milliseconds(10)); });
    EXPECT_TRUE(third.closedWithin(std::chrono::milliseconds(0)));
    test::TcpClient fourth(port_);
    pumpUntil([&] { return fourth.closedWithin(std::chrono::milliseconds(10)); });
    EXPECT_TRUE(fourth.closedWithin(std::chrono::milliseconds(0)));
    // One line within the minute, and no box that would stop the server.
    ASSERT_EQ(view_.notices.size(), 1u);
    EXPECT_EQ(view_.notices[0].kind, MessageKind::Warning);
    EXPECT_NE(view_.notices[0].text.find("MaxClients"), std::string::npos) << view_.notices[0].text;
    EXPECT_NE(view_.notices[0].text.find("2 clients"), std::string::npos) << view_.notices[0].text;
    EXPECT_TRUE(view_.messages.empty()) << view_.allMessages();
    EXPECT_EQ(host.registry().count(), 2);

    first.reset();  // one leaves: the next one is served
    pumpUntil([&] { return host.registry().count() == 1; });
    std::atomic<bool> done{false};
    std::string reply;
    std::thread fifth([&] {
        try {
            test::TcpClient c(port_);
            c.send("SUBMIT_LOGIN:FULL:Smith,John|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA"
                   "[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
            reply = c.receiveLoginReply();
        } catch (const std::exception& e) {
            reply = e.what();
        }
        done = true;
    });
    pumpUntil([&] { return done.load(); });
    fifth.join();
    EXPECT_EQ(reply, "PREPARE_TO_RECEIVE");
    EXPECT_EQ(view_.notices.size(), 1u);
    second.close();
    pumpUntil([&] { return host.registry().empty(); });
    EXPECT_TRUE(host.FormCloseQuery());
    host.FormDestroy();
}

}  // namespace
}  // namespace zv
