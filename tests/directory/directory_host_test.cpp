// The server with a directory, in this process, against a slapd of the
// test's own over ldaps: the sync makes the group's 50 people into accounts
// and follows the directory (a move, a rename, a person who left), the
// browser's sign-in check takes the directory's password, and a directory
// that stops answering holds up neither the Windows clients nor the check.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/platform_info.h"
#include "host/server_host.h"
#include "net/event_loop.h"
#include "record_files.h"
#include "recording_view.h"
#include "stores/directory_link_store.h"
#include "tcp_client.h"
#include "temp_dir.h"
#include "test_directory.h"

namespace zv {
namespace {

using Outcome = TDirectorySignIn::Outcome;
using namespace std::chrono_literals;

class DirectoryHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::LdapServer::available()) GTEST_SKIP() << "slapd, ldap-utils or openssl are not installed";
        if (!localIPAddressOfHost()) GTEST_SKIP() << "this computer's host name does not resolve";
        ldap_ = std::make_unique<test::LdapServer>(test::officeLdif());
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd_ = cwd;
        ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
        port_ = test::freeTcpPort();
    }
    void TearDown() override {
        if (!oldCwd_.empty()) {
            ASSERT_EQ(::chdir(oldCwd_.c_str()), 0);
        }
    }

    void writeIni(const std::string& group, int timeout) {
        const TDirectoryConfig c = test::officeConfig(*ldap_);
        test::writeFile(
            dir_.file("zva.ini"),
            "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=" + std::to_string(port_) +
                "\r\nExpDays=0\r\nMaxLogSize=100\r\n[Web]\r\nPort=0\r\n[Directory]\r\nURI=" + c.uri +
                "\r\nCAFile=" + c.caFile + "\r\nBindDN=" + c.bindDn + "\r\nBindPassword=" + c.bindPassword +
                "\r\nBase=" + c.base + "\r\nGroup=" + group + "\r\nAdminGroup=" + c.adminGroup +
                "\r\nFrontDeskGroup=" + c.frontDeskGroup + "\r\nTimeout=" + std::to_string(timeout) + "\r\n");
    }

    void pumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
        TEventLoop& loop = TEventLoop::forCurrentThread();
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            loop.waitAndDispatch(std::chrono::steady_clock::now() + 20ms);
        }
    }

    TDirectoryCheck check(TMaintenanceApi& api, const std::string& name, const std::string& password) {
        std::optional<TDirectoryCheck> answer;
        api.checkDirectoryPassword(name, password, [&](const TDirectoryCheck& c) { answer = c; });
        pumpUntil([&] { return answer.has_value(); });
        return answer.value_or(TDirectoryCheck{});
    }

    TDirectorySyncReport sync(TMaintenanceApi& api) {
        std::optional<TDirectorySyncReport> report;
        api.syncDirectoryNow(kWindowAdministrator, [&](const TDirectorySyncReport& r) { report = r; });
        pumpUntil([&] { return report.has_value(); });
        return report.value_or(TDirectorySyncReport{});
    }

    std::unique_ptr<test::LdapServer> ldap_;
    test::TempDir dir_;
    std::string oldCwd_;
    int port_ = 0;
    test::RecordingView view_;
};

