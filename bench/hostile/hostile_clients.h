#pragma once
// The clients of the hostile soak: a connection that expects nothing of the
// server, the kinds of misbehaviour, and the valid exchange that must still
// be served in full among them.

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace zv::bench {

// The soak's accounts: "Soak<n>,User" with password "pw<n>" for the hostile
// clients, whose mangled board records may change anything in them (even the
// password: a login merges the record it carries), and one account of the
// valid logins' own, which no hostile client names.
struct TSoakAccounts {
    int count = 50;
    std::string key(int i) const;
    std::string password(int i) const;
    static constexpr const char* kCheckerKey = "Checker,Valid";
    static constexpr const char* kCheckerPassword = "sure";
};

// A login with the account's own board record, a memo to itself (dated long
// ago, so that it expires once delivered) and no message or callers.
std::string validLogin(const std::string& key, const std::string& password);

// A client connection that tolerates anything: a refused connection, a peer
// that closes or never answers. Owns its descriptor.
class TRawConnection {
public:
    TRawConnection() = default;
    ~TRawConnection();
    TRawConnection(const TRawConnection&) = delete;
    TRawConnection& operator=(const TRawConnection&) = delete;

    // Connects to 127.0.0.1:port; false when that fails.
    bool connect(int port);
    // Sends what the peer takes; false once the connection is gone.
    bool send(std::string_view bytes);
    // What arrives within `wait`, stopping early once `enough` bytes came or
    // the peer closed.
    std::string receiveFor(std::chrono::milliseconds wait, std::size_t enough = 1 << 20);
    // Up to `size` bytes: waits `first` for the first of them, then takes
    // what follows until `size` came or nothing more came for `idle`. For the
    // blocks of a transfer, whose end a client cannot see without parsing the
    // bundle (which a value holding a separator breaks).
    std::string receiveBlock(std::size_t size, std::chrono::milliseconds first, std::chrono::milliseconds idle);
    // True once the peer has closed its end.
    bool peerClosed() const { return peerClosed_; }
    // The descriptor, for a caller that polls many connections.
    int fd() const { return fd_; }
    // FIN, or RST when `abrupt`.
    void close(bool abrupt = false);

private:
    int fd_ = -1;
    bool peerClosed_ = false;
};

enum class THostileKind {
    kMutatedLogin,       // a login with bytes flipped, inserted, dropped or repeated
    kTruncatedLogin,     // a login cut short, then a close or a wait for the silence
    kRandomBytes,        // noise, sometimes behind a request word
    kSplitLogin,         // a valid login in many small pieces: must be served as whole
    kVanishMidTransfer,  // gone after the first blocks, without a confirmation
    kWrongStateReply,    // transfer replies before a login or out of turn
    kPunchOut,           // punch-outs of accounts known and unknown
    kCount
};

const char* kindName(THostileKind kind);

// Runs one client of this kind. Returns false only when the server got wrong
// what it must get right (a split login not served as a whole one would be),
// with the reason in *problem.
bool runHostileClient(THostileKind kind, int port, const TSoakAccounts& accounts, int blockSize,
                      std::mt19937_64& random, std::string* problem);

// A valid login of the checker account served in full:
// "PREPARE_TO_RECEIVE", every block (the bundle naming the account),
// "DATA_COMPLETE", the confirmation and the server's close. Throws std::runtime_error with the reason when any of
// it fails within `limit`.
void runValidExchange(int port, int blockSize, std::chrono::milliseconds limit);

}  // namespace zv::bench
