#pragma once
// TClientThread: one accepted client connection, with a thread of its own.
//
// The thread creates its own TAsyncSocket, adopts the accepted handle with
// Dup and runs its event loop. Each arrival of data is handed to the main
// thread as one session step (TClientSession), under the session mutex; the
// session thread waits for the step meanwhile. When the socket closes (either
// side) or postQuit() is called, the loop ends, the socket is destroyed, the
// host's end handler (TServerContext::clientThreadTerminated) runs on the
// main thread, and the object frees itself.
//
// Owns: the accepted handle (until the socket adopts it), the socket, the
// session state. Does not own the context.

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/session_step.h"

namespace zv {

class TAsyncSocket;
class TEventLoop;
class TLoopHandle;
class TServerContext;

class TClientThread {
public:
    static constexpr std::size_t kStackSize = 256 * 1024;
    static constexpr std::chrono::milliseconds kDefaultSilence{2000};
    // How long the bundle's transfer waits in a receive for the client's
    // next READY_TO_RECEIVE, by default, before the event loop takes over
    // again.
    static constexpr std::chrono::milliseconds kDefaultTransferWait{100};

    // Creates the session with its thread, suspended: nothing runs before
    // start(). When the thread cannot be created, closes the accepted handle,
    // puts the reason into *error (when given) and returns nullptr; the
    // server goes on serving the other connections.
    static TClientThread* create(int acceptedHandle, TServerContext& ctx, std::string* error = nullptr);

    TClientThread(const TClientThread&) = delete;
    TClientThread& operator=(const TClientThread&) = delete;

    // Lets the thread run. From then on the object frees itself once its end
    // handler has run; call once.
    void start();

    // 8 upper-case hexadecimal digits, different for every live session.
    const std::string& connectionID() const { return session_.connectionID(); }

    // Asks the session's loop to end; the session then ends as if its client
    // had left. Callable from any thread while the object is alive. The host
    // calls it on the main thread, where the end handler (after which the
    // object frees itself) cannot overtake it.
    void postQuit();

    // Makes create() fail as if the system refused the thread (tests only).
    static void failThreadCreationForTesting(bool fail);

    // How long an incomplete request waits for more bytes before it is acted
    // on as it stands. Set before start().
    void setSilenceTimeout(std::chrono::milliseconds timeout) { silence_ = timeout; }

    // How long the transfer waits in a receive (kDefaultTransferWait). Set
    // before start().
    void setTransferWait(std::chrono::milliseconds wait) { transferWait_ = wait; }

    // A connection whose client sends nothing for this long (counted from its
    // last bytes, or from the end of the step that answered them) is closed,
    // whatever the session's state: a client that vanished mid-transfer
    // holds no thread for ever. Zero or less: never. Set before start().
    void setIdleTimeout(std::chrono::milliseconds timeout) { idle_ = timeout; }

private:
    class TSocketAdapter;
    class THeldReplies;

    TClientThread(int acceptedHandle, TServerContext& ctx);
    ~TClientThread();

    static void* threadEntry(void* self);
    void body();
    void runSession();
    void serve(TEventLoop& loop, TAsyncSocket& socket);
    // Runs one step on the main thread under the session mutex; the sessions
    // waiting for a step get their turns first come, first served. The step
    // may run in a group with those queued behind it; its replies are sent
    // from here once the group's saves are on disk.
    void runStep(TAsyncSocket& socket, void (TClientSession::*step)(TSessionSocket&));

    // Drives the rest of the bundle's transfer from here after a block went
    // out. The client answers each block at once, so its next
    // READY_TO_RECEIVE is waited for in the receive itself rather than
    // through the event loop: one system call less per block (442 of them
    // for a board of 20,000). The loop takes over again at the first wait
    // that brings nothing (a slow client, a closed connection), at the end
    // of the transfer, and when a quit is asked for.
    void continueTransfer(TAsyncSocket& socket);
    bool quitRequested() const;

    // Closes the connection once its client has been silent for idle_.
    void closeWhenIdle(TAsyncSocket& socket);

    TServerContext& ctx_;
    int acceptedHandle_;
    std::chrono::milliseconds silence_ = kDefaultSilence;
    std::chrono::milliseconds transferWait_ = kDefaultTransferWait;
    std::chrono::milliseconds idle_{0};
    // When the client was last heard from, or last answered; this thread only.
    std::chrono::steady_clock::time_point lastHeard_{};

    // The session state: used by steps on the main thread while this thread
    // waits for them, and by this thread between steps.
    TClientSession session_;

    std::mutex startMutex_;
    std::condition_variable startCv_;
    bool started_ = false;  // guarded by startMutex_

    std::mutex loopMutex_;
    std::shared_ptr<TLoopHandle> loop_;  // guarded by loopMutex_; this thread's loop once it exists
    // Set under loopMutex_, with the loop's quit; read without it by the
    // transfer's loop at every block.
    std::atomic<bool> quitRequested_{false};
};

}  // namespace zv
