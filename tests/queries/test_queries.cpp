// Item query, all-items query and the query export, on temporary estates.
#include "estate.h"

#include "common/dates.h"
#include "common/gbkfile.h"
#include "common/numbers.h"
#include "queries/allitemsquery.h"
#include "queries/itemquery.h"
#include "queries/queryexport.h"
#include "queries/queryprogress.h"
#include "queries/querytable.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using Variant = ItemQuery::Variant;
Q_DECLARE_METATYPE(ItemQuery::Variant)

namespace {

const ChargeItem kWater{QStringLiteral("01"), QStringLiteral("水费"), true};
const ChargeItem kFee{QStringLiteral("02"), QStringLiteral("物业费"), false};

QueryRange months(const QString& first, const QString& last, const QString& building = QString())
{
    return {building, first, last};
}

// Row kinds as letters: B bill, S separator, T totals.
QString kinds(const QueryTable& t)
{
    QString out;
    for (const QueryTable::Row& r : t.rows())
        out += r.kind == QueryTable::RowKind::Bill ? u'B' : r.kind == QueryTable::RowKind::Separator ? u'S' : u'T';
    return out;
}

QStringList billDoors(const QueryTable& t)
{
    QStringList out;
    for (const QueryTable::Row& r : t.rows())
        if (r.kind == QueryTable::RowKind::Bill)
            out << r.cells.value(0);
    return out;
}

void addItems(TestEstate& e)
{
    e.addItem(kWater.number, kWater.name, 2.5, true, true);
    e.addItem(kFee.number, kFee.name, 100, false);
}

// A bill that the variant selects.
qint64 addSelectedBill(TestEstate& e, Variant v, const QString& door, const QString& month)
{
    const bool paid = v == Variant::Paid;
    return e.addBill(door, month, 100, paid, paid ? QVariant(100.0) : QVariant(), QVariant(),
                     paid ? QStringLiteral("2024-02-03") : QString());
}

class CancelAfter : public QueryProgress {
public:
    explicit CancelAfter(int calls) : left_(calls) {}
    bool advance(qint64, qint64) override { return left_-- > 0; }

private:
    int left_;
};

}  // namespace

class TestQueries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // item query
    void itemHouseholdsWithAndWithoutBills_data();
    void itemHouseholdsWithAndWithoutBills();
    void buildingPrefixIgnoresLetterCase();
    void itemBuilding_data();
    void itemBuilding();
    void itemMonthPromptsAsBounds_data();
    void itemMonthPromptsAsBounds();
    void itemTotals_data();
    void itemTotals();
    void itemCells_data();
    void itemCells();
    void itemLayoutsAndStatus_data();
    void itemLayoutsAndStatus();
    void itemNamedByBoxText();
    void itemQueryCancelled();

    // all-items query
    void allGroupingAndOrder();
    void allModes_data();
    void allModes();
    void allEmptyRange();
    void allCells();
    void allBuildingTotalsAddUpItsListedBills();

    // export
    void exportMeteredTableBytes();
    void exportCutsLongTexts();
    void exportBeforeAnyQuery();
    void exportMessageAndViewer();

    void modelOverTable();

private:
    QTemporaryDir reports_;
};

void TestQueries::initTestCase()
{
    qputenv("FENWARY_REPORT_DIR", reports_.path().toUtf8());
}

// ---- item query ------------------------------------------------------------

void TestQueries::itemHouseholdsWithAndWithoutBills_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<bool>("metered");
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QStringList>("monthsShown");
    // 1-101: 202401 paid, 202402 unpaid, 202312 and 202404 outside; 1-102: no bill.
    QTest::newRow("开始查询 fixed") << Variant::Details << false << "BBSSST" << QStringList{"202401", "202402"};
    QTest::newRow("开始查询 metered") << Variant::Details << true << "BBSSST" << QStringList{"202401", "202402"};
    QTest::newRow("未缴统计") << Variant::Unpaid << false << "BSST" << QStringList{"202402"};
    QTest::newRow("已缴统计") << Variant::Paid << true << "BSST" << QStringList{"202401"};
}

