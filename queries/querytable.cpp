#include "queries/querytable.h"

QString QueryTable::cell(int row, int column) const
{
    if (row < 0 || row >= rows_.size())
        return QString();
    const QStringList& cells = rows_.at(row).cells;
    return column >= 0 && column < cells.size() ? cells.at(column) : QString();
}

void QueryTable::addSeparator()
{
    rows_.append({RowKind::Separator, {QStringLiteral(" ")}});
}

void QueryTable::addRow(RowKind kind, QStringList cells)
{
    rows_.append({kind, std::move(cells)});
}

QueryTableModel::QueryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void QueryTableModel::setTable(QueryTable table)
{
    beginResetModel();
    table_ = std::move(table);
    endResetModel();
}

int QueryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.rowCount();
}

int QueryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.columnCount();
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= table_.rowCount() || index.column() >= table_.columnCount())
        return QVariant();
    if (role == Qt::DisplayRole)
        return table_.cell(index.row(), index.column());
    return QVariant();
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < table_.columnCount() ? QVariant(table_.headers().at(section)) : QVariant();
    return QVariant();
}
