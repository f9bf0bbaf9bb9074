#pragma once
// Connections that the server takes off the listener without serving them.
// A process out of descriptors cannot even accept a connection to close it,
// and the connection would stay pending, waking the listener again and
// again: one descriptor is kept in reserve for that, given up for a moment
// to accept and close one pending connection. Owns the reserve; main thread
// only.

namespace zv {

class TAsyncSocket;

class TConnectionRefusal {
public:
    TConnectionRefusal();
    ~TConnectionRefusal();
    TConnectionRefusal(const TConnectionRefusal&) = delete;
    TConnectionRefusal& operator=(const TConnectionRefusal&) = delete;

    // Closes a connection accepted but not served (the server is full).
    static void closeAccepted(int handle);
    // After an accept failed for want of descriptors: accepts one pending
    // connection of `listener` through the reserve, closes it, and takes the
    // reserve again.
    void refuseOnePending(const TAsyncSocket& listener);

private:
    void takeReserve();

    int reserve_ = -1;
};

}  // namespace zv
