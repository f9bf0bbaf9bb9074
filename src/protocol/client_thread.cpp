#include "protocol/client_thread.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

#include "net/async_socket.h"
#include "net/event_loop.h"
#include "protocol/connection_id.h"
#include "protocol/server_context.h"
#include "protocol/session_mutex.h"

namespace zv {

// The step's view of the session socket.
class TClientThread::TSocketAdapter : public TSessionSocket {
public:
    explicit TSocketAdapter(TAsyncSocket& socket) : socket_(socket) {}
    std::string ReceiveText() override {
        std::string text;
        ReceiveInto(text);
        return text;
    }
    void ReceiveInto(std::string& text) override {
        socket_.ReceiveText(text);
        receivedNothing_ = text.empty();
    }
    // The last receive brought no bytes.
    bool receivedNothing() const { return receivedNothing_; }
    void SendText(std::string_view text) override { socket_.SendText(text); }
    void SendParts(const std::vector<std::string_view>& parts) override {
        socket_.SendParts(parts.data(), static_cast<int>(parts.size()));
    }
    void Close() override { socket_.Close(); }

protected:
    TAsyncSocket& socket_;

private:
    bool receivedNothing_ = false;
};

// The step's view of the session socket while the step runs on the main loop,
// in a group with other sessions' steps: receives are made at once; what the
// step sends, and its close, are held until the group's saves are on disk,
// and then made by this thread (release), so that no reply tells the client
// of a change that a crash could still undo.
class TClientThread::THeldReplies : public TSocketAdapter {
public:
    using TSocketAdapter::TSocketAdapter;
    void SendText(std::string_view text) override { held_.push_back({std::string(text), false}); }
    // Joined into one text, held as SendText holds it.
    void SendParts(const std::vector<std::string_view>& parts) override { TSessionSocket::SendParts(parts); }
    void Close() override { held_.push_back({{}, true}); }

