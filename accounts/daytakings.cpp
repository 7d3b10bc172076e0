#include "accounts/daytakings.h"

#include "accounts/ledger.h"
#include "common/numbers.h"
#include "store/database.h"

DayTakings DayTakings::read(Database& db, const QDate& day, const QString& operatorName, const QString& desk)
{
    DayTakings out;
    out.day = day;
    out.operatorName = operatorName;
    out.desk = desk;
    const QString from = day.toString(QStringLiteral("yyyy-MM-dd"));
    const QString to = day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    // The name of a household deleted since is kept by its 销户 movement.
    QString sql = QStringLiteral(
        "select m.时间, m.收据号, m.门牌号, coalesce((select coalesce(c.说明, '') from 账户流水 c "
        "where c.门牌号 = m.门牌号 and c.类别 = ? and c.ID > m.ID order by c.ID limit 1), d.户名), "
        "m.月份, m.类别, m.操作员, m.说明, m.实收现金, m.金额, m.余额, m.电脑 "
        "from 账户流水 m left join 档案库 d on d.门牌号 = m.门牌号 "
        "where m.时间 >= ? and m.时间 < ? and m.类别 in (?, ?)");
    QVariantList binds{LedgerKind::closing(), from, to, LedgerKind::collection(), LedgerKind::reversal()};
    if (!operatorName.isEmpty()) {
        sql += QStringLiteral(" and m.操作员 = ?");
        binds << operatorName;
    }
    if (!desk.isEmpty()) {
        sql += QStringLiteral(" and m.电脑 = ?");
        binds << desk;
    }
    sql += QStringLiteral(" order by m.时间, m.ID");
    Statement st = db.prepare(sql);
    st.bindAll(binds);
    while (st.step()) {
        Row r;
        r.time = st.value(0).toString().mid(11, 8);
        r.receiptNo = st.value(1).toLongLong();
        r.door = st.value(2).toString();
        r.name = st.value(3).toString();
        r.month = st.value(4).toString();
        r.kind = st.value(5).toString();
        r.operatorName = st.value(6).toString();
        r.note = st.value(7).toString().trimmed();
        r.cash = Ledger::number(st.value(8));
        r.charge = r.cash - Ledger::number(st.value(9));
        r.balanceAfter = Ledger::number(st.value(10));
        r.desk = st.value(11).toString();
        if (r.kind == LedgerKind::collection()) {
            ++out.receipts;
            out.cashTaken += r.cash;
        } else {
            out.cashReversed -= r.cash;
        }
        out.rows.append(r);
    }
    return out;
}

QStringList DayTakings::operators(Database& db)
{
    QStringList out;
    for (const QVariantList& row : db.query(QStringLiteral("select 操作员 from 操作员 order by 操作员")))
        out << row.value(0).toString();
    for (const QVariantList& row : db.query(QStringLiteral(
             "select distinct 操作员 from 账户流水 where 操作员 is not null and 操作员 <> '' order by 操作员")))
        if (!out.contains(row.value(0).toString()))
            out << row.value(0).toString();
    return out;
}

QStringList DayTakings::desks(Database& db, const QDate& day)
{
    QStringList out;
    for (const QVariantList& row : db.query(
             QStringLiteral("select distinct 电脑 from 账户流水 where 时间 >= ? and 时间 < ? and 类别 in (?, ?) and "
                            "电脑 is not null and 电脑 <> '' order by 电脑"),
             {day.toString(QStringLiteral("yyyy-MM-dd")), day.addDays(1).toString(QStringLiteral("yyyy-MM-dd")),
              LedgerKind::collection(), LedgerKind::reversal()}))
        out << row.value(0).toString();
    return out;
}

ReportTable DayTakings::table() const
{
    ReportTable t;
    t.header = {QStringLiteral("时间"), QStringLiteral("收据号"), QStringLiteral("门牌号"), QStringLiteral("户名"),
                QStringLiteral("月份"), QStringLiteral("类别"), QStringLiteral("收费金额"), QStringLiteral("实收现金"),
                QStringLiteral("余额"), QStringLiteral("操作员"), QStringLiteral("电脑")};
    const QString money = QStringLiteral("#,##0.00");
    t.masks = {QString(), QString(), QString(), QString(), QString(), QString(), money, money, money, QString(), QString()};
    for (const Row& r : rows)
        t.rows.append({r.time, r.receiptNo, r.door, r.name, r.month, r.kind, r.charge, r.cash, r.balanceAfter,
                       r.operatorName, r.desk});
    t.totals = {QStringLiteral("合计"), QStringLiteral("%1张").arg(receipts), QVariant(), QVariant(), QVariant(),
                QVariant(), QVariant(), net(), QVariant(), QVariant(), QVariant()};
    return t;
}

QString DayTakings::totalsText() const
{
    const QString m = QStringLiteral("#,##0.00");
    return QStringLiteral("收据 %1 张    收款现金 %2    冲正退回现金 %3    净收现金 %4")
        .arg(receipts)
        .arg(formatMask(cashTaken, m), formatMask(cashReversed, m), formatMask(net(), m));
}
