#include "records/householdexport.h"

#include "common/tableout.h"

#include "common/gbkfile.h"
#include "common/numbers.h"
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
    const QList<QVariantList> rows = households.allRows();
    out.reserve(rows.size());
    for (const QVariantList& r : rows)
        out << line(r.value(door), r.value(name), r.value(phone), r.value(unit), r.value(other));
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

OutTable HouseholdExport::outTable(const RecordSet& households)
{
    static const QStringList columns{QStringLiteral("门牌号"), QStringLiteral("户名"),     QStringLiteral("联系电话"),
                                     QStringLiteral("单位"),   QStringLiteral("籍贯"),     QStringLiteral("账户余额"),
                                     QStringLiteral("面积"),   QStringLiteral("其他信息"), QStringLiteral("收费说明")};
    const QString money = QStringLiteral("#,##0.00");
    const QString area = QStringLiteral("0.00");
    OutTable t;
    t.sheetName = spreadsheetName();
    t.header = columns;
    double balance = 0;
    double areas = 0;
    QList<int> at;
    for (const QString& c : columns)
        at << households.columnIndex(c);
    const QList<QVariantList> rows = households.allRows();
    t.rows.reserve(rows.size());
    for (const QVariantList& r : rows) {
        OutRow row;
        for (int c = 0; c < columns.size(); ++c) {
            const QVariant v = r.value(at[c]);
            if (c == 5 || c == 6) {
                if (v.isNull()) {
                    row << OutCell::empty();
                    continue;
                }
                const double x = v.typeId() == QMetaType::QString ? typedNumber(v.toString()) : v.toDouble();
                (c == 5 ? balance : areas) += x;
                row << OutCell::ofNumber(x, c == 5 ? money : area);
            } else {
                row << (v.isNull() ? OutCell::empty() : OutCell::ofText(v.toString()));
            }
        }
        t.rows << row;
    }
    t.totals = OutRow{OutCell::ofText(QStringLiteral("合计")),
                      OutCell::ofText(QStringLiteral("%1户").arg(rows.size())),
                      OutCell::empty(),
                      OutCell::empty(),
                      OutCell::empty(),
                      OutCell::ofNumber(balance, money),
                      OutCell::ofNumber(areas, area)};
    return t;
}
