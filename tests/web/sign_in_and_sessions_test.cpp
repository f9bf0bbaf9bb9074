// The sign-in throttle and the session store, on a clock of their own.

#include <gtest/gtest.h>

#include <set>

#include "web/sessions.h"
#include "web/sign_in_throttle.h"

namespace zv::web {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SignInThrottle, AnAccountIsSlowedDownPastItsAllowanceEachFailureDoublingTheWait) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });

    // Attempts at the same moment all count (each is a failure until it
    // succeeds), so parallel guesses gain nothing.
    for (int i = 0; i < TSignInThrottle::kAccountAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.1", "Doe,Jane")) << i;
    }
    EXPECT_FALSE(throttle.admit("10.0.0.2", "Doe,Jane"));  // the failure past the allowance
    EXPECT_EQ(throttle.admit("10.0.0.3", "Doe,Jane"), 1s);  // from any address
    EXPECT_FALSE(throttle.admit("10.0.0.3", "Roe,Rick"));  // another account is not affected

    now += 1s;
    EXPECT_FALSE(throttle.admit("10.0.0.1", "Doe,Jane"));
    EXPECT_EQ(throttle.admit("10.0.0.1", "Doe,Jane"), 2s);
    now += 2s;
    EXPECT_FALSE(throttle.admit("10.0.0.1", "Doe,Jane"));
    EXPECT_EQ(throttle.admit("10.0.0.1", "Doe,Jane"), 4s);

    // The longest wait is a quarter of an hour.
    std::chrono::seconds longest{0};
    for (int i = 0; i < 40; ++i) {
        if (const auto wait = throttle.admit("10.0.1." + std::to_string(i), "Doe,Jane")) {
            longest = std::max(longest, *wait);
            now += *wait;
        }
    }
    EXPECT_EQ(longest, TSignInThrottle::kLongestWait);

    // A success clears the account.
    now += TSignInThrottle::kLongestWait;
    EXPECT_FALSE(throttle.admit("10.0.2.1", "Doe,Jane"));
    throttle.succeeded("10.0.2.1", "Doe,Jane");
    EXPECT_FALSE(throttle.admit("10.0.2.1", "Doe,Jane"));
}

TEST(SignInThrottle, AnAddressTryingManyAccountsIsSlowedDownAndFailuresAreForgottenInTime) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    for (int i = 0; i <= TSignInThrottle::kAddressAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.9", "Guess," + std::to_string(i))) << i;
    }
    EXPECT_TRUE(throttle.admit("10.0.0.9", "Doe,Jane"));
    EXPECT_FALSE(throttle.admit("10.0.0.8", "Doe,Jane"));  // another address is not affected

    // A quarter of an hour after the last failure, it starts afresh.
    now += TSignInThrottle::kMemory + 1s;
    for (int i = 0; i < TSignInThrottle::kAddressAllowance; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.9", "Again," + std::to_string(i))) << i;
    }
}

TEST(SignInThrottle, ARightPasswordFromAnAddressLeavesTheFailuresItMadeBeforeCounted) {
    TSignInThrottle throttle;
    Clock::time_point now = Clock::now();
    throttle.setClockForTesting([&] { return now; });
    // An address guesses at accounts, one failure short of its allowance...
    for (int i = 0; i < TSignInThrottle::kAddressAllowance - 1; ++i) {
        EXPECT_FALSE(throttle.admit("10.0.0.7", "Guess," + std::to_string(i))) << i;
    }
    // ...then signs in to an account it knows the password of.
    EXPECT_FALSE(throttle.admit("10.0.0.7", "Doe,Jane"));
    throttle.succeeded("10.0.0.7", "Doe,Jane");
    // Only that attempt is taken back: the next guess reaches the allowance,
    // the one after passes it, and the address is slowed down.
    EXPECT_FALSE(throttle.admit("10.0.0.7", "Guess,again"));
    EXPECT_FALSE(throttle.admit("10.0.0.7", "Guess,more"));
    EXPECT_EQ(throttle.admit("10.0.0.7", "Guess,still"), 1s);
    // The account signed in to is not held up by the address's guesses elsewhere.
    EXPECT_FALSE(throttle.admit("10.0.0.8", "Doe,Jane"));
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

    sessions.end(jane->token);
    EXPECT_EQ(sessions.use(jane->token), nullptr);
    EXPECT_EQ(sessions.count(), 0u);
}

}  // namespace
}  // namespace zv::web
