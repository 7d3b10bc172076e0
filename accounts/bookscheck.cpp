#include "accounts/bookscheck.h"

#include "accounts/ledger.h"
#include "store/criterion.h"
#include "store/database.h"

#include <QHash>
#include <cmath>

QList<BooksCheck::Mismatch> BooksCheck::run(Database& db)
{
    QList<Mismatch> out;

    // Balances against the sums of the movements, households in their order.
    QHash<QString, double> sums;
    {
        Statement st = db.prepare(QStringLiteral("select 门牌号, sum(金额) from 账户流水 group by 门牌号"));
        while (st.step())
            sums.insert(st.value(0).toString(), st.value(1).toDouble());
    }
    {
        Statement st = db.prepare(QStringLiteral("select 门牌号, 账户余额 from 档案库 order by ID"));
        while (st.step()) {
            const QString door = st.value(0).toString();
            const double stored = Ledger::number(st.value(1));
            const auto it = sums.find(door);
            const double ledger = it == sums.end() ? 0 : it.value();
            if (it != sums.end())
                sums.erase(it);
            if (std::abs(stored - ledger) > Tolerance)
                out.append({door, QString(), stored, ledger, QStringLiteral("账户余额与流水合计不符")});
        }
    }
    // Movements of a door number that no household has.
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        if (std::abs(it.value()) > Tolerance)
            out.append({it.key(), QString(), 0, it.value(), QStringLiteral("流水的门牌号没有住户档案")});

    // Paid bills: the last of their collection, refund and reversal movements is a
    // collection. Bills paid before the ledger began have none at all.
    QHash<qint64, QString> last;
    {
        Statement st = db.prepare(QStringLiteral("select 账单ID, 类别 from 账户流水 where 账单ID is not null order by ID"));
        while (st.step())
            last.insert(st.value(0).toLongLong(), st.value(1).toString());
    }
    const qint64 start = Ledger::startBillId(db);
    {
        Statement st = db.prepare(QStringLiteral("select b.ID, b.门牌号, b.月份, d.账户余额 from 缴费历史 b "
                                                 "left join 档案库 d on d.门牌号 = b.门牌号 "
                                                 "where coalesce(b.缴费标志, 0) <> 0 order by b.门牌号, b.月份"));
        while (st.step()) {
            const qint64 id = st.value(0).toLongLong();
            const auto it = last.constFind(id);
            if (it == last.constEnd() ? id <= start : *it == LedgerKind::collection())
                continue;
            const QString door = st.value(1).toString();
            const double stored = Ledger::number(st.value(3));
            out.append({door, st.value(2).toString(), stored, stored, QStringLiteral("已缴账单没有有效的收款流水")});
        }
    }
    checkSettlements(db, out);
    return out;
}

// A bill whose last movement is a collection not undone since must be paid, with the
// charge that collection settled (cash − movement).
void BooksCheck::checkSettlements(Database& db, QList<Mismatch>& out)
{
    const QList<QVariantList> rows = db.query(
        QStringLiteral("select b.门牌号, b.月份, b.缴费标志, b.收费金额, m.实收现金, m.金额, d.账户余额 "
                       "from 缴费历史 b join 账户流水 m on m.ID = (select max(ID) from 账户流水 where 账单ID = b.ID) "
                       "left join 档案库 d on d.门牌号 = b.门牌号 where m.类别 = ? order by b.门牌号, b.月份"),
        {LedgerKind::collection()});
    for (const QVariantList& r : rows) {
        const double stored = Ledger::number(r.value(6));
        if (!Criterion::valueIsTrue(r.value(2)))
            out.append({r.value(0).toString(), r.value(1).toString(), stored, stored,
                        QStringLiteral("有收款流水的账单未标为已缴")});
        else if (std::abs(Ledger::number(r.value(3)) - (Ledger::number(r.value(4)) - Ledger::number(r.value(5)))) >
                 Tolerance)
            out.append({r.value(0).toString(), r.value(1).toString(), stored, stored,
                        QStringLiteral("已缴账单的收费金额与收款时不符")});
    }
}

double BooksCheck::ledgerSum(Database& db, const QString& door)
{
    return db.scalar(QStringLiteral("select coalesce(sum(金额), 0) from 账户流水 where 门牌号 = ?"), {door}).toDouble();
}
