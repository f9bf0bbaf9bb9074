// Socket error codes, their descriptions and the exception the socket layer raises.
//
// The layer reports every failure with the codes of the classic socket error
// table (10000 series for socket calls, 11001..11004 for host look-ups); the
// platform's errno values are turned into those codes here and nowhere else.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zv {

// The codes the layer itself compares against.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// Description of a code; "Not a WinSock error" for a code outside the table.
std::string WSocketErrorDesc(int code);

// The table code for an errno value (0 gives 0). Every errno the socket calls
// can give has its code; anything else maps to 10022 ("Invalid argument")
// rather than to a code that would mean something else.
int socketErrorFromErrno(int err);

// The table code for a getaddrinfo() result (EAI_...); sysErrno is consulted
// for EAI_SYSTEM.
int socketErrorFromLookup(int gaiError, int sysErrno);

// "Error " + code + " in function " + function + "\r\n" + description.
std::string socketErrorMessage(int code, std::string_view function);

// The error the socket layer raises. code() is 0 and function() empty for the
// reports that are not tied to a native call (property and resolution texts).
class ESocketException : public std::runtime_error {
public:
    explicit ESocketException(const std::string& message, int code = 0, std::string function = {});

    int code() const { return code_; }
    const std::string& function() const { return function_; }

private:
    int code_;
    std::string function_;
};

}  // namespace zv
