#include "admin/server_tray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "admin/app_icon.h"

namespace zv::admin {

TServerTray::TServerTray(std::function<void()> onOpen, std::function<void()> onForward,
                         std::function<void()> onShutdown, QObject* parent)
    : QObject(parent),
      onOpen_(std::move(onOpen)),
      onForward_(std::move(onForward)),
      onShutdown_(std::move(onShutdown)) {
    menu_ = new QMenu;
    menu_->setObjectName("PopupMenu1");
    open_ = menu_->addAction("&Open");
    menu_->addSeparator();
    shutdown_ = menu_->addAction("&Shutdown");
    connect(open_, &QAction::triggered, this, [this] { onOpen_(); });
    // Queued: the close question must not run inside the menu's own loop.
    connect(shutdown_, &QAction::triggered, this, [this] { onShutdown_(); },
            Qt::QueuedConnection);

    icon_ = new QSystemTrayIcon(mainIcon(), this);
    icon_->setToolTip("Zelvora Admin/Server");
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) onOpen_();
                // Qt has opened the menu at the cursor already (it is the icon's
                // context menu).
                if (reason == QSystemTrayIcon::Context) onForward_();
            });
    if (available()) icon_->show();
}

TServerTray::~TServerTray() {
    remove();
    delete menu_;
}

bool TServerTray::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TServerTray::remove() {
    if (icon_ != nullptr) icon_->hide();
}

}  // namespace zv::admin
