#include "charging/monthrun.h"

#include "charging/readingsheet.h"
#include "charging/singleentry.h"
#include "store/criterion.h"
#include "store/database.h"

namespace {

const QStringList kTables = {QStringLiteral("缴费历史"), QStringLiteral("收费1"), QStringLiteral("收费2")};

QString shadow(const QString& table)
{
    return QStringLiteral("账单撤销_") + table;
}

// The run's answers for one household: the sheet's numbers, the offered 固定收费.
class SheetAnswers : public BillAnswers {
public:
    SheetAnswers(const ReadingSheet& sheet, const QString& door) : sheet_(sheet), door_(door) {}
    double reading(const BillItem& item, double) override { return row(item).reading.value_or(0.0); }
    double correctedPrevious(const BillItem& item, double previous) override
    {
        const SheetRow& r = row(item);
        return r.newStart ? *r.newStart : previous;
    }
    double quantity(const BillItem& item) override { return row(item).reading.value_or(0.0); }
    double price(const BillItem& item) override { return row(item).unitPrice(item); }
    double amount(const BillItem& item) override { return ReadingSheet::offeredValue(item); }

private:
    const SheetRow& row(const BillItem& item) const
    {
        const int i = sheet_.rowOf(door_, item.no);
        if (i < 0)
            throw StoreError(0, QStringLiteral("no sheet row for %1 %2").arg(door_, item.no.toString()));
        return sheet_.row(i);
    }
    const ReadingSheet& sheet_;
    QString door_;
};

struct Cancelled {};

}  // namespace

MonthRun::MonthRun(Database& db, const ReadingSheet& sheet) : db_(db), sheet_(sheet) {}

QList<MonthRun::Target> MonthRun::targets(bool recomputeUnpaid, Plan* plan) const
{
    // The bill of a door number and month is its first by ID, as bill entry finds it.
    QHash<QString, QPair<qint64, bool>> bills;
    Statement st = db_.prepare(QStringLiteral("select 门牌号, ID, 缴费标志 from 缴费历史 where 月份 = ? order by ID"));
    st.bind(1, sheet_.month());
    while (st.step()) {
        const QString door = st.value(0).toString();
        if (!bills.contains(door))
            bills.insert(door, {st.value(1).toLongLong(), Criterion::valueIsTrue(st.value(2))});
    }

    QList<Target> out;
    const auto& hs = sheet_.households();
    for (int h = 0; h < hs.size(); ++h) {
        const SheetHousehold& hh = hs[h];
        const auto it = bills.constFind(hh.door);
        if (it == bills.constEnd()) {
            out.append({h, 0});
            if (plan)
                plan->newBills << hh.door;
        } else if (it->second) {
            if (plan)
                plan->paidSkipped << hh.door;
            continue;
        } else if (!recomputeUnpaid) {
            if (plan)
                plan->unpaidSkipped << hh.door;
            continue;
        } else {
            out.append({h, it->first});
            if (plan)
                plan->recomputed << hh.door;
        }
    }
    return out;
}

MonthRun::Plan MonthRun::plan(bool recomputeUnpaid) const
{
    Plan p;
    p.households = int(sheet_.households().size());
    const QList<Target> ts = targets(recomputeUnpaid, &p);
    const QList<BillItem>& items = sheet_.items();
    for (const Target& t : ts) {
        const SheetHousehold& h = sheet_.households()[t.household];
        double total = 0;
        for (const BillItem& item : items) {
            if (item.needsNumber()) {
                const int i = sheet_.rowOf(h.door, item.no);
                const SheetRow& r = sheet_.row(i);
                if (r.blocks(item))
                    p.blocking << i;
                total += r.amount(item);
            } else {
                double a = ReadingSheet::offeredValue(item);
                if (item.byArea)
                    a *= h.area;
                total += a;
            }
        }
        p.byBuilding[buildingOf(h.door)] += total;
        p.total += total;
    }
    return p;
}

void MonthRun::ensureUndoTables(Database& db)
{
    db.execScript(QStringLiteral(
        "create table if not exists 账单撤销 (表名 TEXT, 起 INTEGER, 止 INTEGER, 序号 INTEGER, 月份 TEXT)"));
    for (const QString& t : kTables)
        db.execScript(QStringLiteral("create table if not exists %1 as select * from %2 where 0").arg(shadow(t), t));
}

