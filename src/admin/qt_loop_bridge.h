// Runs the main thread's TEventLoop inside Qt's event loop. Qt watches the
// loop's descriptor and pumps the loop whenever it is readable, so session
// steps and socket events run under every Qt loop, the modal dialogs' included.
// It also installs the loop's wait handler: a synchronous wait (the SMTP
// client's) keeps Qt's events flowing until the loop has work or the deadline
// passes, without spinning. Lives on the main thread; does not own the loop.
#pragma once

#include <QObject>

#include <chrono>
#include <exception>

class QSocketNotifier;

namespace zv {
class TEventLoop;
}

namespace zv::admin {

class TQtLoopBridge : public QObject {
    Q_OBJECT

public:
    explicit TQtLoopBridge(TEventLoop& loop, QObject* parent = nullptr);
    ~TQtLoopBridge() override;
    TQtLoopBridge(const TQtLoopBridge&) = delete;
    TQtLoopBridge& operator=(const TQtLoopBridge&) = delete;

    // Number of synchronous waits running now (nested waits count each).
    int waitDepth() const { return waitDepth_; }
    // True while a session step or socket event runs (Qt's events then flow
    // only inside its synchronous waits and the dialogs it opens).
    bool busy() const { return pumpDepth_ > 0 || waitDepth_ > 0; }

    // An error that escaped a pump of the loop (Qt's loop was then asked to
    // exit with 1); empty when none. Taking it clears it.
    std::exception_ptr takeEscapedError();

private:
    void loopReadable();
    void waitWithQt(std::chrono::steady_clock::time_point deadline);

    TEventLoop& loop_;
    QSocketNotifier* notifier_ = nullptr;
    // Each synchronous wait allows one more level of pumping inside it: the
    // notifier is enabled while pumpDepth_ <= waitDepth_.
    int pumpDepth_ = 0;         // pumps of loop_ running now
    int waitDepth_ = 0;         // waitWithQt() calls running now
    bool dispatchedInWait_ = false;  // the innermost wait saw the loop dispatch
    std::exception_ptr escaped_;
};

}  // namespace zv::admin
