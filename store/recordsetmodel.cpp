#include "store/recordsetmodel.h"

#include "common/numbers.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QDate>
#include <cmath>

RecordSetModel::RecordSetModel(RecordSet& rs, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), rs_(rs), cols_(std::move(columns))
{
    for (GridColumn& c : cols_) {
        fields_ << rs_.columnIndex(c.field);
        if (c.caption.isEmpty())
            c.caption = c.field;
    }
    connect(&rs_, &RecordSet::rowsReset, this, [this] {
        beginResetModel();
        endResetModel();
    });
    // A new row takes the place of the new-row line, which moves down.
    connect(&rs_, &RecordSet::rowAboutToBeInserted, this, [this](int row) { beginInsertRows(QModelIndex(), row, row); });
    connect(&rs_, &RecordSet::rowInserted, this, [this](int) { endInsertRows(); });
    connect(&rs_, &RecordSet::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
    connect(&rs_, &RecordSet::rowRemoved, this, [this](int) { endRemoveRows(); });
    connect(&rs_, &RecordSet::valueChanged, this, [this](int row, int field) {
        for (int c = 0; c < fields_.size(); ++c)
            if (fields_[c] == field)
                emit dataChanged(index(row, c), index(row, c));
    });
}

void RecordSetModel::setNewRowLine(bool on)
{
    if (on == newRowLine_)
        return;
    beginResetModel();
    newRowLine_ = on;
    endResetModel();
}

bool RecordSetModel::isNewRowLine(int row) const
{
    return newRowLine_ && row == rs_.count();
}

int RecordSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !rs_.isOpen())
        return 0;
    return rs_.count() + (newRowLine_ ? 1 : 0);
}

int RecordSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(cols_.size());
}

int RecordSetModel::fieldOf(int column) const
{
    return fields_.value(column, -1);
}

GridColumn::Kind RecordSetModel::kindOf(int column) const
{
    const GridColumn& c = cols_[column];
    if (c.kind != GridColumn::Kind::Auto)
        return c.kind;
    const QString type = rs_.declaredType(c.field);
    if (type == QLatin1String("REAL"))
        return GridColumn::Kind::Number;
    if (type == QLatin1String("INTEGER") && !rs_.isAutoNumber(fieldOf(column)))
        return GridColumn::Kind::Bool;
    if (c.field.contains(QStringLiteral("时间")))
        return GridColumn::Kind::Date;
    return GridColumn::Kind::Text;
}

QString RecordSetModel::displayText(int row, int column) const
{
    if (column < 0 || column >= cols_.size() || isNewRowLine(row))
        return QString();
    const QVariant v = rs_.valueAt(row, fieldOf(column));
    if (v.isNull() || !v.isValid())
        return QString();
    const GridColumn& c = cols_[column];
    switch (kindOf(column)) {
    case GridColumn::Kind::Bool:
        return QString();
    case GridColumn::Kind::Number: {
        bool ok = true;
        const double d = v.typeId() == QMetaType::QString ? v.toString().toDouble(&ok) : v.toDouble();
        if (!ok)
            return v.toString();
        return c.format.isEmpty() ? plainNumber(d) : formatMask(d, c.format);
    }
    case GridColumn::Kind::Date: {
        const QString t = v.toString();
        QDate d = QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid())
            return t;
        return c.format.isEmpty() ? d.toString(QStringLiteral("yyyy-MM-dd")) : d.toString(c.format);
    }
    default:
        return v.toString();
    }
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int row = index.row(), col = index.column();
    const GridColumn::Kind kind = kindOf(col);
    switch (role) {
    case Qt::DisplayRole:
        return displayText(row, col);
    case Qt::EditRole: {
        if (isNewRowLine(row))
            return QString();
        const QVariant v = rs_.valueAt(row, fieldOf(col));
        if (kind == GridColumn::Kind::Number && !v.isNull())
            return plainNumber(v.toDouble());
        return v.isNull() ? QString() : v.toString();
    }
    case Qt::CheckStateRole:
        if (kind != GridColumn::Kind::Bool || isNewRowLine(row))
            return QVariant();
        return Criterion::valueIsTrue(rs_.valueAt(row, fieldOf(col))) ? Qt::Checked : Qt::Unchecked;
    case Qt::TextAlignmentRole:
        if (kind == GridColumn::Kind::Number)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (o == Qt::Horizontal)
        return cols_.value(section).caption;
    if (isNewRowLine(section))
        return QStringLiteral("*");
    return section + 1;
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const bool editable = !readOnly_ && cols_[index.column()].editable && fieldOf(index.column()) >= 0;
    if (editable) {
        if (kindOf(index.column()) == GridColumn::Kind::Bool)
            f |= Qt::ItemIsUserCheckable;
        else
            f |= Qt::ItemIsEditable;
    }
    return f;
}

bool RecordSetModel::toStored(const QString& text, GridColumn::Kind kind, QVariant& out)
{
    switch (kind) {
    case GridColumn::Kind::Number: {
        if (narrowDigits(text).trimmed().isEmpty()) {
            out = QVariant();
            return true;
        }
        const std::optional<double> d = boxNumber(text);
        if (!d)
            return false;
        out = *d;
        return true;
    }
    case GridColumn::Kind::Bool:
        out = QVariant(qlonglong(Criterion::valueIsTrue(text) ? 1 : 0));
        return true;
    default:
        out = text;
        return true;
    }
}

bool RecordSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || !(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)))
        return false;
    const GridColumn::Kind kind = kindOf(index.column());
    QVariant stored;
    if (role == Qt::CheckStateRole && kind == GridColumn::Kind::Bool)
        stored = QVariant(qlonglong(value.toInt() == Qt::Checked ? 1 : 0));
    else if (role == Qt::EditRole && toStored(value.toString(), kind, stored))
        ;
    else {
        if (role == Qt::EditRole && kind == GridColumn::Kind::Number) {
            const QVariant caption = headerData(index.column(), Qt::Horizontal, Qt::DisplayRole);
            if (onError_)
                onError_(notANumberText(caption.toString(), value.toString()));
            emit refused(index);
        }
        return false;
    }
    try {
        int row = index.row();
        if (isNewRowLine(row)) {
            rs_.addNew();
            row = rs_.position();
        }
        rs_.setValueAt(row, fieldOf(index.column()), stored);
        return true;
    } catch (const StoreError& e) {
        if (onError_)
            onError_(e.message());
        return false;
    }
}