void TestQueries::itemHouseholdsWithAndWithoutBills()
{
    QFETCH(Variant, variant);
    QFETCH(bool, metered);
    QFETCH(QString, kinds);
    QFETCH(QStringList, monthsShown);
    TestEstate e;
    addItems(e);
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"));
    const QString months4[] = {"202312", "202402", "202401", "202404"};
    for (const QString& m : months4) {
        const bool paid = m == QLatin1String("202401");
        e.addBill("1-101", m, 10, paid, QVariant(), QVariant(), paid ? "2024-02-03" : "");
        e.addFixedLine("1-101", m, kFee.number, kFee.name, 10);
        e.addMeteredLine("1-101", m, kWater.number, kWater.name, 1, 3, 2.5, 5);
    }
    const QueryTable t =
        *ItemQuery(e.db()).run(variant, metered ? kWater : kFee, "x", months("202401", "202403"));
    QCOMPARE(::kinds(t), kinds);
    QStringList shown;
    for (int r = 0; r < t.rowCount(); ++r)
        if (t.row(r).kind == QueryTable::RowKind::Bill) {
            QCOMPARE(t.cell(r, 0), QStringLiteral("1-101"));
            QCOMPARE(t.cell(r, 1), QStringLiteral("张三"));
            shown << t.cell(r, 2);
            const QString time = t.cell(r, metered ? 7 : 4);
            QCOMPARE(time, t.cell(r, 2) == "202401" ? shortDate(QDate(2024, 2, 3)) : QStringLiteral("未缴"));
        }
    QCOMPARE(shown, monthsShown);
    for (const QueryTable::Row& r : t.rows())
        if (r.kind == QueryTable::RowKind::Separator)
            QCOMPARE(r.cells, QStringList{" "});
}

void TestQueries::itemBuilding_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<QString>("building");
    QTest::addColumn<QStringList>("doors");
    const QStringList all{"301", "401", "302", " 3-1", "3%1", "3'1", "3_1"};
    for (Variant v : {Variant::Details, Variant::Unpaid, Variant::Paid}) {
        const QByteArray tag = v == Variant::Details ? "开始查询" : v == Variant::Unpaid ? "未缴统计" : "已缴统计";
        QTest::newRow(tag + " 3") << v << "3" << QStringList{"301", "302", "3%1", "3'1", "3_1"};
        QTest::newRow(tag + " empty") << v << "" << all;
        QTest::newRow(tag + " blanks only") << v << "   " << all;
        QTest::newRow(tag + " leading blank") << v << " 3" << QStringList{" 3-1"};
        QTest::newRow(tag + " trailing blank kept") << v << "3 " << QStringList{};
        QTest::newRow(tag + " percent literal") << v << "3%" << QStringList{"3%1"};
        QTest::newRow(tag + " underscore literal") << v << "3_" << QStringList{"3_1"};
        QTest::newRow(tag + " apostrophe") << v << "3'" << QStringList{"3'1"};
    }
}

void TestQueries::itemBuilding()
{
    QFETCH(Variant, variant);
    QFETCH(QString, building);
    QFETCH(QStringList, doors);
    TestEstate e;
    addItems(e);
    for (const char* d : {"301", "401", "302", " 3-1", "3%1", "3'1", "3_1"}) {
        e.addHousehold(d, QStringLiteral("户") + d);
        addSelectedBill(e, variant, d, "202405");
        e.addFixedLine(d, "202405", kFee.number, kFee.name, 1);
    }
    ItemQuery q(e.db());
    // A narrower query first: the next one must not inherit its selection.
    q.run(variant, kFee, "物业费", months("202405", "202405", "4"));
    const QueryTable t = *q.run(variant, kFee, "物业费", months("202405", "202405", building));
    QCOMPARE(billDoors(t), doors);
    QCOMPARE(t.cell(t.rowCount() - 1, 3), doors.isEmpty() ? QStringLiteral(".00") : plainNumber(doors.size()) + ".00");
}

void TestQueries::buildingPrefixIgnoresLetterCase()
{
    TestEstate e;
    addItems(e);
    for (const char* d : {"A-101", "a-102", "B-101"}) {
        e.addHousehold(d, QStringLiteral("户"));
        addSelectedBill(e, Variant::Details, d, "202405");
        e.addFixedLine(d, "202405", kFee.number, kFee.name, 1);
    }
    for (const QString& typed : {QStringLiteral("a"), QStringLiteral("A-1")}) {
        QStringList doors = billDoors(*ItemQuery(e.db()).run(Variant::Details, kFee, "物业费",
                                                              months("202405", "202405", typed)));
        std::sort(doors.begin(), doors.end());
        QCOMPARE(doors, (QStringList{"A-101", "a-102"}));
        doors = billDoors(*AllItemsQuery(e.db()).run("C", months("202405", "202405", typed)));
        std::sort(doors.begin(), doors.end());
        QCOMPARE(doors, (QStringList{"A-101", "a-102"}));
    }
}

