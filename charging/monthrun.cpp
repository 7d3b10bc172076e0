#include "charging/monthrun.h"

#include "charging/readingsheet.h"
#include "charging/singleentry.h"
#include "store/criterion.h"
#include "store/database.h"
#include "accounts/ledger.h"
#include "common/numbers.h"

#include <QSet>
#include <optional>

namespace {

const QStringList kTables = {QStringLiteral("缴费历史"), QStringLiteral("收费1"), QStringLiteral("收费2")};
const QString kLedger = QStringLiteral("账户流水");

// The rows of a table as they were before the run (recomputed bills and the lines
// of every billed household and month).
QString shadow(const QString& table)
{
    return QStringLiteral("账单撤销_") + table;
}

// The rows of a table as the run left them (every bill it wrote and its lines).
QString left(const QString& table)
{
    return QStringLiteral("账单撤销_生成后_") + table;
}

// The households the run billed, by their ID: the undo needs each under its door number.
const QString kHouseholds = QStringLiteral("账单撤销_住户");

// A previous reading that is no longer the one the sheet read.
struct StaleReading {};

// The run's answers for one household: the sheet's numbers, the offered 固定收费.
class SheetAnswers : public BillAnswers {
public:
    SheetAnswers(const ReadingSheet& sheet, const QString& door) : sheet_(sheet), door_(door) {}
    double reading(const BillItem& item, double previous) override
    {
        // The bill would use another previous reading than the one checked.
        const SheetRow& r = row(item);
        if (previous != r.previous)
            throw StaleReading{};
        return r.reading.value_or(0.0);
    }
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

// A household as the file holds it now.
struct Household {
    qint64 id = 0;
    double area = 0;
    QString note;
};

}  // namespace

QString MonthRun::busyText()
{
    return QStringLiteral("正在生成本月账单，生成结束之前不能保存其他改动，请稍后再试。");
}

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
    db.execScript(QStringLiteral("create table if not exists %1 (门牌号 TEXT, 档案ID INTEGER)").arg(kHouseholds));
    for (const QString& t : kTables)
        for (const QString& copy : {shadow(t), left(t)})
            db.execScript(QStringLiteral("create table if not exists %1 as select * from %2 where 0").arg(copy, t));
}

