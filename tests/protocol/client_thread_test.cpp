// TClientThread over real loopback connections: a plain blocking client on
// one side, the session's own thread and a main loop thread on the other.

#include "protocol/client_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <set>
#include <thread>

#include "main_loop_thread.h"
#include "net/event_loop.h"
#include "protocol_fixture.h"

namespace zv {
namespace {

using namespace std::chrono_literals;

// A blocking loopback client; every read gives up after ten seconds.
class TClient {
public:
    explicit TClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) throw std::runtime_error("client socket failed");
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("connect failed");
    }
    ~TClient() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void send(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) throw std::runtime_error("send failed");
            done += static_cast<std::size_t>(n);
        }
    }
    // Exactly n bytes, or what came before the peer closed or the time-out.
    std::string receive(std::size_t n) {
        std::string out;
        char buffer[65536];
        while (out.size() < n) {
            ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) break;
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }
    // True when the server closed the connection (nothing more arrives).
    bool closedByPeer() {
        char c;
        ssize_t got = ::recv(fd_, &c, 1, 0);
        return got == 0 || (got < 0 && errno == ECONNRESET);
    }

private:
    int fd_ = -1;
};

class ClientThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(listener_, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(listener_, 64), 0);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        port_ = ntohs(addr.sin_port);

        ctx.loop = &mainLoop.loop();
        ctx.onTerminated = [this](TClientThread& session) {
            std::lock_guard lock(ctx.callsMutex);
            ctx.terminatedIds.push_back(session.connectionID());
            ended_.notify_all();
        };
        ctx.addEmployee("Smith,John", "pw", "Out");
        ctx.addEmployee("Brown,Ann", "pw", "In");
    }
    void TearDown() override {
        // Every session must have ended before the context goes away.
        std::unique_lock lock(ctx.callsMutex);
        ASSERT_TRUE(ended_.wait_for(lock, 10s, [this] { return ctx.terminatedIds.size() == started_; }))
            << ctx.terminatedIds.size() << " of " << started_ << " sessions ended";
        lock.unlock();
        ::close(listener_);
    }

    // Connects a client and starts a session for the accepted connection.
    std::unique_ptr<TClient> connect(
        std::chrono::milliseconds silence = TClientThread::kDefaultSilence,
        TClientThread** sessionOut = nullptr, std::chrono::milliseconds idle = 0ms,
        std::chrono::milliseconds transferWait = TClientThread::kDefaultTransferWait) {
        auto client = std::make_unique<TClient>(port_);
        int handle = ::accept(listener_, nullptr, nullptr);
        EXPECT_GE(handle, 0);
        std::string error;
        TClientThread* session = TClientThread::create(handle, ctx, &error);
        EXPECT_NE(session, nullptr) << error;
        session->setSilenceTimeout(silence);
        session->setIdleTimeout(idle);
        session->setTransferWait(transferWait);
        if (sessionOut) *sessionOut = session;
        ++started_;
        session->start();
        return client;
    }
    bool waitForEnded(std::size_t count) {
        std::unique_lock lock(ctx.callsMutex);
        return ended_.wait_for(lock, 10s, [&] { return ctx.terminatedIds.size() >= count; });
    }

    test::TTempFolder folder;
    test::TFixedClock clock{test::sampleTime()};
    test::TMainLoopThread mainLoop;
    test::TFakeServerContext ctx;
    std::condition_variable ended_;
    std::size_t started_ = 0;
    int listener_ = -1;
    int port_ = 0;
};

TEST_F(ClientThreadTest, ServesAWholeExchangeAndEndsAfterTheConfirmation) {
    ctx.blockSize = 4096;
    ctx.addMemo("Smith,John", std::string(9000, 'm'), test::sampleTime());
    const std::string expected = buildBundle(ctx, "Smith,John").str();

    TClientThread* session = nullptr;
    auto client = connect(TClientThread::kDefaultSilence, &session);
    const std::string id = session->connectionID();
    client->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    ASSERT_EQ(client->receive(18), "PREPARE_TO_RECEIVE");

    std::string received;
    while (received.size() < expected.size()) {
        client->send("READY_TO_RECEIVE");
        const std::size_t block = std::min<std::size_t>(4096, expected.size() - received.size());
        std::string part = client->receive(block);
        ASSERT_EQ(part.size(), block);
        received += part;
    }
    EXPECT_EQ(received, expected);
    client->send("READY_TO_RECEIVE");
    EXPECT_EQ(client->receive(13), "DATA_COMPLETE");
    client->send("CONFIRM");
    EXPECT_TRUE(client->closedByPeer());

    ASSERT_TRUE(waitForEnded(1));
    std::lock_guard lock(ctx.callsMutex);
    EXPECT_EQ(ctx.terminatedIds, std::vector<std::string>{id});
    ASSERT_EQ(ctx.threadListUpdates.size(), 1u);
    EXPECT_EQ(ctx.threadListUpdates[0].first, id);
    EXPECT_EQ(ctx.threadListUpdates[0].second, "Smith,John");
    TPOSTIList memos;
    memos.setFileName("posti.dat");
    memos.loadFromFile();
    EXPECT_EQ(memos.makeBundleFromList("Smith,John", 0), "0|");
}

