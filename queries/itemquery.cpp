#include "queries/itemquery.h"

#include "common/numbers.h"
#include "queries/queryprogress.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/recordset.h"

namespace {

PaidState paidState(ItemQuery::Variant v)
{
    switch (v) {
    case ItemQuery::Variant::Unpaid:
        return PaidState::Unpaid;
    case ItemQuery::Variant::Paid:
        return PaidState::Paid;
    case ItemQuery::Variant::Details:
        break;
    }
    return PaidState::Any;
}

// Households in ID order, each with its bills of the range in month order and, per
// bill, the first line of the item for the bill's month. One row per bill; a
// household without bills gives one row with an empty bill ID.
QString listingSql(bool metered, PaidState state)
{
    const QString lines = metered ? QStringLiteral("收费2") : QStringLiteral("收费1");
    const QString readings = metered ? QStringLiteral(", l.上月数, l.本月数, l.单价") : QString();
    return QStringLiteral(
               "select h.门牌号, h.户名, b.ID, b.缴费时间, l.ID, l.月份, l.收费金额%1, h.ID "
               "from 档案库 h "
               "left join 缴费历史 b on b.门牌号 = h.门牌号 and b.月份 >= ?1 and b.月份 <= ?2%2 "
               "left join %3 l on l.ID = (select min(x.ID) from %3 x "
               "where x.门牌号 = b.门牌号 and x.项目号 = ?3 and x.月份 = b.月份) "
               "where ?4 = 0 or h.门牌号 like ?5 escape '\\' "
               "order by h.ID, b.月份, b.ID")
        .arg(readings, QueryCells::paidCondition(state, QStringLiteral("b.缴费标志")), lines);
}

}  // namespace

QString ItemQuery::modeLetter(Variant variant)
{
    switch (variant) {
    case Variant::Unpaid:
        return QStringLiteral("B");
    case Variant::Paid:
        return QStringLiteral("A");
    case Variant::Details:
        break;
    }
    return QStringLiteral("C");
}

QString ItemQuery::statusLine(Variant variant, const QString& itemBoxText)
{
    if (variant == Variant::Details)
        return QStringLiteral("现在查询的是: ") + itemBoxText + QStringLiteral(" 的明细,包括已缴和未缴!");
    return QStringLiteral("现在查询的是: ") + itemBoxText;
}

QStringList ItemQuery::headers(bool metered)
{
    if (metered)
        return {QStringLiteral("门牌号"), QStringLiteral("户名"), QStringLiteral("月份"), QStringLiteral("上月数"),
                QStringLiteral("本月数"), QStringLiteral("单价"), QStringLiteral("金额"), QStringLiteral("缴费时间")};
    return {QStringLiteral("门牌号"), QStringLiteral("户名"), QStringLiteral("月份"), QStringLiteral("金额"),
            QStringLiteral("缴费时间")};
}

std::optional<ChargeItem> ItemQuery::itemNamed(RecordSet& items, const QString& text, const QVariant& chosenNumber)
{
    if (!items.isOpen())
        items.open();
    const int n = items.count();
    auto itemAt = [&](int row) {
        return ChargeItem{items.valueAt(row, QStringLiteral("项目号")).toString(),
                          items.valueAt(row, QStringLiteral("项目名")).toString(),
                          Criterion::valueIsTrue(items.valueAt(row, QStringLiteral("计算标志")))};
    };
    if (chosenNumber.isValid() && !chosenNumber.isNull()) {
        for (int row = 0; row < n; ++row) {
            const ChargeItem it = itemAt(row);
            if (it.number == chosenNumber.toString() && it.name == text)
                return it;
        }
    }
    for (int row = 0; row < n; ++row) {
        const ChargeItem it = itemAt(row);
        if (it.name == text)
            return it;
    }
    return std::nullopt;
}

QString ItemQuery::unknownItemMessage(const QString& text)
{
    return QStringLiteral("收费项目“%1”不存在，请从列表中选择一个项目，或选择“全部项目”。").arg(text);
}

std::optional<QueryTable> ItemQuery::run(Variant variant, const ChargeItem& item, const QString& itemBoxText,
                                         const QueryRange& range, QueryProgress* progress)
{
    const bool metered = item.metered;
    const int width = metered ? 8 : 5;
    const int amountAt = amountColumn(metered);
    const int timeAt = width - 1;
    const bool byBuilding = !QueryCells::trimBlanks(range.building).isEmpty();
    const QString pattern = QueryCells::prefixPattern(range.building);

    QueryTable table(headers(metered));
    table.setStatus(statusLine(variant, itemBoxText));

    qint64 households = 0;
    if (progress) {
        households = db_.scalar(QStringLiteral("select count(*) from 档案库 h where ?1 = 0 or h.门牌号 like ?2 escape '\\'"),
                                {byBuilding ? 1 : 0, pattern})
                         .toLongLong();
        if (!progress->advance(0, households))
            return std::nullopt;
    }

    Statement st = db_.prepare(listingSql(metered, paidState(variant)));
    st.bindAll({range.first, range.last, item.number, byBuilding ? 1 : 0, pattern});

    DateCells dates;
    const QString unpaid = QStringLiteral("未缴");
    double total = 0;
    qint64 done = 0;
    qint64 previousHousehold = 0;
    const int householdAt = metered ? 10 : 7;
    int rowsSeen = 0;
    // The row the next bill fills: the separator that opened the household or
    // that followed its previous bill.
    while (st.step()) {
        const QVariant door = st.value(0);
        const qint64 household = st.value(householdAt).toLongLong();
        const bool newHousehold = done == 0 || household != previousHousehold;
        previousHousehold = household;
        const bool hasBill = !st.value(2).isNull();
        if (newHousehold) {
            ++done;
            if (variant == Variant::Details || hasBill)
                table.addSeparator();
        }
        if (progress && (++rowsSeen & 1023) == 0 && !progress->advance(done, households))
            return std::nullopt;
        if (!hasBill)
            continue;

        QStringList cells;
        cells.reserve(width);
        cells << door.toString() << QueryCells::name(st.value(1));
        for (int i = 2; i < width; ++i)
            cells << QString();
        if (!st.value(4).isNull()) {  // the bill has a line of the item
            cells[2] = st.value(5).isNull() ? QString() : st.value(5).toString();
            if (metered) {
                cells[3] = QueryCells::number(st.value(7), QString());
                cells[4] = QueryCells::number(st.value(8), QString());
                cells[5] = QueryCells::number(st.value(9), QString());
            }
            const QVariant amount = st.value(6);
            cells[amountAt] = QueryCells::number(amount, QStringLiteral("0"));
            if (!amount.isNull() && !(amount.typeId() == QMetaType::QString && amount.toString().isEmpty()))
                total += amount.typeId() == QMetaType::QString ? typedNumber(amount.toString()) : amount.toDouble();
        }
        cells[timeAt] = dates.text(st.value(3), unpaid);

        QueryTable::Row& current = table.last();
        current.kind = QueryTable::RowKind::Bill;
        current.cells = std::move(cells);
        table.addSeparator();
    }

    table.addSeparator();
    QStringList totals;
    for (int i = 0; i < width; ++i)
        totals << QString();
    totals[0] = QStringLiteral("合计 ");
    totals[amountAt] = formatMask(total, QStringLiteral("#,###.00"));
    table.addRow(QueryTable::RowKind::Totals, totals);
    if (progress && !progress->advance(households, households))
        return std::nullopt;
    return table;
}
