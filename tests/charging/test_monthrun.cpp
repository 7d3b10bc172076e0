#include "charging/billlines.h"
#include "charging/monthrun.h"
#include "charging/readingsheet.h"
#include "accounts/reversal.h"
#include "charging/singleentry.h"
#include "collection/collection.h"
#include "common/numbers.h"
#include "estate.h"
#include "maintenance/cleanup.h"
#include "records/householddeletion.h"
#include "records/householdrenames.h"
#include "store/criterion.h"
#include "store/recordset.h"

#include <QTest>

using Check = SheetRow::Check;
using Outcome = MonthRun::Outcome;

namespace {

const QString kMonth = QStringLiteral("202406");

// Every row of every table (and the autonumbers), each value with its storage class.
QStringList snapshot(Database& db, const QStringList& skipColumns = {})
{
    QStringList out;
    QStringList tables = db.tables();
    if (db.engine() == Database::Engine::File)
        tables.prepend(QStringLiteral("sqlite_sequence"));  // the autonumbers
    for (const QString& t : tables) {
        Statement st = db.prepare(QStringLiteral("select * from \"%1\" order by rowid").arg(t));
        while (st.step()) {
            QStringList cells;
            for (int c = 0; c < st.columnCount(); ++c) {
                if (skipColumns.contains(st.columnName(c)))
                    continue;
                const QVariant v = st.value(c);
                cells << (v.isNull() ? QStringLiteral("null")
                          : v.typeId() == QMetaType::Double ? QStringLiteral("r") + QString::number(v.toDouble(), 'g', 17)
                                                            : QStringLiteral("%1:%2").arg(v.typeName(), v.toString()));
            }
            out << t + QLatin1Char('|') + cells.join(QLatin1Char('|'));
        }
    }
    return out;
}

// The bill tables without their IDs, for comparing two estates.
QStringList billRows(Database& db)
{
    QStringList out;
    const QStringList select = {
        QStringLiteral("select * from 缴费历史 order by 门牌号, 月份, ID"),
        QStringLiteral("select * from 收费1 order by 门牌号, 月份, 项目号, ID"),
        QStringLiteral("select * from 收费2 order by 门牌号, 月份, 项目号, ID"),
    };
    for (const QString& sql : select) {
        Statement st = db.prepare(sql);
        while (st.step()) {
            QStringList cells;
            for (int c = 0; c < st.columnCount(); ++c) {
                if (st.columnName(c) == QStringLiteral("ID"))
                    continue;
                const QVariant v = st.value(c);
                cells << (v.isNull() ? QStringLiteral("null")
                          : v.typeId() == QMetaType::Double ? QStringLiteral("r") + QString::number(v.toDouble(), 'g', 17)
                                                            : QStringLiteral("%1:%2").arg(v.typeName(), v.toString()));
            }
            out << cells.join(QLatin1Char('|'));
        }
    }
    return out;
}

// An estate with items of every kind, history with gaps, and a bill already entered.
void fill(TestEstate& e)
{
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("卫生费"), 0.8, false, false, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("04"), QStringLiteral("电费"), 0.61, true, true, true);
    e.addItem(QStringLiteral("05"), QStringLiteral("车位"), 3.3, true, false);
    e.addItem(QStringLiteral("06"), QStringLiteral("杂费"), QVariant());
    e.addItem(QStringLiteral("07"), QStringLiteral("煤气"), QVariant(), true, true);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 85.5, 0.0, QStringLiteral("2024年06月到期"));
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"), 60);
    e.addHousehold(QStringLiteral("2-101"), QStringLiteral("王五'"), 72.25);
    e.addHousehold(QStringLiteral("2-102"), QStringLiteral("赵六"), 90);
    // 1-101: water every month; 1-102: water in 202403 only (months missing since);
    // a later month's line is never a previous reading.
    for (const QString& m : {QStringLiteral("202403"), QStringLiteral("202404"), QStringLiteral("202405")})
        e.addMeteredLine(QStringLiteral("1-101"), m, QStringLiteral("03"), QStringLiteral("水费"), 0, 100 * (m.right(1).toInt()), 2.5, 0);
    e.addMeteredLine(QStringLiteral("1-101"), QStringLiteral("202405"), QStringLiteral("04"), QStringLiteral("电费(按面积)"), 300, 420.5, 0.61, 0);
    e.addMeteredLine(QStringLiteral("1-102"), QStringLiteral("202403"), QStringLiteral("03"), QStringLiteral("水费"), 0, 77, 2.5, 0);
    e.addMeteredLine(QStringLiteral("1-102"), QStringLiteral("202408"), QStringLiteral("03"), QStringLiteral("水费"), 0, 999, 2.5, 0);
    // 2-102 has its unpaid bill of the month already, with one line under an old name.
    e.addBill(QStringLiteral("2-102"), kMonth, 11, false, 5.0, QVariant(), QString(), QStringLiteral("旧说明"));
    e.addFixedLine(QStringLiteral("2-102"), kMonth, QStringLiteral("01"), QStringLiteral("管理费"), 11);
}

