#include "charging/billlines.h"

#include "common/numbers.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QHash>
#include <QStringList>
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
QHash<QString, double> previousReadings(Database& db, const QString& door, const QList<QVariant>& itemNos,
                                        const QString& month)
{
    QHash<QString, double> out;
    QVariantList args{door, month};
    QStringList rows;
    for (const QVariant& no : itemNos) {
        if (no.isNull() || !no.isValid())
            continue;  // a line's empty 项目号 equals nothing
        rows << QStringLiteral("select ?%1 as no").arg(args.size() + 1);
        args << no.toString();
    }
    if (rows.isEmpty())
        return out;
    Statement st = db.prepare(
        QStringLiteral("select i.no, (select 本月数 from 收费2 where 门牌号 = ?1 and +项目号 = i.no and 月份 = "
                       "(select max(月份) from 收费2 where 门牌号 = ?1 and +项目号 = i.no and 月份 < ?2) "
                       "order by ID limit 1) from (%1) i")
            .arg(rows.join(QLatin1String(" union all "))));
    for (int k = 0; k < args.size(); ++k)
        st.bind(k + 1, args[k]);
    while (st.step())
        out.insert(st.value(0).toString(), storedNumber(st.value(1)));
    return out;
}

double previousReading(Database& db, const QString& door, const QVariant& itemNo, const QString& month)
{
    return previousReadings(db, door, {itemNo}, month).value(itemNo.toString(), 0.0);
}

namespace {

// An item with a 项目号 (a line's empty one equals nothing).
bool numbered(const BillItem& item)
{
    return !item.no.isNull() && item.no.isValid();
}

// What a household's bill finds before its lines are written: the first line of
// each item this month, by table, and the previous readings of its metered items.
struct Found {
    QHash<QString, qint64> lines[2];  // 收费1, 收费2 by 项目号
    QHash<QString, double> previous;

    static Found of(Database& db, const QString& door, const QString& month, const QList<BillItem>& items)
    {
        Found f;
        Statement st = db.prepare(QStringLiteral(
            "select 0, 项目号, ID from 收费1 where 门牌号 = ?1 and 月份 = ?2 "
            "union all select 1, 项目号, ID from 收费2 where 门牌号 = ?1 and 月份 = ?2 order by 3"));
        st.bind(1, door);
        st.bind(2, month);
        while (st.step())
            if (!st.value(1).isNull())
                f.lines[st.value(0).toInt()].insert(st.value(1).toString(), st.value(2).toLongLong());
        QList<QVariant> metered;
        for (const BillItem& item : items)
            if (item.computed && item.metered)
                metered << item.no;
        f.previous = previousReadings(db, door, metered, month);
        return f;
    }
    // The line an item writes: the one found, or 0 for a new one.
    qint64 line(const BillItem& item) const
    {
        return numbered(item) ? lines[item.computed ? 1 : 0].value(item.no.toString()) : 0;
    }
};

// One line as the bill writes it.
struct Line {
    const BillItem* item = nullptr;
    qint64 id = 0;  // the line rewritten, 0 for a new one
    double previous = 0, current = 0, price = 0, amount = 0;
};

Line workOut(const BillItem& item, const Found& found, double area, BillAnswers& answers)
{
    Line l;
    l.item = &item;
    l.id = found.line(item);
    if (item.computed) {
        double previous = item.metered ? found.previous.value(item.no.toString(), 0.0) : 0.0;
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
        l.previous = previous;
        l.current = current;
        l.price = price;
        l.amount = amount;
    } else {
        double amount = answers.amount(item);
        if (item.byArea)
            amount *= area;
        l.amount = amount;
    }
    return l;
}

const char* const kFixedColumns = "insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values ";
const char* const kComputedColumns = "insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) values ";

// The values of a new line, in its table's column order.
QVariantList newLineValues(const Line& l, const QString& door, const QString& month)
{
    if (l.item->computed)
        return {door, month, l.item->no, l.item->lineName(), l.previous, l.current, l.price, l.amount};
    return {door, month, l.item->no, l.item->lineName(), l.amount};
}

BillDraft::Rewrite rewriteOf(const Line& l)
{
    return {l.item->computed, l.id, l.previous, l.current, l.price, l.amount};
}

void rewriteLine(Database& db, const BillDraft::Rewrite& r)
{
    if (r.computed)
        db.exec(QStringLiteral("update 收费2 set 上月数 = ?, 本月数 = ?, 单价 = ?, 收费金额 = ? where ID = ?"),
                {r.previous, r.current, r.price, r.amount, r.id});
    else
        db.exec(QStringLiteral("update 收费1 set 收费金额 = ? where ID = ?"), {r.amount, r.id});
}

// A new unpaid bill; returns its ID.
qint64 insertBill(Database& db, const QString& door, const QString& month, double total, const QString& note)
{
    db.exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 实缴金额, 收费金额, 其他说明, 缴费标志) "
                           "values (?, ?, 0, ?, ?, 0)"),
            {door, month, total, note});
    return db.lastInsertRowId();
}

