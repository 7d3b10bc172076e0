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