// The sheet's values for the month.
void enter(ReadingSheet& s)
{
    auto set = [&](const QString& door, const QString& item, double v) { s.setReading(s.rowOf(door, item), v); };
    set(QStringLiteral("1-101"), QStringLiteral("03"), 380);
    set(QStringLiteral("1-101"), QStringLiteral("04"), 512.25);
    set(QStringLiteral("1-101"), QStringLiteral("05"), 2);
    set(QStringLiteral("1-101"), QStringLiteral("07"), 3);
    set(QStringLiteral("1-102"), QStringLiteral("03"), 90.5);
    set(QStringLiteral("1-102"), QStringLiteral("04"), 10);
    set(QStringLiteral("1-102"), QStringLiteral("05"), 0);
    set(QStringLiteral("1-102"), QStringLiteral("07"), 0);
    for (const QString& d : {QStringLiteral("2-101"), QStringLiteral("2-102")})
        for (const QString& i : {QStringLiteral("03"), QStringLiteral("04"), QStringLiteral("05"), QStringLiteral("07")})
            set(d, i, 7);
    // 1-101's water meter was replaced: 40 on the new meter that started at 5.
    const int w = s.rowOf(QStringLiteral("1-101"), QStringLiteral("03"));
    s.setReading(w, 40);
    s.setConfirmed(w, true, 5.0);
    s.setPrice(s.rowOf(QStringLiteral("1-102"), QStringLiteral("05")), 4.75);
}

// Answers single entry's boxes with the sheet's values (readings raised by `more`),
// offered values for fixed items.
void script(ScriptedPrompter& p, const ReadingSheet& s, const QString& door, double more = 0)
{
    for (const BillItem& item : s.items()) {
        if (!item.computed) {
            p.type(offeredFixed(item.fixed));
            continue;
        }
        const SheetRow& r = s.row(s.rowOf(door, item.no));
        p.type(plainNumber(*r.reading + more));
        if (item.metered && *r.reading + more < r.previous)
            p.type(plainNumber(r.usedPrevious()));
        p.type(plainNumber(r.unitPrice(item)));
    }
}

struct Sheet {
    explicit Sheet(TestEstate& e, const QString& prefix = QString()) : sheet(e.db(), e.env().rs项目())
    {
        sheet.load(kMonth, prefix);
    }
    ReadingSheet sheet;
};

class Cancelling : public RunProgress {
public:
    explicit Cancelling(int at) : at_(at) {}
    bool proceed(int done, int) override
    {
        ++calls;
        return done < at_;
    }
    int calls = 0;

private:
    int at_;
};

}  // namespace

class TestMonthRun : public QObject {
    Q_OBJECT
private slots:
    void runWritesWhatSingleEntryWrites_data();
    void runWritesWhatSingleEntryWrites();
    void previousReadingAsBillEntryFindsIt_data();
    void previousReadingAsBillEntryFindsIt();
    void usageChecks_data();
    void usageChecks();
    void readingBelowPreviousBlocksUntilConfirmed();
    void rowAmounts();
    void draftOutlivesTheSheetAndIsNoCharge();
    void paidSkippedUnpaidRecomputedOnlyWhenChosen();
    void buildingPrefixAndTotals();
    void cancelWritesNothing();
    void failurePartWayWritesNothing();
    void householdChangedSinceTheSheetIsListedAndSkipped_data();
    void householdChangedSinceTheSheetIsListedAndSkipped();
    void undoRestoresTheFileExactly();
    void undoRefusedOnceSomethingOfTheRunChanged_data();
    void undoRefusedOnceSomethingOfTheRunChanged();
};

