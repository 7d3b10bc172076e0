#include "accounts/reporttable.h"

#include "common/numbers.h"

QString ReportTable::text(const QVariantList& row, int column) const
{
    const QVariant v = row.value(column);
    if (v.isNull() || !v.isValid())
        return QString();
    const QString mask = masks.value(column);
    if (!mask.isEmpty() && v.typeId() != QMetaType::QString)
        return formatMask(v.toDouble(), mask);
    return v.toString();
}

OutRow ReportTable::outRow(const QVariantList& row) const
{
    OutRow out;
    for (int c = 0; c < columnCount(); ++c) {
        const QVariant v = row.value(c);
        if (v.isNull() || !v.isValid())
            out << OutCell::empty();
        else if (isNumberColumn(c) && v.typeId() != QMetaType::QString)
            out << OutCell::ofNumber(v.toDouble(), masks.value(c));
        else
            out << OutCell::ofText(text(row, c));
    }
    return out;
}

OutTable ReportTable::outTable(const QString& sheetName) const
{
    OutTable t;
    t.sheetName = sheetName;
    t.header = header;
    for (const QVariantList& row : rows)
        t.rows << outRow(row);
    if (!totals.isEmpty())
        t.totals = outRow(totals);
    return t;
}
