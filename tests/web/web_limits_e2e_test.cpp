// What one person with one account, or with none, must not be able to do to
// everyone else through the HTTP side: sign the others out, keep the pages
// from them with connections that never finish, clear a blocked account by
// flooding the sign-in, or go on reading after the account is gone.

#include <poll.h>

#include <atomic>

#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;


// The connections of `fds` the server has closed are closed here too (-1);
// returns how many are still open.
int stillOpen(std::vector<int>& fds) {
    int open = 0;
    for (int& fd : fds) {
        if (fd < 0) continue;
        pollfd p{fd, POLLIN, 0};
        char byte;
        if (::poll(&p, 1, 0) > 0 && ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) {
            ::close(fd);
            fd = -1;
            continue;
        }
        ++open;
    }
    return open;
}

// A failed sign-in from `from` on a connection of its own; the status of
// the answer. The connection is reset at the end, so that ten thousand of
// them leave no port of this computer waiting for a minute (TIME_WAIT),
// which servers started later could not listen on.
int signInOnce(int port, const std::string& from, const std::string& employee) {
    const int fd = connectFrom(from, port);
    if (fd < 0) return -1;
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    const std::string body = R"({"employee":")" + employee + R"(","password":"guess"})";
    const std::string request =
        "POST /api/sign-in HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string head;
    char chunk[512];
    for (ssize_t n; head.find("\r\n") == std::string::npos && (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        head.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return head.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(head.c_str() + 9) : -1;
}

// The value of the sample `name` (with its labels) on a metrics page; -1
// when the page has none.
double sampleOf(const std::string& page, const std::string& name) {
    const std::size_t at = page.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stod(page.substr(at + name.size() + 2));
}

TEST(WebLimits, TenThousandSignInsOfOneAccountLeaveEveryOtherSessionWorking) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "pw")});
    HttpClient admin(server->webPort());
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);
    auto rick = signedIn(*server, "Roe,Rick", "pw");
    auto firstJane = signedIn(*server, "Doe,Jane", "pw");

    std::atomic<int> refused{0};
    inParallel(server->webPort(), 10050, 4, [&](int, HttpClient& browser) {
        if (browser.signIn("Doe,Jane", "pw").status != 200) ++refused;
    });
    EXPECT_EQ(refused, 0);

    EXPECT_EQ(rick->get("/api/me").status, 200);
    EXPECT_EQ(admin.get("/api/admin/users").status, 200);
    // The account keeps only its newest sessions: its first one has ended.
    EXPECT_EQ(firstJane->get("/api/me").status, 401);
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebLimits, TricklingConnectionsFromOneAddressAreCappedAndCutAtTheHeadDeadlineWhileOthersAreServed) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "pw")});
    const int port = server->webPort();

    // 300 connections from one address, each sending its request head a
    // line at a time and never finishing it.
    std::vector<int> fds;
    const auto opened = Clock::now();
    for (int i = 0; i < 300; ++i) {
        const int fd = connectFrom("127.0.0.2", port);
        if (fd < 0) continue;
        const std::string start = "GET /api/board HTTP/1.1\r\nHost: localhost\r\n";
        ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    // Beyond the 64th they are closed at once.
    EXPECT_TRUE(eventually([&] { return stillOpen(fds) <= 64; }, 3s)) << stillOpen(fds) << " still open";

    // Meanwhile a browser at another address is served at once.
    const auto asked = Clock::now();
    HttpClient other(port, "127.0.0.1", "127.0.0.3");
    EXPECT_EQ(other.get("/").status, 200);
    ASSERT_EQ(other.signIn("Roe,Rick", "pw").status, 200);
    EXPECT_EQ(other.get("/api/board").status, 200);
    EXPECT_LT(Clock::now() - asked, 2s);

    // One session keeps four live pages: a fifth (a page reloaded) ends the
    // oldest.
    std::vector<std::unique_ptr<test::EventStream>> streams;
    for (int i = 0; i < 5; ++i) {
        streams.push_back(std::make_unique<test::EventStream>(port, other.sessionToken()));
        EXPECT_EQ(streams.back()->status(), 200) << i;
    }
    EXPECT_TRUE(streams[0]->endsWithin(2s));
    EXPECT_FALSE(streams[1]->endsWithin(100ms));

    // A line every second resets nothing: the head must be whole within its
    // deadline, and none is.
    while (stillOpen(fds) > 0 && Clock::now() - opened < 14s) {
        for (const int fd : fds) {
            if (fd >= 0) ::send(fd, "X-Trickle: 1\r\n", 14, MSG_NOSIGNAL);
        }
        std::this_thread::sleep_for(1s);
    }
    EXPECT_EQ(stillOpen(fds), 0);
    EXPECT_GT(Clock::now() - opened, 9s);
    for (const int fd : fds) {
        if (fd >= 0) ::close(fd);
    }
    EXPECT_EQ(other.get("/api/me").status, 200);

    // The metrics (open to this computer) count what the limits ended.
    const std::string metrics = other.get("/metrics").body;
    EXPECT_EQ(sampleOf(metrics, R"(zelvora_http_connections_ended_total{outcome="too_many_from_address"})"),
              static_cast<double>(fds.size() - 64))
        << metrics;
    EXPECT_GE(sampleOf(metrics, R"(zelvora_http_connections_ended_total{outcome="request_too_slow"})"), 64)
        << metrics;
    EXPECT_GE(sampleOf(metrics, "zelvora_http_connections"), 1) << metrics;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebLimits, ABlockedAccountStaysBlockedThroughAFloodOfFailuresFromOtherAddresses) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    const int port = server->webPort();
    HttpClient admin(port);
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);

    HttpClient attacker(port, "127.0.0.1", "127.0.0.2");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(attacker.signIn("Doe,Jane", "guess").status, 401) << i;
    EXPECT_EQ(attacker.signIn("Doe,Jane", "pw").status, 429);

    // Failures from ten thousand addresses, each of its own.
    std::atomic<int> answered{0};
    inParallel(port, 10100, 4, [&](int i, HttpClient&) {
        const std::string from = "127.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        const int status = signInOnce(port, from, "Nobody,No" + std::to_string(i));
        if (status == 401 || status == 429) ++answered;
    });
    EXPECT_EQ(answered, 10100);

    // The guesser's failures still count: the next guess (or the wait still
    // running) keeps even the right password out; the right password from an
    // address without failures gets in.
    const int guess = attacker.signIn("Doe,Jane", "guess").status;
    EXPECT_TRUE(guess == 401 || guess == 429) << guess;
    EXPECT_EQ(attacker.signIn("Doe,Jane", "pw").status, 429);
    HttpClient clean(port, "127.0.0.1", "127.0.0.4");
    EXPECT_EQ(clean.signIn("Doe,Jane", "pw").status, 200);

    // An employee's name that looks like the administrator's key blocks
    // that name alone.
    HttpClient impostor(port, "127.0.0.1", "127.0.0.5");
    for (int i = 0; i < 7; ++i) impostor.signIn("*administrator*", "guess");
    EXPECT_EQ(impostor.signIn("*administrator*", "guess").status, 429);
    EXPECT_EQ(impostor.adminSignIn(kAdminPassword).status, 200);

    // Refusals are reported, once a minute per address.
    const std::string errors = server->stderrText();
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = errors.find("127.0.0.2", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 1u) << errors;
    // (Counted, and named, as every spelling of the name is: "Doe,Jane",
    // "jane doe" and "DOE, JANE" are one account's failures.)
    EXPECT_NE(errors.find("\"doe jane\" from 127.0.0.2"), std::string::npos) << errors;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebLimits, AnAccountDeletedRenamedOrGivenANewPasswordLosesItsSessionsAndStreamsAtOnce) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw"), test::boardRecord("Roe,Rick", "pw"),
                               test::boardRecord("Poe,Moe", "pw")});
    const int port = server->webPort();
    HttpClient admin(port);
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);
    struct Reader {
        std::unique_ptr<HttpClient> browser;
        std::unique_ptr<test::EventStream> stream;
    };
    auto reader = [&](const std::string& employee) {
        Reader r{signedIn(*server, employee, "pw"), nullptr};
        r.stream = std::make_unique<test::EventStream>(port, r.browser->sessionToken());
        r.stream->nextBoardEvent();
        EXPECT_EQ(r.browser->get("/api/board").status, 200);
        return r;
    };
    auto ended = [](Reader& r, const char* why) {
        EXPECT_EQ(r.browser->get("/api/board").status, 401) << why;
        EXPECT_TRUE(r.stream->endsWithin(2s)) << why;
    };

    Reader jane = reader("Doe,Jane");
    ASSERT_EQ(admin.request("DELETE", "/api/admin/accounts", R"({"employee":"Doe,Jane"})").status, 200);
    ended(jane, "deleted");

    Reader rick = reader("Roe,Rick");
    ASSERT_EQ(
        admin.request("PUT", "/api/admin/accounts", R"({"employee":"Roe,Rick","firstName":"Ricky"})").status,
        200);
    ended(rick, "renamed");

    Reader moe = reader("Poe,Moe");
    clientLogin(*server, "Poe,Moe", "pw", test::recordString(test::boardRecord("Poe,Moe", "changed")));
    ended(moe, "new password from the client");
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