    // Makes what was held, in order. A send that fails closes the
    // connection, as a step's own send does.
    void release() {
        for (const Held& held : held_) {
            if (socket_.HSocket() == INVALID_SOCKET) return;
            if (held.close) {
                socket_.Close();
                return;
            }
            try {
                socket_.SendText(held.text);
            } catch (const ESocketException&) {
                socket_.Close();
                return;
            }
        }
    }

private:
    struct Held {
        std::string text;
        bool close;
    };
    std::vector<Held> held_;
};

namespace {
std::atomic<bool> failThreadCreation{false};
}  // namespace

void TClientThread::failThreadCreationForTesting(bool fail) { failThreadCreation = fail; }

TClientThread* TClientThread::create(int acceptedHandle, TServerContext& ctx, std::string* error) {
    auto fail = [&](const std::string& why) -> TClientThread* {
        if (acceptedHandle >= 0) ::close(acceptedHandle);
        if (error) *error = why;
        return nullptr;
    };

    TClientThread* session = nullptr;
    try {
        session = new TClientThread(acceptedHandle, ctx);
    } catch (const std::exception& e) {
        return fail(std::string("cannot create the session: ") + e.what());
    }

    pthread_attr_t attr;
    int rc = pthread_attr_init(&attr);
    if (rc == 0) {
        rc = pthread_attr_setstacksize(&attr, kStackSize);
        if (rc == 0) rc = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (rc == 0)
            rc = failThreadCreation ? EAGAIN
                                    : pthread_create(&thread, &attr, &TClientThread::threadEntry, session);
        pthread_attr_destroy(&attr);
    }
    if (rc != 0) {
        session->acceptedHandle_ = -1;  // closed by fail()
        delete session;
        return fail(std::string("cannot create the session thread: ") + std::strerror(rc));
    }
    return session;
}

TClientThread::TClientThread(int acceptedHandle, TServerContext& ctx)
    : ctx_(ctx), acceptedHandle_(acceptedHandle), session_(ctx, acquireConnectionId()) {}

TClientThread::~TClientThread() {
    if (acceptedHandle_ >= 0) ::close(acceptedHandle_);
    releaseConnectionId(session_.connectionID());
}

void TClientThread::start() {
    {
        std::lock_guard lock(startMutex_);
        started_ = true;
    }
    startCv_.notify_one();
}

void TClientThread::postQuit() {
    std::lock_guard lock(loopMutex_);
    quitRequested_.store(true, std::memory_order_release);
    if (loop_) loop_->quit();
}

void* TClientThread::threadEntry(void* self) {
    static_cast<TClientThread*>(self)->body();
    return nullptr;
}

void TClientThread::body() {
    {
        std::unique_lock lock(startMutex_);
        startCv_.wait(lock, [this] { return started_; });
    }
    try {
        runSession();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "session %s: %s\n", connectionID().c_str(), e.what());
    }
    try {
        runInLoopAndWait(ctx_.mainLoop(), [this] { ctx_.clientThreadTerminated(*this); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "session %s: end handler failed: %s\n", connectionID().c_str(), e.what());
    }
    // A postQuit still returning must have left the lock before the object goes.
    { std::lock_guard lock(loopMutex_); }
    delete this;
}

void TClientThread::runSession() {
    TEventLoop& loop = TEventLoop::forCurrentThread();
    {
        std::lock_guard lock(loopMutex_);
        loop_ = loop.handle();
        if (quitRequested_) return;
    }

    auto socket = std::make_unique<TAsyncSocket>();
    const int handle = acceptedHandle_;
    try {
        socket->Dup(handle);
        acceptedHandle_ = -1;  // the socket owns it now
    } catch (const std::exception& e) {
        if (socket->HSocket() == handle) acceptedHandle_ = -1;  // adopted before the failure
        std::fprintf(stderr, "session %s: cannot adopt the connection: %s\n", connectionID().c_str(),
                     e.what());
        return;  // the destructor closes a handle not adopted
    }

    socket->OnDataAvailable = [this](TAsyncSocket& sender, std::uint16_t) {
        lastHeard_ = std::chrono::steady_clock::now();
        runStep(sender, &TClientSession::onData);
        lastHeard_ = std::chrono::steady_clock::now();
    };
    socket->OnSessionClosed = [](TAsyncSocket& sender, std::uint16_t) { sender.postQuit(); };
    serve(loop, *socket);
    socket.reset();
}

void TClientThread::serve(TEventLoop& loop, TAsyncSocket& socket) {
    using Clock = std::chrono::steady_clock;
    const bool idleEnds = idle_.count() > 0;
    lastHeard_ = Clock::now();
    while (!loop.terminated()) {
        // The session state is only changed by steps, which this thread waits
        // for; between them it may be read here.
        Clock::time_point deadline = Clock::now() + std::chrono::hours(1);
        if (session_.collecting()) deadline = std::min(deadline, session_.lastArrival() + silence_);
        if (idleEnds) deadline = std::min(deadline, lastHeard_ + idle_);
        loop.waitAndDispatch(deadline);
        if (loop.terminated()) break;
        if (session_.collecting() && Clock::now() >= session_.lastArrival() + silence_) {
            try {
                runStep(socket, &TClientSession::onSilence);
            } catch (const std::exception& e) {
                // As for a failing data step: dropped, the connection stays.
                std::fprintf(stderr, "session %s: %s\n", connectionID().c_str(), e.what());
            }
            lastHeard_ = Clock::now();
        }
        if (idleEnds && Clock::now() >= lastHeard_ + idle_) closeWhenIdle(socket);
    }
}

void TClientThread::closeWhenIdle(TAsyncSocket& socket) {
    // The step that could use the socket runs only while this thread waits
    // for it, so closing here meets no step. The close reports itself through
    // OnSessionClosed, which ends the loop.
    try {
        socket.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "session %s: cannot close the idle connection: %s\n", connectionID().c_str(),
                     e.what());
        socket.postQuit();
    }
}

void TClientThread::continueTransfer(TAsyncSocket& socket) {
    if (!session_.stepTouchesOnlyItsOwn()) return;
    std::chrono::milliseconds wait = transferWait_;
    if (idle_.count() > 0) wait = std::min(wait, idle_);
    TAsyncSocket::TWaitingReceives waiting(socket, wait);
    if (!waiting.active()) return;
    TSocketAdapter adapter(socket);
    while (session_.stepTouchesOnlyItsOwn() && socket.HSocket() != INVALID_SOCKET && !quitRequested()) {
        // lastHeard_ is read only by this thread's loop, which the step
        // that called here sets on its return.
        session_.onData(adapter);
        if (adapter.receivedNothing()) return;
    }
}

bool TClientThread::quitRequested() const { return quitRequested_.load(std::memory_order_acquire); }

void TClientThread::runStep(TAsyncSocket& socket, void (TClientSession::*step)(TSessionSocket&)) {
    // A step that only sends the bundle's next block uses the session's own
    // state and its socket, both this thread's: it runs here, so that the
    // blocks of many clients flow at once and the main loop is left to the
    // steps that use the stores.
    if (session_.stepTouchesOnlyItsOwn()) {
        TSocketAdapter adapter(socket);
        (session_.*step)(adapter);
        continueTransfer(socket);
        return;
    }
    THeldReplies replies(socket);
    ctx_.sessionMutex().runGroupedStep(ctx_.mainLoop(),
                                       [this, &replies, step] { (session_.*step)(replies); });
    replies.release();
}

}  // namespace zv