void TestMonthRun::runWritesWhatSingleEntryWrites_data()
{
    QTest::addColumn<bool>("sharedNumber");
    QTest::newRow("every item its own number") << false;
    // Step by step the second item rewrites the first one's new line.
    QTest::newRow("two fixed items share 01") << true;
}

void TestMonthRun::runWritesWhatSingleEntryWrites()
{
    QFETCH(bool, sharedNumber);
    TestEstate byRun, bySingle;
    fill(byRun);
    fill(bySingle);
    if (sharedNumber)
        for (TestEstate* e : {&byRun, &bySingle})
            e->addItem(QStringLiteral("01"), QStringLiteral("绿化费"), 20.0);

    Sheet s(byRun);
    enter(s.sheet);
    MonthRun run(byRun.db(), s.sheet);
    const MonthRun::Plan plan = run.plan(true);
    QVERIFY(plan.blocking.isEmpty());
    QCOMPARE(plan.newBills.size(), 3);
    QCOMPARE(plan.recomputed, QStringList{QStringLiteral("2-102")});
    const MonthRun::Result r = run.run(true);
    QCOMPARE(r.outcome, Outcome::Done);
    QCOMPARE(r.newBills, 3);
    QCOMPARE(r.recomputed, 1);
    QCOMPARE(r.reminders, QStringList{QStringLiteral("1-101")});

    RecordSet households(bySingle.db(), QStringLiteral("档案库"), QStringLiteral("ID"));
    households.requery();
    SingleEntry single(bySingle.services());
    for (const SheetHousehold& h : s.sheet.households()) {
        script(bySingle.prompter, s.sheet, h.door);
        QCOMPARE(single.run(households, h.door, kMonth).outcome, SingleEntry::Outcome::Done);
        QCOMPARE(bySingle.prompter.pending(), 0);
        QCOMPARE(bySingle.prompter.unanswered(), 0);
    }
    const QStringList want = billRows(bySingle.db());
    QCOMPARE(billRows(byRun.db()), want);
    // The preview's total is the sum of the bills written.
    QCOMPARE(byRun.scalar(QStringLiteral("select sum(收费金额) from 缴费历史 where 月份 = ?"), {kMonth}).toDouble(),
             plan.total);
}

void TestMonthRun::previousReadingAsBillEntryFindsIt_data()
{
    QTest::addColumn<QStringList>("months");  // months with a line; reading = month's last two digits × 10
    QTest::addColumn<double>("previous");
    QTest::addColumn<int>("history");
    QTest::newRow("none") << QStringList{} << 0.0 << 0;
    QTest::newRow("last month") << QStringList{QStringLiteral("202405")} << 50.0 << 1;
    QTest::newRow("months missing between") << QStringList{QStringLiteral("202311"), QStringLiteral("202402")} << 20.0 << 2;
    QTest::newRow("later months ignored") << QStringList{QStringLiteral("202404"), QStringLiteral("202406"), QStringLiteral("202409")}
                                          << 40.0 << 1;
    QTest::newRow("older than the window only") << QStringList{QStringLiteral("202201")} << 10.0 << 1;
    QTest::newRow("eight months, six counted")
        << QStringList{QStringLiteral("202310"), QStringLiteral("202311"), QStringLiteral("202312"), QStringLiteral("202401"),
                       QStringLiteral("202402"), QStringLiteral("202403"), QStringLiteral("202404"), QStringLiteral("202405")}
        << 50.0 << 6;
}

