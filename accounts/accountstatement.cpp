#include "accounts/accountstatement.h"

#include "accounts/ledger.h"
#include "store/database.h"

namespace {

// The first day of a month text yyyymm as stored dates compare ("2024-07-01").
QString monthStart(const QString& month)
{
    return month.left(4) + QLatin1Char('-') + month.mid(4, 2) + QStringLiteral("-01");
}

QString nextMonthStart(const QString& month)
{
    int y = month.left(4).toInt();
    int m = month.mid(4, 2).toInt() + 1;
    if (m > 12) {
        m = 1;
        ++y;
    }
    return QStringLiteral("%1-%2-01").arg(y, 4, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0'));
}

}  // namespace

AccountStatement AccountStatement::read(Database& db, const QString& door, const QString& firstMonth,
                                        const QString& lastMonth)
{
    AccountStatement s;
    s.door = door;
    s.firstMonth = firstMonth;
    s.lastMonth = lastMonth;
    const QList<QVariantList> household =
        db.query(QStringLiteral("select 户名, 账户余额 from 档案库 where 门牌号 = ?"), {door});
    if (!household.isEmpty()) {
        s.name = household.first().value(0).toString();
        s.storedBalance = household.first().value(1);
    }
    const QString from = firstMonth.isEmpty() ? QString() : monthStart(firstMonth);
    const QString to = lastMonth.isEmpty() ? QString() : nextMonthStart(lastMonth);
    if (!from.isEmpty())
        s.opening = db.scalar(QStringLiteral("select coalesce(sum(金额), 0) from 账户流水 where 门牌号 = ? and 时间 < ?"),
                              {door, from})
                        .toDouble();
    QString sql = QStringLiteral("select 时间, 类别, 月份, 说明, 实收现金, 收据号, 金额 from 账户流水 where 门牌号 = ?");
    QVariantList binds{door};
    if (!from.isEmpty()) {
        sql += QStringLiteral(" and 时间 >= ?");
        binds << from;
    }
    if (!to.isEmpty()) {
        sql += QStringLiteral(" and 时间 < ?");
        binds << to;
    }
    sql += QStringLiteral(" order by 时间, ID");
    Statement st = db.prepare(sql);
    st.bindAll(binds);
    double running = s.opening;
    while (st.step()) {
        Row r;
        r.date = st.value(0).toString().left(10);
        r.kind = st.value(1).toString();
        r.month = st.value(2).toString();
        r.note = st.value(3).toString().trimmed();
        r.cash = st.value(4);
        r.receiptNo = st.value(5);
        r.amount = Ledger::number(st.value(6));
        if (r.kind == LedgerKind::collection() || r.kind == LedgerKind::reversal())
            r.charge = Ledger::number(r.cash) - r.amount;
        else if (r.kind == LedgerKind::refund())
            r.charge = -r.amount;
        running += r.amount;
        r.running = running;
        s.rows.append(r);
    }
    s.closing = running;
    return s;
}

QStringList AccountStatement::months(Database& db, const QString& door)
{
    QStringList out;
    for (const QVariantList& row :
         db.query(QStringLiteral("select distinct substr(时间, 1, 4) || substr(时间, 6, 2) from 账户流水 "
                                 "where 门牌号 = ? order by 1"),
                  {door}))
        out << row.value(0).toString();
    return out;
}

ReportTable AccountStatement::table() const
{
    ReportTable t;
    t.header = {QStringLiteral("日期"), QStringLiteral("类别"), QStringLiteral("月份"), QStringLiteral("收费金额"),
                QStringLiteral("实收现金"), QStringLiteral("金额"), QStringLiteral("余额"), QStringLiteral("收据号"),
                QStringLiteral("说明")};
    const QString money = QStringLiteral("#,##0.00");
    t.masks = {QString(), QString(), QString(), money, money, money, money, QString(), QString()};
    t.rows.append({QVariant(), QStringLiteral("期初余额"), QVariant(), QVariant(), QVariant(), QVariant(), opening,
                   QVariant(), QVariant()});
    for (const Row& r : rows)
        t.rows.append({r.date, r.kind, r.month, r.charge, r.cash, r.amount, r.running, r.receiptNo, r.note});
    t.totals = {QVariant(), QStringLiteral("期末余额"), QVariant(), QVariant(), QVariant(), closing - opening, closing,
                QVariant(), QVariant()};
    return t;
}