void TestQueries::itemMonthPromptsAsBounds_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<QString>("kinds");
    QTest::newRow("开始查询") << Variant::Details << "SSST";  // two households, one separator each
    QTest::newRow("未缴统计") << Variant::Unpaid << "ST";
    QTest::newRow("已缴统计") << Variant::Paid << "ST";
}

void TestQueries::itemMonthPromptsAsBounds()
{
    QFETCH(Variant, variant);
    QFETCH(QString, kinds);
    TestEstate e;
    addItems(e);
    e.addHousehold("1", "甲");
    e.addHousehold("2", "乙");
    addSelectedBill(e, variant, "1", "202401");
    e.addFixedLine("1", "202401", kFee.number, kFee.name, 50);
    const QueryTable t = *ItemQuery(e.db()).run(variant, kFee, "物业费", months("起始日期", "截止日期"));
    QCOMPARE(::kinds(t), kinds);
    QCOMPARE(t.cell(t.rowCount() - 1, 0), QStringLiteral("合计 "));
    QCOMPARE(t.cell(t.rowCount() - 1, 3), QStringLiteral(".00"));

    // A lower bound of 202312 takes 202401: months compare as text.
    const QueryTable later = *ItemQuery(e.db()).run(variant, kFee, "物业费", months("202312", "202401"));
    QCOMPARE(billDoors(later), QStringList{"1"});
}

void TestQueries::itemTotals_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<bool>("metered");
    QTest::addColumn<QVariantList>("amounts");
    QTest::addColumn<QString>("total");
    for (Variant v : {Variant::Details, Variant::Unpaid, Variant::Paid}) {
        const QByteArray tag = v == Variant::Details ? "开始查询" : v == Variant::Unpaid ? "未缴统计" : "已缴统计";
        QTest::newRow(tag + " none") << v << false << QVariantList{} << ".00";
        QTest::newRow(tag + " zero") << v << true << QVariantList{0.0} << ".00";
        QTest::newRow(tag + " 1234.5 fixed") << v << false << QVariantList{1000.0, 234.5} << "1,234.50";
        QTest::newRow(tag + " 1234.5 metered") << v << true << QVariantList{1000.0, 234.5} << "1,234.50";
        QTest::newRow(tag + " below one") << v << false << QVariantList{0.25, 0.5} << ".75";
        QTest::newRow(tag + " empty amount adds nothing") << v << true << QVariantList{QVariant(), 12.0} << "12.00";
        QTest::newRow(tag + " million") << v << false << QVariantList{1234567.891} << "1,234,567.89";
    }
}

void TestQueries::itemTotals()
{
    QFETCH(Variant, variant);
    QFETCH(bool, metered);
    QFETCH(QVariantList, amounts);
    QFETCH(QString, total);
    TestEstate e;
    addItems(e);
    for (int i = 0; i < amounts.size(); ++i) {
        const QString door = QString::number(101 + i);
        const QString month = "20240" + QString::number(i + 1);
        e.addHousehold(door, "户");
        addSelectedBill(e, variant, door, month);
        if (metered)
            e.addMeteredLine(door, month, kWater.number, kWater.name, 0, 1, 1, amounts[i]);
        else
            e.addFixedLine(door, month, kFee.number, kFee.name, amounts[i]);
        // Lines of the other item and of the other table never count.
        e.addFixedLine(door, month, kWater.number, kWater.name, 999);
        e.addMeteredLine(door, month, kFee.number, kFee.name, 0, 1, 1, 999);
    }
    const QueryTable t = *ItemQuery(e.db()).run(variant, metered ? kWater : kFee, "x", months("202401", "202412"));
    const int last = t.rowCount() - 1;
    QCOMPARE(t.row(last).kind, QueryTable::RowKind::Totals);
    QCOMPARE(t.cell(last, 0), QStringLiteral("合计 "));
    QCOMPARE(t.cell(last, ItemQuery::amountColumn(metered)), total);
    for (int c = 1; c < t.columnCount(); ++c)
        if (c != ItemQuery::amountColumn(metered))
            QCOMPARE(t.cell(last, c), QString());
    QCOMPARE(t.row(last - 1).kind, QueryTable::RowKind::Separator);
}

