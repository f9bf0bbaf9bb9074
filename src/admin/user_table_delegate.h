// tableUsersDrawCell: draws every cell of the user table. Arial 10 points;
// rows whose activity status reads "Updating" in green on aqua; selected
// cells on the highlight colour (white text, except green for "Updating");
// others black on the window colour; text 2 pixels in from the left and top
// edges, clipped to the cell; the focus rectangle on the focused cell.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace zv::admin {

class TUserTableDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static inline const QColor kUpdatingText{0, 128, 0};
    static inline const QColor kUpdatingBackground{0, 255, 255};
    static constexpr int kTextInset = 2;

    explicit TUserTableDelegate(QObject* parent = nullptr);

    // The colours a cell is drawn with, from its state and its row's status.
    static QColor textColour(bool updating, bool selected);
    static QColor backgroundColour(bool updating, bool selected, const QPalette& palette);
    static QFont cellFont();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace zv::admin
