// The tray icon of the main window: the program icon with the tip
// "Zelvora Admin/Server" and the menu "&Open", a separator, "&Shutdown".
// A double-click or "&Open" asks for the window back; a right click brings
// the window forward and opens the menu; "&Shutdown" asks the window to close. When the desktop has no tray, nothing is shown and the
// window minimises normally (see available()).
#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace zv::admin {

class TServerTray : public QObject {
    Q_OBJECT

public:
    // `onOpen` restores the window; `onForward` brings it forward (a right
    // click, beside the menu); `onShutdown` asks it to close.
    TServerTray(std::function<void()> onOpen, std::function<void()> onForward,
                std::function<void()> onShutdown, QObject* parent = nullptr);
    ~TServerTray() override;

    // True when the desktop shows tray icons, so the window may hide in it.
    static bool available();

    QMenu* menu() const { return menu_; }
    QAction* openAction() const { return open_; }
    QAction* shutdownAction() const { return shutdown_; }
    QSystemTrayIcon* icon() const { return icon_; }

    // Removes the icon from the tray (at the window's destruction).
    void remove();

private:
    std::function<void()> onOpen_;
    std::function<void()> onForward_;
    std::function<void()> onShutdown_;
    QMenu* menu_ = nullptr;  // owned here: a QMenu without a parent widget
    QAction* open_ = nullptr;
    QAction* shutdown_ = nullptr;
    QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace zv::admin
