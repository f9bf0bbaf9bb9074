#include "admin/user_table_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "host/user_table.h"

namespace zv::admin {

TUserTableDelegate::TUserTableDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QColor TUserTableDelegate::textColour(bool updating, bool selected) {
    if (updating) return kUpdatingText;
    return selected ? QColor(Qt::white) : QColor(Qt::black);
}

QColor TUserTableDelegate::backgroundColour(bool updating, bool selected,
                                            const QPalette& palette) {
    if (selected) return palette.color(QPalette::Highlight);
    if (updating) return kUpdatingBackground;
    return palette.color(QPalette::Base);
}

QFont TUserTableDelegate::cellFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    return font;
}

void TUserTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool updating =
        index.siblingAtColumn(1).data().toString() == QLatin1String("Updating");

    painter->save();
    painter->fillRect(option.rect, backgroundColour(updating, selected, option.palette));
    painter->setFont(cellFont());
    painter->setPen(textColour(updating, selected));
    const QRect textRect = option.rect.adjusted(kTextInset, kTextInset, 0, 0);
    painter->setClipRect(option.rect);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data().toString());
    painter->restore();

    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = backgroundColour(updating, selected, option.palette);
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize TUserTableDelegate::sizeHint(const QStyleOptionViewItem& /*option*/,
                                   const QModelIndex& index) const {
    const QFontMetrics metrics(cellFont());
    return {metrics.horizontalAdvance(index.data().toString()) + 2 * kTextInset,
            metrics.height() + kTextInset};
}

}  // namespace zv::admin
