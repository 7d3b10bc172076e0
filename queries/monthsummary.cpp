#include "queries/monthsummary.h"

#include "common/numbers.h"
#include "common/tableout.h"
#include "queries/querycells.h"
#include "store/database.h"

#include <QMap>

QStringList MonthSummary::headers()
{
    return {QStringLiteral("楼号"),     QStringLiteral("月份"),     QStringLiteral("收费户数"),
            QStringLiteral("应收金额"), QStringLiteral("实收现金"), QStringLiteral("未缴金额"),
            QStringLiteral("收缴率"),   QStringLiteral("转欠金额")};
}

QList<SummaryRow> MonthSummary::load(Database& db, const SummaryRange& range)
{
    // The building is computed by the database (text before the first separator),
    // so one grouped pass over the month index answers the whole range.
    QString buildingExpr;
    const QStringList patterns = QueryCells::buildingPatterns(range.building, range.separator);
    QVariantList binds{range.first, range.last, patterns.at(0), patterns.at(1)};
    if (!range.building.isEmpty()) {
        buildingExpr = QStringLiteral("?5");
        binds << range.building;
    } else if (range.separator.isEmpty()) {
        buildingExpr = QStringLiteral("''");
    } else {
        buildingExpr = QStringLiteral("substr(门牌号, 1, instr(门牌号, ?5) - 1)");
        binds << range.separator;
    }
    Statement st = db.prepare(
        QStringLiteral("select ") + buildingExpr +
        QStringLiteral(" as b, 月份, count(distinct 门牌号), sum(ifnull(收费金额, 0)), "
                       "sum(case when ifnull(缴费标志, 0) <> 0 then ifnull(实缴金额, 0) else 0 end), "
                       "sum(case when ifnull(缴费标志, 0) = 0 then ifnull(收费金额, 0) else 0 end), "
                       // A collected bill's shortfall: charge − cash − the credit before it
                       // (balance after − cash + charge), when that is above 0.
                       "sum(case when ifnull(缴费标志, 0) <> 0 then max(0, ifnull(收费金额, 0) - ifnull(实缴金额, 0) "
                       "  - max(0, ifnull(账户余额, 0) - ifnull(实缴金额, 0) + ifnull(收费金额, 0))) else 0 end) "
                       "from 缴费历史 where 月份 >= ?1 and 月份 <= ?2 "
                       "and (门牌号 like ?3 escape '\\' or 门牌号 like ?4 escape '\\') "
                       "group by b, 月份 order by b, 月份"));
    st.bindAll(binds);
    QList<SummaryRow> rows;
    while (st.step()) {
        SummaryRow r;
        r.building = st.value(0).toString();
        r.month = st.value(1).toString();
        r.households = st.value(2).toInt();
        r.charged = st.value(3).toDouble();
        r.collected = st.value(4).toDouble();
        r.unpaid = st.value(5).toDouble();
        r.shortfall = st.value(6).toDouble();
        rows.append(r);
    }
    return rows;
}

namespace {
void add(SummaryRow& to, const SummaryRow& r)
{
    to.households += r.households;
    to.charged += r.charged;
    to.collected += r.collected;
    to.unpaid += r.unpaid;
    to.shortfall += r.shortfall;
}
} // namespace

QList<SummaryRow> MonthSummary::byMonth(const QList<SummaryRow>& rows)
{
    QMap<QString, SummaryRow> months;
    for (const SummaryRow& r : rows) {
        SummaryRow& m = months[r.month];
        m.month = r.month;
        add(m, r);
    }
    return months.values();
}

int MonthSummary::households(Database& db, const SummaryRange& range)
{
    const QStringList patterns = QueryCells::buildingPatterns(range.building, range.separator);
    Statement st = db.prepare(QStringLiteral(
        "select count(distinct 门牌号) from 缴费历史 where 月份 >= ?1 and 月份 <= ?2 "
        "and (门牌号 like ?3 escape '\\' or 门牌号 like ?4 escape '\\')"));
    st.bindAll({range.first, range.last, patterns.at(0), patterns.at(1)});
    return st.step() ? st.value(0).toInt() : 0;
}

SummaryRow MonthSummary::total(const QList<SummaryRow>& rows, int households)
{
    SummaryRow t;
    for (const SummaryRow& r : rows)
        add(t, r);
    t.households = households;
    return t;
}

QString MonthSummary::rateRule()
{
    return QStringLiteral("收缴率 = (应收金额 − 未缴金额 − 转欠金额) ÷ 应收金额。转欠金额：已缴账单中现金和原有预存款"
                          "都没有抵到、转入账户欠款的部分。合计行的收费户数每户只计一次。");
}

QString MonthSummary::text(const SummaryRow& row, int column)
{
    const QString money = QStringLiteral("#,##0.00");
    switch (column) {
    case 0:
        return row.building;
    case 1:
        return row.month;
    case 2:
        return QString::number(row.households);
    case 3:
        return formatMask(row.charged, money);
    case 4:
        return formatMask(row.collected, money);
    case 5:
        return formatMask(row.unpaid, money);
    case 6:
        return formatMask(row.rate() * 100, QStringLiteral("0.0")) + u'%';
    case 7:
        return formatMask(row.shortfall, money);
    default:
        return QString();
    }
}

OutTable MonthSummary::outTable(const QList<SummaryRow>& rows, int households)
{
    const QString money = QStringLiteral("#,##0.00");
    auto row = [&](const SummaryRow& r, const QString& building) {
        return OutRow{OutCell::ofText(building),
                      r.month.isEmpty() ? OutCell::empty() : OutCell::ofText(r.month),
                      OutCell::ofNumber(r.households, QStringLiteral("0")),
                      OutCell::ofNumber(r.charged, money),
                      OutCell::ofNumber(r.collected, money),
                      OutCell::ofNumber(r.unpaid, money),
                      OutCell::ofNumber(r.rate(), QStringLiteral("0.0%")),
                      OutCell::ofNumber(r.shortfall, money)};
    };
    OutTable t;
    t.sheetName = QStringLiteral("收费汇总");
    t.header = headers();
    for (const SummaryRow& r : rows)
        t.rows << row(r, r.building);
    t.totals = row(total(rows, households), QStringLiteral("合计"));
    return t;
}