void TestMonthRun::previousReadingAsBillEntryFindsIt()
{
    QFETCH(QStringList, months);
    QFETCH(double, previous);
    QFETCH(int, history);
    TestEstate e;
    e.addItem(QStringLiteral("03"), QStringLiteral("水费"), 2.5, true, true);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    for (const QString& m : months)
        e.addMeteredLine(QStringLiteral("1-101"), m, QStringLiteral("03"), QStringLiteral("水费"), 0, m.right(2).toInt() * 10, 2.5, 0);
    Sheet s(e);
    QCOMPARE(s.sheet.rows().size(), 1);
    QCOMPARE(s.sheet.row(0).previous, previous);
    QCOMPARE(s.sheet.row(0).previous, previousReading(e.db(), QStringLiteral("1-101"), QStringLiteral("03"), kMonth));
    QCOMPARE(s.sheet.row(0).history, history);
}

void TestMonthRun::usageChecks_data()
{
    QTest::addColumn<bool>("metered");
    QTest::addColumn<QList<double>>("usages");  // oldest first, one month each
    QTest::addColumn<QVariant>("reading");      // empty: none entered
    QTest::addColumn<int>("check");
    const QList<double> ten = {10, 10, 10, 10};
    QTest::newRow("missing") << true << ten << QVariant() << int(Check::Missing);
    QTest::newRow("usual") << true << ten << QVariant(40.0 + 25) << int(Check::Ok);
    QTest::newRow("three times is still usual") << true << ten << QVariant(40.0 + 30) << int(Check::Ok);
    QTest::newRow("above three times") << true << ten << QVariant(40.0 + 30.5) << int(Check::High);
    QTest::newRow("below previous") << true << ten << QVariant(39.0) << int(Check::Below);
    QTest::newRow("zero where never zero") << true << ten << QVariant(40.0) << int(Check::Zero);
    QTest::newRow("zero where it was zero") << true << QList<double>{10, 0, 10} << QVariant(20.0) << int(Check::Ok);
    QTest::newRow("no history, any usage") << true << QList<double>{} << QVariant(5000.0) << int(Check::Ok);
    // Only the last six months count: an old huge month does not lift the average.
    QTest::newRow("old months left out") << true << QList<double>{1000, 10, 10, 10, 10, 10, 10} << QVariant(1070.0 + 40)
                                         << int(Check::High);
    QTest::newRow("quantity above three times") << false << QList<double>{2, 2} << QVariant(7.0) << int(Check::High);
    QTest::newRow("quantity zero") << false << QList<double>{2, 2} << QVariant(0.0) << int(Check::Zero);
}

void TestMonthRun::usageChecks()
{
    QFETCH(bool, metered);
    QFETCH(QList<double>, usages);
    QFETCH(QVariant, reading);
    QFETCH(int, check);
    TestEstate e;
    e.addItem(QStringLiteral("03"), QStringLiteral("水费"), 2.5, true, metered);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    QDate m(2024, 6, 1);
    m = m.addMonths(-int(usages.size()));
    double at = 0;
    for (double u : usages) {
        e.addMeteredLine(QStringLiteral("1-101"), monthKey(m), QStringLiteral("03"), QStringLiteral("水费"),
                         metered ? at : 0, metered ? at + u : u, 2.5, 0);
        at += u;
        m = m.addMonths(1);
    }
    Sheet s(e);
    if (reading.isValid())
        s.sheet.setReading(0, reading.toDouble());
    QCOMPARE(int(s.sheet.row(0).check(s.sheet.itemOf(0))), check);
}

