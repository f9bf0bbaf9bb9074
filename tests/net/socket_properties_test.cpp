// Properties, their setter rules and the reports of operations that fail
// before or at the native call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/async_socket.h"
#include "net_test_support.h"

namespace zv {
namespace {

// Runs op and returns the ESocketException it raised (code -1 when none).
template <typename Op>
ESocketException raised(Op op) {
    try {
        op();
    } catch (const ESocketException& e) {
        return e;
    }
    return ESocketException("no exception", -1);
}

TEST(SocketProperties, ANewSocketHoldsTheDefaults) {
    TAsyncSocket s;
    EXPECT_EQ(s.State(), ssClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.Addr(), "");
    EXPECT_EQ(s.Port(), "");
    EXPECT_EQ(s.LingerOnOff(), lingerOn);
    EXPECT_EQ(s.LingerTimeout(), 0);
    EXPECT_EQ(s.SendFlags(), sendNormal);
    EXPECT_EQ(s.LastError(), 0);
    EXPECT_EQ(s.ReadCount(), 0);
    EXPECT_TRUE(s.AllSent());
    EXPECT_EQ(&s.ownerLoop(), TEventLoop::current());
}

TEST(SocketProperties, SettersTrimAndRefuseChangesUnlessClosed) {
    TAsyncSocket s;
    s.setAddr("  127.0.0.1 ");
    EXPECT_EQ(s.Addr(), "127.0.0.1");
    s.setPort(" 0");
    EXPECT_EQ(s.Port(), "0");
    s.Listen();
    ASSERT_EQ(s.State(), ssListening);

    // The value held is accepted in any state and changes nothing.
    EXPECT_NO_THROW(s.setPort("0"));
    EXPECT_NO_THROW(s.setAddr("127.0.0.1"));
    EXPECT_NO_THROW(s.setProto("tcp"));
    EXPECT_EQ(s.State(), ssListening);

    EXPECT_STREQ(raised([&] { s.setPort("6480"); }).what(), "Cannot change Port if not closed");
    EXPECT_STREQ(raised([&] { s.setAddr("0.0.0.0"); }).what(), "Cannot change Addr if not closed");
    EXPECT_STREQ(raised([&] { s.setProto("udp"); }).what(), "Cannot change Proto if not closed");
    EXPECT_STREQ(raised([&] { s.setLocalPort("0"); }).what(), "Cannot change LocalPort if not closed");
    EXPECT_EQ(s.Port(), "0");
    EXPECT_EQ(s.State(), ssListening);

    EXPECT_STREQ(raised([&] { s.setSendFlags(static_cast<TSocketSendFlags>(7)); }).what(),
                 "Invalid SendFlags");
    s.setSendFlags(sendUrgent);
    EXPECT_EQ(s.SendFlags(), sendUrgent);
    s.Close();
    EXPECT_EQ(s.State(), ssClosed);
    s.setPort("6480");
    EXPECT_EQ(s.Port(), "6480");
}

TEST(SocketProperties, CloseReappliesTheDefaultsAndTheSameValuesCanBeAssignedAgain) {
    TAsyncSocket s;
    s.setAddr("127.0.0.1");
    s.setPort("0");
    s.setLingerOnOff(lingerNoSet);
    s.setLingerTimeout(7);
    s.Listen();
    s.Close();
    EXPECT_EQ(s.State(), ssClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(s.LingerOnOff(), lingerOn);
    EXPECT_EQ(s.LingerTimeout(), 0);
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.Addr(), "127.0.0.1");  // the texts stay
    EXPECT_EQ(s.Port(), "0");
    // No longer assigned: listening needs the port again.
    EXPECT_EQ(raised([&] { s.Listen(); }).function(), "listen: port not assigned");
    s.setPort("0");
    s.setAddr("127.0.0.1");
    EXPECT_NO_THROW(s.Listen());
    EXPECT_EQ(s.State(), ssListening);
}

TEST(SocketProperties, EveryStateChangeIsReportedWithOldAndNewState) {
    TAsyncSocket s;
    std::vector<std::pair<TSocketState, TSocketState>> changes;
    s.OnChangeState = [&](TAsyncSocket&, TSocketState from, TSocketState to) {
        changes.emplace_back(from, to);
    };
    s.setAddr("127.0.0.1");
    s.setPort("0");
    s.Listen();
    s.Close();
    const std::vector<std::pair<TSocketState, TSocketState>> expected = {
        {ssClosed, ssBound}, {ssBound, ssListening}, {ssListening, ssClosed}};
    EXPECT_EQ(changes, expected);
}

TEST(SocketReports, ListenNamesTheMissingOrUnresolvableSetting) {
    TAsyncSocket s;
    ESocketException e = raised([&] { s.Listen(); });
    EXPECT_EQ(e.code(), 10022);
    EXPECT_EQ(e.function(), "listen: port not assigned");
    EXPECT_STREQ(e.what(), "Error 10022 in function listen: port not assigned\r\nInvalid argument");
    EXPECT_EQ(s.LastError(), 10022);

    s.setPort("0");
    s.setProto("");
    EXPECT_EQ(raised([&] { s.Listen(); }).function(), "listen: protocol not assigned");
    s.setProto("tcp");
    EXPECT_EQ(raised([&] { s.Listen(); }).function(), "listen: address not assigned");

    s.setAddr("127.0.0.1");
    s.setPort("no-such-service");
    EXPECT_STREQ(raised([&] { s.Listen(); }).what(),
                 "listen: ResolvePort: Cannot convert port 'no-such-service'");
    s.setPort("0");
    s.setAddr("1.2.3.999");
    EXPECT_STREQ(raised([&] { s.Listen(); }).what(), "listen: ResolveHost: '1.2.3.999' Invalid IP address.");
    EXPECT_EQ(s.State(), ssClosed);
}

TEST(SocketReports, ListenOnAPortInUseReportsBindAndLeaksNoHandle) {
    TAsyncSocket first;
    first.setAddr("127.0.0.1");
    first.setPort("0");
    first.Listen();
    const std::string port = std::to_string(first.boundPort());

    TAsyncSocket second;
    second.setAddr("127.0.0.1");
    second.setPort(port);
    const int before = test::openDescriptorCount();
    const ESocketException e = raised([&] { second.Listen(); });
    EXPECT_EQ(e.code(), 10048);
    EXPECT_EQ(e.function(), "Bind");
    EXPECT_STREQ(e.what(), "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(second.State(), ssClosed);
    EXPECT_EQ(second.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(test::openDescriptorCount(), before);
}

TEST(SocketReports, AListeningPortCanBeTakenAgainAtOnceAfterAClosedConnection) {
    TAsyncSocket server;
    server.setAddr("127.0.0.1");
    server.setPort("0");
    server.Listen();
    const std::string port = std::to_string(server.boundPort());
    int handle = INVALID_SOCKET;
    server.OnSessionAvailable = [&](TAsyncSocket& s, std::uint16_t) { handle = s.Accept(); };
    const int client = test::connectBlocking(server.boundPort());
    ASSERT_TRUE(test::pumpUntil([&] { return handle != INVALID_SOCKET; }));
    // The server side closes first: its end of the connection lingers in
    // TIME_WAIT, which would block a restart without address reuse.
    {
        TAsyncSocket session;
        session.setLingerOnOff(lingerOff);
        session.Dup(handle);
        session.Close();
    }
    test::recvUntilClosed(client);
    ::close(client);
    server.Close();
    TAsyncSocket restarted;
    restarted.setAddr("127.0.0.1");
    restarted.setPort(port);
    EXPECT_NO_THROW(restarted.Listen());
    EXPECT_EQ(restarted.State(), ssListening);
}

TEST(SocketReports, OnErrorTakesTheReportInsteadOfAnException) {
    TAsyncSocket s;
    int errors = 0;
    s.OnError = [&](TAsyncSocket&) { ++errors; };
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(s.LastErrorMessage(), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.Accept(), INVALID_SOCKET);
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(s.LastErrorMessage(), "Error 10022 in function not a listening socket\r\nInvalid argument");
    s.Connect();
    EXPECT_EQ(errors, 3);
    EXPECT_EQ(s.LastErrorMessage(), "Connect: No Port Specified");
}

TEST(SocketReports, AcceptDupSendAndReceiveTextRefuseWrongStates) {
    TAsyncSocket s;
    ESocketException e = raised([&] { s.Accept(); });
    EXPECT_EQ(e.code(), 10022);
    EXPECT_EQ(e.function(), "not a listening socket");

    e = raised([&] { s.Dup(0); });
    EXPECT_EQ(e.code(), 10022);
    EXPECT_EQ(e.function(), "Dup");
    EXPECT_STREQ(e.what(), "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(raised([&] { s.Dup(INVALID_SOCKET); }).code(), 10022);

    e = raised([&] { s.Send("abc", 3); });
    EXPECT_EQ(e.code(), 10057);
    EXPECT_EQ(e.function(), "Send");
    EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(s.State(), ssClosed);

    e = raised([&] { s.ReceiveText(); });
    EXPECT_EQ(e.function(), "ioctlSocket");
    EXPECT_EQ(e.code(), 10009);
    EXPECT_EQ(s.Receive(nullptr, 0), -1);  // no exception, LastError set
    EXPECT_EQ(s.LastError(), 10009);
    EXPECT_NO_THROW(s.Shutdown(2));  // nothing to shut down
    EXPECT_NO_THROW(s.Close());      // closing a closed socket is harmless

    // Send on a listening socket: not connected, and the handle is closed first.
    TAsyncSocket listener;
    listener.setAddr("127.0.0.1");
    listener.setPort("0");
    listener.Listen();
    EXPECT_EQ(raised([&] { listener.Send("x", 1); }).code(), 10057);
    EXPECT_EQ(listener.State(), ssClosed);
    EXPECT_EQ(listener.HSocket(), INVALID_SOCKET);
}

TEST(SocketReports, ConnectChecksItsSettingsInOrder) {
    TAsyncSocket s;
    EXPECT_STREQ(raised([&] { s.Connect(); }).what(), "Connect: No Port Specified");
    s.setPort("25");
    EXPECT_STREQ(raised([&] { s.Connect(); }).what(), "Connect: No IP Address Specified");
    s.setAddr("127.0.0.1");
    s.setProto("");
    EXPECT_STREQ(raised([&] { s.Connect(); }).what(), "Connect: No Protocol Specified");
    s.setProto("tcp");
    s.setAddr("300.1.1.1");
    EXPECT_STREQ(raised([&] { s.Connect(); }).what(),
                 "connect: ResolveHost: '300.1.1.1' Invalid IP address.");
    s.setAddr("127.0.0.1");
    s.setPort("");
    EXPECT_STREQ(raised([&] { s.Connect(); }).what(), "Connect: No Port Specified");
    EXPECT_EQ(s.State(), ssClosed);

    TAsyncSocket listening;
    listening.setAddr("127.0.0.1");
    listening.setPort("0");
    listening.Listen();
    EXPECT_STREQ(raised([&] { listening.Connect(); }).what(), "Connect: Socket already in use");
}

TEST(SocketReports, DupOfAHandleThatIsNotOpenReportsBadFileNumber) {
    TAsyncSocket s;
    const ESocketException e = raised([&] { s.Dup(999999); });
    EXPECT_EQ(e.code(), 10009);
    EXPECT_EQ(e.function(), "Dup");
}

TEST(SocketLibrary, SocketsAreCountedProcessWideAndTheLibraryStartsAtTheFirst) {
    const int before = TAsyncSocket::socketCount();
    {
        TAsyncSocket a;
        EXPECT_EQ(TAsyncSocket::socketCount(), before + 1);
        std::vector<std::jthread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([] {
                for (int i = 0; i < 200; ++i) TAsyncSocket s;
            });
        }
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(TAsyncSocket::socketCount(), before + 1);
    }
    EXPECT_EQ(TAsyncSocket::socketCount(), before);
    if (before == 0) {
        const int starts = TAsyncSocket::libraryStartCount();
        { TAsyncSocket again; }
        EXPECT_EQ(TAsyncSocket::libraryStartCount(), starts + 1);
    }
}

}  // namespace
}  // namespace zv
