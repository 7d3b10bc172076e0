#include "charging/billlines.h"

#include "common/numbers.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/recordset.h"

#include <cmath>

namespace {

QString text(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

// A REAL column gives back the double it was given, except NaN, which SQLite stores
// as NULL and the bill reads as 0.
double savedAmount(double amount)
{
    return std::isnan(amount) ? 0.0 : amount;
}

}  // namespace

QString BillItem::lineName() const
{
    return name + (byArea ? QStringLiteral("(按面积)") : QString());
}

QString offeredFixed(const QVariant& fixed)
{
    return plainNumber(storedNumber(fixed));
}

QList<BillItem> chargeItems(RecordSet& rs)
{
    rs.open();
    QList<BillItem> items;
    const int n = rs.count();
    items.reserve(n);
    for (int i = 0; i < n; ++i) {
        items.append({rs.valueAt(i, QStringLiteral("项目号")), text(rs.valueAt(i, QStringLiteral("项目名"))),
                      rs.valueAt(i, QStringLiteral("固定收费")),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("计算标志"))),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("项目标志"))),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("按面积")))});
    }
    return items;
}

// "+项目号" keeps the lookups on the door-and-month index; the item index would walk
// every household's lines of the item.
double previousReading(Database& db, const QString& door, const QVariant& itemNo, const QString& month)
{
    const QVariant earlier = db.scalar(
        QStringLiteral("select max(月份) from 收费2 where 门牌号 = ? and +项目号 = ? and 月份 < ?"), {door, itemNo, month});
    if (earlier.isNull())
        return 0.0;
    const QList<QVariantList> reading = db.query(
        QStringLiteral("select 本月数 from 收费2 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1"),
        {door, earlier, itemNo});
    return reading.isEmpty() ? 0.0 : storedNumber(reading.first().value(0));
}

qint64 writeBill(Database& db, const QString& door, const QString& month, const QString& note, double area,
                 qint64 billId, const QList<BillItem>& items, BillAnswers& answers)
{
    // The bill is unpaid from here on (a new bill is saved now).
    if (billId == 0) {
        db.exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 实缴金额, 收费金额, 其他说明, 缴费标志) "
                               "values (?, ?, 0, 0, ?, 0)"),
                {door, month, note});
        billId = db.lastInsertRowId();
    } else {
        db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0 where ID = ?"), {billId});
    }

    double total = 0.0;
    for (const BillItem& item : items) {
        const QString lineName = item.lineName();
        qint64 lineId = 0;
        if (item.computed) {
            const QVariant existing = db.scalar(
                QStringLiteral("select ID from 收费2 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1"),
                {door, month, item.no});
            lineId = existing.isNull() ? 0 : existing.toLongLong();

            double previous = item.metered ? previousReading(db, door, item.no, month) : 0.0;
            double current = 0.0;
            if (item.metered) {
                current = answers.reading(item, previous);
                if (current < previous)
                    previous = answers.correctedPrevious(item, previous);
            } else {
                current = answers.quantity(item);
            }
            const double price = answers.price(item);
            double amount = item.metered ? (current - previous) * price : current * price;
            if (item.byArea)
                amount *= area;

            if (lineId == 0) {
                db.exec(QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                                       "values (?, ?, ?, ?, ?, ?, ?, ?)"),
                        {door, month, item.no, lineName, previous, current, price, amount});
                lineId = db.lastInsertRowId();
            } else {
                db.exec(QStringLiteral("update 收费2 set 上月数 = ?, 本月数 = ?, 单价 = ?, 收费金额 = ? where ID = ?"),
                        {previous, current, price, amount, lineId});
            }
            total += savedAmount(amount);
        } else {
            const QVariant existing = db.scalar(
                QStringLiteral("select ID from 收费1 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1"),
                {door, month, item.no});
            lineId = existing.isNull() ? 0 : existing.toLongLong();

            double amount = answers.amount(item);
            if (item.byArea)
                amount *= area;

            if (lineId == 0) {
                db.exec(QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values (?, ?, ?, ?, ?)"),
                        {door, month, item.no, lineName, amount});
                lineId = db.lastInsertRowId();
            } else {
                db.exec(QStringLiteral("update 收费1 set 收费金额 = ? where ID = ?"), {amount, lineId});
            }
            total += savedAmount(amount);
        }
    }

    // The total of the saved lines.
    db.exec(QStringLiteral("update 缴费历史 set 收费金额 = ? where ID = ?"), {total, billId});
    return billId;
}
