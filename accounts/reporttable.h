#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// A table as a window shows it: captions, rows of typed cells (numbers stay
// numbers), a display mask per column (empty: the cell's plain text) and an
// optional totals row. Windows show it, documents print it, exports write it.
struct ReportTable {
    QStringList header;
    QStringList masks;  // one per column
    QList<QVariantList> rows;
    QVariantList totals;  // empty: no totals row

    int columnCount() const { return int(header.size()); }
    // A cell as shown: numbers through the column's mask, null as nothing.
    QString text(const QVariantList& row, int column) const;
    QString text(int row, int column) const { return text(rows.value(row), column); }
    bool isNumberColumn(int column) const { return !masks.value(column).isEmpty(); }
};
