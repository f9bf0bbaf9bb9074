// The socket layer the way the server uses it: a listening socket on the main
// thread, each accepted handle adopted on a session thread of its own, steps
// handed to the main thread while the session thread waits, and faulty peers.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::LoopThread;
using test::Signal;

// A session as the server runs one: its own thread and socket; every data
// event runs `step` on the main loop while this thread waits; the close posts
// the quit request that ends the thread.
class Session {
public:
    using Step = std::function<void(TAsyncSocket&)>;

    Session(int handle, TEventLoop& mainLoop, Step step)
        : thread_([this, handle, &mainLoop, step = std::move(step)] {
              TAsyncSocket socket;
              socket_ = &socket;
              socket.OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
                  runInLoopAndWait(mainLoop, [&] { step(s); });
              };
              socket.OnSessionClosed = [&](TAsyncSocket& s, std::uint16_t error) {
                  ++closedCount;
                  closeError = error;
                  s.postQuit();
              };
              socket.OnDataSent = [&](TAsyncSocket&, std::uint16_t) {
                  dataSentOnOwner = TEventLoop::current() == &socket.ownerLoop();
                  dataSent.notify();
              };
              socket.Dup(handle);
              started.notify();
              RunMessageLoop();
              socket_ = nullptr;
          }) {}
    ~Session() {
        if (thread_.joinable()) thread_.join();
    }
    void postQuit() {
        started.waitFor();
        if (TAsyncSocket* s = socket_) s->postQuit();
    }
    void join() { thread_.join(); }
    std::thread::id id() const { return thread_.get_id(); }

    Signal started;
    Signal dataSent;
    std::atomic<int> closedCount{0};
    std::atomic<int> closeError{-1};
    std::atomic<bool> dataSentOnOwner{false};

private:
    std::atomic<TAsyncSocket*> socket_{nullptr};
    std::thread thread_;
};

// The main thread's listening socket; every connection becomes a Session.
struct Server {
    explicit Server(LoopThread& mainThread, Session::Step step) : main(mainThread) {
        main.exec([this, step] {
            listener = std::make_unique<TAsyncSocket>();
            listener->setAddr("127.0.0.1");
            listener->setPort("0");
            listener->OnSessionAvailable = [this, step](TAsyncSocket& s, std::uint16_t) {
                const int handle = s.Accept();
                if (handle == INVALID_SOCKET) return;
                sessions.push_back(std::make_unique<Session>(handle, main.loop(), step));
                accepted.notify();
            };
            listener->Listen();
            port = listener->boundPort();
        });
    }
    ~Server() {
        main.exec([this] { listener.reset(); });
        sessions.clear();  // joins the threads
    }
    Session& session(std::size_t i) {
        Session* s = nullptr;
        main.exec([&] { s = sessions.at(i).get(); });
        return *s;
    }

    LoopThread& main;
    std::unique_ptr<TAsyncSocket> listener;
    std::vector<std::unique_ptr<Session>> sessions;  // main thread only
    Signal accepted;
    int port = 0;
};

TEST(SocketSession, StepsRunOnTheMainThreadAndAStepThatClosesEndsTheSession) {
    LoopThread mainThread;
    std::vector<std::string> requests;
    std::thread::id stepThread;
    Server server(mainThread, [&](TAsyncSocket& s) {
        stepThread = std::this_thread::get_id();
        const std::string text = s.ReceiveText();
        requests.push_back(text);
        if (text == "SUBMIT_LOGIN") {
            s.SendText("NON_EXIST");
        } else {
            s.Close();  // OnSessionClosed, here on the main thread, ends the session
        }
    });
    const int client = test::connectBlocking(server.port);
    ASSERT_TRUE(server.accepted.waitFor());
    ASSERT_TRUE(test::sendAll(client, "SUBMIT_LOGIN"));
    EXPECT_EQ(test::recvExactly(client, 9), "NON_EXIST");
    ASSERT_TRUE(test::sendAll(client, "PUNCH_OUT:Doe,John:"));
    Session& session = server.session(0);
    session.join();  // the session thread ended by itself
    EXPECT_EQ(stepThread, mainThread.id());
    EXPECT_EQ(requests, (std::vector<std::string>{"SUBMIT_LOGIN", "PUNCH_OUT:Doe,John:"}));
    EXPECT_EQ(session.closedCount, 1);
    EXPECT_EQ(session.closeError, 0);
    char c;
    EXPECT_LE(::recv(client, &c, 1, 0), 0);
    ::close(client);
}

