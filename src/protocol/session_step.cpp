#include "protocol/session_step.h"

#include <algorithm>
#include <utility>

#include "net/socket_errors.h"
#include "protocol/login.h"
#include "protocol/merge.h"
#include "protocol/request_split.h"
#include "protocol/server_context.h"
#include "protocol/step_context.h"
#include "protocol/wire_texts.h"
#include "stores/debug_log.h"
#include "stores/file_access.h"

namespace zv {

std::string_view sessionStateName(TSessionState state) {
    switch (state) {
        case TSessionState::kReady: return wire::kStateReady;
        case TSessionState::kSendingData: return wire::kStateSendingData;
        case TSessionState::kWaitingForConfirm: return wire::kStateWaitingForConfirm;
    }
    return {};
}

TClientSession::TClientSession(TServerContext& ctx, std::string connectionId)
    : ctx_(ctx), connectionId_(std::move(connectionId)) {}

void TClientSession::onData(TSessionSocket& socket) {
    try {
        socket.ReceiveInto(received_);
    } catch (const ESocketException&) {
        socket.Close();
        return;
    }
    const std::string_view text = received_;
    if (text.empty()) return;

    switch (state_) {
        case TSessionState::kReady: return onReady(socket, text);
        case TSessionState::kSendingData: return onSendingData(socket, text);
        case TSessionState::kWaitingForConfirm: return onWaitingForConfirm(socket, text);
    }
}

void TClientSession::onSilence(TSessionSocket& socket) {
    if (state_ != TSessionState::kReady || collector_.empty()) return;
    actOnRequest(socket, collector_.take());
}

void TClientSession::onReady(TSessionSocket& socket, std::string_view text) {
    collector_.append(text);
    lastArrival_ = std::chrono::steady_clock::now();
    if (collector_.tooLarge()) {
        collector_.clear();
        socket.Close();
        return;
    }
    if (!collector_.complete()) return;
    actOnRequest(socket, collector_.take());
}

void TClientSession::actOnRequest(TSessionSocket& socket, const std::string& request) {
    const TClassifiedRequest req = classifyRequest(request);
    switch (req.kind) {
        case TRequestKind::kPunchOut: {
            // The saves of the step are made durable before the close
            // tells the client that it is done.
            fileio::TDirectorySyncBatch batch;
            punchOut(ctx_, req.parts.mode);
            batch.commit();
            socket.Close();
            return;
        }
        case TRequestKind::kPunchInLogin:
            punchInMark_ = true;
            login(socket, req.parts.credentials, req.parts.payload);
            return;
        case TRequestKind::kLogin:
            login(socket, req.parts.credentials, req.parts.payload);
            return;
        case TRequestKind::kOther:
            return;
    }
}

void TClientSession::login(TSessionSocket& socket, const std::string& credentials,
                           const std::string& payload) {
    // The folders of the step's saves are flushed together, before the reply
    // (or before a message is e-mailed).
    fileio::TDirectorySyncBatch batch;
    TStepContext ctx(ctx_, batch);
    loginStarted_ = std::chrono::steady_clock::now();
    employeeName_ = validateLogin(ctx, credentials, connectionId_);
    std::string_view reply;
    if (employeeName_ == wire::kDenied) {
        ctx_.loginAnswered(TLoginOutcome::Denied);
        reply = wire::kLoginDenied;
    } else if (employeeName_ == wire::kNonExistResult) {
        ctx_.loginAnswered(TLoginOutcome::UnknownAccount);
        reply = wire::kNonExist;
    } else {
        ctx_.loginAnswered(TLoginOutcome::Granted);
        const TIncomingSections sections = cutSections(payload);
        if (punchInMark_) punchIn(ctx, employeeName_);
        mergeIncoming(ctx, sections, employeeName_);

        state_ = TSessionState::kSendingData;
        // Nothing is announced yet: should building the bundle fail, the
        // session sends no block and takes no confirmation.
        blockCount_ = -1;
        pendingData_ = {};
        carried_ = {};
        TDeliveredRecords carried;
        TBundleText bundle = buildBundle(ctx, employeeName_, &carried);
        carried_ = std::move(carried);
        stampLastContact(ctx, employeeName_);
        batch.commit();
        prepareDataForSend(std::move(bundle), TSessionState::kWaitingForConfirm);
        if (blockCount_ == -1) return;
        reply = wire::kPrepareToReceive;
    }
    batch.commit();
    sendOrClose(socket, reply);
}

bool TClientSession::takeTransferReply(std::string_view text,
                                       std::initializer_list<std::string_view> words,
                                       std::size_t compared) {
    transferReply_.append(text);
    const bool mayStillMatch =
        transferReply_.size() < compared &&
        std::any_of(words.begin(), words.end(), [&](std::string_view word) {
            return word.substr(0, transferReply_.size()) == transferReply_;
        });
    if (mayStillMatch) return false;
    judgedReply_.swap(transferReply_);
    transferReply_.clear();
    return true;
}

void TClientSession::onSendingData(TSessionSocket& socket, std::string_view text) {
    if (blockCount_ < 0) return;  // failed preparation: nothing more is answered
    if (!takeTransferReply(text, {wire::kReadyToReceive}, wire::kReadyToReceiveCompared)) return;
    if (!wire::startsWithFirst(judgedReply_, wire::kReadyToReceive, wire::kReadyToReceiveCompared)) return;

    if (blocksSent_ < blockCount_) {
        const std::size_t left = pendingData_.size() - pendingOffset_;
        const std::size_t n = std::min(static_cast<std::size_t>(blockSize_), left);
        pendingData_.parts(pendingOffset_, n, blockParts_);
        if (!sendOrClose(socket, blockParts_)) return;
        pendingOffset_ += n;
        ++blocksSent_;
    } else {
        if (!sendOrClose(socket, wire::kDataComplete)) return;
        blocksSent_ = 0;
        state_ = stateAfterSending_;
        pendingData_ = {};
        std::vector<std::string_view>().swap(blockParts_);
        pendingOffset_ = 0;
    }
}

void TClientSession::onWaitingForConfirm(TSessionSocket& socket, std::string_view text) {
    if (!takeTransferReply(text, {wire::kConfirm, wire::kConfirmAlias}, wire::kConfirmCompared)) return;
    if (!wire::startsWithFirst(judgedReply_, wire::kConfirm, wire::kConfirmCompared) &&
        !wire::startsWithFirst(judgedReply_, wire::kConfirmAlias, wire::kConfirmCompared))
        return;
    state_ = TSessionState::kReady;
    const TDeliveredRecords carried = std::exchange(carried_, {});
    fileio::TDirectorySyncBatch batch;
    releaseDelivered(ctx_, carried);
    batch.commit();
    ctx_.loginExchangeCompleted(std::chrono::steady_clock::now() - loginStarted_);
    socket.Close();
}

void TClientSession::prepareDataForSend(TBundleText data, TSessionState stateAfterSending) {
    blocksSent_ = 0;
    blockCount_ = 0;
    remainder_ = 0;
    pendingData_ = std::move(data);
    pendingOffset_ = 0;
    stateAfterSending_ = stateAfterSending;
    blockSize_ = ctx_.blockSizeInUse();
    if (blockSize_ <= 0) {
        blockCount_ = -1;
        const std::string error = blockSize_ == 0
                                      ? std::string("Division by zero")
                                      : "Block size " + std::to_string(blockSize_) + " is below 1";
        appendDebugLine(kPrepareDebugLog, error + ": in prepareDataForSend() at ");
        return;
    }
    const std::size_t size = static_cast<std::size_t>(blockSize_);
    blockCount_ = static_cast<int>(pendingData_.size() / size);
    remainder_ = static_cast<int>(pendingData_.size() % size);
    if (remainder_ > 0) ++blockCount_;
}

bool TClientSession::sendOrClose(TSessionSocket& socket, std::string_view text) {
    return sendOrClose(socket, std::vector<std::string_view>{text});
}

bool TClientSession::sendOrClose(TSessionSocket& socket, const std::vector<std::string_view>& parts) {
    try {
        socket.SendParts(parts);
        return true;
    } catch (const ESocketException&) {
        socket.Close();
        return false;
    }
}

}  // namespace zv
