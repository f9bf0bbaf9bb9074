// The sign-in throttle and the session store, on a clock of their own.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "web/sessions.h"
#include "web/sign_in_throttle.h"

namespace zv::web {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr SessionKind kEmployee = SessionKind::Employee;

TEST(SignInThrottle, AnAccountIsSlowedDownPastItsAllowanceEachFailureDoublingTheWait) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });

    // Attempts at the same moment all count (each is a failure until it
    // succeeds), so parallel guesses gain nothing.
    for (int i = 0; i < TSignInThrottle::kAccountAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane")) << i;
    }
    EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));  // the failure past the allowance
    EXPECT_EQ(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"), 1s);
    EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Roe,Rick"));  // another account is not affected

    now += 1s;
    EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    EXPECT_EQ(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"), 2s);
    now += 2s;
    EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    EXPECT_EQ(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"), 4s);

    // The longest wait is a quarter of an hour.
    std::chrono::seconds longest{0};
    for (int i = 0; i < 40; ++i) {
        if (const auto wait = throttle.admit("10.0.0.1", kEmployee, "Doe,Jane")) {
            longest = std::max(longest, *wait);
            now += *wait;
        }
    }
    EXPECT_EQ(longest, TSignInThrottle::kLongestWait);

    // A success clears what its address failed at the account.
    for (int i = 0; i < TSignInThrottle::kAccountAllowance; ++i)
        throttle.admit("10.0.2.1", kEmployee, "Poe,Moe");
    EXPECT_FALSE(throttle.admit("10.0.2.1", kEmployee, "Poe,Moe"));
    throttle.succeeded("10.0.2.1", kEmployee, "Poe,Moe");
    EXPECT_FALSE(throttle.admit("10.0.2.1", kEmployee, "Poe,Moe"));
}

TEST(SignInThrottle, AnAccountGuessedAtFromManyAddressesHoldsThemBackButLetsACleanAddressIn) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    // One guess from each of many addresses: no pair and no address passes
    // its allowance, the account does.
    for (int i = 0; i <= TSignInThrottle::kAccountAllowance + 2; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.1." + std::to_string(i), kEmployee, "Doe,Jane")) << i;
    }
    // Every address that guessed waits now; one that never failed at the
    // account gets in, and its success leaves the others held back.
    EXPECT_TRUE(throttle.admit("10.0.1.0", kEmployee, "Doe,Jane"));
    EXPECT_FALSE(throttle.admit("10.0.2.1", kEmployee, "Doe,Jane"));
    throttle.succeeded("10.0.2.1", kEmployee, "Doe,Jane");
    EXPECT_TRUE(throttle.admit("10.0.1.1", kEmployee, "Doe,Jane"));

    // The administrator's password is counted apart from any employee's
    // name, even one made to look like it.
    for (int i = 0; i <= TSignInThrottle::kAccountAllowance; ++i) {
        throttle.admit("10.0.3.1", kEmployee, "");
        throttle.admit("10.0.3.1", kEmployee, "*administrator*");
    }
    EXPECT_TRUE(throttle.admit("10.0.3.1", kEmployee, ""));
    EXPECT_FALSE(throttle.admit("10.0.3.1", SessionKind::Administrator, ""));
}

TEST(SignInThrottle, AnAddressTryingManyAccountsIsSlowedDownAndFailuresAreForgottenAfterADay) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    for (int i = 0; i <= TSignInThrottle::kAddressAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.9", kEmployee, "Guess," + std::to_string(i))) << i;
    }
    EXPECT_TRUE(throttle.admit("10.0.0.9", kEmployee, "Doe,Jane"));
    EXPECT_FALSE(throttle.admit("10.0.0.8", kEmployee, "Doe,Jane"));  // another address is not affected

    // An IPv6 address counts with its /64.
    for (int i = 0; i <= TSignInThrottle::kAddressAllowance; ++i) {
        throttle.admit("2001:db8:1:2::" + std::to_string(i + 1), kEmployee, "Guess," + std::to_string(i));
    }
    EXPECT_TRUE(throttle.admit("2001:db8:1:2:ffff::9", kEmployee, "Doe,Jane"));
    EXPECT_FALSE(throttle.admit("2001:db8:1:3::1", kEmployee, "Doe,Jane"));

    // Hours later the failures still count; a day after the last one the
    // address starts afresh.
    now += 12h;
    EXPECT_FALSE(throttle.admit("10.0.0.9", kEmployee, "Once,More"));
    EXPECT_TRUE(throttle.admit("10.0.0.9", kEmployee, "Once,Again"));
    now += TSignInThrottle::kMemory + 1s;
    for (int i = 0; i < TSignInThrottle::kAddressAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.9", kEmployee, "Again," + std::to_string(i))) << i;
    }
}

