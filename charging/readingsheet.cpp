#include "charging/readingsheet.h"

#include "charging/monthrun.h"
#include "common/dates.h"
#include "common/numbers.h"
#include "store/database.h"
#include "store/schema.h"

#include <algorithm>
#include <cmath>

namespace {

QString key(const QString& door, const QVariant& itemNo)
{
    return door + QChar(0x1f) + itemNo.toString();
}

std::optional<double> optionalNumber(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    return storedNumber(v);
}

QVariant bindable(const std::optional<double>& v)
{
    return v ? QVariant(*v) : QVariant();
}

// A line of the history: month, ID, previous and this month's number.
struct Past {
    int row;    // of the sheet
    int month;  // yyyymm
    qint64 id;
    double previous;
    double current;
};

}  // namespace

QString buildingOf(const QString& door)
{
    const int dash = door.indexOf(QLatin1Char('-'));
    return dash < 0 ? door : door.left(dash);
}

double ReadingSheet::offeredValue(const BillItem& item)
{
    return typedNumber(offeredFixed(item.fixed));
}

double SheetRow::usedPrevious() const
{
    if (reading && *reading < previous && confirmed && newStart)
        return *newStart;
    return previous;
}

double SheetRow::usage(const BillItem& it) const
{
    const double r = reading.value_or(0.0);
    return it.metered ? r - usedPrevious() : r;
}

double SheetRow::unitPrice(const BillItem& it) const
{
    return price ? *price : ReadingSheet::offeredValue(it);
}

double SheetRow::amount(const BillItem& it) const
{
    // The same steps as the bill's line: usage × price, then × 面积.
    const double current = reading.value_or(0.0);
    double a = it.metered ? (current - usedPrevious()) * unitPrice(it) : current * unitPrice(it);
    if (it.byArea)
        a *= area;
    return a;
}

ReadingText readingNumber(const QString& text)
{
    ReadingText r;
    QString t = narrowDigits(text).trimmed();
    t.remove(QLatin1Char(','));
    t.remove(QChar(0xFF0C));  // ，
    if (t.isEmpty())
        return r;
    const std::optional<double> v = boxNumber(t);
    if (!v) {
        r.kind = ReadingText::Kind::NotNumber;
        return r;
    }
    r.value = *v;
    r.kind = std::fabs(*v) > ReadingText::MaxReading ? ReadingText::Kind::TooLarge : ReadingText::Kind::Number;
    return r;
}

bool SheetRow::needsConfirmation(const BillItem& it) const
{
    return reading && (it.metered ? *reading < previous : *reading < 0);
}

SheetRow::Check SheetRow::check(const BillItem& it) const
{
    if (!reading)
        return Check::Missing;
    if (it.metered && *reading < previous) {
        if (!confirmed)
            return Check::Below;
        return usage(it) < 0 ? Check::NegativeConfirmed : Check::BelowConfirmed;
    }
    if (!it.metered && *reading < 0)
        return confirmed ? Check::NegativeConfirmed : Check::Negative;
    const double u = usage(it);
    if (history > 0 && average > 0 && u > 3 * average)
        return Check::High;
    if (history > 0 && u == 0 && !everZero)
        return Check::Zero;
    return Check::Ok;
}

bool SheetRow::blocks(const BillItem& it) const
{
    const Check c = check(it);
    return c == Check::Missing || c == Check::Below || c == Check::Negative;
}

void ReadingSheet::ensureDraftTable(Database& db)
{
    db.execScript(QStringLiteral(
        "create table if not exists 抄表草稿 (月份 TEXT, 门牌号 TEXT, 项目号 TEXT, 本月数 REAL, 单价 REAL, "
        "已确认 INTEGER, 新表起数 REAL)"));
    Schema::createIndexes(db, QStringLiteral(
        "create unique index if not exists 抄表草稿_月份_门牌号_项目号 on 抄表草稿(月份, 门牌号, 项目号)"));
    MonthRun::ensureUndoTables(db);
}

ReadingSheet::ReadingSheet(Database& db, RecordSet& items) : db_(db), itemSet_(items) {}

int ReadingSheet::rowOf(const QString& door, const QVariant& itemNo) const
{
    return index_.value(key(door, itemNo), -1);
}

