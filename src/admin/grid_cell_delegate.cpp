#include "admin/grid_cell_delegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QTableWidget>

namespace zv::admin {

namespace {

QFont gridFont(bool bold) {
    QFont font(QStringLiteral("Arial"), 10);
    font.setBold(bold);
    return font;
}

}  // namespace

GridCellDelegate::GridCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    const QRect rect = option.rect;

    painter->save();
    painter->fillRect(rect, selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
    painter->setFont(gridFont(false));
    painter->setPen(selected ? palette.color(QPalette::Base) : QColor(Qt::black));
    painter->setClipRect(rect);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFontMetrics metrics(painter->font());
    painter->drawText(rect.left() + 2, rect.top() + 2 + metrics.ascent(), text);
    painter->restore();

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.rect = rect;
        focus.state = option.state | QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor = selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base);
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
}

QSize GridCellDelegate::sizeHint(const QStyleOptionViewItem& /*option*/, const QModelIndex& index) const {
    const QFontMetrics metrics(gridFont(false));
    return QSize(metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 4, kGridRowHeight);
}

void setUpStringGrid(QTableWidget* grid, const QStringList& headers, const QList<int>& widths) {
    grid->setColumnCount(static_cast<int>(headers.size()));
    grid->setHorizontalHeaderLabels(headers);
    grid->setItemDelegate(new GridCellDelegate(grid));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setWordWrap(false);
    grid->setShowGrid(true);
    grid->setFont(gridFont(false));

    QHeaderView* rowHeader = grid->verticalHeader();
    rowHeader->hide();
    rowHeader->setMinimumSectionSize(kGridRowHeight);
    rowHeader->setDefaultSectionSize(kGridRowHeight);
    rowHeader->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* columns = grid->horizontalHeader();
    columns->setFont(gridFont(true));
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setFixedHeight(kGridRowHeight + 2);
    for (int c = 0; c < widths.size() && c < grid->columnCount(); ++c) grid->setColumnWidth(c, widths[c]);
}

void fillStringGrid(QTableWidget* grid, const QList<QStringList>& rows) {
    const int oldRow = grid->currentRow();
    const int oldColumn = grid->currentColumn() < 0 ? 0 : grid->currentColumn();
    grid->setUpdatesEnabled(false);
    grid->clearContents();
    grid->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList& cells = rows[r];
        for (int c = 0; c < grid->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(c < cells.size() ? cells[c] : QString());
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            grid->setItem(r, c, item);
        }
    }
    if (!rows.isEmpty()) {
        const int row = oldRow < 0 ? 0 : std::min(oldRow, static_cast<int>(rows.size()) - 1);
        grid->setCurrentCell(row, oldColumn);
    }
    grid->setUpdatesEnabled(true);
}

}  // namespace zv::admin