TEST(SignInThrottle, AFullTableKeepsWhatIsBlockedAndLetsNewcomersThroughASharedAllowance) {
    std::vector<std::string> reported;
    TSignInThrottle throttle(30);
    throttle.setReport([&](const std::string& line) { reported.push_back(line); });
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    for (int i = 0; i <= TSignInThrottle::kAccountAllowance; ++i)
        throttle.admit("10.0.0.1", kEmployee, "Doe,Jane");
    // Strangers fill the table (three entries each) and more come.
    int refused = 0;
    for (int i = 0; i < 200; ++i) {
        if (throttle.admit("10.9.0." + std::to_string(i), kEmployee, "Nobody," + std::to_string(i)))
            ++refused;
    }
    EXPECT_LE(throttle.tracked(), 30u);
    EXPECT_EQ(refused, 200 - 9 - TSignInThrottle::kUntrackedPerMinute);
    // The blocked pair is still there; a minute later the shared allowance
    // lets newcomers through again.
    EXPECT_TRUE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    now += 1min;
    EXPECT_FALSE(throttle.admit("10.9.1.1", kEmployee, "Nobody,Else"));

    // A refusal is reported with who and from where, once a minute per
    // address; a name cannot begin a line of its own.
    EXPECT_FALSE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    EXPECT_TRUE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    EXPECT_TRUE(throttle.admit("10.0.0.1", kEmployee, "Doe,Jane"));
    const auto fromJanesAddress = std::count_if(
        reported.begin(), reported.end(),
        [](const std::string& line) { return line.find("\"Doe,Jane\" from 10.0.0.1") != std::string::npos; });
    EXPECT_EQ(fromJanesAddress, 2);  // the first refusal, and the one a minute later
    EXPECT_EQ(throttle.refusals(), static_cast<std::uint64_t>(refused) + 3);

    TSignInThrottle another;
    another.setReport([&](const std::string& line) { reported.push_back(line); });
    for (int i = 0; i <= TSignInThrottle::kAccountAllowance + 1; ++i)
        another.admit("10.0.0.2", kEmployee, "A\nB");
    EXPECT_NE(reported.back().find("\"A\\x0aB\" from 10.0.0.2"), std::string::npos) << reported.back();
}

TEST(SignInThrottle, ARightPasswordFromAnAddressLeavesTheFailuresItMadeBeforeCounted) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    // An address guesses at accounts, one failure short of its allowance...
    for (int i = 0; i < TSignInThrottle::kAddressAllowance - 1; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.7", kEmployee, "Guess," + std::to_string(i))) << i;
    }
    // ...then signs in to an account it knows the password of.
    EXPECT_FALSE(throttle.admit("10.0.0.7", kEmployee, "Doe,Jane"));
    throttle.succeeded("10.0.0.7", kEmployee, "Doe,Jane");
    // Only that attempt is taken back: the next guess reaches the allowance,
    // the one after passes it, and the address is slowed down.
    EXPECT_FALSE(throttle.admit("10.0.0.7", kEmployee, "Guess,again"));
    EXPECT_FALSE(throttle.admit("10.0.0.7", kEmployee, "Guess,more"));
    EXPECT_EQ(throttle.admit("10.0.0.7", kEmployee, "Guess,still"), 1s);
    // The account signed in to is not held up by the address's guesses elsewhere.
    EXPECT_FALSE(throttle.admit("10.0.0.8", kEmployee, "Doe,Jane"));
}