MonthRun::Result MonthRun::run(bool recomputeUnpaid, RunProgress* progress)
{
    Result r;
    const Plan p = plan(recomputeUnpaid);
    if (!p.blocking.isEmpty()) {
        r.outcome = Outcome::Blocked;
        return r;
    }
    if (p.newBills.isEmpty() && p.recomputed.isEmpty()) {
        r.outcome = Outcome::Nothing;
        return r;
    }
    const QString month = sheet_.month();
    QList<Target> ts;
    try {
        EstateLock lock(db_, QStringLiteral("生成本月账单"));
        ensureUndoTables(db_);
        Transaction t(db_);
        // Events are handled while the progress dialog is asked; nobody else writes meanwhile.
        TransactionSeal seal(db_, busyText());
        QHash<QString, Household> now;
        QVariant firstNew;  // the greatest bill ID before the run
        {
            TransactionSeal::Turn turn(seal);
            // What the sheet checked is read again inside the transaction.
            ts = targets(recomputeUnpaid, nullptr);
            Statement hs = db_.prepare(QStringLiteral("select 门牌号, ID, 面积, 收费说明 from 档案库"));
            while (hs.step())
                now.insert(hs.value(0).toString(),
                           {hs.value(1).toLongLong(), storedNumber(hs.value(2)), hs.value(3).toString()});
            // The last run's undo gives way to this one's.
            db_.exec(QStringLiteral("delete from 账单撤销"));
            db_.exec(QStringLiteral("delete from %1").arg(kHouseholds));
            for (const QString& table : kTables) {
                db_.exec(QStringLiteral("delete from %1").arg(shadow(table)));
                db_.exec(QStringLiteral("delete from %1").arg(left(table)));
                const QVariant before = db_.scalar(QStringLiteral("select coalesce(max(ID), 0) from %1").arg(table));
                if (table == kTables[0])
                    firstNew = before;
                db_.exec(QStringLiteral("insert into 账单撤销 (表名, 起, 月份) values (?, ?, ?)"), {table, before, month});
            }
            // Movements of the run's bills after this one are changes of them.
            const QVariant movements =
                Ledger::exists(db_) ? db_.scalar(QStringLiteral("select coalesce(max(ID), 0) from 账户流水")) : QVariant(0);
            db_.exec(QStringLiteral("insert into 账单撤销 (表名, 起, 月份) values (?, ?, ?)"), {kLedger, movements, month});
        }
        const int n = int(ts.size());
        for (int k = 0; k < n; ++k) {
            if (progress && k % 25 == 0 && !progress->proceed(k, n))
                throw Cancelled{};
            TransactionSeal::Turn turn(seal);
            const Target& tg = ts[k];
            const SheetHousehold& h = sheet_.households()[tg.household];
            const auto found = now.constFind(h.door);
            if (found == now.cend() || found->id != h.id || found->area != h.area || found->note != h.note) {
                r.changed << h.door;
                continue;
            }
            // Worked out before anything is written: a stale reading skips the household
            // with nothing of it written.
            std::optional<BillDraft> draft;
            try {
                SheetAnswers answers(sheet_, h.door);
                draft = draftBill(db_, h.door, month, h.area, tg.billId, sheet_.items(), answers);
            } catch (const StaleReading&) {
                r.changed << h.door;
                continue;
            }
            if (tg.billId != 0)
                db_.exec(QStringLiteral("insert into %1 select * from 缴费历史 where ID = ?").arg(shadow(kTables[0])),
                         {tg.billId});
            for (int lines = 0; lines < 2; ++lines)
                if (draft->linesFound[lines])
                    db_.exec(QStringLiteral("insert into %1 select * from %2 where 门牌号 = ? and 月份 = ?")
                                 .arg(shadow(kTables[lines + 1]), kTables[lines + 1]),
                             {h.door, month});
            saveBill(db_, *draft, h.note);
            ++(tg.billId != 0 ? r.recomputed : r.newBills);
        }
        if (progress && !progress->proceed(n, n))
            throw Cancelled{};
        if (r.newBills + r.recomputed == 0) {
            // Nothing written: the last run's undo stays as it was.
            r.outcome = Outcome::Nothing;
            return r;
        }
        {
            TransactionSeal::Turn turn(seal);
            // What the run leaves: its new bills (past the IDs before it), the bills it
            // recomputed, their lines, and their households.
            db_.exec(QStringLiteral("insert into %1 select * from 缴费历史 where 月份 = ? and (ID > ? or ID in "
                                    "(select ID from %2))")
                         .arg(left(kTables[0]), shadow(kTables[0])),
                     {month, firstNew});
            for (const QString& lines : {kTables[1], kTables[2]})
                db_.exec(QStringLiteral("insert into %1 select x.* from %3 b join %2 x on x.门牌号 = b.门牌号 and "
                                        "x.月份 = b.月份")
                             .arg(left(lines), lines, left(kTables[0])));
            db_.exec(QStringLiteral("insert into %1 (门牌号, 档案ID) select a.门牌号, a.ID from %2 b join 档案库 a on "
                                    "a.门牌号 = b.门牌号")
                         .arg(kHouseholds, left(kTables[0])));
            for (const QString& table : kTables)
                db_.exec(QStringLiteral("update 账单撤销 set 止 = (select coalesce(max(ID), 0) from %1) where 表名 = ?")
                             .arg(table),
                         {table});
            t.commit();
        }
    } catch (const Cancelled&) {
        return {Outcome::Cancelled, 0, 0, {}, {}, {}};
    } catch (const StoreError& e) {
        return {Outcome::Failed, 0, 0, {}, {}, e.message()};
    }
    const QSet<QString> skipped(r.changed.cbegin(), r.changed.cend());
    for (const Target& tg : ts) {
        const SheetHousehold& h = sheet_.households()[tg.household];
        if (!skipped.contains(h.door) && SingleEntry::noteReminds(h.note, month))
            r.reminders << h.door;
    }
    return r;
}

