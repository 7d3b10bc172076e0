#include "queries/allitemsquery.h"

#include "queries/queryprogress.h"
#include "store/database.h"

PaidState AllItemsQuery::paidState(const QString& mode)
{
    if (mode == QLatin1String("A"))
        return PaidState::Paid;
    if (mode == QLatin1String("B"))
        return PaidState::Unpaid;
    return PaidState::Any;
}

QString AllItemsQuery::statusLine(const QString& mode)
{
    QString line = QStringLiteral("现在查询的是全部用户");
    switch (paidState(mode)) {
    case PaidState::Paid:
        return line + QStringLiteral(" 已缴费");
    case PaidState::Unpaid:
        return line + QStringLiteral(" 未缴费");
    case PaidState::Any:
        break;
    }
    return line + QStringLiteral(" 包括未缴费和已缴费");
}

QStringList AllItemsQuery::headers()
{
    return {QStringLiteral("门牌号"),   QStringLiteral("户名"),     QStringLiteral("月份"),
            QStringLiteral("收费金额"), QStringLiteral("实缴金额"), QStringLiteral("账户余额"),
            QStringLiteral("缴费状态"), QStringLiteral("缴费时间")};
}

std::optional<QueryTable> AllItemsQuery::run(const QString& mode, const QueryRange& range, QueryProgress* progress)
{
    const PaidState state = paidState(mode);
    const QString pattern = QueryCells::prefixPattern(QueryCells::trimBlanks(range.building));
    const QString where = QStringLiteral("b.门牌号 like ?1 escape '\\' and b.月份 >= ?2 and b.月份 <= ?3") +
                          QueryCells::paidCondition(state, QStringLiteral("b.缴费标志"));
    const QVariantList binds{pattern, range.first, range.last};

    QueryTable table(headers());
    table.setStatus(statusLine(mode));

    qint64 bills = 0;
    if (progress) {
        bills = db_.scalar(QStringLiteral("select count(*) from 缴费历史 b where ") + where, binds).toLongLong();
        if (!progress->advance(0, bills))
            return std::nullopt;
    }
    table.reserve(int(bills + bills / 8 + 2));

    {
        // The household of a bill is the one with its door number (unique), or none.
        Statement st = db_.prepare(
            QStringLiteral("select b.门牌号, h.户名, b.月份, b.收费金额, b.实缴金额, b.账户余额, b.缴费标志, b.缴费时间 "
                           "from 缴费历史 b left join 档案库 h on h.门牌号 = b.门牌号 where ") +
            where + QStringLiteral(" order by b.门牌号, b.月份 desc"));
        st.bindAll(binds);
        DateCells dates;
        const QString zero = QStringLiteral("0");
        const QString star = QStringLiteral("*");
        bool first = true;
        QVariant previous;
        qint64 done = 0;
        while (st.step()) {
            const QVariant door = st.value(0);
            if (first || door != previous)
                table.addSeparator();
            first = false;
            previous = door;

            const QVariant paid = st.value(6);
            QString paidText;
            if (!paid.isNull())
                paidText = paid.toDouble() != 0 ? QStringLiteral("已缴") : QStringLiteral("未缴");
            table.addRow(QueryTable::RowKind::Bill,
                         {door.toString(), QueryCells::name(st.value(1)),
                          st.value(2).isNull() ? QString() : st.value(2).toString(),
                          QueryCells::number(st.value(3), zero), QueryCells::number(st.value(4), zero),
                          QueryCells::number(st.value(5), zero), paidText, dates.text(st.value(7), star)});
            if (progress && (++done & 1023) == 0 && !progress->advance(done, bills))
                return std::nullopt;
        }
    }

    // The sums add up the bills listed: under a building only that building's, without
    // one every bill of the range and paid state.
    const QString sumsOf = QStringLiteral("select sum(b.收费金额), sum(b.实缴金额), sum(b.账户余额) from 缴费历史 b where ");
    const QList<QVariantList> sums =
        QueryCells::trimBlanks(range.building).isEmpty()
            ? db_.query(sumsOf + QStringLiteral("b.月份 >= ?1 and b.月份 <= ?2") +
                            QueryCells::paidCondition(state, QStringLiteral("b.缴费标志")),
                        {range.first, range.last})
            : db_.query(sumsOf + where, binds);
    table.addSeparator();
    QStringList totals{QStringLiteral("合计"), QString(), QString(), QString(), QString(), QString()};
    if (!sums.isEmpty()) {
        const QVariantList& s = sums.first();
        for (int i = 0; i < 3; ++i)
            totals[3 + i] = QueryCells::number(s.value(i), QString());
    }
    table.addRow(QueryTable::RowKind::Totals, totals);
    if (progress && !progress->advance(bills, bills))
        return std::nullopt;
    return table;
}
