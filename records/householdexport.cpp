#include "records/householdexport.h"

#include "common/gbkfile.h"
#include "common/reportfolder.h"
#include "store/recordset.h"

namespace {

QString text(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

// A field of `width` display columns for a text whose characters are counted as
// two columns each, ended by "|" and cut to its last `width` characters.
QString wideField(const QString& value, int width)
{
    return rightChars(spaces(width - 2 * int(value.size())) + value + QLatin1Char('|'), width);
}

// A line break in any value would break the one-line-per-household layout.
QString oneLine(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String(" "));
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

}  // namespace

QString HouseholdExport::line(const QVariant& door, const QVariant& name, const QVariant& phone,
                              const QVariant& unit, const QVariant& other)
{
    QString out;
    out += rightChars(spaces(20) + oneLine(text(door)) + QLatin1Char('|'), 20);
    out += wideField(oneLine(text(name)), 30);
    out += rightChars(spaces(20) + oneLine(text(phone)) + QLatin1Char('|'), 10);
    out += wideField(oneLine(text(unit)), 40);
    out += oneLine(text(other));
    return out;
}

QStringList HouseholdExport::lines(const RecordSet& households)
{
    const int door = households.columnIndex(QStringLiteral("门牌号"));
    const int name = households.columnIndex(QStringLiteral("户名"));
    const int phone = households.columnIndex(QStringLiteral("联系电话"));
    const int unit = households.columnIndex(QStringLiteral("单位"));
    const int other = households.columnIndex(QStringLiteral("其他信息"));
    QStringList out;
    const int n = households.count();
    out.reserve(n);
    for (int r = 0; r < n; ++r)
        out << line(households.valueAt(r, door), households.valueAt(r, name), households.valueAt(r, phone),
                    households.valueAt(r, unit), households.valueAt(r, other));
    return out;
}

QString HouseholdExport::write(const RecordSet& households, QStringList* questionMarked)
{
    const QString path = ensureReportFolder() + QLatin1Char('/') + fileName();
    const QList<int> replaced = writeGbkLines(path, lines(households));
    if (questionMarked) {
        questionMarked->clear();
        const int door = households.columnIndex(QStringLiteral("门牌号"));
        for (int r : replaced) {
            const QString d = text(households.valueAt(r, door)).trimmed();
            *questionMarked << (d.isEmpty() ? QStringLiteral("第 %1 行").arg(r + 1) : d);
        }
    }
    return path;
}