TEST_F(ClientThreadTest, ARefusedLoginKeepsTheConnectionOpenForTheNextRequest) {
    auto client = connect();
    client->send(test::loginRequest("PUNCH_IN", "Smith,John", "wrong"));
    EXPECT_EQ(client->receive(12), "LOGIN_DENIED");
    client->send(test::loginRequest("DLTA", "Ghost,Casper", "pw"));
    EXPECT_EQ(client->receive(9), "NON_EXIST");
    client->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    EXPECT_EQ(client->receive(18), "PREPARE_TO_RECEIVE");
    client->close();  // leaving before the confirmation
    ASSERT_TRUE(waitForEnded(1));
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "In");  // the mark of the refused request
}

TEST_F(ClientThreadTest, ALoginSentByteByByteIsServedLikeAWholeOne) {
    auto client = connect();
    const std::string request =
        test::loginRequest("DLTA", "Smith,John", "pw", test::boardRecord("Smith,John", "Away", "c"),
                           "NO_DATA", "NO_DATA", "1|Caller<~FLD~>Co<~FLD~>1<~REC~>");
    for (char c : request) client->send(std::string(1, c));
    EXPECT_EQ(client->receive(18), "PREPARE_TO_RECEIVE");
    client->close();
    ASSERT_TRUE(waitForEnded(1));
    EXPECT_EQ(ctx.board().findByKey("Smith,John")->Status, "Away");
    EXPECT_EQ(ctx.phonebook().getCount(), 1);
    EXPECT_EQ(ctx.statusLog().getCount(), 1);
}

TEST_F(ClientThreadTest, AnIncompleteRequestIsActedOnAfterTheSilence) {
    auto client = connect(100ms);
    client->send("SUBMIT_LOGIN");
    EXPECT_EQ(client->receive(9), "NON_EXIST");
    client->send("PUNCH_OUT:Brown,Ann");  // no second colon: punches nobody out, closes
    EXPECT_TRUE(client->closedByPeer());
    ASSERT_TRUE(waitForEnded(1));
    EXPECT_EQ(ctx.board().findByKey("Brown,Ann")->Status, "In");
}

TEST_F(ClientThreadTest, APunchOutClosesTheConnection) {
    auto client = connect();
    client->send("PUNCH_OUT:Brown,Ann:");
    EXPECT_TRUE(client->closedByPeer());
    ASSERT_TRUE(waitForEnded(1));
    EXPECT_EQ(ctx.board().findByKey("Brown,Ann")->Status, "Out");
}

TEST_F(ClientThreadTest, PostQuitEndsAnIdleSession) {
    TClientThread* session = nullptr;
    auto client = connect(TClientThread::kDefaultSilence, &session);
    // As the host does it: on the main thread, while the session is alive.
    runInLoopAndWait(mainLoop.loop(), [session] { session->postQuit(); });
    ASSERT_TRUE(waitForEnded(1));
    EXPECT_TRUE(client->closedByPeer());
}

TEST_F(ClientThreadTest, AHandleThatCannotBeAdoptedEndsTheSessionAndTheServerGoesOn) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[1]);
    std::string error;
    TClientThread* broken = TClientThread::create(pipeFds[0], ctx, &error);  // not a socket
    ASSERT_NE(broken, nullptr) << error;
    ++started_;
    broken->start();
    ASSERT_TRUE(waitForEnded(1));

    auto client = connect();
    client->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    EXPECT_EQ(client->receive(18), "PREPARE_TO_RECEIVE");
}

TEST_F(ClientThreadTest, AFailingStepIsDroppedAndTheNextRequestIsServed) {
    runInLoopAndWait(mainLoop.loop(), [this] { ctx.failThreadListUpdate = true; });
    auto client = connect();
    client->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    {
        std::unique_lock lock(ctx.callsMutex);
        ASSERT_TRUE(ctx.callsChanged.wait_for(lock, 10s, [this] { return ctx.threadListAttempts == 1; }));
    }
    // The step failed inside the login check: no reply, the connection stays,
    // and the next request is served.
    runInLoopAndWait(mainLoop.loop(), [this] { ctx.failThreadListUpdate = false; });
    client->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    EXPECT_EQ(client->receive(18), "PREPARE_TO_RECEIVE");
}

