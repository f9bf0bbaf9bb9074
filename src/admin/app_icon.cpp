#include "admin/app_icon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace zv::admin {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    const QRectF board(margin, margin, size - 2 * margin, size - 2 * margin);
    // A dark-green board with a white "Z" and an in/out light.
    painter.setPen(QPen(QColor(0, 64, 0), size / 32.0 + 0.5));
    painter.setBrush(QColor(0, 128, 0));
    painter.drawRoundedRect(board, size / 6.0, size / 6.0);
    QFont font("Arial");
    font.setBold(true);
    font.setPixelSize(static_cast<int>(size * 0.62));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(board, Qt::AlignCenter, "Z");
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 255, 255));
    const qreal dot = size / 5.0;
    painter.drawEllipse(QRectF(size - margin - dot * 1.2, margin + dot * 0.2, dot, dot));
    return pixmap;
}

}  // namespace

const QIcon& mainIcon() {
    static const QIcon icon = [] {
        QIcon built;
        for (int size : {16, 24, 32, 48, 64}) built.addPixmap(drawIcon(size));
        return built;
    }();
    return icon;
}

}  // namespace zv::admin
