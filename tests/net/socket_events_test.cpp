// Events of one socket on the thread that owns it: connect, data, write,
// pending connection, close; exceptions in handlers; name look-ups.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketConnect, AConnectCompletesThroughTheConnectEvent) {
  int port = 0;
  const int listener = test::listenBlocking(&port);
  TAsyncSocket client;
  std::vector<TSocketState> states;
  client.OnChangeState = [&](TAsyncSocket&, TSocketState, TSocketState to) {
    states.push_back(to);
  };
  int connected = -1;
  client.OnSessionConnected = [&](TAsyncSocket& s, std::uint16_t error) {
    EXPECT_EQ(s.State(), ssConnected);
    connected = error;
  };
  client.setAddr("localhost");
  client.setPort(std::to_string(port));
  client.Connect();
  EXPECT_EQ(client.State(), ssConnecting);
  ASSERT_TRUE(pumpUntil([&] { return connected != -1; }));
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(states, (std::vector<TSocketState>{ssOpened, ssConnecting, ssConnected}));

  const int server = test::acceptBlocking(listener);
  EXPECT_EQ(client.SendText("HELO"), 4);
  EXPECT_EQ(test::recvExactly(server, 4), "HELO");
  ::close(server);
  ::close(listener);
}

TEST(SocketConnect, ARefusedConnectReportsItsErrorAndThenCloses) {
  int port = 0;
  const int listener = test::listenBlocking(&port);
  ::close(listener);  // nobody listens there now
  TAsyncSocket client;
  std::vector<std::string> events;
  client.OnSessionConnected = [&](TAsyncSocket&, std::uint16_t error) {
    events.push_back("connected " + std::to_string(error));
  };
  client.OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) {
    events.push_back("closed " + std::to_string(error));
  };
  client.setAddr("127.0.0.1");
  client.setPort(std::to_string(port));
  client.Connect();
  ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
  EXPECT_EQ(events, (std::vector<std::string>{"connected 10061", "closed 0"}));

  // The same settings given again make the socket usable for a new attempt.
  client.setAddr("127.0.0.1");
  client.setPort(std::to_string(port));
  EXPECT_NO_THROW(client.Connect());
  ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
}

TEST(SocketData, TwoPeerSendsThatArriveBeforeTheHandlerRunComeBackAsOneText) {
  AdoptedPair pair;
  std::vector<std::string> texts;
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    texts.push_back(s.ReceiveText());
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "READY_TO_"));
  ASSERT_TRUE(test::sendAll(pair.peer, "RECEIVE"));
  // Let both arrive before the loop runs (waiting without dispatching).
  int pending = 0;
  for (int i = 0; i < 2000 && pending < 16; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::ioctl(pair.socket->HSocket(), FIONREAD, &pending);
  }
  ASSERT_EQ(pending, 16);
  TEventLoop::current()->pump();
  EXPECT_EQ(texts, (std::vector<std::string>{"READY_TO_RECEIVE"}));
  EXPECT_EQ(pair.socket->ReadCount(), 16);
}

TEST(SocketData, AHandlerIsCalledAgainAtOnceWhileItLeavesBytesPending) {
  AdoptedPair pair;
  int calls = 0;
  std::string text;
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    if (++calls >= 3) text += s.ReceiveText();  // reads only on the third call
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "PUNCH_OUT:Doe,John:"));
  ASSERT_TRUE(pumpUntil([&] { return !text.empty(); }));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(text, "PUNCH_OUT:Doe,John:");

  // One that reads everything is called once per arrival.
  calls = 0;
  text.clear();
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    ++calls;
    text += s.ReceiveText();
  };
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(test::sendAll(pair.peer, "CONFIRM"));
    ASSERT_TRUE(pumpUntil([&] { return calls == i + 1; }));
  }
  EXPECT_EQ(text, "CONFIRMCONFIRMCONFIRM");
}

