// Error codes and texts, name/port/protocol resolution and the send chunks.
#include "net/socket_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <string>

#include "net/send_buffer.h"
#include "net/socket_resolve.h"

namespace zv {
namespace {

TEST(SocketErrors, EveryCodeOfTheTableHasItsDescriptionAndOthersAreNotWinSockErrors) {
    EXPECT_EQ(WSocketErrorDesc(0), "No Error");
    EXPECT_EQ(WSocketErrorDesc(10004), "Interrupted system call");
    EXPECT_EQ(WSocketErrorDesc(10009), "Bad file number");
    EXPECT_EQ(WSocketErrorDesc(10022), "Invalid argument");
    EXPECT_EQ(WSocketErrorDesc(10035), "Operation would block");
    EXPECT_EQ(WSocketErrorDesc(10047), "Address family not supported by protocol family");
    EXPECT_EQ(WSocketErrorDesc(10048), "Address already in use");
    EXPECT_EQ(WSocketErrorDesc(10054), "Connection reset by peer");
    EXPECT_EQ(WSocketErrorDesc(10057), "Socket is not connected");
    EXPECT_EQ(WSocketErrorDesc(10058), "Can't send after socket shutdown");
    EXPECT_EQ(WSocketErrorDesc(10059), "Too many references: can't splice");
    EXPECT_EQ(WSocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(WSocketErrorDesc(10071), "Too many levels of remote in path");
    EXPECT_EQ(WSocketErrorDesc(10091), "Network sub-system is unusable");
    EXPECT_EQ(WSocketErrorDesc(10092), "WinSock DLL cannot support this application");
    EXPECT_EQ(WSocketErrorDesc(10093), "WinSock not initialized");
    EXPECT_EQ(WSocketErrorDesc(11001), "Host not found");
    EXPECT_EQ(WSocketErrorDesc(11002), "Non-authoritative host not found");
    EXPECT_EQ(WSocketErrorDesc(11003), "Non-recoverable error");
    EXPECT_EQ(WSocketErrorDesc(11004), "No Data");
    EXPECT_EQ(WSocketErrorDesc(10001), "Not a WinSock error");
    EXPECT_EQ(WSocketErrorDesc(-1), "Not a WinSock error");
    EXPECT_EQ(WSocketErrorDesc(10072), "Not a WinSock error");
    // Every code between 10035 and 10071 is in the table.
    for (int code = 10035; code <= 10071; ++code) {
        EXPECT_NE(WSocketErrorDesc(code), "Not a WinSock error") << code;
    }
}

TEST(SocketErrors, PlatformErrorNumbersMapToTheTableCodes) {
    const std::pair<int, int> expected[] = {
        {0, 0},
        {EAGAIN, 10035},
        {EWOULDBLOCK, 10035},
        {EINPROGRESS, 10036},
        {EALREADY, 10037},
        {ENOTSOCK, 10038},
        {EBADF, 10009},
        {EINTR, 10004},
        {EACCES, 10013},
        {EFAULT, 10014},
        {EINVAL, 10022},
        {EMFILE, 10024},
        {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},
        {ENOPROTOOPT, 10042},
        {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},
        {EPFNOSUPPORT, 10046},
        {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},
        {ENETUNREACH, 10051},
        {ENETRESET, 10052},
        {ECONNABORTED, 10053},
        {ECONNRESET, 10054},
        {EPIPE, 10054},
        {ENOBUFS, 10055},
        {EISCONN, 10056},
        {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},
        {ELOOP, 10062},
        {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065},
    };
    for (const auto& [err, code] : expected) {
        EXPECT_EQ(socketErrorFromErrno(err), code) << "errno " << err;
    }
    // An errno with no socket meaning never maps to a misleading code.
    EXPECT_EQ(socketErrorFromErrno(EDOM), 10022);
}

TEST(SocketErrors, HostLookupFailuresMapToTheLookupCodes) {
    EXPECT_EQ(socketErrorFromLookup(0, 0), 0);
    EXPECT_EQ(socketErrorFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(socketErrorFromLookup(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(socketErrorFromLookup(EAI_FAIL, 0), 11003);
    EXPECT_EQ(socketErrorFromLookup(EAI_NODATA, 0), 11004);
    EXPECT_EQ(socketErrorFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, TheReportTextNamesCodeFunctionAndDescription) {
    EXPECT_EQ(socketErrorMessage(10048, "Bind"), "Error 10048 in function Bind\r\nAddress already in use");
    EXPECT_EQ(socketErrorMessage(4242, "x"), "Error 4242 in function x\r\nNot a WinSock error");
    const ESocketException e(socketErrorMessage(10057, "Send"), 10057, "Send");
    EXPECT_EQ(e.code(), 10057);
    EXPECT_EQ(e.function(), "Send");
    EXPECT_STREQ(e.what(), "Error 10057 in function Send\r\nSocket is not connected");
}

TEST(SocketResolve, PortsAreNumbersOrServiceNames) {
    EXPECT_EQ(ResolvePort("smtp", "tcp"), 25);
    EXPECT_EQ(ResolvePort("telnet", "tcp"), 23);
    EXPECT_EQ(ResolvePort("6480", "tcp"), 6480);
    EXPECT_EQ(ResolvePort("25abc", "tcp"), 25);
    EXPECT_EQ(ResolvePort("0", "tcp"), 0);
    EXPECT_EQ(ResolvePort("65535", "tcp"), 65535);
    auto message = [](std::string_view text) {
        try {
            ResolvePort(text, "tcp");
        } catch (const EResolveError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(""), "ResolvePort: Invalid Port.");
    EXPECT_EQ(message(std::string(32, '1')), "ResolvePort: Invalid Port.");
    EXPECT_EQ(message("65536"), "ResolvePort: Invalid Port.");
    EXPECT_EQ(message("99999999999999999999"), "ResolvePort: Invalid Port.");
    EXPECT_EQ(message("no-such-service"), "ResolvePort: Cannot convert port 'no-such-service'");
    EXPECT_EQ(protoNameForServices("6"), "tcp");
    EXPECT_EQ(protoNameForServices("tcp"), "tcp");
}

TEST(SocketResolve, ProtocolsAreNumbersOrNames) {
    EXPECT_EQ(ResolveProto("tcp"), 6);
    EXPECT_EQ(ResolveProto("udp"), 17);
    EXPECT_EQ(ResolveProto("17"), 17);
    auto message = [](std::string_view text) {
        try {
            ResolveProto(text);
        } catch (const EResolveError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(""), "ResolveProto: Invalid Protocol.");
    EXPECT_EQ(message(std::string(32, 't')), "ResolveProto: Invalid Protocol.");
    EXPECT_EQ(message("bogus"), "ResolveProto: Cannot convert protocol 'bogus'");
}

TEST(SocketResolve, HostsAreDottedAddressesOrNamesLookedUpAtOnce) {
    EXPECT_EQ(dottedAddress(ResolveHost("127.0.0.1")), "127.0.0.1");
    EXPECT_EQ(dottedAddress(ResolveHost("0.0.0.0")), "0.0.0.0");
    EXPECT_EQ(dottedAddress(ResolveHost("255.255.255.255")), "255.255.255.255");
    EXPECT_EQ(dottedAddress(ResolveHost("localhost")), "127.0.0.1");
    auto message = [](std::string_view text) {
        try {
            ResolveHost(text);
        } catch (const EResolveError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(""), "ResolveHost: '' Invalid Hostname.");
    const std::string longName(257, 'a');
    EXPECT_EQ(message(longName), "ResolveHost: '" + longName + "' Invalid Hostname.");
    EXPECT_EQ(message("1.2.3.999"), "ResolveHost: '1.2.3.999' Invalid IP address.");
    EXPECT_EQ(message("no-such-host.invalid"),
              "ResolveHost: Cannot convert host address 'no-such-host.invalid'");
    EXPECT_EQ(normaliseDottedAddress("127.1"), "127.0.0.1");
    EXPECT_EQ(normaliseDottedAddress("localhost"), "");
}

TEST(SendBuffer, AChunkCopiesWhatFitsAndStartsOverOnceDrained) {
    EXPECT_EQ(TBuffer(0).Size(), 1514);
    EXPECT_EQ(TBuffer(-5).Size(), 1514);
    TBuffer chunk(10);
    EXPECT_EQ(chunk.Write("0123456789ABC", 13), 10);
    EXPECT_TRUE(chunk.Full());
    const char* data = nullptr;
    EXPECT_EQ(chunk.Peek(&data), 10);
    EXPECT_EQ(std::string(data, 10), "0123456789");
    chunk.Remove(4);
    EXPECT_EQ(chunk.Peek(&data), 6);
    EXPECT_EQ(std::string(data, 6), "456789");
    chunk.Remove(100);  // at most what is unread
    EXPECT_EQ(chunk.WrCount(), 0);
    EXPECT_EQ(chunk.RdCount(), 0);
    EXPECT_EQ(chunk.Write("xy", 2), 2);
    EXPECT_EQ(chunk.Peek(&data), 2);
    EXPECT_EQ(std::string(data, 2), "xy");
}

TEST(SendBuffer, TheQueueFillsChunksOf1514AndKeepsTheLastOneForReuse) {
    TSendQueue queue;
    EXPECT_TRUE(queue.empty());
    const std::string bytes(5000, 'q');
    queue.append(bytes.data(), 5000);
    EXPECT_EQ(queue.chunkFill(), (std::vector<int>{1514, 1514, 1514, 458}));
    queue.append("12345", 5);  // the last chunk is filled first
    EXPECT_EQ(queue.chunkFill(), (std::vector<int>{1514, 1514, 1514, 463}));
    EXPECT_EQ(queue.unreadBytes(), 5005);

    iovec iov[2];
    EXPECT_EQ(queue.gather(iov, 2), 2);
    EXPECT_EQ(iov[0].iov_len + iov[1].iov_len, 3028u);
    queue.consume(2000);
    EXPECT_EQ(queue.chunkFill(), (std::vector<int>{1514, 1514, 463}));
    EXPECT_EQ(queue.unreadBytes(), 3005);
    queue.consume(3005);
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.chunkFill(), (std::vector<int>{0}));  // drained, kept for reuse
    EXPECT_EQ(queue.gather(iov, 2), 0);
    queue.clear();
    EXPECT_TRUE(queue.chunkFill().empty());
}

}  // namespace
}  // namespace zv