void TestQueries::itemCells_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("metered");
    QTest::addColumn<QVariantList>("line");  // empty: the bill has no line of the item
    QTest::addColumn<QStringList>("cells");  // after the door number
    QTest::addColumn<QString>("total");
    for (Variant v : {Variant::Details, Variant::Unpaid, Variant::Paid}) {
        const QByteArray tag = v == Variant::Details ? "开始查询" : v == Variant::Unpaid ? "未缴统计" : "已缴统计";
        const QString time = v == Variant::Paid ? shortDate(QDate(2024, 2, 3)) : QStringLiteral("未缴");
        QTest::newRow(tag + " blank name") << v << "   " << false << QVariantList{12.5}
                                           << QStringList{"无名", "202403", "12.5", time} << "12.50";
        QTest::newRow(tag + " empty name") << v << "" << false << QVariantList{1.0}
                                           << QStringList{"无名", "202403", "1", time} << "1.00";
        QTest::newRow(tag + " no line of the item") << v << "王五" << false << QVariantList{}
                                                    << QStringList{"王五", "", "", time} << ".00";
        QTest::newRow(tag + " no metered line") << v << "王五" << true << QVariantList{}
                                                << QStringList{"王五", "", "", "", "", "", time} << ".00";
        QTest::newRow(tag + " empty amount") << v << "王五" << false << QVariantList{QVariant()}
                                             << QStringList{"王五", "202403", "0", time} << ".00";
        QTest::newRow(tag + " metered line") << v << "王五" << true << QVariantList{120.0, 132.5, 2.2, 27.5}
                                             << QStringList{"王五", "202403", "120", "132.5", "2.2", "27.5", time}
                                             << "27.50";
        QTest::newRow(tag + " empty price") << v << "王五" << true << QVariantList{120.0, 132.5, QVariant(), 27.5}
                                            << QStringList{"王五", "202403", "120", "132.5", "", "27.5", time}
                                            << "27.50";
        QTest::newRow(tag + " empty readings and amount")
            << v << "王五" << true << QVariantList{QVariant(), QVariant(), 3.0, QVariant()}
            << QStringList{"王五", "202403", "", "", "3", "0", time} << ".00";
    }
}

void TestQueries::itemCells()
{
    QFETCH(Variant, variant);
    QFETCH(QString, name);
    QFETCH(bool, metered);
    QFETCH(QVariantList, line);
    QFETCH(QStringList, cells);
    QFETCH(QString, total);
    TestEstate e;
    addItems(e);
    e.addHousehold("5-1", name);
    addSelectedBill(e, variant, "5-1", "202403");
    if (!line.isEmpty()) {
        if (metered)
            e.addMeteredLine("5-1", "202403", kWater.number, kWater.name, line[0], line[1], line[2], line[3]);
        else
            e.addFixedLine("5-1", "202403", kFee.number, kFee.name, line[0]);
    }
    // A line of the same item in another month does not stand in for it.
    e.addFixedLine("5-1", "202402", kFee.number, kFee.name, 7);
    e.addMeteredLine("5-1", "202402", kWater.number, kWater.name, 1, 2, 3, 7);
    const QueryTable t = *ItemQuery(e.db()).run(variant, metered ? kWater : kFee, "x", months("202401", "202412"));
    QCOMPARE(kinds(t), QStringLiteral("BSST"));
    QCOMPARE(t.row(0).cells, QStringList{"5-1"} + cells);
    QCOMPARE(t.cell(3, ItemQuery::amountColumn(metered)), total);
}

void TestQueries::itemLayoutsAndStatus_data()
{
    QTest::addColumn<Variant>("variant");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("mode");
    QTest::newRow("开始查询") << Variant::Details << "现在查询的是: 水费 的明细,包括已缴和未缴!" << "C";
    QTest::newRow("未缴统计") << Variant::Unpaid << "现在查询的是: 水费" << "B";
    QTest::newRow("已缴统计") << Variant::Paid << "现在查询的是: 水费" << "A";
}

