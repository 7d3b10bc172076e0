#pragma once

#include "common/tableout.h"

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
    // The table for a spreadsheet: numbers as numbers with their column's mask, the
    // rest as the text shown, the totals as its totals row.
    OutTable outTable(const QString& sheetName) const;

private:
    OutRow outRow(const QVariantList& row) const;
};
