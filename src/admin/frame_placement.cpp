#include "admin/frame_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace zv::admin {

namespace {

constexpr int kPollMs = 10;
// A window manager that does not decorate never reports a frame: the window
// counts as placed once it has been on the screen this long.
constexpr int kUndecoratedMs = 300;
// However the desktop behaves, start-up does not wait longer than this.
constexpr int kSettleLimitMs = 2000;

// True when some screen shows part of the rectangle, so that a window placed
// there can be found again.
bool onSomeScreen(const QRect& rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersects(rect)) return true;
    }
    return false;
}

}  // namespace

TFramePlacement::TFramePlacement(QWidget& window) : QObject(&window), window_(window) {
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &TFramePlacement::check);
}

QMargins TFramePlacement::margins() const {
    if (window_.isVisible() && window_.windowHandle() != nullptr) {
        const QMargins current = window_.windowHandle()->frameMargins();
        if (!current.isNull()) lastMargins_ = current;
    }
    // A hidden window has no frame; it gets the one it had back when shown.
    return lastMargins_;
}

void TFramePlacement::resizeFrameTo(const QSize& frameSize) {
    const QSize inner = frameSize.shrunkBy(margins());
    if (inner.width() > 0 && inner.height() > 0) window_.resize(inner);
}

void TFramePlacement::place(const QRect& frame) {
    if (onSomeScreen(frame)) window_.move(frame.topLeft());
    if (frame.width() <= 0 || frame.height() <= 0) return;
    if (settled_) {
        resizeFrameTo(frame.size());
        return;
    }
    // The frame is not known yet: the best guess now, the exact size once
    // the window manager has drawn the frame.
    resizeFrameTo(frame.size());
    pendingFrame_ = frame.size();
}

QRect TFramePlacement::frame() const {
    if (!settled_ && pendingFrame_) return QRect(window_.pos(), *pendingFrame_);
    if (window_.isVisible() && !window_.isMinimized() && !window_.isMaximized()) {
        return window_.frameGeometry();
    }
    QRect normal = window_.normalGeometry();
    if (!normal.isValid()) normal = window_.geometry();
    return normal.marginsAdded(margins());
}

void TFramePlacement::watchFirstShow(std::function<void()> onSettled) {
    onSettled_ = std::move(onSettled);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        // No window manager between the window and the screen: placed as shown.
        QTimer::singleShot(0, this, &TFramePlacement::settle);
        return;
    }
    sinceShow_.start();
    poll_->start();
}

void TFramePlacement::check() {
    QWindow* handle = window_.windowHandle();
    const bool exposed = handle != nullptr && handle->isExposed();
    if (exposed && !sinceExposed_.isValid()) sinceExposed_.start();
    if ((exposed && !handle->frameMargins().isNull()) ||
        (exposed && sinceExposed_.elapsed() >= kUndecoratedMs) ||
        sinceShow_.elapsed() >= kSettleLimitMs) {
        settle();
    }
}

void TFramePlacement::settle() {
    if (settled_) return;
    settled_ = true;
    poll_->stop();
    margins();  // remembers the frame's widths while the window shows
    if (pendingFrame_ && !window_.isMaximized() && !window_.isMinimized()) {
        resizeFrameTo(*pendingFrame_);
    }
    pendingFrame_.reset();
    if (onSettled_) onSettled_();
}

}  // namespace zv::admin