TEST(SocketData, ReceiveTextWithNothingPendingReceivesNothing) {
  AdoptedPair pair;
  const int before = pair.socket->ReadCount();
  EXPECT_EQ(pair.socket->RcvdCount(), 0);
  EXPECT_EQ(pair.socket->ReceiveText(), "");
  EXPECT_EQ(pair.socket->ReadCount(), before);
  EXPECT_EQ(pair.socket->State(), ssConnected);
  char buffer[8];
  EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer), -1);
  EXPECT_EQ(pair.socket->LastError(), 10035);
}

TEST(SocketData, WithoutAHandlerArrivingDataIsDiscardedAndTheSocketStaysOpen) {
  AdoptedPair pair;
  ASSERT_TRUE(test::sendAll(pair.peer, std::string(5000, 'd')));
  ASSERT_TRUE(pumpUntil([&] { return pair.socket->ReadCount() == 5000; }));
  EXPECT_EQ(pair.socket->State(), ssConnected);
  EXPECT_EQ(pair.socket->RcvdCount(), 0);
}

TEST(SocketSend, FiveThousandBytesFillChunksOf1514AndAllArriveInOrder) {
  AdoptedPair pair;
  int dataSent = 0;
  pair.socket->OnDataSent = [&](TAsyncSocket& s, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(s.AllSent());
    ++dataSent;
  };
  const long prefill = test::fillKernelBuffers(pair.socket->HSocket());
  ASSERT_GT(prefill, 0);
  const std::string bytes = test::pattern(5000);
  EXPECT_EQ(pair.socket->Send(bytes.data(), 5000), 5000);  // the stack takes none now
  EXPECT_EQ(pair.socket->sendQueueChunkFill(), (std::vector<int>{1514, 1514, 1514, 458}));
  EXPECT_FALSE(pair.socket->AllSent());
  EXPECT_EQ(pair.socket->Send(bytes.data(), 0), 0);

  std::string received;
  std::jthread reader([&] { received = test::recvExactly(pair.peer, static_cast<std::size_t>(prefill) + 5000); });
  ASSERT_TRUE(pumpUntil([&] { return dataSent > 0; }));
  reader.join();
  ASSERT_EQ(received.size(), static_cast<std::size_t>(prefill) + 5000);
  EXPECT_EQ(received.substr(static_cast<std::size_t>(prefill)), bytes);
  EXPECT_EQ(dataSent, 1);
  EXPECT_TRUE(pair.socket->AllSent());
  EXPECT_EQ(pair.socket->sendQueueChunkFill(), (std::vector<int>{0}));
}

TEST(SocketSend, OnDataSentFollowsFromTheLoopWhenTheStackTookEverythingAtOnce) {
  AdoptedPair pair;
  int dataSent = 0;
  pair.socket->OnDataSent = [&](TAsyncSocket&, std::uint16_t) { ++dataSent; };
  EXPECT_EQ(pair.socket->SendText("PREPARE_TO_RECEIVE"), 18);
  EXPECT_EQ(dataSent, 0);  // not inside Send
  EXPECT_TRUE(pair.socket->AllSent());
  ASSERT_TRUE(pumpUntil([&] { return dataSent == 1; }));
  EXPECT_EQ(test::recvExactly(pair.peer, 18), "PREPARE_TO_RECEIVE");
}

TEST(SocketSend, ALargeSendReachesASlowReaderWholeAndInOrder) {
  AdoptedPair pair;
  int dataSent = 0;
  pair.socket->OnDataSent = [&](TAsyncSocket&, std::uint16_t) { ++dataSent; };
  const std::string bytes = test::pattern(6 * 1024 * 1024, 7);
  std::string received;
  std::jthread reader([&] {
    char buffer[4096];
    while (received.size() < bytes.size()) {
      const ssize_t n = ::recv(pair.peer, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
    }
  });
  EXPECT_EQ(pair.socket->Send(bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  ASSERT_TRUE(pumpUntil([&] { return dataSent > 0; }));
  reader.join();
  EXPECT_EQ(dataSent, 1);
  EXPECT_TRUE(received == bytes);
}

TEST(SocketClose, ThePeerClosingDeliversPendingDataBeforeOnSessionClosed) {
  AdoptedPair pair;
  std::vector<std::string> events;
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    events.push_back("data " + s.ReceiveText());
  };
  pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) {
    events.push_back("closed " + std::to_string(error));
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "CONFIRM"));
  ::close(pair.peer);
  pair.peer = -1;
  ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
  EXPECT_EQ(events, (std::vector<std::string>{"data CONFIRM", "closed 0"}));
  EXPECT_EQ(pair.socket->HSocket(), INVALID_SOCKET);
}

