// Cell drawing and set-up shared by the phonebook and status change log grids:
// Arial 10 points, text 2 pixels in from the left and top edges, highlight
// background with window-coloured text for selected cells, black on the window
// colour otherwise, and a focus rectangle on the current cell.
#pragma once

#include <QStyledItemDelegate>

class QTableWidget;

namespace zv::admin {

class GridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GridCellDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Row height of the maintenance grids, in pixels.
inline constexpr int kGridRowHeight = 19;

// Sets up `grid` as a read-only string grid: the given column headers and
// widths (bold Arial 10 header), no row header, whole-row and range selection,
// adjustable column widths, rows of kGridRowHeight pixels, cells drawn by
// GridCellDelegate.
void setUpStringGrid(QTableWidget* grid, const QStringList& headers, const QList<int>& widths);

// Replaces the rows of `grid` with `rows` (each a list of cell texts, one
// per column); keeps the current row where it was when it still exists.
void fillStringGrid(QTableWidget* grid, const QList<QStringList>& rows);

}  // namespace zv::admin