void TestQueries::itemLayoutsAndStatus()
{
    QFETCH(Variant, variant);
    QFETCH(QString, status);
    QFETCH(QString, mode);
    TestEstate e;
    addItems(e);
    const QueryTable metered = *ItemQuery(e.db()).run(variant, kWater, "水费", months("202401", "202412"));
    QCOMPARE(metered.headers(),
             (QStringList{"门牌号", "户名", "月份", "上月数", "本月数", "单价", "金额", "缴费时间"}));
    QCOMPARE(metered.status(), status);
    const QueryTable fixed = *ItemQuery(e.db()).run(variant, kFee, "物业费", months("202401", "202412"));
    QCOMPARE(fixed.headers(), (QStringList{"门牌号", "户名", "月份", "金额", "缴费时间"}));
    QCOMPARE(ItemQuery::modeLetter(variant), mode);
    // No household at all: one separator and the totals.
    QCOMPARE(kinds(fixed), QStringLiteral("ST"));
}

void TestQueries::itemNamedByBoxText()
{
    TestEstate e;
    e.addItem("01", "水费", 2.5, true, true);
    e.addItem("02", "物业费", 100, false, true);  // 项目标志 without 计算标志: fixed
    e.addItem("03", "水费", 1, false);            // a second item of the same name
    RecordSet& items = e.env().rs项目();
    std::optional<ChargeItem> it = ItemQuery::itemNamed(items, "水费");
    QVERIFY(it);
    QCOMPARE(it->number, QStringLiteral("01"));
    QVERIFY(it->metered);
    it = ItemQuery::itemNamed(items, "水费", QStringLiteral("03"));
    QCOMPARE(it->number, QStringLiteral("03"));
    QVERIFY(!it->metered);
    it = ItemQuery::itemNamed(items, "物业费", QStringLiteral("01"));  // the box was retyped
    QCOMPARE(it->number, QStringLiteral("02"));
    QVERIFY(!it->metered);
    QVERIFY(!ItemQuery::itemNamed(items, "煤气费"));
    QVERIFY(!ItemQuery::itemNamed(items, "水"));
    QVERIFY(ItemQuery::unknownItemMessage("煤气费").contains("煤气费"));
}

void TestQueries::itemQueryCancelled()
{
    TestEstate e;
    addItems(e);
    e.addHousehold("1", "甲");
    CancelAfter stop(0);
    QVERIFY(!ItemQuery(e.db()).run(Variant::Details, kFee, "x", months("202401", "202412"), &stop));
    CancelAfter stopAll(0);
    QVERIFY(!AllItemsQuery(e.db()).run("C", months("202401", "202412"), &stopAll));
    CancelAfter goOn(1000);
    QVERIFY(ItemQuery(e.db()).run(Variant::Details, kFee, "x", months("202401", "202412"), &goOn));
}

// ---- all-items query -------------------------------------------------------

void TestQueries::allGroupingAndOrder()
{
    TestEstate e;
    e.addHousehold("2-1", "乙");
    e.addHousehold("1-1", "甲");
    e.addBill("2-1", "202402", 20, false);
    e.addBill("1-1", "202401", 10, true, 10.0, 5.0, "2024-01-20");
    e.addBill("1-1", "202403", 30, false);
    e.addBill("2-1", "202312", 99, false);  // outside the range
    const QueryTable t = *AllItemsQuery(e.db()).run("C", months("202401", "202403"));
    QCOMPARE(t.headers(), (QStringList{"门牌号", "户名", "月份", "收费金额", "实缴金额", "账户余额", "缴费状态", "缴费时间"}));
    QCOMPARE(t.status(), QStringLiteral("现在查询的是全部用户 包括未缴费和已缴费"));
    QCOMPARE(kinds(t), QStringLiteral("SBBSBST"));
    QCOMPARE(t.row(1).cells, (QStringList{"1-1", "甲", "202403", "30", "0", "0", "未缴", "*"}));
    QCOMPARE(t.row(2).cells,
             (QStringList{"1-1", "甲", "202401", "10", "10", "5", "已缴", shortDate(QDate(2024, 1, 20))}));
    QCOMPARE(t.row(4).cells.mid(0, 3), (QStringList{"2-1", "乙", "202402"}));
    QCOMPARE(t.row(6).cells, (QStringList{"合计", "", "", "60", "10", "5"}));
}