TEST(SocketClose, OnSessionClosedComesAtMostOncePerConnection) {
  {  // Close by the owner, with a handler that closes again.
    AdoptedPair pair;
    int closed = 0;
    pair.socket->OnSessionClosed = [&](TAsyncSocket& s, std::uint16_t error) {
      EXPECT_EQ(error, 0);
      ++closed;
      s.Close();
    };
    pair.socket->Close();
    pair.socket->Close();
    TEventLoop::current()->pump();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(test::recvUntilClosed(pair.peer), "");
  }
  {  // A data handler closes while the peer's close is already reported.
    AdoptedPair pair;
    int closed = 0;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
      s.ReceiveText();
      s.Close();
    };
    pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
    ASSERT_TRUE(test::sendAll(pair.peer, "PUNCH_OUT:x:"));
    ::shutdown(pair.peer, SHUT_WR);
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
    TEventLoop::current()->pump();
    EXPECT_EQ(closed, 1);
  }
  {  // The peer resets.
    AdoptedPair pair;
    int closed = 0;
    pair.socket->OnSessionClosed = [&](TAsyncSocket& s, std::uint16_t) {
      ++closed;
      s.Close();
    };
    test::setResetOnClose(pair.peer);
    ::close(pair.peer);
    pair.peer = -1;
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
    TEventLoop::current()->pump();
    EXPECT_EQ(closed, 1);
  }
  {  // A transmit fails after the peer reset: closed with the error, once.
    AdoptedPair pair;
    std::vector<int> closed;
    pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t error) {
      closed.push_back(error);
    };
    test::setResetOnClose(pair.peer);
    ::close(pair.peer);
    pair.peer = -1;
    // Wait for the reset to arrive without letting the loop see it.
    pollfd p{pair.socket->HSocket(), POLLIN, 0};
    for (int i = 0; i < 2000 && (p.revents & (POLLERR | POLLHUP)) == 0; ++i) ::poll(&p, 1, 10);
    ASSERT_NE(p.revents & (POLLERR | POLLHUP), 0);
    EXPECT_NO_THROW(pair.socket->SendText("DATA_COMPLETE"));
    EXPECT_EQ(pair.socket->State(), ssClosed);
    TEventLoop::current()->pump();
    ASSERT_EQ(closed.size(), 1u);
  }
}

TEST(SocketClose, DestroyingAConnectedSocketClosesItWithoutOnSessionClosed) {
  AdoptedPair pair;
  int closed = 0;
  pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
  pair.socket.reset();
  EXPECT_EQ(closed, 0);
  char c;
  EXPECT_LE(::recv(pair.peer, &c, 1, 0), 0);  // end of stream or reset
}

TEST(SocketClose, AbortDiscardsTheSendQueueAndShutdownEndsOneDirection) {
  {
    AdoptedPair pair;
    const long prefill = test::fillKernelBuffers(pair.socket->HSocket());
    pair.socket->SendText(std::string(100000, 'z'));
    EXPECT_FALSE(pair.socket->sendQueueChunkFill().empty());
    pair.socket->Abort();
    EXPECT_EQ(pair.socket->State(), ssClosed);
    EXPECT_TRUE(pair.socket->sendQueueChunkFill().empty());
    const std::string received = test::recvUntilClosed(pair.peer);
    EXPECT_LE(received.size(), static_cast<std::size_t>(prefill));  // the queued bytes never left
  }
  {
    AdoptedPair pair;
    std::string text;
    pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) { text += s.ReceiveText(); };
    pair.socket->SendText("bye");
    pair.socket->Shutdown(1);
    EXPECT_EQ(test::recvUntilClosed(pair.peer), "bye");  // end of stream seen
    ASSERT_TRUE(test::sendAll(pair.peer, "still reading"));
    ASSERT_TRUE(pumpUntil([&] { return text == "still reading"; }));
    EXPECT_EQ(pair.socket->State(), ssConnected);
  }
}

