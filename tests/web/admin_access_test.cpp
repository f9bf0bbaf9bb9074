// Who may reach the administration pages: the administrator's session and
// its idle limit, and which addresses count as this computer's own (the
// first-run set-up is offered there only).

#include <gtest/gtest.h>

#include "web/loopback.h"
#include "web/sessions.h"

namespace zv::web {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(AdminAccess, TheAdministratorsSessionEndsAfterHalfAnHourUnusedAndANewPasswordEndsTheOthers) {
    TWebSessions sessions;
    Clock::time_point now = Clock::now();
    sessions.setClockForTesting([&] { return now; });
    const auto first = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    const auto second = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    const auto jane = sessions.create(SessionKind::Employee, "Doe,Jane", passwordDigest("pw"));

    // Every use keeps it for thirty more minutes; an employee's lasts hours.
    now += 29min;
    EXPECT_EQ(sessions.use(first->token), first);
    now += 2min;
    EXPECT_EQ(sessions.use(second->token), nullptr);
    EXPECT_EQ(sessions.use(first->token), first);
    EXPECT_EQ(sessions.use(jane->token), jane);
    now += 31min;
    EXPECT_EQ(sessions.use(first->token), nullptr);
    EXPECT_EQ(sessions.use(jane->token), jane);

    // A new password: every administrator's session but the one kept ends,
    // employees' sessions stay.
    const auto a = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    const auto b = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    sessions.endAll(SessionKind::Administrator, b->id);
    EXPECT_EQ(sessions.use(a->token), nullptr);
    EXPECT_EQ(sessions.use(b->token), b);
    EXPECT_EQ(sessions.use(jane->token), jane);
}

TEST(AdminAccess, OnlyLoopbackAddressesCountAsTheServersOwnComputer) {
    for (const char* here : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"}) {
        EXPECT_TRUE(isLoopbackClient(here)) << here;
    }
    for (const char* elsewhere : {"", "192.0.2.2", "10.0.0.1", "128.0.0.1", "::2", "::ffff:10.0.0.1", "fe80::1",
                                  "localhost", "127.0.0.1 ", "not an address"}) {
        EXPECT_FALSE(isLoopbackClient(elsewhere)) << elsewhere;
    }
    // The name the browser asked for must be this computer's too.
    for (const char* here :
         {"localhost", "LocalHost:8480", "127.0.0.1", "127.0.0.1:80", "[::1]", "[::1]:8480"}) {
        EXPECT_TRUE(isLocalHostHeader(here)) << here;
    }
    for (const char* elsewhere : {"", "attacker.example", "localhost.attacker.example", "127.0.0.1.nip.io",
                                  "localhost:80x", "[::1]x", "::1", "127.0.0.2"}) {
        EXPECT_FALSE(isLocalHostHeader(elsewhere)) << elsewhere;
    }
}

}  // namespace
}  // namespace zv::web