QString MonthRun::undoableMonth(Database& db)
{
    ensureUndoTables(db);
    return db
        .scalar(QStringLiteral("select 月份 from 账单撤销 where 表名 = '缴费历史' and 止 is not null "
                               "and exists (select 1 from %1) limit 1")
                    .arg(left(kTables[0])))
        .toString();
}

QString MonthRun::firstChangeSince(Database& db)
{
    if (undoableMonth(db).isEmpty())
        return QString();
    const QString bills = left(kTables[0]);
    QSet<QString> changed;
    auto collect = [&](const QString& sql, const QVariantList& binds = {}) {
        Statement st = db.prepare(sql);
        st.bindAll(binds);
        while (st.step())
            changed.insert(st.value(0).toString());
    };
    // A bill of the run that is gone or no longer as the run left it, in any column.
    collect(QStringLiteral("select 门牌号 from (select * from %1 except select * from 缴费历史 where ID in "
                           "(select ID from %1))")
                .arg(bills));
    for (const QString& lines : {kTables[1], kTables[2]}) {
        // A line of the run gone or changed; a line added to one of its bills.
        collect(QStringLiteral("select 门牌号 from (select * from %1 except select * from %2 where ID in "
                               "(select ID from %1))")
                    .arg(left(lines), lines));
        collect(QStringLiteral("select x.门牌号 from %1 x join %2 b on b.门牌号 = x.门牌号 and b.月份 = x.月份 "
                               "where x.ID not in (select ID from %3)")
                    .arg(lines, bills, left(lines)));
    }
    // The household deleted, or its door number changed.
    collect(QStringLiteral("select 门牌号 from %1 h where not exists (select 1 from 档案库 a where a.ID = h.档案ID "
                           "and a.门牌号 = h.门牌号)")
                .arg(kHouseholds));
    // Money moved on a bill of the run (a collection, even one reversed since).
    if (Ledger::exists(db)) {
        const QVariant since = db.scalar(QStringLiteral("select 起 from 账单撤销 where 表名 = ?"), {kLedger});
        collect(QStringLiteral("select b.门牌号 from 账户流水 m join %1 b on b.ID = m.账单ID where m.ID > ?").arg(bills),
                {since.isNull() ? QVariant(0) : since});
    }
    if (changed.isEmpty())
        return QString();
    // The run went through its households in the order of their IDs.
    Statement st = db.prepare(QStringLiteral("select 门牌号 from %1 order by 档案ID").arg(kHouseholds));
    while (st.step()) {
        const QString door = st.value(0).toString();
        if (changed.contains(door))
            return door;
    }
    QStringList rest(changed.cbegin(), changed.cend());
    rest.sort();
    return rest.first();
}

bool MonthRun::undo(Database& db)
{
    EstateLock lock(db, QStringLiteral("撤销本次账单"));
    if (undoableMonth(db).isEmpty() || !firstChangeSince(db).isEmpty())
        return false;
    Transaction t(db);
    // Every row of the run is as the run left it: its rows go by their IDs, the rows
    // from before the run come back under theirs.
    for (const QString& table : {kTables[1], kTables[2], kTables[0]}) {
        db.exec(QStringLiteral("delete from %1 where ID in (select ID from %2)").arg(table, left(table)));
        db.exec(QStringLiteral("insert into %1 select * from %2").arg(table, shadow(table)));
        db.exec(QStringLiteral("delete from %1").arg(shadow(table)));
        db.exec(QStringLiteral("delete from %1").arg(left(table)));
    }
    db.exec(QStringLiteral("delete from %1").arg(kHouseholds));
    db.exec(QStringLiteral("delete from 账单撤销"));
    t.commit();
    return true;
}