TEST(SocketHandlers, AnExceptionFromTheDataHandlerIsDroppedAndTheConnectionStays) {
  AdoptedPair pair;
  int calls = 0;
  int backgroundErrors = 0;
  pair.socket->OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) {
    ++backgroundErrors;
  };
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    ++calls;
    s.ReceiveText();
    throw std::runtime_error("step failed");
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "first"));
  ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
  EXPECT_EQ(pair.socket->State(), ssConnected);
  ASSERT_TRUE(test::sendAll(pair.peer, "second"));
  ASSERT_TRUE(pumpUntil([&] { return calls == 2; }));
  EXPECT_EQ(pair.socket->State(), ssConnected);
  EXPECT_EQ(backgroundErrors, 0);
}

TEST(SocketHandlers, AfterADataHandlerThrowsBeforeReadingItIsCalledAgainOnlyWhenNewDataArrive) {
  AdoptedPair pair;
  int calls = 0;
  bool failing = true;
  std::string text;
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    ++calls;
    if (failing) throw std::runtime_error("step failed before reading");
    text += s.ReceiveText();
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "first"));
  ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
  // The bytes stay pending, yet the handler is not called again: the loop
  // sleeps instead of calling it without end.
  TEventLoop& loop = TEventLoop::forCurrentThread();
  const auto quietUntil = TEventLoop::Clock::now() + std::chrono::milliseconds(300);
  while (TEventLoop::Clock::now() < quietUntil) loop.waitAndDispatch(quietUntil);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pair.socket->RcvdCount(), 5);
  EXPECT_EQ(pair.socket->State(), ssConnected);

  // New bytes bring the event back, with everything pending.
  failing = false;
  ASSERT_TRUE(test::sendAll(pair.peer, "second"));
  ASSERT_TRUE(pumpUntil([&] { return text == "firstsecond"; }));
  EXPECT_EQ(calls, 2);

  // Once a call went through, a handler that leaves bytes is called again at
  // once, as before.
  int partialCalls = 0;
  text.clear();
  pair.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    if (++partialCalls >= 3) text += s.ReceiveText();
  };
  ASSERT_TRUE(test::sendAll(pair.peer, "third"));
  ASSERT_TRUE(pumpUntil([&] { return text == "third"; }));
  EXPECT_EQ(partialCalls, 3);
}

TEST(SocketHandlers, AnExceptionFromAnotherHandlerGoesToOnBackgroundErrorThenAborts) {
  {  // The accept handler fails: listening ends.
    TAsyncSocket server;
    server.setAddr("127.0.0.1");
    server.setPort("0");
    server.Listen();
    std::string seen;
    server.OnBackgroundError = [&](TAsyncSocket& s, const std::exception& e, bool& canClose) {
      EXPECT_EQ(&s, &server);
      EXPECT_TRUE(canClose);
      seen = e.what();
    };
    server.OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) {
      ::close(s.Accept());
      throw std::runtime_error("cannot start a session");
    };
    const int client = test::connectBlocking(server.boundPort());
    ASSERT_TRUE(pumpUntil([&] { return server.State() == ssClosed; }));
    EXPECT_EQ(seen, "cannot start a session");
    ::close(client);
  }
  {  // The handler keeps the socket by clearing the can-close flag.
    TAsyncSocket server;
    server.setAddr("127.0.0.1");
    server.setPort("0");
    server.Listen();
    int errors = 0;
    int accepted = 0;
    server.OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool& canClose) {
      ++errors;
      canClose = false;
    };
    server.OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) {
      ::close(s.Accept());
      ++accepted;
      throw 42;  // not even a std::exception
    };
    const int a = test::connectBlocking(server.boundPort());
    const int b = test::connectBlocking(server.boundPort());
    ASSERT_TRUE(pumpUntil([&] { return accepted == 2; }));
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(server.State(), ssListening);
    ::close(a);
    ::close(b);
  }
  {  // OnDataSent fails without an OnBackgroundError: the socket is aborted.
    AdoptedPair pair;
    pair.socket->OnDataSent = [](TAsyncSocket&, std::uint16_t) { throw std::runtime_error("x"); };
    pair.socket->SendText("x");
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
  }
}