void TestQueries::allModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("months");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("charged");
    QTest::newRow("A") << "A" << QStringList{"202402"} << "现在查询的是全部用户 已缴费" << "2";
    QTest::newRow("B") << "B" << QStringList{"202403", "202401"} << "现在查询的是全部用户 未缴费" << "5";
    QTest::newRow("C") << "C" << QStringList{"202403", "202402", "202401"} << "现在查询的是全部用户 包括未缴费和已缴费"
                       << "7";
    QTest::newRow("other letter") << "X" << QStringList{"202403", "202402", "202401"}
                                  << "现在查询的是全部用户 包括未缴费和已缴费" << "7";
}

void TestQueries::allModes()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, months);
    QFETCH(QString, status);
    QFETCH(QString, charged);
    TestEstate e;
    e.addHousehold("1", "甲");
    e.addBill("1", "202401", 1, false);
    e.addBill("1", "202402", 2, true, 2.0, 0.0, "2024-03-01");
    e.db().exec("insert into 缴费历史 (门牌号, 月份, 收费金额, 缴费标志) values ('1', '202403', 4, null)");
    const QueryTable t = *AllItemsQuery(e.db()).run(mode, ::months("202401", "202403"));
    QStringList shown;
    for (const QueryTable::Row& r : t.rows())
        if (r.kind == QueryTable::RowKind::Bill)
            shown << r.cells.value(2);
    QCOMPARE(shown, months);
    QCOMPARE(t.status(), status);
    QCOMPARE(t.cell(t.rowCount() - 1, 3), charged);
}

void TestQueries::allEmptyRange()
{
    TestEstate e;
    e.addHousehold("1", "甲");
    e.addBill("1", "202401", 1, false);
    for (const char* mode : {"A", "B", "C"}) {
        const QueryTable t = *AllItemsQuery(e.db()).run(mode, months("202405", "202406"));
        QCOMPARE(kinds(t), QStringLiteral("ST"));
        QCOMPARE(t.row(1).cells, (QStringList{"合计", "", "", "", "", ""}));
    }
    const QueryTable prompts = *AllItemsQuery(e.db()).run("C", months("起始日期", "截止日期"));
    QCOMPARE(kinds(prompts), QStringLiteral("ST"));
}

void TestQueries::allCells()
{
    TestEstate e;
    e.addHousehold("7", "   ");
    e.addBill("7", "202401", 1.5, true, 2.0, 0.5, "2024-02-01");
    e.addBill("8", "202401", 3, false);  // no such household
    e.db().exec("insert into 缴费历史 (门牌号, 月份) values ('9', '202401')");
    const QueryTable t = *AllItemsQuery(e.db()).run("C", months("202401", "202401"));
    QCOMPARE(kinds(t), QStringLiteral("SBSBSBST"));
    QCOMPARE(t.row(1).cells, (QStringList{"7", "无名", "202401", "1.5", "2", "0.5", "已缴", shortDate(QDate(2024, 2, 1))}));
    QCOMPARE(t.row(3).cells, (QStringList{"8", "无名", "202401", "3", "0", "0", "未缴", "*"}));
    QCOMPARE(t.row(5).cells, (QStringList{"9", "无名", "202401", "0", "0", "0", "", "*"}));
    QCOMPARE(t.row(7).cells, (QStringList{"合计", "", "", "4.5", "2", "0.5"}));
}