void TestMonthRun::readingBelowPreviousBlocksUntilConfirmed()
{
    TestEstate e;
    e.addItem(QStringLiteral("03"), QStringLiteral("水费"), 0.5, true, true);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    e.addMeteredLine(QStringLiteral("1-101"), QStringLiteral("202405"), QStringLiteral("03"), QStringLiteral("水费"), 1100, 1200, 0.5, 50);
    Sheet s(e);
    s.sheet.setReading(0, 1100);
    MonthRun run(e.db(), s.sheet);
    QCOMPARE(run.plan(false).blocking, QList<int>{0});
    QCOMPARE(s.sheet.counts().blocking(), 1);
    const QStringList before = snapshot(e.db());
    QCOMPARE(run.run(false).outcome, Outcome::Blocked);
    QCOMPARE(snapshot(e.db()), before);

    // Confirmed as it stands: the amount may be negative, as single entry writes it.
    s.sheet.setConfirmed(0, true);
    QVERIFY(run.plan(false).blocking.isEmpty());
    QCOMPARE(s.sheet.row(0).amount(s.sheet.itemOf(0)), -50.0);
    // A replaced meter: the new meter started at 1000.
    s.sheet.setConfirmed(0, true, 1000.0);
    QCOMPARE(s.sheet.row(0).check(s.sheet.itemOf(0)), Check::BelowConfirmed);
    QCOMPARE(run.run(false).outcome, Outcome::Done);
    const auto line = e.rows(QStringLiteral("select 上月数, 本月数, 单价, 收费金额 from 收费2 where 月份 = ?"), {kMonth});
    QCOMPARE(line.value(0), (QVariantList{1000.0, 1100.0, 0.5, 50.0}));
}

void TestMonthRun::rowAmounts()
{
    TestEstate e;
    fill(e);
    Sheet s(e);
    enter(s.sheet);
    auto amount = [&](const QString& door, const QString& item) {
        const int i = s.sheet.rowOf(door, item);
        return s.sheet.row(i).amount(s.sheet.itemOf(i));
    };
    // Metered from the latest earlier month across missing months: (90.5 − 77) × 2.5.
    QCOMPARE(amount(QStringLiteral("1-102"), QStringLiteral("03")), (90.5 - 77) * 2.5);
    // Metered by area: (512.25 − 420.5) × 0.61 × 85.5.
    QCOMPARE(amount(QStringLiteral("1-101"), QStringLiteral("04")), (512.25 - 420.5) * 0.61 * 85.5);
    // Quantity at a changed price; quantity at the item's price.
    QCOMPARE(amount(QStringLiteral("2-101"), QStringLiteral("05")), 7 * 3.3);
    QCOMPARE(amount(QStringLiteral("1-101"), QStringLiteral("05")), 2 * 3.3);
    // Metered with an empty 固定收费: the price offered is 0.
    QCOMPARE(amount(QStringLiteral("1-101"), QStringLiteral("07")), 0.0);

    MonthRun(e.db(), s.sheet).run(false);
    // The area item is multiplied and suffixed; the empty fixed item is a line of 0.
    const auto fixed = e.rows(QStringLiteral("select 项目号, 项目名, 收费金额 from 收费1 where 门牌号 = '1-101' order by 项目号"));
    QCOMPARE(fixed.size(), 3);
    QCOMPARE(fixed[1], (QVariantList{QStringLiteral("02"), QStringLiteral("卫生费(按面积)"), 0.8 * 85.5}));
    QCOMPARE(fixed[2], (QVariantList{QStringLiteral("06"), QStringLiteral("杂费"), 0.0}));
}

void TestMonthRun::draftOutlivesTheSheetAndIsNoCharge()
{
    TestEstate e;
    fill(e);
    {
        Sheet s(e);
        enter(s.sheet);
    }
    QCOMPARE(e.count(QStringLiteral("缴费历史")), 1);
    Sheet again(e);
    const int w = again.sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("03"));
    QCOMPARE(again.sheet.row(w).reading, std::optional<double>(40));
    QVERIFY(again.sheet.row(w).confirmed);
    QCOMPARE(again.sheet.row(w).newStart, std::optional<double>(5));
    QCOMPARE(again.sheet.row(again.sheet.rowOf(QStringLiteral("1-102"), QStringLiteral("05"))).price,
             std::optional<double>(4.75));
    // Clearing a row takes it out of the draft.
    again.sheet.setConfirmed(w, false);
    again.sheet.setReading(w, std::nullopt);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿 where 门牌号 = '1-101' and 项目号 = '03'")).toInt(), 0);
    // Another month's sheet is empty.
    ReadingSheet other(e.db(), e.env().rs项目());
    other.load(QStringLiteral("202407"));
    QCOMPARE(other.counts().missing, int(other.rows().size()));
}