TEST(SocketListen, AHandlerThatDoesNotAcceptIsNotCalledAgainUntilAcceptIsCalled) {
  TAsyncSocket server;
  server.setAddr("127.0.0.1");
  server.setPort("0");
  server.Listen();
  int calls = 0;
  server.OnSessionAvailable = [&](TAsyncSocket&, std::uint16_t) { ++calls; };
  const int a = test::connectBlocking(server.boundPort());
  ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
  TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(30));
  EXPECT_EQ(calls, 1);
  const int handle = server.Accept();
  EXPECT_GT(handle, 0);
  EXPECT_EQ(server.Accept(), INVALID_SOCKET);  // nothing pending: no failure
  EXPECT_EQ(server.LastError(), 10035);
  EXPECT_EQ(server.State(), ssListening);
  ::close(handle);
  ::close(a);
}

TEST(SocketDns, ADottedAddressCompletesBeforeDnsLookupReturns) {
  TAsyncSocket s;
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
  s.DnsLookup("127.000.000.001");
  EXPECT_EQ(done, (std::vector<int>{0}));
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"127.0.0.1"}));
}

TEST(SocketDns, ANameIsLookedUpInTheBackgroundAndReportedOnTheOwnerThread) {
  TAsyncSocket s;
  int done = -1;
  std::thread::id thread;
  s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) {
    done = error;
    thread = std::this_thread::get_id();
  };
  s.DnsLookup("localhost");
  ASSERT_TRUE(pumpUntil([&] { return done != -1; }));
  EXPECT_EQ(done, 0);
  EXPECT_EQ(thread, std::this_thread::get_id());
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  ASSERT_FALSE(s.DnsResultList().empty());
  EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");

  done = -1;
  s.DnsLookup("no-such-host.invalid");
  ASSERT_TRUE(pumpUntil([&] { return done != -1; }));
  EXPECT_GE(done, 11001);
  EXPECT_LE(done, 11004);
  EXPECT_EQ(s.DnsResult(), "");
  EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(SocketDns, CancellingReportsInterruptedAndTheLateResultIsIgnored) {
  std::vector<int> done;
  {
    TAsyncSocket s;
    s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    EXPECT_EQ(done, (std::vector<int>{10004}));
    s.CancelDnsLookup();  // nothing pending: nothing happens
    EXPECT_EQ(done.size(), 1u);
    // Give the lookup thread time to post its (ignored) result.
    TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(200));
    EXPECT_EQ(done.size(), 1u);
    EXPECT_EQ(s.DnsResult(), "");

    // A lookup still running when the socket is destroyed reports nothing.
    s.DnsLookup("localhost");
  }
  TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(200));
  EXPECT_EQ(done.size(), 1u);
}

TEST(SocketDns, AnEmptyHostIsRefusedAndReportedAsDoneWithInvalidArgument) {
  TAsyncSocket s;
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TAsyncSocket&, std::uint16_t error) { done.push_back(error); };
  try {
    s.DnsLookup("");
    ADD_FAILURE() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_STREQ(e.what(), "DNS lookup: invalid host name.");
  }
  EXPECT_TRUE(done.empty());
  int errors = 0;
  s.OnError = [&](TAsyncSocket&) { ++errors; };
  s.DnsLookup("");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(done, (std::vector<int>{10022}));
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

using test::AdoptedPair;
using test::pumpUntil;

