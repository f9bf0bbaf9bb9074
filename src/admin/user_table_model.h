// The user table's rows for Qt's view: a read-only model over the host's
// TUserTable (which holds the texts). Row r of the model is row r + 1 of the
// table; the header row is the view's header. Main thread only.
#pragma once

#include <QAbstractTableModel>

namespace zv {
class TUserTable;
}

namespace zv::admin {

class TUserTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Does not own `table`, which must outlive the model.
    explicit TUserTableModel(const TUserTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The table's texts changed: adds rows the table gained and repaints all.
    void tableChanged();

    // True when the row's activity status reads "Updating".
    bool isUpdatingRow(int row) const;

private:
    const TUserTable& table_;
    int rows_ = 0;  // rows announced to the view
};

}  // namespace zv::admin