void TestMonthRun::paidSkippedUnpaidRecomputedOnlyWhenChosen()
{
    TestEstate e;
    fill(e);
    e.addBill(QStringLiteral("1-102"), kMonth, 99, true, 99.0, 0.0, QStringLiteral("2024-06-30"));
    Sheet s(e);
    enter(s.sheet);
    s.sheet.setReading(s.sheet.rowOf(QStringLiteral("1-102"), QStringLiteral("03")), std::nullopt);  // a skipped row blocks nothing
    MonthRun run(e.db(), s.sheet);
    const MonthRun::Plan p = run.plan(false);
    QCOMPARE(p.paidSkipped, QStringList{QStringLiteral("1-102")});
    QCOMPARE(p.unpaidSkipped, QStringList{QStringLiteral("2-102")});
    QCOMPARE(p.newBills, (QStringList{QStringLiteral("1-101"), QStringLiteral("2-101")}));
    QVERIFY(p.blocking.isEmpty());
    QCOMPARE(run.run(false).outcome, Outcome::Done);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史 where 门牌号 = '2-102'")).toDouble(), 11.0);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史 where 门牌号 = '1-102'")).toDouble(), 99.0);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 收费2 where 门牌号 in ('1-102', '2-102') and 月份 = ?"), {kMonth}).toInt(), 0);

    // Chosen: the unpaid bill is written again (its cash and note kept), the paid one still not.
    Sheet s2(e);
    MonthRun again(e.db(), s2.sheet);
    const MonthRun::Plan p2 = again.plan(true);
    QCOMPARE(p2.recomputed, (QStringList{QStringLiteral("1-101"), QStringLiteral("2-101"), QStringLiteral("2-102")}));
    QCOMPARE(p2.newBills, QStringList{});
    QCOMPARE(again.run(true).outcome, Outcome::Done);
    const auto bill = e.rows(QStringLiteral("select 实缴金额, 其他说明, 缴费标志 from 缴费历史 where 门牌号 = '2-102'"));
    QCOMPARE(bill.value(0), (QVariantList{5.0, QStringLiteral("旧说明"), 0}));
    QCOMPARE(e.scalar(QStringLiteral("select 项目名 from 收费1 where 门牌号 = '2-102' and 项目号 = '01'")).toString(),
             QStringLiteral("管理费"));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史 where 门牌号 = '1-102'")).toDouble(), 99.0);
}

void TestMonthRun::buildingPrefixAndTotals()
{
    TestEstate e;
    fill(e);
    Sheet all(e);
    enter(all.sheet);
    const MonthRun::Plan p = MonthRun(e.db(), all.sheet).plan(true);
    QCOMPARE(p.byBuilding.keys(), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(p.byBuilding.value(QStringLiteral("1")) + p.byBuilding.value(QStringLiteral("2")), p.total);
    Sheet two(e, QStringLiteral("2-"));
    QCOMPARE(two.sheet.households().size(), 2);
    const MonthRun::Plan p2 = MonthRun(e.db(), two.sheet).plan(true);
    QCOMPARE(p2.households, 2);
    QCOMPARE(p2.total, p.byBuilding.value(QStringLiteral("2")));
}

void TestMonthRun::cancelWritesNothing()
{
    TestEstate e;
    fill(e);
    Sheet s(e);
    enter(s.sheet);
    const QStringList before = snapshot(e.db());
    for (int at : {0, 4}) {  // at once, and after the last household
        Cancelling c(at);
        QCOMPARE(MonthRun(e.db(), s.sheet).run(true, &c).outcome, Outcome::Cancelled);
        QVERIFY(c.calls > 0);
        QCOMPARE(snapshot(e.db()), before);
    }
}

void TestMonthRun::failurePartWayWritesNothing()
{
    TestEstate e;
    fill(e);
    Sheet s(e);
    enter(s.sheet);
    const QStringList before = snapshot(e.db());
    // The third household's lines are refused.
    e.refuseWrites(QStringLiteral("insert"), QStringLiteral("收费2"), QStringLiteral("new.门牌号 = '2-101'"),
                   QStringLiteral("disk gone"));
    const MonthRun::Result r = MonthRun(e.db(), s.sheet).run(true);
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY(r.error.contains(QStringLiteral("disk gone")));
    QCOMPARE(snapshot(e.db()), before);
}

void TestMonthRun::householdChangedSinceTheSheetIsListedAndSkipped_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("deleted") << QStringLiteral("delete from 档案库 where 门牌号 = '1-102'");
    QTest::newRow("door number changed") << QStringLiteral("update 档案库 set 门牌号 = '1-109' where 门牌号 = '1-102'");
    QTest::newRow("area") << QStringLiteral("update 档案库 set 面积 = 61 where 门牌号 = '1-102'");
    QTest::newRow("charge note") << QStringLiteral("update 档案库 set 收费说明 = '2024年06月到期' where 门牌号 = '1-102'");
    QTest::newRow("previous reading") << QStringLiteral("update 收费2 set 本月数 = 80 where 门牌号 = '1-102' and 月份 = '202403'");
}