TEST(SocketHandlers, FailuresOfTheConnectCloseAndLookupHandlersAbortQuietly) {
  {  // OnSessionConnected
    int port = 0;
    const int listener = test::listenBlocking(&port);
    TAsyncSocket client;
    int background = 0;
    client.OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) { ++background; };
    client.OnSessionConnected = [](TAsyncSocket&, std::uint16_t) {
      throw std::runtime_error("connected handler failed");
    };
    client.setAddr("127.0.0.1");
    client.setPort(std::to_string(port));
    client.Connect();
    ASSERT_TRUE(pumpUntil([&] { return client.State() == ssClosed; }));
    EXPECT_EQ(background, 1);
    ::close(listener);
  }
  {  // OnSessionClosed on a peer close: reported once, the loop goes on
    AdoptedPair pair;
    int background = 0;
    int closed = 0;
    pair.socket->OnBackgroundError = [&](TAsyncSocket&, const std::exception&, bool&) { ++background; };
    pair.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) {
      ++closed;
      throw std::runtime_error("closed handler failed");
    };
    ::close(pair.peer);
    pair.peer = -1;
    ASSERT_TRUE(pumpUntil([&] { return pair.socket->State() == ssClosed; }));
    TEventLoop::current()->pump();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(background, 1);
  }
  {  // OnDnsLookupDone from the background look-up
    TAsyncSocket s;
    int background = 0;
    s.OnBackgroundError = [&](TAsyncSocket&, const std::exception& e, bool&) {
      EXPECT_STREQ(e.what(), "lookup handler failed");
      ++background;
    };
    s.OnDnsLookupDone = [](TAsyncSocket&, std::uint16_t) {
      throw std::runtime_error("lookup handler failed");
    };
    s.DnsLookup("localhost");
    ASSERT_TRUE(pumpUntil([&] { return background == 1; }));
  }
}

TEST(SocketClose, WithLingerOffTheCloseIsOrderlyAndThePeerGetsEverything) {
  AdoptedPair pair;
  pair.socket->setLingerOnOff(lingerOff);
  // Dup applied the default (on, 0 s); apply the new choice by adopting again.
  const int handle = ::dup(pair.socket->HSocket());
  pair.socket->Dup(handle);
  const std::string bytes = test::pattern(300000, 5);
  pair.socket->Send(bytes.data(), static_cast<int>(bytes.size()));
  std::string received;
  std::jthread reader([&] { received = test::recvUntilClosed(pair.peer); });
  ASSERT_TRUE(pumpUntil([&] { return pair.socket->AllSent(); }));
  pair.socket->Close();
  reader.join();
  EXPECT_TRUE(received == bytes);
}

TEST(SocketSend, UrgentSendsGoOutOfBand) {
  AdoptedPair pair;
  pair.socket->setSendFlags(sendUrgent);
  pair.socket->SendText("!");
  pollfd p{pair.peer, POLLPRI, 0};
  ASSERT_EQ(::poll(&p, 1, 20000), 1);
  char c = 0;
  EXPECT_EQ(::recv(pair.peer, &c, 1, MSG_OOB), 1);
  EXPECT_EQ(c, '!');
}

TEST(SocketEvents, EventsOfAReplacedHandleDoNotReachTheNewConnection) {
  AdoptedPair first;
  AdoptedPair second;
  // The first socket's handler adopts the second connection's handle while
  // the first peer's close is already pending for the old handle.
  const int secondHandle = ::dup(second.socket->HSocket());
  second.socket.reset();
  int closed = 0;
  std::string text;
  first.socket->OnSessionClosed = [&](TAsyncSocket&, std::uint16_t) { ++closed; };
  first.socket->OnDataAvailable = [&](TAsyncSocket& s, std::uint16_t) {
    const std::string got = s.ReceiveText();
    text += got;
    if (got == "switch") s.Dup(secondHandle);
  };
  ASSERT_TRUE(test::sendAll(first.peer, "switch"));
  ::shutdown(first.peer, SHUT_WR);
  ASSERT_TRUE(pumpUntil([&] { return text == "switch"; }));
  TEventLoop::current()->waitAndDispatch(TEventLoop::Clock::now() + std::chrono::milliseconds(30));
  EXPECT_EQ(first.socket->State(), ssConnected);
  EXPECT_EQ(closed, 0);
  ASSERT_TRUE(test::sendAll(second.peer, "new peer"));
  ASSERT_TRUE(pumpUntil([&] { return text == "switchnew peer"; }));
}

#ifndef NDEBUG
TEST(SocketThreadsDeathTest, AnOperationFromAnotherThreadWhileTheOwnerRunsIsFatalInDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        TAsyncSocket s;
        std::jthread other([&] { s.Close(); });
        other.join();
      },
      "another thread");
}
#endif

}  // namespace
}  // namespace zv