TEST_F(DirectoryHostTest, TheSyncMakesTheGroupsAccountsFollowsTheDirectoryAndMarksWhoLeft) {
    writeIni(test::groupDn("staff"), 5);
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    TMaintenanceApi& api = host.maintenance();
    // The sync at start.
    pumpUntil([&] { return api.lastDirectorySync().at != 0; });
    const TDirectorySyncReport first = api.lastDirectorySync();
    ASSERT_TRUE(first.reached) << first.why;
    EXPECT_EQ(first.people, test::kPeople + 1);
    EXPECT_EQ(first.created, test::kPeople);
    ASSERT_EQ(api.accountCount(), test::kPeople);
    for (int n = 1; n <= test::kPeople; ++n) {
        const auto account = api.account(test::lastNameOf(n) + "," + test::firstNameOf(n));
        ASSERT_TRUE(account) << n;
        EXPECT_EQ(account->Department, test::departmentOf(n));
        EXPECT_EQ(account->EMail, test::loginOf(n) + "@example.com");
        EXPECT_EQ(account->CarPhone, "+1 555 02" + test::twoDigits(n));
        EXPECT_NE(account->Password, "580214");  // never the well-known default
    }
    EXPECT_EQ(api.departmentNames().size(), 5u);
    // The person whose name the code page cannot hold is reported, not guessed.
    EXPECT_EQ(view_.linesWith("\"wang\""), 1) << view_.linesWith("cannot be a board key");
    EXPECT_EQ(view_.linesWith("cannot be a board key"), 1);
    // Each account was made as an administrator makes one, and recorded.
    EXPECT_EQ(view_.linesWith("the directory sync: created account \"Person07,Ann\" in department \"" +
                              test::departmentOf(7) + "\""),
              1);
    EXPECT_TRUE(test::fileExists(dir_.file(kDirectoryLinkFileName)));
    // A backup holds the accounts of the directory with the board's files.
    const TBackupSnapshot backup = api.backupSnapshot(kWindowAdministrator);
    const auto links = std::find_if(backup.files.begin(), backup.files.end(),
                                    [](const TBackupFile& f) { return f.name == kDirectoryLinkFileName; });
    ASSERT_NE(links, backup.files.end());
    EXPECT_EQ(links->records(), static_cast<std::size_t>(test::kPeople));

    // The browser's sign-in with the directory's password.
    const TDirectoryCheck admin = check(api, "p01", test::passwordOf(1));
    ASSERT_EQ(admin.answer.outcome, Outcome::Accepted) << admin.answer.why;
    EXPECT_EQ(admin.employee, "Person01,Ann");
    EXPECT_TRUE(admin.answer.person.administrator);
    EXPECT_TRUE(check(api, "p02", test::passwordOf(2)).answer.person.frontDesk);
    EXPECT_EQ(check(api, "p01", "580214").answer.outcome, Outcome::Refused);
    EXPECT_EQ(check(api, "*)(uid=*", "x").answer.outcome, Outcome::UnknownName);

    // p03 moves to Reception, p05 changes their last name, p04 leaves.
    ldap_->modify("dn: " + test::dnOf("p03") +
                  "\nchangetype: modify\nreplace: departmentNumber\n"
                  "departmentNumber: Reception\n\n"
                  "dn: " +
                  test::dnOf("p05") +
                  "\nchangetype: modify\nreplace: sn\nsn: Renamed05\n\n"
                  "dn: " +
                  test::groupDn("staff") +
                  "\nchangetype: modify\ndelete: member\nmember: " + test::dnOf("p04") + "\n");
    const TDirectorySyncReport second = sync(api);
    ASSERT_TRUE(second.reached) << second.why;
    EXPECT_EQ(second.created, 0);
    EXPECT_EQ(second.changed, 2);
    EXPECT_EQ(second.markedLeft, 1);
    EXPECT_EQ(api.account("Person03,Ann")->Department, "Reception");
    EXPECT_FALSE(api.account("Person05,Ann"));
    EXPECT_EQ(api.account("Renamed05,Ann")->Department, test::departmentOf(5));
    ASSERT_TRUE(api.account("Person04,Bob"));  // marked, never deleted
    const std::vector<TDirectoryLeaver> leavers = api.directoryLeavers();
    ASSERT_EQ(leavers.size(), 1u);
    EXPECT_EQ(leavers[0].employee, "Person04,Bob");
    EXPECT_EQ(leavers[0].person, "p04");
    EXPECT_EQ(api.accountCount(), test::kPeople);
    EXPECT_EQ(view_.linesWith("the administrator in the window: asked for a directory sync"), 1);
    EXPECT_EQ(view_.linesWith("the directory sync: changed account \"Person03,Ann\": Department"), 1);
    EXPECT_EQ(view_.linesWith("marked account \"Person04,Bob\""), 1);

    // Nothing changed since: nothing is written, nothing marked twice.
    const TDirectorySyncReport third = sync(api);
    EXPECT_EQ(third.changed + third.created + third.markedLeft, 0) << third.summary();
    EXPECT_EQ(api.directoryLeavers().size(), 1u);
    EXPECT_TRUE(host.FormCloseQuery());
}

TEST_F(DirectoryHostTest, ADirectoryThatStopsAnsweringHoldsUpNoClientAndTheCheckSaysWhy) {
    writeIni("", 3);
    test::writeRecordFile("wiwo.dat", test::RecordKind::Board, {test::boardRecord("Smith,John", "pw")});
    TServerHost host(view_, dir_.path());
    host.FormShow();
    ASSERT_TRUE(host.serving()) << view_.allMessages();
    TMaintenanceApi& api = host.maintenance();

    ldap_->freeze();
    std::optional<TDirectoryCheck> answer;
    const auto asked = std::chrono::steady_clock::now();
    api.checkDirectoryPassword("p06", test::passwordOf(6), [&](const TDirectoryCheck& c) { answer = c; });
    // A Windows client's login is served at once meanwhile.
    std::atomic<bool> clientDone = false;
    std::string reply;
    std::chrono::steady_clock::duration clientTook{};
    std::thread client([&] {
        const auto start = std::chrono::steady_clock::now();
        test::TcpClient c(port_);
        c.send(
            "SUBMIT_LOGIN:FULL:Smith,John|pw:[*WIWO*]NO_DATA[*POSTI*]NO_DATA[*WYWO*]NO_DATA[*PHONE*]NO_DATA");
        reply = c.receiveLoginReply();
        clientTook = std::chrono::steady_clock::now() - start;
        clientDone = true;
    });
    pumpUntil([&] { return clientDone.load(); });
    client.join();
    EXPECT_EQ(reply, "PREPARE_TO_RECEIVE");
    EXPECT_LT(clientTook, 1s);
    EXPECT_FALSE(answer.has_value());  // the directory is still being waited for

    pumpUntil([&] { return answer.has_value(); });
    ldap_->thaw();
    ASSERT_TRUE(answer.has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 10s);
    EXPECT_EQ(answer->answer.outcome, Outcome::Unavailable);
    EXPECT_NE(answer->answer.why.find(ldap_->ldapsUri()), std::string::npos) << answer->answer.why;
    EXPECT_EQ(view_.linesWith("the directory: "), 1);

    // It answers again: the next check goes through, and that is told once.
    EXPECT_EQ(check(api, "p06", test::passwordOf(6)).answer.outcome, Outcome::Accepted);
    EXPECT_EQ(view_.linesWith("the directory answers again"), 1);
    EXPECT_TRUE(host.FormCloseQuery());
}

}  // namespace
}  // namespace zv