void TestMonthRun::householdChangedSinceTheSheetIsListedAndSkipped()
{
    QFETCH(QString, change);
    TestEstate e;
    fill(e);
    Sheet s(e);
    enter(s.sheet);
    MonthRun run(e.db(), s.sheet);
    QCOMPARE(run.plan(true).newBills.size(), 3);
    e.db().exec(change);
    const MonthRun::Result r = run.run(true);
    QCOMPARE(r.outcome, Outcome::Done);
    QCOMPARE(r.changed, QStringList{QStringLiteral("1-102")});
    QCOMPARE(r.newBills, 2);
    QCOMPARE(r.recomputed, 1);
    QCOMPARE(e.scalar(QStringLiteral("select group_concat(门牌号) from (select 门牌号 from 缴费历史 where 月份 = ? "
                                     "order by 门牌号)"),
                      {kMonth})
                 .toString(),
             QStringLiteral("1-101,2-101,2-102"));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 收费2 where 门牌号 in ('1-102', '1-109') and 月份 = ?"), {kMonth})
                 .toInt(),
             0);
}

void TestMonthRun::undoRestoresTheFileExactly()
{
    TestEstate e;
    fill(e);
    Sheet s(e);
    enter(s.sheet);
    QVERIFY(MonthRun::undoableMonth(e.db()).isEmpty());
    QVERIFY(!MonthRun::undo(e.db()));
    // The autonumbers are not wound back by the undo.
    auto rows = [&] {
        QStringList out = snapshot(e.db());
        out.removeIf([](const QString& row) { return row.startsWith(QStringLiteral("sqlite_sequence|")); });
        return out;
    };
    const QStringList before = rows();
    QCOMPARE(MonthRun(e.db(), s.sheet).run(true).outcome, Outcome::Done);
    QCOMPARE(MonthRun::undoableMonth(e.db()), kMonth);
    const qint64 lastOfRun = e.scalar(QStringLiteral("select max(ID) from 缴费历史")).toLongLong();
    QVERIFY(rows() != before);
    QVERIFY(MonthRun::undo(e.db()));
    QCOMPARE(rows(), before);
    QVERIFY(MonthRun::undoableMonth(e.db()).isEmpty());

    // A bill added after the undo never gets an ID the run gave out.
    const qint64 id = e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 1);
    QVERIFY(id > lastOfRun);
}

