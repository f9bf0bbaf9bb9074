// The user table's header row, drawn like the table's fixed row: button-face
// background, bold Arial 10 points, text 2 pixels in from the left and top.
#pragma once

#include <QHeaderView>

namespace zv::admin {

class TUserTableHeader : public QHeaderView {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 19;

    explicit TUserTableHeader(QWidget* parent = nullptr);

    static QFont headerFont();
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

}  // namespace zv::admin
