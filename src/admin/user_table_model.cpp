#include "admin/user_table_model.h"

#include "admin/maintenance_actions.h"
#include "host/user_table.h"

namespace zv::admin {

TUserTableModel::TUserTableModel(const TUserTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), rows_(table.rowCount()) {}

int TUserTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TUserTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TUserTable::kColumns;
}

QVariant TUserTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= TUserTable::kColumns) {
        return {};
    }
    if (role == Qt::DisplayRole) return toQt(table_.cell(index.row() + 1, index.column()));
    return {};
}

QVariant TUserTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= TUserTable::kColumns) return {};
    return toQt(TUserTable::headerTexts()[static_cast<std::size_t>(section)]);
}

void TUserTableModel::tableChanged() {
    const int now = table_.rowCount();
    if (now > rows_) {
        beginInsertRows(QModelIndex(), rows_, now - 1);
        rows_ = now;
        endInsertRows();
    } else if (now < rows_) {
        beginRemoveRows(QModelIndex(), now, rows_ - 1);
        rows_ = now;
        endRemoveRows();
    }
    if (rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, TUserTable::kColumns - 1),
                         {Qt::DisplayRole});
    }
}

bool TUserTableModel::isUpdatingRow(int row) const {
    return row >= 0 && row < rows_ && table_.cell(row + 1, 1) == TUserTable::kUpdating;
}

}  // namespace zv::admin