void TestMonthRun::undoRefusedOnceSomethingOfTheRunChanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("door");  // the household named; empty: the undo is allowed
    const QString kDoor = QStringLiteral("2-101");
    QTest::newRow("a new bill paid") << QStringLiteral("update 缴费历史 set 缴费标志 = 1 where 门牌号 = '1-101' and 月份 = '202406'")
                                     << QStringLiteral("1-101");
    QTest::newRow("a recomputed bill paid") << QStringLiteral("update 缴费历史 set 缴费标志 = 1 where 门牌号 = '2-102'")
                                            << QStringLiteral("2-102");
    QTest::newRow("a line dated") << QStringLiteral("update 收费2 set 缴费时间 = '2024-07-01' where 门牌号 = '2-101' and 月份 = '202406'")
                                  << kDoor;
    QTest::newRow("a line added") << QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values ('2-101', '202406', '09', '加收', 0)")
                                  << kDoor;
    QTest::newRow("single entry correction") << QStringLiteral("correct") << kDoor;
    QTest::newRow("single entry, the same numbers") << QStringLiteral("same") << QString();
    QTest::newRow("collection") << QStringLiteral("collect") << kDoor;
    QTest::newRow("collection and its reversal") << QStringLiteral("reverse") << kDoor;
    QTest::newRow("rename") << QStringLiteral("rename") << kDoor;
    QTest::newRow("deletion") << QStringLiteral("delete") << kDoor;
    QTest::newRow("cleanup of the month") << QStringLiteral("cleanup") << kDoor;
}

void TestMonthRun::undoRefusedOnceSomethingOfTheRunChanged()
{
    QFETCH(QString, change);
    QFETCH(QString, door);
    TestEstate e;
    fill(e);
    e.app.operatorLevel = QStringLiteral("A");
    Sheet s(e);
    enter(s.sheet);
    QCOMPARE(MonthRun(e.db(), s.sheet).run(true).outcome, Outcome::Done);

    const QString d = QStringLiteral("2-101");
    DataEnvironment& env = e.env();
    auto current = [&] {
        QVERIFY(env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), d), RecordSet::Direction::Forward,
                                  RecordSet::Start::First));
    };
    auto collect = [&] {
        current();
        env.rs缴费历史().setFilter(Criterion::equals(QStringLiteral("门牌号"), d).andEquals(QStringLiteral("月份"), kMonth));
        e.prompter.yes();
        e.prompter.type(QStringLiteral("1000"));
        e.prompter.no();
        Collection(e.services()).collect(QString());
        QVERIFY(e.scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 门牌号 = ? and 月份 = ?"), {d, kMonth}).toBool());
    };
    auto enterAgain = [&](double more) {
        RecordSet households(e.db(), QStringLiteral("档案库"), QStringLiteral("ID"));
        households.requery();
        script(e.prompter, s.sheet, d, more);
        QCOMPARE(SingleEntry(e.services()).run(households, d, kMonth).outcome, SingleEntry::Outcome::Done);
    };
    if (change == QLatin1String("correct")) {
        enterAgain(1);
    } else if (change == QLatin1String("same")) {
        enterAgain(0);
    } else if (change == QLatin1String("collect")) {
        collect();
    } else if (change == QLatin1String("reverse")) {
        collect();
        e.prompter.type(QStringLiteral("收错了"));
        e.prompter.yes();
        const qint64 bill = e.scalar(QStringLiteral("select ID from 缴费历史 where 门牌号 = ? and 月份 = ?"), {d, kMonth}).toLongLong();
        QCOMPARE(Reversal(e.db(), e.app, e.clock, e.prompter).run(bill).outcome, Reversal::Outcome::Reversed);
    } else if (change == QLatin1String("rename")) {
        HouseholdRenames::install(e.db());
        current();
        env.rs档案().setValue(QStringLiteral("门牌号"), QStringLiteral("2-101新"));
        env.rs档案().update();
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 门牌号 = '2-101新'")).toInt(), 1);
    } else if (change == QLatin1String("delete")) {
        current();
        QCOMPARE(HouseholdDeletion(env).deleteCurrent(), HouseholdDeletion::Result::Deleted);
    } else if (change == QLatin1String("cleanup")) {
        collect();
        Cleanup(env).run(kMonth, kMonth);
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 门牌号 = ? and 月份 = ?"), {d, kMonth}).toInt(), 0);
    } else {
        e.db().exec(change);
    }
    const QStringList after = snapshot(e.db());
    QCOMPARE(MonthRun::firstChangeSince(e.db()), door);
    QCOMPARE(MonthRun::undo(e.db()), door.isEmpty());
    if (!door.isEmpty())
        QCOMPARE(snapshot(e.db()), after);
    else
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = ?"), {kMonth}).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestMonthRun)
#include "test_monthrun.moc"
