#pragma once
// The conversation with one client: three states, the requests, the replies
// and the block transfer of the bundle. One step runs for each arrival of
// data. A step that may use the stores runs on the main thread while the
// session holds the session mutex (the session's own thread, TClientThread,
// hands it over and waits); a step of the block transfer uses nothing but the
// session's own state and socket, and runs on the session's thread.

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/bundle.h"
#include "protocol/request_collector.h"

namespace zv {

class TServerContext;

// The states of a session: it waits for a request; it sends the bundle block
// by block, each when the client says READY_TO_RECEIVE; it waits for the
// client's confirmation that the bundle arrived.
enum class TSessionState { kReady, kSendingData, kWaitingForConfirm };

// "READY", "SENDING_DATA" or "WAITING_FOR_CONFIRM".
std::string_view sessionStateName(TSessionState state);

// The socket operations a step uses. TClientThread forwards them to its
// TAsyncSocket; socket errors arrive as ESocketException.
class TSessionSocket {
public:
    virtual ~TSessionSocket() = default;
    virtual std::string ReceiveText() = 0;
    // The same into `text`; a socket that can reuse the string's room
    // overrides it, which spares an allocation per block of a transfer.
    virtual void ReceiveInto(std::string& text) { text = ReceiveText(); }
    virtual void SendText(std::string_view text) = 0;
    // The parts one after the other, as one text.
    virtual void SendParts(const std::vector<std::string_view>& parts) {
        std::string text;
        for (std::string_view part : parts) text.append(part);
        SendText(text);
    }
    virtual void Close() = 0;
};

class TClientSession {
public:
    // "debug_prepare.log" in the current directory.
    static constexpr const char* kPrepareDebugLog = "debug_prepare.log";

    TClientSession(TServerContext& ctx, std::string connectionId);

    // One step: reads everything pending and acts on it. A socket error while
    // reading or sending closes the socket; other errors propagate with the
    // session keeping its state.
    void onData(TSessionSocket& socket);

    // The client went silent with an incomplete request collected: act on
    // what has arrived (the merges refuse what is missing or incomplete).
    void onSilence(TSessionSocket& socket);

    // True while the next step can only send a block of the bundle (or the
    // end of it), using nothing but this session's state and its socket.
    bool stepTouchesOnlyItsOwn() const { return state_ == TSessionState::kSendingData; }

    // True while an incomplete request is held, waiting for more bytes.
    bool collecting() const { return !collector_.empty(); }
    // When the last bytes of the held request arrived.
    std::chrono::steady_clock::time_point lastArrival() const { return lastArrival_; }

    // Loads a bundle for block transfer with the block size in use. A block
    // size of 0 or below writes one line to "debug_prepare.log" and sets the
    // block count to -1: the session then answers nothing more.
    void prepareDataForSend(TBundleText data, TSessionState stateAfterSending);

    const std::string& connectionID() const { return connectionId_; }
    // The name of the state (sessionStateName).
    std::string_view state() const { return sessionStateName(state_); }
    bool punchInMark() const { return punchInMark_; }
    int blocksSent() const { return blocksSent_; }
    int blockCount() const { return blockCount_; }
    int remainder() const { return remainder_; }
    const std::string& employeeName() const { return employeeName_; }

private:
    void onReady(TSessionSocket& socket, std::string_view text);
    void onSendingData(TSessionSocket& socket, std::string_view text);
    void onWaitingForConfirm(TSessionSocket& socket, std::string_view text);
    // The client's replies during a transfer are compared on their first
    // `compared` bytes. A reply that arrives in pieces is kept until those
    // bytes are there, or until it can match none of `words`, so that it
    // counts as if it had come whole. True with the reply in judgedReply_
    // when it can be judged.
    bool takeTransferReply(std::string_view text, std::initializer_list<std::string_view> words,
                           std::size_t compared);
    void actOnRequest(TSessionSocket& socket, const std::string& request);
    void login(TSessionSocket& socket, const std::string& credentials, const std::string& payload);
    // Sends; on a socket error closes the socket and returns false.
    bool sendOrClose(TSessionSocket& socket, std::string_view text);
    bool sendOrClose(TSessionSocket& socket, const std::vector<std::string_view>& parts);

    TServerContext& ctx_;
    const std::string connectionId_;

    TSessionState state_ = TSessionState::kReady;
    bool punchInMark_ = false;
    int blocksSent_ = 0;
    int blockCount_ = 0;
    int remainder_ = 0;
    int blockSize_ = 0;              // the block size in use at preparation
    TBundleText pendingData_;        // the bundle being sent
    std::vector<std::string_view> blockParts_;  // the block being sent, in the bundle's pieces
    std::size_t pendingOffset_ = 0;  // what of it has been sent
    TSessionState stateAfterSending_ = TSessionState::kReady;
    std::string employeeName_;
    TDeliveredRecords carried_;  // what the bundle being sent carries

    TRequestCollector collector_;
    // The start of a transfer reply still in pieces, and the last one whole.
    // Both keep their room from one block to the next.
    std::string transferReply_, judgedReply_;
    std::string received_;       // the last receive's bytes, its room kept from one to the next
    std::chrono::steady_clock::time_point lastArrival_{};
    std::chrono::steady_clock::time_point loginStarted_{};  // of the login being answered
};

}  // namespace zv
