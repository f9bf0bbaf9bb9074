#include "admin/qt_loop_bridge.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "net/event_loop.h"

namespace zv::admin {

TQtLoopBridge::TQtLoopBridge(TEventLoop& loop, QObject* parent) : QObject(parent), loop_(loop) {
    notifier_ = new QSocketNotifier(loop_.fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TQtLoopBridge::loopReadable);
    loop_.setWaitHandler(
        [this](std::chrono::steady_clock::time_point deadline) { waitWithQt(deadline); });
    // Work posted before the bridge existed is run at the first turn of Qt's loop.
    QTimer::singleShot(0, this, &TQtLoopBridge::loopReadable);
}

TQtLoopBridge::~TQtLoopBridge() { loop_.setWaitHandler(nullptr); }

std::exception_ptr TQtLoopBridge::takeEscapedError() { return std::exchange(escaped_, nullptr); }

void TQtLoopBridge::loopReadable() {
    if (pumpDepth_ > waitDepth_) return;  // a step's own Qt events never re-enter the loop
    ++pumpDepth_;
    notifier_->setEnabled(false);
    const std::uint64_t before = loop_.dispatchCount();
    try {
        loop_.pump();
    } catch (...) {
        // Nothing may leave through Qt's loop: keep the error for the program's
        // entry, which reports it once the loop has ended.
        if (!escaped_) escaped_ = std::current_exception();
        QCoreApplication::exit(1);
    }
    --pumpDepth_;
    // A wake-up that dispatched nothing does not end a wait.
    if (waitDepth_ > 0 && loop_.dispatchCount() != before) dispatchedInWait_ = true;
    notifier_->setEnabled(pumpDepth_ <= waitDepth_);
}

void TQtLoopBridge::waitWithQt(std::chrono::steady_clock::time_point deadline) {
    using std::chrono::steady_clock;
    ++waitDepth_;
    const bool outerDispatched = dispatchedInWait_;
    dispatchedInWait_ = false;
    notifier_->setEnabled(pumpDepth_ <= waitDepth_);

    // Qt's events (the window, the modal dialogs) go on; the loop is pumped by
    // the notifier as soon as it has work, and the wait ends after that pump
    // or at the deadline.
    QTimer timer;  // only wakes processEvents() when the deadline comes
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    while (!dispatchedInWait_) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) break;
        if (!timer.isActive()) timer.start(static_cast<int>(std::min<long long>(left, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // What an inner wait dispatched was dispatched for the outer one too.
    dispatchedInWait_ = outerDispatched || dispatchedInWait_;
    --waitDepth_;
    notifier_->setEnabled(pumpDepth_ <= waitDepth_);
}

}  // namespace zv::admin