void TestQueries::allBuildingTotalsAddUpItsListedBills()
{
    TestEstate e;
    const char* doors[] = {"301", "302", "401", "3'01", "3%01", "x3"};
    for (int i = 0; i < 6; ++i) {
        e.addHousehold(doors[i], "户");
        // Charges 1, 2, 4, 8, 16, 32: every sum tells which bills it holds.
        const double charge = double(1 << i);
        e.addBill(doors[i], "202401", charge, true, charge + 1, 0.5, "2024-02-01");
    }
    e.addBill("302", "202401", 1000, false);                         // unpaid
    e.addBill("301", "202312", 5000, true, 1.0, 1.0, "2024-01-02");  // before the range
    e.db().exec("insert into 缴费历史 (月份, 收费金额, 实缴金额, 账户余额, 缴费标志) "
                "values ('202401', 70000, 0, 0, 1)");                 // no door number
    struct Case {
        QString building;
        QStringList doors;
        QStringList sums;
    };
    const Case cases[] = {{"3", {"3%01", "3'01", "301", "302"}, {"27", "31", "2"}},
                          {"  3 ", {"3%01", "3'01", "301", "302"}, {"27", "31", "2"}},
                          {"3%", {"3%01"}, {"16", "17", "0.5"}},
                          {"3'", {"3'01"}, {"8", "9", "0.5"}},
                          {"9", {}, {"", "", ""}},
                          // Without a building: every paid bill of the range, as before.
                          {"", {"301", "302", "3%01", "3'01", "401", "x3"}, {"70063", "69", "3"}}};
    for (const Case& c : cases) {
        const QueryTable t = *AllItemsQuery(e.db()).run("A", months("202401", "202401", c.building));
        QStringList listed = billDoors(t);
        std::sort(listed.begin(), listed.end());
        QStringList want = c.doors;
        std::sort(want.begin(), want.end());
        QCOMPARE(listed, want);
        QCOMPARE(t.row(t.rowCount() - 1).cells, (QStringList{"合计", "", ""} + c.sums));
    }
    // Unpaid bills of building 3: only the one listed.
    const QueryTable unpaid = *AllItemsQuery(e.db()).run("B", months("202401", "202401", "3"));
    QCOMPARE(billDoors(unpaid), QStringList{"302"});
    QCOMPARE(unpaid.row(unpaid.rowCount() - 1).cells, (QStringList{"合计", "", "", "1000", "0", ""}));
}

// ---- export ----------------------------------------------------------------

void TestQueries::exportMeteredTableBytes()
{
    TestEstate e;
    addItems(e);
    e.addHousehold("1-101", "张三");
    e.addBill("1-101", "202401", 27.5, false);
    e.addMeteredLine("1-101", "202401", kWater.number, kWater.name, 120, 132.5, 2.2, 27.5);
    e.addHousehold("1-102", "李四");
    e.addBill("1-102", "202401", 1000, false);
    e.addMeteredLine("1-102", "202401", kWater.number, kWater.name, 0, 1000, 1, 1000);
    const QueryTable t = *ItemQuery(e.db()).run(Variant::Details, kWater, "水费", months("202401", "202401"));
    const QString path = QueryExport::write(t);
    QCOMPARE(path, reports_.path() + "/查询明细.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();

    // Converted inside the lambda: the encoded result refers to its encoder.
    auto gbk = [](const QString& s) -> QByteArray { return QStringEncoder("GBK").encode(s); };
    const QByteArray b30(30, ' '), b26(26, ' '), b4(4, ' ');
    // "门牌号" is three characters (six bytes) followed by 27 blanks.
    QByteArray header = gbk("门牌号") + QByteArray(27, ' ') + gbk("户名") + QByteArray(28, ' ') + gbk("月份") +
                        QByteArray(28, ' ') + gbk("上月数") + QByteArray(27, ' ') + gbk("本月数") +
                        QByteArray(27, ' ') + gbk("单价") + QByteArray(28, ' ') + gbk("金额") + QByteArray(28, ' ') +
                        gbk("缴费时间") + QByteArray(26, ' ');
    QByteArray row1 = "1-101" + QByteArray(25, ' ') + b4 + gbk("张三") + QByteArray(24, ' ') + b4 + "202401" +
                      QByteArray(20, ' ') + b4 + "120" + QByteArray(23, ' ') + b4 + "132.5" + QByteArray(21, ' ') +
                      b4 + "2.2" + QByteArray(23, ' ') + b4 + "27.5" + QByteArray(22, ' ') + b4 + gbk("未缴") +
                      QByteArray(24, ' ');
    QByteArray row2 = "1-102" + QByteArray(25, ' ') + b4 + gbk("李四") + QByteArray(24, ' ') + b4 + "202401" +
                      QByteArray(20, ' ') + b4 + "0" + QByteArray(25, ' ') + b4 + "1000" + QByteArray(22, ' ') + b4 +
                      "1" + QByteArray(25, ' ') + b4 + "1000" + QByteArray(22, ' ') + b4 + gbk("未缴") +
                      QByteArray(24, ' ');
    QByteArray totals = gbk("合计 ") + QByteArray(27, ' ');
    for (int i = 0; i < 5; ++i)
        totals += b4 + b26;
    totals += b4 + "1,027.50" + QByteArray(18, ' ') + b4 + b26;
    const QByteArray expected = header + "\r\n" + row1 + "\r\n" + row2 + "\r\n" + totals + "\r\n";
    QCOMPARE(bytes, expected);
    QCOMPARE(header.size(), 30 * 8 + 3 + 2 + 2 + 3 + 3 + 2 + 2 + 4);  // Chinese characters take two bytes
}

void TestQueries::exportCutsLongTexts()
{
    QueryTable t({QString(35, u'头'), "b"});
    t.addRow(QueryTable::RowKind::Bill, {QString(31, u'x'), QString(27, u'y') + "z"});
    t.addSeparator();
    t.addRow(QueryTable::RowKind::Bill, {"only text"});  // missing sub-item counts as empty
    t.addRow(QueryTable::RowKind::Bill, {"", "", ""});   // blank line: left out
    const QStringList lines = QueryExport::lines(t);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString(30, u'头') + "b" + QString(29, u' '));
    QCOMPARE(lines[1], QString(30, u'x') + "    " + QString(26, u'y'));
    QCOMPARE(lines[2], "only text" + QString(21, u' ') + QString(30, u' '));
    // A row text that fills its field exactly and a cell of exactly 26 characters stay whole.
    QueryTable exact({"a", "b"});
    exact.addRow(QueryTable::RowKind::Bill, {QString(30, u'门'), QString(26, u'户')});
    QCOMPARE(QueryExport::lines(exact)[1], QString(30, u'门') + "    " + QString(26, u'户'));
}