TEST(SocketSession, ASendFromTheMainThreadIsContinuedByTheSessionThread) {
    LoopThread mainThread;
    const std::string bundle = test::pattern(8 * 1024 * 1024, 3);
    Server server(mainThread, [&](TAsyncSocket& s) {
        s.ReceiveText();
        EXPECT_EQ(s.Send(bundle.data(), static_cast<int>(bundle.size())), static_cast<int>(bundle.size()));
    });
    const int client = test::connectBlocking(server.port);
    ASSERT_TRUE(server.accepted.waitFor());
    ASSERT_TRUE(test::sendAll(client, "READY_TO_RECEIVE"));
    const std::string received = test::recvExactly(client, bundle.size());
    EXPECT_TRUE(received == bundle);
    Session& session = server.session(0);
    ASSERT_TRUE(session.dataSent.waitFor());
    EXPECT_TRUE(session.dataSentOnOwner);
    ::close(client);
    session.join();
    EXPECT_EQ(session.closedCount, 1);
}

TEST(SocketSession, APeerThatNeverReadsAndThenResetsEndsTheSessionOnce) {
    LoopThread mainThread;
    Server server(mainThread, [&](TAsyncSocket& s) {
        s.ReceiveText();
        const std::string big(16 * 1024 * 1024, 'b');
        s.SendText(big);
    });
    const int client = test::connectBlocking(server.port);
    ASSERT_TRUE(server.accepted.waitFor());
    ASSERT_TRUE(test::sendAll(client, "READY_TO_RECEIVE"));
    // Wait until the session's data is backed up on this side, then reset.
    for (int i = 0; i < 2000; ++i) {
        int pending = 0;
        ::ioctl(client, FIONREAD, &pending);
        if (pending > 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    test::setResetOnClose(client);
    ::close(client);
    Session& session = server.session(0);
    session.join();
    EXPECT_EQ(session.closedCount, 1);
    // The main loop still serves.
    bool ran = false;
    mainThread.exec([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SocketSession, APeerThatClosesInTheMiddleOfATransferEndsTheSessionOnce) {
    LoopThread mainThread;
    Server server(mainThread, [&](TAsyncSocket& s) {
        s.ReceiveText();
        s.SendText(std::string(4 * 1024 * 1024, 'm'));
    });
    const int client = test::connectBlocking(server.port);
    ASSERT_TRUE(server.accepted.waitFor());
    ASSERT_TRUE(test::sendAll(client, "READY_TO_RECEIVE"));
    EXPECT_EQ(test::recvExactly(client, 100000).size(), 100000u);
    ::close(client);  // unread data: the close resets the connection
    Session& session = server.session(0);
    session.join();
    EXPECT_EQ(session.closedCount, 1);
}

TEST(SocketSession, AQuitRequestFromOutsideEndsIdleSessions) {
    LoopThread mainThread;
    Server server(mainThread, [](TAsyncSocket& s) { s.ReceiveText(); });
    std::vector<int> clients;
    for (int i = 0; i < 5; ++i) clients.push_back(test::connectBlocking(server.port));
    ASSERT_TRUE(server.accepted.waitFor(5));
    for (std::size_t i = 0; i < 5; ++i) server.session(i).postQuit();
    for (std::size_t i = 0; i < 5; ++i) {
        server.session(i).join();
        EXPECT_EQ(server.session(i).closedCount, 0);  // destroyed, not closed by a peer
    }
    for (int fd : clients) {
        char c;
        EXPECT_LE(::recv(fd, &c, 1, 0), 0);  // the destroyed sockets closed them
        ::close(fd);
    }
}

TEST(SocketSession, ManyClientsConnectingAtOnceAreAllAccepted) {
    LoopThread mainThread;
    Server server(mainThread, [](TAsyncSocket& s) {
        if (s.ReceiveText() == "PING") {
            s.SendText("PONG");
        }
    });
    constexpr int kClients = 400;
    std::vector<int> clients(kClients, -1);
    std::vector<std::jthread> connectors;
    for (int t = 0; t < 4; ++t) {
        connectors.emplace_back([&, t] {
            for (int i = t; i < kClients; i += 4)
                clients[static_cast<std::size_t>(i)] = test::connectBlocking(server.port);
        });
    }
    for (auto& thread : connectors) thread.join();
    int answered = 0;
    for (int fd : clients) {
        ASSERT_GE(fd, 0);
        if (test::sendAll(fd, "PING") && test::recvExactly(fd, 4) == "PONG") ++answered;
    }
    EXPECT_EQ(answered, kClients);
    for (int fd : clients) ::close(fd);
    for (std::size_t i = 0; i < kClients; ++i) server.session(i).join();
}

TEST(SocketLeaks, OpeningAndClosingTenThousandConnectionsLeavesNoDescriptor) {
    const int before = test::openDescriptorCount();
    {
        LoopThread serverThread;
        LoopThread clientThread;
        std::unique_ptr<TAsyncSocket> listener;
        std::list<TAsyncSocket> sessions;  // serverThread only
        int port = 0;
        serverThread.exec([&] {
            listener = std::make_unique<TAsyncSocket>();
            listener->setAddr("127.0.0.1");
            listener->setPort("0");
            listener->OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) {
                const int handle = s.Accept();
                if (handle == INVALID_SOCKET) return;
                TAsyncSocket& session = sessions.emplace_back();
                session.OnDataAvailable = [](TAsyncSocket& x, std::uint16_t) {
                    x.ReceiveText();
                    x.Close();
                };
                session.OnSessionClosed = [&sessions, &serverThread](TAsyncSocket& x, std::uint16_t) {
                    TAsyncSocket* closed = &x;
                    serverThread.loop().post([&sessions, closed] {
                        sessions.remove_if([closed](const TAsyncSocket& e) { return &e == closed; });
                    });
                };
                session.Dup(handle);
            };
            listener->Listen();
            port = listener->boundPort();
        });

        // Half of the clients are plain sockets, half TAsyncSockets that connect.
        constexpr int kConnections = 10000;
        std::atomic<int> done{0};
        std::jthread plainClients([&] {
            for (int i = 0; i < kConnections / 2; ++i) {
                const int fd = test::connectBlocking(port);
                if (fd < 0) continue;
                test::sendAll(fd, "PUNCH_OUT:x:");
                test::recvUntilClosed(fd);
                ::close(fd);
                ++done;
            }
        });
        Signal asyncDone;
        std::unique_ptr<TAsyncSocket> client;
        int remaining = kConnections / 2;
        std::function<void()> next;
        clientThread.exec([&] {
            client = std::make_unique<TAsyncSocket>();
            client->OnSessionConnected = [](TAsyncSocket& s, std::uint16_t error) {
                if (error == 0) s.SendText("PUNCH_OUT:y:");
            };
            client->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) {
                ++done;
                clientThread.loop().post(next);  // connect again outside the close handler
            };
            next = [&] {
                if (remaining-- == 0) {
                    asyncDone.notify();
                    return;
                }
                client->setAddr("127.0.0.1");
                client->setPort(std::to_string(port));
                client->Connect();
            };
            next();
        });
        plainClients.join();
        ASSERT_TRUE(asyncDone.waitFor());
        EXPECT_EQ(done, kConnections);
        clientThread.exec([&] { client.reset(); });
        serverThread.exec([&] {
            listener.reset();
            sessions.clear();
        });
    }
    EXPECT_EQ(test::openDescriptorCount(), before);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST(SocketSession, ASessionRunsOnAThreadWithA256KiBStack) {
    int port = 0;
    const int listener = test::listenBlocking(&port);
    const int client = test::connectBlocking(port);
    struct Job {
        int handle;
        std::string received;
    } job{test::acceptBlocking(listener), {}};
    ::close(listener);

    pthread_attr_t attr;
    ASSERT_EQ(::pthread_attr_init(&attr), 0);
    ASSERT_EQ(::pthread_attr_setstacksize(&attr, 256 * 1024), 0);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        auto* job = static_cast<Job*>(arg);
        TAsyncSocket socket;
        socket.Dup(job->handle);
        socket.OnDataAvailable = [job](TAsyncSocket& s, std::uint16_t) {
            job->received += s.ReceiveText();
            s.SendText(std::string(100000, 'r'));
        };
        socket.OnSessionClosed = [](TAsyncSocket& s, std::uint16_t) { s.postQuit(); };
        RunMessageLoop();
        return nullptr;
    };
    ASSERT_EQ(::pthread_create(&thread, &attr, body, &job), 0);
    ::pthread_attr_destroy(&attr);
    ASSERT_TRUE(test::sendAll(client, "READY_TO_RECEIVE"));
    EXPECT_EQ(test::recvExactly(client, 100000).size(), 100000u);
    ::close(client);
    ::pthread_join(thread, nullptr);
    EXPECT_EQ(job.received, "READY_TO_RECEIVE");
}

TEST(SocketSession, AConnectFromAGivenLocalPortUsesThatPort) {
    LoopThread clientThread;
    int port = 0;
    const int listener = test::listenBlocking(&port);
    // A free local port: bind to 0, note it, release it.
    int freePort = 0;
    ::close(test::listenBlocking(&freePort));
    std::unique_ptr<TAsyncSocket> client;
    Signal connected;
    clientThread.exec([&] {
        client = std::make_unique<TAsyncSocket>();
        client->setAddr("127.0.0.1");
        client->setPort(std::to_string(port));
        client->setLocalPort(std::to_string(freePort));
        client->OnSessionConnected = [&](TAsyncSocket&, std::uint16_t error) {
            EXPECT_EQ(error, 0);
            connected.notify();
        };
        client->Connect();
    });
    ASSERT_TRUE(connected.waitFor());
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int server = ::accept(listener, reinterpret_cast<sockaddr*>(&peer), &len);
    EXPECT_EQ(ntohs(peer.sin_port), freePort);
    clientThread.exec([&] {
        EXPECT_EQ(client->boundPort(), freePort);
        client.reset();
    });
    ::close(server);
    ::close(listener);
}

}  // namespace
}  // namespace zv