MonthRun::Result MonthRun::run(bool recomputeUnpaid, RunProgress* progress)
{
    Result r;
    Plan p = plan(recomputeUnpaid);
    if (!p.blocking.isEmpty()) {
        r.outcome = Outcome::Blocked;
        return r;
    }
    const QList<Target> ts = targets(recomputeUnpaid, nullptr);
    if (ts.isEmpty()) {
        r.outcome = Outcome::Nothing;
        return r;
    }
    const QString month = sheet_.month();
    try {
        ensureUndoTables(db_);
        Transaction t(db_);
        // The last run's undo gives way to this one's.
        db_.exec(QStringLiteral("delete from 账单撤销"));
        QHash<QString, qint64> before;
        for (const QString& table : kTables) {
            db_.exec(QStringLiteral("delete from %1").arg(shadow(table)));
            before.insert(table, db_.scalar(QStringLiteral("select coalesce(max(ID), 0) from %1").arg(table)).toLongLong());
            const QVariant seq = db_.scalar(QStringLiteral("select seq from sqlite_sequence where name = ?"), {table});
            db_.exec(QStringLiteral("insert into 账单撤销 (表名, 起, 序号, 月份) values (?, ?, ?, ?)"),
                     {table, before.value(table), seq, month});
        }
        const int n = int(ts.size());
        for (int k = 0; k < n; ++k) {
            if (progress && k % 25 == 0 && !progress->proceed(k, n))
                throw Cancelled{};
            const Target& tg = ts[k];
            const SheetHousehold& h = sheet_.households()[tg.household];
            if (tg.billId != 0) {
                db_.exec(QStringLiteral("insert into 账单撤销_缴费历史 select * from 缴费历史 where ID = ?"), {tg.billId});
                for (const QString& lines : {QStringLiteral("收费1"), QStringLiteral("收费2")})
                    db_.exec(QStringLiteral("insert into %1 select * from %2 where 门牌号 = ? and 月份 = ?")
                                 .arg(shadow(lines), lines),
                             {h.door, month});
                ++r.recomputed;
            } else {
                ++r.newBills;
            }
            SheetAnswers answers(sheet_, h.door);
            writeBill(db_, h.door, month, h.note, h.area, tg.billId, sheet_.items(), answers);
        }
        if (progress && !progress->proceed(n, n))
            throw Cancelled{};
        for (const QString& table : kTables)
            db_.exec(QStringLiteral("update 账单撤销 set 止 = (select coalesce(max(ID), 0) from %1) where 表名 = ?").arg(table),
                     {table});
        t.commit();
    } catch (const Cancelled&) {
        return {Outcome::Cancelled, 0, 0, {}, {}};
    } catch (const StoreError& e) {
        return {Outcome::Failed, 0, 0, {}, e.message()};
    }
    for (const Target& tg : ts) {
        const SheetHousehold& h = sheet_.households()[tg.household];
        if (SingleEntry::noteReminds(h.note, month))
            r.reminders << h.door;
    }
    return r;
}

QString MonthRun::undoableMonth(Database& db)
{
    ensureUndoTables(db);
    return db.scalar(QStringLiteral("select 月份 from 账单撤销 where 止 is not null limit 1")).toString();
}

QStringList MonthRun::collectedSince(Database& db)
{
    QStringList out;
    const QString month = undoableMonth(db);
    if (month.isEmpty())
        return out;
    // The run's bills: those it added and those it recomputed.
    const QList<QVariantList> ranges = db.query(QStringLiteral("select 表名, 起, 止 from 账单撤销"));
    QList<qint64> bills;
    for (const QVariantList& row : ranges)
        if (row.value(0).toString() == QStringLiteral("缴费历史")) {
            Statement st = db.prepare(QStringLiteral("select ID from 缴费历史 where ID > ? and ID <= ? union "
                                                     "select ID from 账单撤销_缴费历史"));
            st.bind(1, row.value(1)).bind(2, row.value(2));
            while (st.step())
                bills << st.value(0).toLongLong();
        }
    for (qint64 id : bills) {
        const QList<QVariantList> b =
            db.query(QStringLiteral("select 门牌号, 月份, 缴费标志 from 缴费历史 where ID = ?"), {id});
        if (b.isEmpty())
            continue;
        const QVariant dated = db.scalar(
            QStringLiteral("select count(*) from (select ID from 收费1 where 门牌号 = ? and 月份 = ? and 缴费时间 is not null "
                           "union all select ID from 收费2 where 门牌号 = ? and 月份 = ? and 缴费时间 is not null)"),
            {b[0][0], b[0][1], b[0][0], b[0][1]});
        if (Criterion::valueIsTrue(b[0][2]) || dated.toLongLong() > 0)
            out << b[0][0].toString();
    }
    return out;
}

bool MonthRun::undo(Database& db)
{
    if (undoableMonth(db).isEmpty() || !collectedSince(db).isEmpty())
        return false;
    Transaction t(db);
    const QList<QVariantList> log = db.query(QStringLiteral("select 表名, 起, 止, 序号 from 账单撤销"));
    for (const QVariantList& row : log) {
        const QString table = row.value(0).toString();
        if (!kTables.contains(table))
            continue;
        db.exec(QStringLiteral("delete from %1 where ID > ? and ID <= ?").arg(table), {row.value(1), row.value(2)});
        db.exec(QStringLiteral("insert or replace into %1 select * from %2").arg(table, shadow(table)));
        // The autonumber goes back where it stood, never below a row that exists.
        if (row.value(3).isNull()) {
            db.exec(QStringLiteral("delete from sqlite_sequence where name = ? and (select count(*) from %1) = 0").arg(table),
                    {table});
        } else {
            db.exec(QStringLiteral("update sqlite_sequence set seq = max(?, (select coalesce(max(ID), 0) from %1)) "
                                   "where name = ?")
                        .arg(table),
                    {row.value(3), table});
        }
        db.exec(QStringLiteral("delete from %1").arg(shadow(table)));
    }
    db.exec(QStringLiteral("delete from 账单撤销"));
    t.commit();
    return true;
}
