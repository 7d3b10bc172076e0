#include "queries/arrearsboard.h"

#include "common/numbers.h"
#include "common/tableout.h"
#include "queries/querycells.h"
#include "store/database.h"

#include <QCollator>
#include <QMap>

#include <algorithm>

QStringList ArrearsBoard::headers()
{
    return {QStringLiteral("楼号"),     QStringLiteral("门牌号"),   QStringLiteral("户名"),
            QStringLiteral("联系电话"), QStringLiteral("欠费月数"), QStringLiteral("起始月份"),
            QStringLiteral("截止月份"), QStringLiteral("未缴金额"), QStringLiteral("账户余额"),
            QStringLiteral("欠费合计")};
}

QString ArrearsBoard::buildingOf(const QString& door, const QString& separator)
{
    if (separator.isEmpty())
        return QString();
    const int at = door.indexOf(separator);
    return at < 0 ? QString() : door.left(at);
}

QString ArrearsBoard::owedRule()
{
    return QStringLiteral("欠费合计 = 未缴金额 − 账户余额，逐户计算：预存款只抵本户的未缴金额；"
                          "预存款已抵清未缴金额的住户不算欠费，不列入，也不减少楼号和全部的欠费合计。");
}

bool ArrearsBoard::owes(const ArrearsRow& row)
{
    if (row.unpaidMonths > 0)
        return row.owed() >= 0.005;
    return row.balance < ArrearsThreshold;
}

QList<ArrearsRow> ArrearsBoard::load(Database& db, const ArrearsFilter& filter)
{
    // One pass: each household with the count, range and sum of its unpaid bills.
    // The correlated sub-selects use the (门牌号, 月份) index of the bills.
    Statement st = db.prepare(QStringLiteral(
        "select h.门牌号, h.户名, h.联系电话, ifnull(h.账户余额, 0), u.n, u.first, u.last, u.total "
        "from 档案库 h left join ("
        "  select 门牌号, count(*) as n, min(月份) as first, max(月份) as last, sum(ifnull(收费金额, 0)) as total "
        "  from 缴费历史 where ifnull(缴费标志, 0) = 0 group by 门牌号"
        ") u on u.门牌号 = h.门牌号 "
        "where (h.门牌号 like ?1 escape '\\' or h.门牌号 like ?3 escape '\\') "
        "and (u.n > 0 or ifnull(h.账户余额, 0) < ?2) "
        "order by h.门牌号"));
    const QStringList patterns = QueryCells::buildingPatterns(filter.building, filter.separator);
    st.bind(1, patterns.at(0));
    st.bind(2, ArrearsThreshold);
    st.bind(3, patterns.at(1));
    QList<ArrearsRow> rows;
    while (st.step()) {
        ArrearsRow r;
        r.door = st.value(0).toString();
        r.name = st.value(1).toString();
        r.phone = st.value(2).toString();
        r.balance = st.value(3).toDouble();
        r.unpaidMonths = st.value(4).toInt();
        r.firstMonth = st.value(5).toString();
        r.lastMonth = st.value(6).toString();
        r.unpaid = st.value(7).toDouble();
        r.building = filter.building.isEmpty() ? buildingOf(r.door, filter.separator) : filter.building;
        if (!owes(r) || r.unpaidMonths < filter.minMonths)
            continue;
        if (filter.minOwed > 0 && r.owed() < filter.minOwed - 1e-9)
            continue;
        rows.append(std::move(r));
    }
    return rows;
}

namespace {

int compareRows(const ArrearsRow& a, const ArrearsRow& b, int column, const QCollator& collator)
{
    auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (column) {
    case ArrearsBoard::Building:
        return a.building.compare(b.building);
    case ArrearsBoard::Door:
        return a.door.compare(b.door);
    case ArrearsBoard::Name:
        return collator.compare(a.name, b.name);
    case ArrearsBoard::Phone:
        return a.phone.compare(b.phone);
    case ArrearsBoard::Months:
        return cmp(a.unpaidMonths, b.unpaidMonths);
    case ArrearsBoard::First:
        return a.firstMonth.compare(b.firstMonth);
    case ArrearsBoard::Last:
        return a.lastMonth.compare(b.lastMonth);
    case ArrearsBoard::Unpaid:
        return cmp(a.unpaid, b.unpaid);
    case ArrearsBoard::Balance:
        return cmp(a.balance, b.balance);
    case ArrearsBoard::Owed:
        return cmp(a.owed(), b.owed());
    default:
        return 0;
    }
}

} // namespace