// Inserts new lines of one table in one statement.
void insertLines(Database& db, const QList<QVariantList>& rows, const char* head)
{
    if (rows.isEmpty())
        return;
    QStringList groups;
    QVariantList args;
    const QString one = QStringLiteral("(%1)").arg(QStringList(rows.first().size(), QStringLiteral("?")).join(QLatin1String(", ")));
    for (const QVariantList& r : rows) {
        groups << one;
        args << r;
    }
    db.exec(QString::fromUtf8(head) + groups.join(QLatin1String(", ")), args);
}

}  // namespace

qint64 writeBill(Database& db, const QString& door, const QString& month, const QString& note, double area,
                 qint64 billId, const QList<BillItem>& items, BillAnswers& answers)
{
    // The bill is unpaid from here on (a new bill is saved now).
    if (billId == 0) {
        billId = insertBill(db, door, month, 0.0, note);
    } else {
        db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0 where ID = ?"), {billId});
    }

    Found found = Found::of(db, door, month, items);
    double total = 0.0;
    for (const BillItem& item : items) {
        const Line l = workOut(item, found, area, answers);
        if (l.id == 0) {
            insertLines(db, {newLineValues(l, door, month)}, item.computed ? kComputedColumns : kFixedColumns);
            if (numbered(item))
                found.lines[item.computed ? 1 : 0].insert(item.no.toString(), db.lastInsertRowId());
        } else {
            rewriteLine(db, rewriteOf(l));
        }
        total += savedAmount(l.amount);
    }

    // The total of the saved lines.
    db.exec(QStringLiteral("update 缴费历史 set 收费金额 = ? where ID = ?"), {total, billId});
    return billId;
}

BillDraft draftBill(Database& db, const QString& door, const QString& month, double area, qint64 billId,
                    const QList<BillItem>& items, BillAnswers& answers)
{
    BillDraft d;
    d.door = door;
    d.month = month;
    d.billId = billId;
    const Found found = Found::of(db, door, month, items);
    d.linesFound[0] = !found.lines[0].isEmpty();
    d.linesFound[1] = !found.lines[1].isEmpty();
    // Items sharing a 项目号 write one line, as they do step by step: the later rewrites it.
    QHash<QString, int> pending[2];
    for (const BillItem& item : items) {
        const Line l = workOut(item, found, area, answers);
        d.total += savedAmount(l.amount);
        const int table = item.computed ? 1 : 0;
        const bool named = numbered(item);
        if (l.id != 0) {
            d.rewritten.append(rewriteOf(l));
        } else if (named && pending[table].contains(item.no.toString())) {
            QVariantList& row = d.newLines[table][pending[table].value(item.no.toString())];
            if (item.computed)
                row = {row[0], row[1], row[2], row[3], l.previous, l.current, l.price, l.amount};
            else
                row[4] = l.amount;
        } else {
            if (named)
                pending[table].insert(item.no.toString(), int(d.newLines[table].size()));
            d.newLines[table].append(newLineValues(l, door, month));
        }
    }
    return d;
}

qint64 saveBill(Database& db, const BillDraft& d, const QString& note)
{
    qint64 billId = d.billId;
    if (billId == 0) {
        billId = insertBill(db, d.door, d.month, d.total, note);
    } else {
        db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0, 收费金额 = ? where ID = ?"), {d.total, billId});
    }
    for (const BillDraft::Rewrite& r : d.rewritten)
        rewriteLine(db, r);
    insertLines(db, d.newLines[0], kFixedColumns);
    insertLines(db, d.newLines[1], kComputedColumns);
    return billId;
}
