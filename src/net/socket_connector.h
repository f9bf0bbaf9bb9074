// TSocketConnector: the connecting role of a TAsyncSocket. It looks a host
// name up on a lookup thread (reporting on the owner thread), opens a handle
// and connects it to the peer, and reports the outcome of the connect; from
// then on the socket is a connected stream. It owns the look-up in progress
// and its results; the handle belongs to the socket.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv {

class TAsyncSocket;

class TSocketConnector {
public:
    explicit TSocketConnector(TAsyncSocket& socket) : socket_(socket) {}
    TSocketConnector(const TSocketConnector&) = delete;
    TSocketConnector& operator=(const TSocketConnector&) = delete;

    void lookup(const std::string& host);
    void cancelLookup();
    void connect();

    const std::string& result() const { return result_; }
    const std::vector<std::string>& resultList() const { return resultList_; }

    // The events of a connecting handle. True when the connect succeeded and
    // the socket is unchanged, so that the same events go on to the stream.
    bool handleEvents(std::uint32_t events);

    // What the lookup thread fills and posts back.
    struct Lookup;

private:
    void connectEvent(std::uint16_t error);
    void lookupFinished(const std::shared_ptr<Lookup>& request);

    TAsyncSocket& socket_;
    std::string result_;
    std::vector<std::string> resultList_;
    std::shared_ptr<Lookup> pending_;
};

}  // namespace zv