void ArrearsBoard::sort(QList<ArrearsRow>& rows, int column, bool ascending)
{
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    std::stable_sort(rows.begin(), rows.end(), [&](const ArrearsRow& a, const ArrearsRow& b) {
        int c = compareRows(a, b, column, collator);
        if (c == 0)
            return a.door < b.door;
        return ascending ? c < 0 : c > 0;
    });
}

QList<ArrearsTotal> ArrearsBoard::totals(const QList<ArrearsRow>& rows)
{
    QMap<QString, ArrearsTotal> per;
    ArrearsTotal all;
    auto add = [](ArrearsTotal& t, const ArrearsRow& r) {
        ++t.households;
        t.unpaidMonths += r.unpaidMonths;
        t.unpaid += r.unpaid;
        t.balance += r.balance;
        t.owed += r.owed();
    };
    for (const ArrearsRow& r : rows) {
        ArrearsTotal& t = per[r.building];
        t.building = r.building;
        add(t, r);
        add(all, r);
    }
    QList<ArrearsTotal> out = per.values();
    out.append(all);
    return out;
}

QString ArrearsBoard::text(const ArrearsRow& row, int column)
{
    switch (column) {
    case Building:
        return row.building;
    case Door:
        return row.door;
    case Name:
        return row.name;
    case Phone:
        return row.phone;
    case Months:
        return QString::number(row.unpaidMonths);
    case First:
        return row.firstMonth;
    case Last:
        return row.lastMonth;
    case Unpaid:
        return formatMask(row.unpaid, QStringLiteral("#,##0.00"));
    case Balance:
        return formatMask(row.balance, QStringLiteral("#,##0.00"));
    case Owed:
        return formatMask(row.owed(), QStringLiteral("#,##0.00"));
    default:
        return QString();
    }
}

OutTable ArrearsBoard::outTable(const QList<ArrearsRow>& rows)
{
    const QString money = QStringLiteral("#,##0.00");
    const QString whole = QStringLiteral("0");
    OutTable t;
    t.sheetName = QStringLiteral("欠费一览");
    t.header = headers();
    t.rows.reserve(rows.size() + 16);
    for (const ArrearsRow& r : rows) {
        t.rows << OutRow{OutCell::ofText(r.building),      OutCell::ofText(r.door),
                         OutCell::ofText(r.name),          OutCell::ofText(r.phone),
                         OutCell::ofNumber(r.unpaidMonths, whole), OutCell::ofText(r.firstMonth),
                         OutCell::ofText(r.lastMonth),     OutCell::ofNumber(r.unpaid, money),
                         OutCell::ofNumber(r.balance, money), OutCell::ofNumber(r.owed(), money)};
    }
    const QList<ArrearsTotal> sums = totals(rows);
    auto totalRow = [&](const ArrearsTotal& s, const QString& caption) {
        return OutRow{OutCell::ofText(caption),
                      OutCell::ofText(QStringLiteral("%1户").arg(s.households)),
                      OutCell::empty(),
                      OutCell::empty(),
                      OutCell::ofNumber(s.unpaidMonths, whole),
                      OutCell::empty(),
                      OutCell::empty(),
                      OutCell::ofNumber(s.unpaid, money),
                      OutCell::ofNumber(s.balance, money),
                      OutCell::ofNumber(s.owed, money)};
    };
    for (int i = 0; i + 1 < sums.size(); ++i)
        t.rows << totalRow(sums.at(i), QStringLiteral("%1 小计").arg(sums.at(i).building));
    t.totals = totalRow(sums.last(), QStringLiteral("合计"));
    return t;
}

QList<ArrearsBoard::Month> ArrearsBoard::unpaidMonths(Database& db, const QString& door)
{
    QList<Month> months;
    Statement st = db.prepare(QStringLiteral(
        "select 月份, ifnull(收费金额, 0) from 缴费历史 where 门牌号 = ?1 and ifnull(缴费标志, 0) = 0 order by 月份"));
    st.bind(1, door);
    while (st.step())
        months.append({st.value(0).toString(), st.value(1).toDouble()});
    return months;
}