void TestQueries::exportBeforeAnyQuery()
{
    const QString path = QueryExport::write(QueryTable());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\r\n"));
}

void TestQueries::exportMessageAndViewer()
{
    TestEstate e;
    QueryTable t({"门牌号"});
    t.addRow(QueryTable::RowKind::Bill, {"1"});
    QueryExport::run(t, e.prompter, "Fenwary", e.opener);
    QCOMPARE(e.prompter.boxes().size(), 1);
    const QString folder = QDir::toNativeSeparators(reports_.path()) + QDir::separator();
    QCOMPARE(e.prompter.boxes()[0].text, "表生成放至 " + folder + " 下面");
    QCOMPARE(e.prompter.boxes()[0].title, QStringLiteral("Fenwary"));
    QCOMPARE(e.prompter.boxes()[0].icon, Prompter::Icon::Information);
    QCOMPARE(e.opener.paths(), QStringList{reports_.path() + "/查询明细.txt"});

    // A character without a GBK form is written as "?" and the message names its line
    // (the header is line 1; separator rows are not written).
    e.prompter.clear();
    QueryTable odd({"门牌号", "户名"});
    odd.addSeparator();
    odd.addRow(QueryTable::RowKind::Bill, {"1-101", "张三"});
    odd.addSeparator();
    odd.addRow(QueryTable::RowKind::Bill, {"1-102", QString::fromUtf8("李\xF0\x9F\x98\x80")});
    odd.addRow(QueryTable::RowKind::Bill, {QString::fromUtf8("\xE2\x82\xA9") + "1", "王五"});
    QueryExport::run(odd, e.prompter, "Fenwary", e.opener);
    QCOMPARE(e.opener.paths().size(), 2);
    QCOMPARE(e.prompter.texts(), QStringList{"表生成放至 " + folder + " 下面\n下列行含有 GBK 无法表示的字符，"
                                             "文件中已写成“?”：第 3 行（1-102）、第 4 行（₩1）"});
    QFile f(reports_.path() + "/查询明细.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 5);  // four lines and the empty text after the last CR LF
    // The pair of surrogates counts two places of its field, as the export counts them.
    QCOMPARE(lines[2], "1-102" + QByteArray(29, ' ') + toGbk(QStringLiteral("李")) + "?" + QByteArray(23, ' ') + "\r");
    QCOMPARE(lines[3], "?1" + QByteArray(32, ' ') + toGbk(QStringLiteral("王五")) + QByteArray(24, ' ') + "\r");
}

void TestQueries::modelOverTable()
{
    QueryTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QueryTable t({"a", "b", "c"});
    t.addRow(QueryTable::RowKind::Bill, {"1", "2", "3"});
    t.addSeparator();
    model.setTable(t);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("3"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral(" "));
    QCOMPARE(model.data(model.index(1, 2)).toString(), QString());
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("b"));
    model.setTable(QueryTable());
    QCOMPARE(model.columnCount(), 0);
}

QTEST_GUILESS_MAIN(TestQueries)
#include "test_queries.moc"
