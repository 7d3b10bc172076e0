#include "queries/querycells.h"

#include "common/dates.h"
#include "common/numbers.h"

namespace QueryCells {

QString name(const QVariant& v)
{
    const QString n = v.isNull() ? QString() : v.toString();
    return n.trimmed().isEmpty() ? QStringLiteral("无名") : n;
}

QString number(const QVariant& v, const QString& ifEmpty)
{
    if (!v.isValid() || v.isNull())
        return ifEmpty;
    if (v.typeId() == QMetaType::QString) {
        if (v.toString().isEmpty())
            return ifEmpty;
        return v.toString();
    }
    return plainNumber(v.toDouble());
}

QString prefixPattern(const QString& prefix)
{
    QString p;
    p.reserve(prefix.size() + 2);
    for (QChar c : prefix) {
        if (c == u'\\' || c == u'%' || c == u'_')
            p += u'\\';
        p += c;
    }
    p += u'%';
    return p;
}

QStringList buildingPatterns(const QString& building, const QString& separator)
{
    if (building.isEmpty() || separator.isEmpty())
        return {prefixPattern(building), prefixPattern(building)};
    QString exact = prefixPattern(building);
    exact.chop(1);
    const QString within = building.endsWith(separator) ? prefixPattern(building) : prefixPattern(building + separator);
    return {exact, within};
}

QString paidCondition(PaidState state, const QString& column)
{
    switch (state) {
    case PaidState::Paid:
        return QStringLiteral(" and ifnull(%1, 0) <> 0").arg(column);
    case PaidState::Unpaid:
        return QStringLiteral(" and ifnull(%1, 0) = 0").arg(column);
    case PaidState::Any:
        break;
    }
    return QString();
}

QString trimBlanks(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

}  // namespace QueryCells

QString DateCells::text(const QVariant& v, const QString& ifEmpty)
{
    if (!v.isValid() || v.isNull())
        return ifEmpty;
    const QString stored = v.toString();
    if (stored.trimmed().isEmpty())
        return ifEmpty;
    auto it = shown_.constFind(stored);
    if (it != shown_.constEnd())
        return *it;
    const QDate d = parseStoredDate(v);
    const QString out = d.isValid() ? shortDate(d) : stored;
    shown_.insert(stored, out);
    return out;
}
