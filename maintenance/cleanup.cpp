#include "maintenance/cleanup.h"

#include "store/dataenvironment.h"

QStringList Cleanup::months() const
{
    QStringList out;
    for (const QVariantList& row : env_.db().query(QStringLiteral("select DISTINCT(月份) from 缴费历史 order by 月份")))
        out << row.value(0).toString();
    return out;
}

Cleanup::Result Cleanup::run(const QString& firstMonth, const QString& lastMonth)
{
    RecordSet* shared[] = {&env_.rs缴费历史(), &env_.rs收费1(), &env_.rs收费2()};
    // Pending rows of other windows are written first, so none comes back after.
    for (RecordSet* rs : shared)
        rs->updateBatch();

    Database& db = env_.db();
    const QVariantList range{firstMonth, lastMonth};
    // A line belongs to the bill with its door number and month.
    const QString paidBills = QStringLiteral(
        "(门牌号, 月份) in (select 门牌号, 月份 from 缴费历史 "
        "where 缴费标志 <> 0 and (月份 >= ? and 月份 <= ?))");
    Result r;
    EstateLock lock(db, QStringLiteral("数据清理"));
    // The ledger keeps the movements of the bills that go: it is the office's record.
    Transaction t(db);
    db.exec(QStringLiteral("delete from 收费1 where ") + paidBills, range);
    r.fixedLines = db.changes();
    db.exec(QStringLiteral("delete from 收费2 where ") + paidBills, range);
    r.meteredLines = db.changes();
    db.exec(QStringLiteral("delete from 缴费历史 where 缴费标志 <> 0 and (月份 >= ? and 月份 <= ?)"), range);
    r.bills = db.changes();
    t.commit();

    // The deletion stands from here on; a set that cannot be read again says so
    // without turning the cleanup into a failure.
    for (RecordSet* rs : shared) {
        try {
            rs->requery(true);
        } catch (const StoreError& e) {
            if (r.rereadError.isEmpty())
                r.rereadError = e.message();
        }
    }
    return r;
}