TEST(WebSessions, TokensAreRandomAndASessionEndsWhenSignedOutOrIdleTooLong) {
    TWebSessions sessions;
    Clock::time_point now = Clock::now();
    sessions.setClockForTesting([&] { return now; });

    std::set<std::string> tokens;
    for (int i = 0; i < 100; ++i) {
        const std::string token = randomToken();
        EXPECT_EQ(token.size(), 64u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        tokens.insert(token);
    }
    EXPECT_EQ(tokens.size(), 100u);

    const auto jane = sessions.create(SessionKind::Employee, "Doe,Jane", passwordDigest("pw"));
    const auto rick = sessions.create(SessionKind::Employee, "Roe,Rick", passwordDigest("pw"));
    EXPECT_NE(jane->token, jane->antiForgeryToken);
    ASSERT_EQ(sessions.use(jane->token), jane);
    EXPECT_EQ(sessions.use("not a token"), nullptr);
    EXPECT_EQ(sessions.use(""), nullptr);

    // Each use keeps a session alive for eight more hours; peeking does not.
    now += 7h;
    EXPECT_EQ(sessions.use(jane->token), jane);
    EXPECT_EQ(sessions.peek(rick->token), rick);
    now += 2h;
    EXPECT_EQ(sessions.use(jane->token), jane);
    EXPECT_EQ(sessions.use(rick->token), nullptr);

    sessions.end(jane->id);
    EXPECT_EQ(sessions.use(jane->token), nullptr);
    EXPECT_EQ(sessions.count(), 0u);
}

TEST(WebSessions, AnAccountKeepsItsTenNewestSessionsAndEveryEndIsAnnounced) {
    TWebSessions sessions;
    Clock::time_point now = Clock::now();
    sessions.setClockForTesting([&] { return now; });
    std::vector<std::string> ended;
    sessions.setEndNotice([&](const std::vector<std::string>& tokens) {
        ended.insert(ended.end(), tokens.begin(), tokens.end());
    });
    const auto admin = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    const auto rick = sessions.create(SessionKind::Employee, "Roe,Rick", passwordDigest("pw"));

    // Many sign-ins of one account end only its own oldest sessions.
    std::vector<std::shared_ptr<const TWebSession>> jane;
    for (int i = 0; i < 25; ++i)
        jane.push_back(sessions.create(SessionKind::Employee, "Doe,Jane", passwordDigest("pw")));
    for (int i = 0; i < 25; ++i) EXPECT_EQ(sessions.peek(jane[i]->token), i < 15 ? nullptr : jane[i]) << i;
    EXPECT_EQ(sessions.use(rick->token), rick);
    EXPECT_EQ(sessions.use(admin->token), admin);
    ASSERT_EQ(ended.size(), 15u);
    EXPECT_EQ(ended.front(), jane[0]->id);
    EXPECT_EQ(sessions.count(SessionKind::Employee), 11u);

    // The administrator is an account of its own.
    for (int i = 0; i < 12; ++i) sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    EXPECT_EQ(sessions.peek(admin->token), nullptr);
    EXPECT_EQ(sessions.count(SessionKind::Administrator), TWebSessions::kPerAccount);
    EXPECT_EQ(sessions.count(SessionKind::Employee), 11u);

    // The sessions of an account that changed end, and are announced.
    std::vector<std::string> keys = sessions.employeeAccounts();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"Doe,Jane", "Roe,Rick"}));
    ended.clear();
    sessions.endEmployeesWhere([](const std::string& key, std::size_t) { return key == "Roe,Rick"; });
    EXPECT_EQ(ended, std::vector<std::string>{rick->id});
    EXPECT_EQ(sessions.use(rick->token), nullptr);
}

TEST(WebSessions, HoweverOftenUsedASessionEndsAtItsLifetime) {
    TWebSessions sessions;
    Clock::time_point now = Clock::now();
    sessions.setClockForTesting([&] { return now; });
    const auto admin = sessions.create(SessionKind::Administrator, {}, passwordDigest("hash"));
    const auto jane = sessions.create(SessionKind::Employee, "Doe,Jane", passwordDigest("pw"));
    for (int i = 0; i < 28; ++i) {  // 11 hours 40 minutes
        now += 25min;
        ASSERT_EQ(sessions.use(admin->token), admin) << i;
        ASSERT_EQ(sessions.use(jane->token), jane) << i;
    }
    now += 25min;
    EXPECT_EQ(sessions.use(admin->token), nullptr);  // twelve hours
    for (int i = 0; i < 22; ++i) {
        now += 7h;
        ASSERT_EQ(sessions.use(jane->token), jane) << i;
    }
    now += 7h;
    EXPECT_EQ(sessions.use(jane->token), nullptr);  // seven days
}

}  // namespace
}  // namespace zv::web
