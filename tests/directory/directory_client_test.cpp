// The directory client against a real slapd over ldaps: the sign-in with a
// directory password, names that try to widen the search, the groups that
// make roles, and a directory that stops answering.

#include "directory/directory_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "directory/directory_queries.h"
#include "test_directory.h"

namespace zv {
namespace {

using Outcome = TDirectorySignIn::Outcome;
using namespace std::chrono_literals;

class DirectoryClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (test::LdapServer::available()) server_ = new test::LdapServer(test::officeLdif());
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_) GTEST_SKIP() << "slapd, ldap-utils or openssl are not installed";
    }
    static test::LdapServer* server_;
};
test::LdapServer* DirectoryClientTest::server_ = nullptr;

TEST_F(DirectoryClientTest, SignsInWithTheDirectoryPasswordAndTellsTheRolesOverLdaps) {
    const TDirectoryConfig config = test::officeConfig(*server_);
    const TDirectorySignIn admin = checkDirectoryPassword(config, "p01", test::passwordOf(1));
    ASSERT_EQ(admin.outcome, Outcome::Accepted) << admin.why;
    EXPECT_EQ(admin.person.lastName, "Person01");
    EXPECT_EQ(admin.person.department, test::departmentOf(1));
    EXPECT_TRUE(admin.person.administrator);
    EXPECT_FALSE(admin.person.frontDesk);
    EXPECT_TRUE(admin.person.inGroup);
    EXPECT_EQ(admin.person.groups,
              (std::vector<std::string>{test::groupDn("staff"), test::groupDn("admins")}));

    const TDirectorySignIn desk = checkDirectoryPassword(config, "p02", test::passwordOf(2));
    ASSERT_EQ(desk.outcome, Outcome::Accepted) << desk.why;
    EXPECT_TRUE(desk.person.frontDesk);
    EXPECT_FALSE(desk.person.administrator);

    EXPECT_EQ(checkDirectoryPassword(config, "p03", "wrong").outcome, Outcome::Refused);
    EXPECT_EQ(checkDirectoryPassword(config, "p03", "").outcome,
              Outcome::Refused);  // never an anonymous bind
    EXPECT_EQ(checkDirectoryPassword(config, "nobody", "x").outcome, Outcome::UnknownName);

    // StartTLS on the plain port works as ldaps does; a wrong CA fails.
    TDirectoryConfig startTls = config;
    startTls.uri = server_->ldapUri();
    startTls.startTls = true;
    EXPECT_EQ(checkDirectoryPassword(startTls, "p03", test::passwordOf(3)).outcome, Outcome::Accepted);
    TDirectoryConfig wrongCa = config;
    wrongCa.caFile = "/etc/ssl/certs/ca-certificates.crt";
    const TDirectorySignIn untrusted = checkDirectoryPassword(wrongCa, "p03", test::passwordOf(3));
    EXPECT_EQ(untrusted.outcome, Outcome::Unavailable);
    EXPECT_NE(untrusted.why.find(server_->ldapsUri()), std::string::npos) << untrusted.why;
}

TEST_F(DirectoryClientTest, ANameThatTriesToWidenTheFilterFindsNobody) {
    const TDirectoryConfig config = test::officeConfig(*server_);
    for (const char* name :
         {"*)(uid=*", "*", "p0*", "p01)(|(uid=*", "p01\\", std::string("p01\0x", 5).c_str()}) {
        EXPECT_EQ(checkDirectoryPassword(config, name, test::passwordOf(1)).outcome, Outcome::UnknownName)
            << name;
        EXPECT_TRUE(lookUpName(config, name).people.empty()) << name;
    }
    const TDirectoryLookup found = lookUpName(config, "p07");
    ASSERT_TRUE(found.reached) << found.why;
    ASSERT_EQ(found.people.size(), 1u);
    EXPECT_EQ(found.people[0].dn, test::dnOf("p07"));
}

TEST_F(DirectoryClientTest, ADirectoryThatStopsAnsweringIsReportedWithinItsTimeOutWhileTheCallerGoesOn) {
    std::promise<TDirectorySignIn> answer;
    std::thread::id deliveredOn;
    TDirectoryClient client([&](std::function<void()> task) {
        deliveredOn = std::this_thread::get_id();
        task();
    });
    client.setConfig(test::officeConfig(*server_));
    server_->freeze();
    const auto asked = std::chrono::steady_clock::now();
    client.checkPassword("p04", test::passwordOf(4),
                         [&](TDirectorySignIn a) { answer.set_value(std::move(a)); });
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 100ms);  // the caller never waits for the directory
    auto future = answer.get_future();
    const bool answered = future.wait_for(10s) == std::future_status::ready;
    server_->thaw();
    ASSERT_TRUE(answered);
    const TDirectorySignIn a = future.get();
    EXPECT_EQ(a.outcome, Outcome::Unavailable);
    EXPECT_NE(a.why.find("directory ldaps://127.0.0.1"), std::string::npos) << a.why;
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 8s);  // bounded by the 2 s time-out
    EXPECT_NE(deliveredOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace zv
