#include "admin/screen_centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace zv::admin {

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window.frameGeometry().size();
    window.move(area.x() + (area.width() - size.width()) / 2,
                            area.y() + (area.height() - size.height()) / 2);
}

}  // namespace zv::admin
