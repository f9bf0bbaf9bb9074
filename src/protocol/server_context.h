#pragma once
// What a session needs from the server host. The host implements it; the
// session steps, the login check, the bundle and the merges use it.
//
// Threads: every operation except mainLoop() and sessionMutex() is called on
// the main thread only, inside a session step or the end handler.

#include <chrono>
#include <string>

namespace zv {

class TEventLoop;
class TSessionMutex;
class TClientThread;
class TWIWOList;
class TPOSTIList;
class TWYWOList;
class TDEPTList;
class TPHONEList;
class TLOGList;
struct TWYWONode;

// How a client's login was answered.
enum class TLoginOutcome { Granted, Denied, UnknownAccount };

class TServerContext {
public:
    virtual ~TServerContext() = default;

    // The six stores, owned by the host.
    virtual TWIWOList& board() = 0;
    virtual TPOSTIList& memos() = 0;
    virtual TWYWOList& messages() = 0;
    virtual TDEPTList& departments() = 0;
    virtual TPHONEList& phonebook() = 0;
    virtual TLOGList& statusLog() = 0;

    // Settings: the block size derived at the last settings load, and the
    // ExpDays and SMTPHost texts as they are now.
    virtual int blockSizeInUse() const = 0;
    virtual std::string expDaysText() const = 0;
    virtual std::string smtpHost() const = 0;

    // The session registry: the session with this connection ID now serves
    // this employee.
    virtual void updateThreadList(const std::string& connectionId, const std::string& employeeKey) = 0;

    // The user table of the main window.
    virtual void clearUserTable(int count) = 0;
    virtual void refreshUserTable(const std::string& employeeName) = 0;

    // A message has just been stored (the record lives in the message store);
    // the host e-mails it when its recipient asked for that.
    virtual void notifyMessage(TWYWONode& message) = 0;

    // For the server's monitoring (nothing by default): a login was
    // answered; a granted login's exchange ended with the client's
    // confirmation, `took` after the login request was complete.
    virtual void loginAnswered(TLoginOutcome) {}
    virtual void loginExchangeCompleted(std::chrono::steady_clock::duration /*took*/) {}

    // The main thread's loop, which runs every session step.
    virtual TEventLoop& mainLoop() = 0;
    // Serializes the session steps of all sessions; asked for on session
    // threads.
    virtual TSessionMutex& sessionMutex() = 0;

    // The end handler of a session thread: runs on the main thread after the
    // thread's loop has ended and its socket is gone, before the session
    // object frees itself.
    virtual void clientThreadTerminated(TClientThread& session) = 0;
};

}  // namespace zv
