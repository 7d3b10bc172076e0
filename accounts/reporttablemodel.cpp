#include "accounts/reporttablemodel.h"

#include <QFont>

void ReportTableModel::setTable(const ReportTable& table)
{
    beginResetModel();
    table_ = table;
    endResetModel();
}

int ReportTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(table_.rows.size()) + (table_.totals.isEmpty() ? 0 : 1);
}

int ReportTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.columnCount();
}

QVariant ReportTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const bool totals = index.row() >= table_.rows.size();
    const QVariantList& row = totals ? table_.totals : table_.rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return table_.text(row, index.column());
    case Qt::TextAlignmentRole:
        return int((table_.isNumberColumn(index.column()) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::FontRole:
        if (totals) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    default:
        return {};
    }
}

QVariant ReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return table_.header.value(section);
    return section + 1;
}