void ReadingSheet::load(const QString& month, const QString& buildingPrefix)
{
    ensureDraftTable(db_);
    month_ = month;
    prefix_ = buildingPrefix;
    items_ = chargeItems(itemSet_);
    households_.clear();
    rows_.clear();
    index_.clear();

    QList<int> sheetItems;
    for (int i = 0; i < items_.size(); ++i)
        if (items_[i].needsNumber())
            sheetItems.append(i);

    Statement hs = db_.prepare(QStringLiteral("select ID, 门牌号, 户名, 面积, 收费说明 from 档案库 order by ID"));
    while (hs.step()) {
        const QString door = hs.value(1).toString();
        if (!door.startsWith(prefix_))
            continue;
        SheetHousehold h;
        h.id = hs.value(0).toLongLong();
        h.door = door;
        h.name = hs.value(2).toString();
        h.area = storedNumber(hs.value(3));
        h.note = hs.value(4).toString();
        h.firstRow = int(rows_.size());
        h.rowCount = int(sheetItems.size());
        const int hi = int(households_.size());
        households_.append(h);
        for (int item : sheetItems) {
            SheetRow r;
            r.household = hi;
            r.door = h.door;
            r.name = h.name;
            r.area = h.area;
            r.item = item;
            index_.insert(key(h.door, items_[item].no), int(rows_.size()));
            rows_.append(r);
        }
    }

    loadHistory();

    Statement ds = db_.prepare(QStringLiteral(
        "select 门牌号, 项目号, 本月数, 单价, 已确认, 新表起数 from 抄表草稿 where 月份 = ?"));
    ds.bind(1, month_);
    while (ds.step()) {
        const int i = index_.value(key(ds.value(0).toString(), ds.value(1)), -1);
        if (i < 0)
            continue;
        SheetRow& r = rows_[i];
        r.reading = optionalNumber(ds.value(2));
        r.price = optionalNumber(ds.value(3));
        r.confirmed = storedNumber(ds.value(4)) != 0;
        r.newStart = optionalNumber(ds.value(5));
    }
}

// The previous reading and the usage of the last six billed months, for every row.
// One range read per item over the six months before the sheet's month finds them
// for every household billed each month; a household with fewer lines there is
// looked up alone, the way bill entry looks up its previous reading.
void ReadingSheet::loadHistory()
{
    if (rows_.isEmpty())
        return;
    const QDate start = QDate::fromString(month_ + QStringLiteral("01"), QStringLiteral("yyyyMMdd"));
    const QString from = start.isValid() ? monthKey(start.addMonths(-HistoryMonths)) : QString();

    // A household's rows stand together, in the order of the sheet's items.
    QHash<QByteArray, int> householdOf;  // UTF-8 door number → household
    householdOf.reserve(households_.size());
    for (int h = 0; h < households_.size(); ++h)
        householdOf.insert(households_[h].door.toUtf8(), h);
    QList<int> itemsInSheet;
    for (const SheetRow& r : rows_) {
        if (r.household > 0)
            break;
        itemsInSheet.append(r.item);
    }

    // Every line of the six months in one list, ordered by row, then month (latest
    // first), then ID: the lines of a row stand together.
    std::vector<Past> lines;
    lines.reserve(size_t(rows_.size()) * HistoryMonths);
    if (!from.isEmpty()) {
        for (int slot = 0; slot < itemsInSheet.size(); ++slot) {
            const int item = itemsInSheet[slot];
            Statement st = db_.prepare(QStringLiteral(
                "select 门牌号, cast(月份 as integer), ID, 上月数, 本月数 from 收费2 "
                "where 项目号 = ? and 月份 >= ? and 月份 < ?"));
            st.bind(1, items_[item].no).bind(2, from).bind(3, month_);
            while (st.step()) {
                const int h = householdOf.value(st.rawText(0), -1);
                if (h < 0)
                    continue;
                lines.push_back({households_[h].firstRow + slot, int(st.value(1).toLongLong()),
                                 st.value(2).toLongLong(), storedNumber(st.value(3)), storedNumber(st.value(4))});
            }
        }
    }
    auto later = [](const Past& a, const Past& b) {
        if (a.row != b.row)
            return a.row < b.row;
        return a.month != b.month ? a.month > b.month : a.id < b.id;
    };
    std::sort(lines.begin(), lines.end(), later);

    size_t at = 0;
    QList<Past> alone;
    for (int i = 0; i < rows_.size(); ++i) {
        SheetRow& r = rows_[i];
        const BillItem& item = items_[r.item];
        size_t end = at;
        int months = 0;
        for (; end < lines.size() && lines[end].row == i; ++end)
            months += (end == at || lines[end].month != lines[end - 1].month);
        const Past* first = lines.data() + at;
        qsizetype count = qsizetype(end - at);
        at = end;
        if (months < HistoryMonths) {
            // Fewer months in the range: the household's own lines, as bill entry reads them.
            alone.clear();
            Statement st = db_.prepare(QStringLiteral(
                "select cast(月份 as integer), ID, 上月数, 本月数 from 收费2 where 门牌号 = ? and +项目号 = ? "
                "and 月份 < ? order by 月份 desc, ID limit 64"));
            st.bind(1, r.door).bind(2, item.no).bind(3, month_);
            while (st.step())
                alone.append({i, int(st.value(0).toLongLong()), st.value(1).toLongLong(), storedNumber(st.value(2)),
                              storedNumber(st.value(3))});
            std::sort(alone.begin(), alone.end(), later);
            first = alone.constData();
            count = alone.size();
        }
        // The first line of each month, latest month first.
        double sum = 0;
        int n = 0;
        bool zero = false;
        for (qsizetype k = 0; k < count && n < HistoryMonths; ++k) {
            if (k > 0 && first[k].month == first[k - 1].month)
                continue;
            if (n == 0 && item.metered)
                r.previous = first[k].current;
            const double u = item.metered ? first[k].current - first[k].previous : first[k].current;
            sum += u;
            zero = zero || u == 0;
            ++n;
        }
        r.history = n;
        r.average = n > 0 ? sum / n : 0.0;
        r.everZero = zero;
    }
}

