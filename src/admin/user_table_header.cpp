#include "admin/user_table_header.h"

#include <QPainter>

#include <algorithm>

namespace zv::admin {

TUserTableHeader::TUserTableHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QFont TUserTableHeader::headerFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    font.setBold(true);
    return font;
}

QSize TUserTableHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(std::max(kRowHeight, QFontMetrics(headerFont()).height() + 3));
    return size;
}

void TUserTableHeader::paintSection(QPainter* painter, const QRect& rect,
                                    int logicalIndex) const {
    if (!rect.isValid()) return;
    painter->save();
    painter->fillRect(rect, palette().color(QPalette::Button));
    // Cell edges as the grid draws them between cells.
    painter->setPen(palette().color(QPalette::Dark));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->setFont(headerFont());
    painter->setClipRect(rect);
    const QString text = model() != nullptr
                             ? model()->headerData(logicalIndex, orientation()).toString()
                             : QString();
    painter->drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      text);
    painter->restore();
}

}  // namespace zv::admin
