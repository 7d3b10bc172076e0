#include "maintenance/cleanup.h"

#include "accounts/ledger.h"

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
        "where 缴费标志 and (月份 >= ? and 月份 <= ?))");
    Result r;
    Transaction t(db);
    // The movements of the bills that go: one 结转 per household carries their sum.
    const QString goingBills =
        QStringLiteral("账单ID in (select ID from 缴费历史 where 缴费标志 and (月份 >= ? and 月份 <= ?))");
    const QList<QVariantList> carried = db.query(
        QStringLiteral("select 门牌号, sum(金额), count(*) from 账户流水 where ") + goingBills +
            QStringLiteral(" group by 门牌号 order by 门牌号"),
        range);
    db.exec(QStringLiteral("delete from 账户流水 where ") + goingBills, range);
    Ledger ledger(db, operator_, now_.isValid() ? now_ : QDateTime::currentDateTime());
    for (const QVariantList& c : carried)
        ledger.carryForward(c.value(0).toString(), c.value(1).toDouble(),
                            QStringLiteral("数据清理 %1-%2：%3 笔已缴账单流水合并")
                                .arg(firstMonth, lastMonth, c.value(2).toString()));
    db.exec(QStringLiteral("delete from 收费1 where ") + paidBills, range);
    r.fixedLines = db.changes();
    db.exec(QStringLiteral("delete from 收费2 where ") + paidBills, range);
    r.meteredLines = db.changes();
    db.exec(QStringLiteral("delete from 缴费历史 where 缴费标志 and (月份 >= ? and 月份 <= ?)"), range);
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