TEST_F(ClientThreadTest, AThreadThatCannotBeCreatedClosesItsConnection) {
    auto client = std::make_unique<TClient>(port_);
    int handle = ::accept(listener_, nullptr, nullptr);
    ASSERT_GE(handle, 0);
    TClientThread::failThreadCreationForTesting(true);
    std::string error;
    TClientThread* session = TClientThread::create(handle, ctx, &error);
    TClientThread::failThreadCreationForTesting(false);
    EXPECT_EQ(session, nullptr);
    EXPECT_NE(error.find("cannot create the session thread"), std::string::npos) << error;
    EXPECT_TRUE(client->closedByPeer());

    auto next = connect();  // the others are served as before
    next->send(test::loginRequest("DLTA", "Smith,John", "pw"));
    EXPECT_EQ(next->receive(18), "PREPARE_TO_RECEIVE");
}

TEST_F(ClientThreadTest, ATransferThatStallsIsResumedEndedByQuitOrIdleTimeAndALeavingClientEndsIt) {
    // Blocks of 64 bytes: every client below is in the middle of a bundle of
    // many blocks when it stalls.
    ctx.blockSize = 64;
    ctx.addMemo("Smith,John", std::string(2000, 'm'), test::sampleTime());
    const std::string expected = buildBundle(ctx, "Smith,John").str();
    ASSERT_GT(expected.size(), 20u * 64u);
    auto startTransfer = [&](TClient& client, std::string& received) {
        client.send(test::loginRequest("DLTA", "Smith,John", "pw"));
        ASSERT_EQ(client.receive(18), "PREPARE_TO_RECEIVE");
        for (int i = 0; i < 5; ++i) {
            client.send("READY_TO_RECEIVE");
            received += client.receive(64);
        }
    };

    // A client slower than the server waits in a receive (here 1 ms, so
    // that the waits run out between its replies and the event loop takes
    // over again and again), which also sends a reply in halves: the bundle
    // comes whole.
    std::string slowReceived;
    auto slow = connect(TClientThread::kDefaultSilence, nullptr, 0ms, 1ms);
    startTransfer(*slow, slowReceived);
    slow->send("READY_TO");
    slow->send("_RECEIVE");
    slowReceived += slow->receive(64);
    while (slowReceived.size() < expected.size()) {
        slow->send("READY_TO_RECEIVE");
        const std::string part =
            slow->receive(std::min<std::size_t>(64, expected.size() - slowReceived.size()));
        ASSERT_FALSE(part.empty());
        slowReceived += part;
    }
    EXPECT_EQ(slowReceived, expected);
    slow->send("READY_TO_RECEIVE");
    EXPECT_EQ(slow->receive(13), "DATA_COMPLETE");
    slow->send("CONFIRM");
    EXPECT_TRUE(slow->closedByPeer());
    ASSERT_TRUE(waitForEnded(1));

    // A stalled transfer ends when the host asks the session to quit...
    std::string ignored;
    TClientThread* stalled = nullptr;
    auto quitting = connect(TClientThread::kDefaultSilence, &stalled);
    startTransfer(*quitting, ignored);
    runInLoopAndWait(mainLoop.loop(), [stalled] { stalled->postQuit(); });
    ASSERT_TRUE(waitForEnded(2));
    EXPECT_TRUE(quitting->closedByPeer());

    // ...when its client stays silent for the idle time...
    auto silent = connect(TClientThread::kDefaultSilence, nullptr, 300ms);
    startTransfer(*silent, ignored);
    EXPECT_TRUE(silent->closedByPeer());
    ASSERT_TRUE(waitForEnded(3));

    // ...and when its client leaves.
    auto leaving = connect();
    startTransfer(*leaving, ignored);
    leaving->close();
    ASSERT_TRUE(waitForEnded(4));
}

TEST_F(ClientThreadTest, ManyClientsAtOnceAreServedOneStepAtATime) {
    constexpr int kClients = 20;
    for (int i = 0; i < kClients; ++i) ctx.addEmployee("User" + std::to_string(i) + ",Test", "pw");
    std::vector<std::unique_ptr<TClient>> clients;
    std::set<std::string> ids;
    for (int i = 0; i < kClients; ++i) {
        TClientThread* session = nullptr;
        clients.push_back(connect(TClientThread::kDefaultSilence, &session));
        ids.insert(session->connectionID());
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kClients));

    std::vector<std::thread> threads;
    std::vector<std::string> replies(kClients);
    const std::time_t when = test::sampleTime();
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            const std::string key = "User" + std::to_string(i) + ",Test";
            clients[i]->send(
                test::loginRequest("DLTA", key, "pw", "NO_DATA", test::memoRecord("Smith,John", key, when)));
            replies[i] = clients[i]->receive(18);
            clients[i]->close();
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : replies) EXPECT_EQ(r, "PREPARE_TO_RECEIVE");
    ASSERT_TRUE(waitForEnded(kClients));
    EXPECT_EQ(ctx.memos().makeBundleFromList("Smith,John", 0).substr(0, 3), "20|");
}

}  // namespace
}  // namespace zv