void ReadingSheet::saveRows(const QList<int>& rows)
{
    Transaction t(db_);
    for (int i : rows) {
        const SheetRow& r = rows_[i];
        const QVariant itemNo = items_[r.item].no;
        if (!r.reading && !r.price && !r.confirmed && !r.newStart) {
            db_.exec(QStringLiteral("delete from 抄表草稿 where 月份 = ? and 门牌号 = ? and 项目号 = ?"),
                     {month_, r.door, itemNo});
        } else {
            db_.exec(QStringLiteral("insert or replace into 抄表草稿 (月份, 门牌号, 项目号, 本月数, 单价, 已确认, 新表起数) "
                                    "values (?, ?, ?, ?, ?, ?, ?)"),
                     {month_, r.door, itemNo, bindable(r.reading), bindable(r.price), r.confirmed ? 1 : 0,
                      bindable(r.newStart)});
        }
    }
    t.commit();
}

void ReadingSheet::setReading(int row, std::optional<double> value)
{
    setReadings(row, {value});
}

void ReadingSheet::setReadings(int firstRow, const QList<std::optional<double>>& values)
{
    QList<int> rows;
    for (int k = 0; k < values.size() && firstRow + k < rows_.size(); ++k)
        rows << firstRow + k;
    setReadingsAt(rows, values.mid(0, rows.size()));
}

void ReadingSheet::setReadingsAt(const QList<int>& rows, const QList<std::optional<double>>& values)
{
    QList<SheetRow> before;
    for (int k = 0; k < rows.size(); ++k) {
        before.append(rows_[rows[k]]);
        rows_[rows[k]].reading = values.value(k);
    }
    try {
        saveRows(rows);
    } catch (...) {
        for (int k = before.size() - 1; k >= 0; --k)
            rows_[rows[k]] = before[k];
        throw;
    }
}

void ReadingSheet::setPrice(int row, std::optional<double> value)
{
    const SheetRow before = rows_[row];
    rows_[row].price = value;
    try {
        saveRows({row});
    } catch (...) {
        rows_[row] = before;
        throw;
    }
}

void ReadingSheet::setConfirmed(int row, bool confirmed, std::optional<double> newStart)
{
    const SheetRow before = rows_[row];
    rows_[row].confirmed = confirmed;
    rows_[row].newStart = confirmed ? newStart : std::nullopt;
    try {
        saveRows({row});
    } catch (...) {
        rows_[row] = before;
        throw;
    }
}

ReadingSheet::Counts ReadingSheet::counts() const
{
    Counts c;
    for (const SheetRow& r : rows_) {
        switch (r.check(items_[r.item])) {
        case SheetRow::Check::Missing: ++c.missing; break;
        case SheetRow::Check::Below: ++c.below; break;
        case SheetRow::Check::BelowConfirmed: ++c.confirmed; break;
        case SheetRow::Check::High: ++c.high; break;
        case SheetRow::Check::Zero: ++c.zero; break;
        case SheetRow::Check::Negative: ++c.negative; break;
        case SheetRow::Check::NegativeConfirmed: ++c.negativeConfirmed; break;
        case SheetRow::Check::Ok: break;
        }
    }
    return c;
}
