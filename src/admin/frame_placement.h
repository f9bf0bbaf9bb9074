// Places a top-level window by its outer frame, the rectangle a person sees
// and the one the settings file records, and reads that rectangle back.
//
// On X11 the frame is unknown until the window manager has decorated the
// window, some time after show(). Qt hands a position given with move() to
// the window manager as the frame's, before showing and after, so the place
// is right at once; the size is the inner area's, so a window placed before
// its frame is known gets the frame's size as its inner size first and is
// made smaller by the frame once the frame is known ("settled").
//
// Does not own the window; lives as its child.
#pragma once

#include <QElapsedTimer>
#include <QMargins>
#include <QObject>
#include <QRect>

#include <functional>
#include <optional>

class QTimer;
class QWidget;

namespace zv::admin {

class TFramePlacement : public QObject {
    Q_OBJECT

public:
    explicit TFramePlacement(QWidget& window);

    // Puts the window's outer frame at `frame`. The position is used only
    // where some screen shows part of the frame, so that a window placed on
    // a screen that is gone is not lost; the size is used in any case.
    void place(const QRect& frame);

    // The outer frame of the window as it stands (for a minimised or
    // maximised window, the normal one it returns to).
    QRect frame() const;

    // Call from the window's first show event: `onSettled` runs once the
    // window manager has placed and decorated the window (at once where no
    // window manager decorates, as on the offscreen platform; at the latest
    // after two seconds).
    void watchFirstShow(std::function<void()> onSettled);
    bool settled() const { return settled_; }

private:
    void check();
    void settle();
    QMargins margins() const;
    void resizeFrameTo(const QSize& frameSize);

    QWidget& window_;
    QTimer* poll_ = nullptr;
    QElapsedTimer sinceShow_;
    QElapsedTimer sinceExposed_;
    std::function<void()> onSettled_;
    bool settled_ = false;
    mutable QMargins lastMargins_;        // the frame's widths, once known
    std::optional<QSize> pendingFrame_;   // a frame size waiting for the frame
};

}  // namespace zv::admin
