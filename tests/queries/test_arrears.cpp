// The arrears board, the arrears notice and the month summary, on hand-built estates.
#include "estate.h"

#include "documents/documentprinter.h"
#include "common/tableout.h"
#include "queries/arrearsboard.h"
#include "queries/arrearsnotice.h"
#include "queries/monthsummary.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(ArrearsFilter)
Q_DECLARE_METATYPE(SummaryRange)

namespace {

// Households for the board:
//   1-101 two unpaid bills and a paid one, balance 0
//   1-102 one unpaid bill covered by credit 150
//   1-103 arrears of 80 and no unpaid bill
//   1-104 arrears of 0.5 only (under the threshold), 1-105 exactly -1: not listed
//   2-201 everything paid: not listed
//   2-202 three unpaid bills (one with an empty paid flag) and arrears of 20
//   A'1   no separator, an unpaid bill with an empty charge and one of 10, empty balance
void buildBoardEstate(TestEstate& e)
{
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 80, 0.0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202404"), 100, true, 100, 0.0, QStringLiteral("2024-04-10"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202405"), 100);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 120);
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"), 80, 150.0);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202406"), 100);
    e.addHousehold(QStringLiteral("1-103"), QStringLiteral("王五"), 80, -80.0);
    e.addBill(QStringLiteral("1-103"), QStringLiteral("202406"), 100, true, 20, -80.0, QStringLiteral("2024-06-10"));
    e.addHousehold(QStringLiteral("1-104"), QStringLiteral("赵六"), 80, -0.5);
    e.addHousehold(QStringLiteral("1-105"), QStringLiteral("周九"), 80, -1.0);
    e.addHousehold(QStringLiteral("2-201"), QStringLiteral("钱七"), 80, 0.0);
    e.addBill(QStringLiteral("2-201"), QStringLiteral("202406"), 100, true, 100, 0.0, QStringLiteral("2024-06-10"));
    e.addHousehold(QStringLiteral("2-202"), QStringLiteral("孙八"), 80, -20.0);
    e.addBill(QStringLiteral("2-202"), QStringLiteral("202404"), 50);
    const qint64 nullFlag = e.addBill(QStringLiteral("2-202"), QStringLiteral("202405"), 60);
    e.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = null where ID = ?"), {nullFlag});
    e.addBill(QStringLiteral("2-202"), QStringLiteral("202406"), 70);
    e.addHousehold(QStringLiteral("A'1"), QStringLiteral("吴十"), 80, QVariant());
    const qint64 nullCharge = e.addBill(QStringLiteral("A'1"), QStringLiteral("202405"), 0);
    e.db().exec(QStringLiteral("update 缴费历史 set 收费金额 = null where ID = ?"), {nullCharge});
    e.addBill(QStringLiteral("A'1"), QStringLiteral("202406"), 10);
}

// "building|door|months|first|last|unpaid|balance|owed"
QString line(const ArrearsRow& r)
{
    return QStringList{r.building, r.door, QString::number(r.unpaidMonths), r.firstMonth, r.lastMonth,
                       QString::number(r.unpaid), QString::number(r.balance), QString::number(r.owed())}
        .join(u'|');
}

QStringList lines(const QList<ArrearsRow>& rows)
{
    QStringList out;
    for (const ArrearsRow& r : rows)
        out << line(r);
    return out;
}

QString line(const ArrearsTotal& t)
{
    return QStringList{t.building, QString::number(t.households), QString::number(t.unpaidMonths),
                       QString::number(t.unpaid), QString::number(t.balance), QString::number(t.owed)}
        .join(u'|');
}

QString line(const SummaryRow& r)
{
    return QStringList{r.building, r.month, QString::number(r.households), QString::number(r.charged),
                       QString::number(r.collected), QString::number(r.unpaid), QString::number(r.rate(), 'f', 4)}
        .join(u'|');
}

QStringList lines(const QList<SummaryRow>& rows)
{
    QStringList out;
    for (const SummaryRow& r : rows)
        out << line(r);
    return out;
}

ArrearsFilter filter(const QString& building = QString(), int minMonths = 0, double minOwed = 0,
                     const QString& separator = QStringLiteral("-"))
{
    ArrearsFilter f;
    f.separator = separator;
    f.building = building;
    f.minMonths = minMonths;
    f.minOwed = minOwed;
    return f;
}

} // namespace

class TestArrears : public QObject {
    Q_OBJECT

private slots:
    void boardListsWhoOwes_data();
    void boardListsWhoOwes();
    void boardTotalsPerBuildingAndAll();
    void boardSorts_data();
    void boardSorts();
    void buildingOfDoor_data();
    void buildingOfDoor();
    void boardTableForSpreadsheet();

    void noticePageLineByLine();
    void noticesPdfHasOnePagePerHousehold();

    void summaryFigures_data();
    void summaryFigures();
    void summaryByMonthAndTotal();
};

void TestArrears::boardListsWhoOwes_data()
{
    QTest::addColumn<ArrearsFilter>("f");
    QTest::addColumn<QStringList>("expected");
    const QString r101 = QStringLiteral("1|1-101|2|202405|202406|220|0|220");
    const QString r102 = QStringLiteral("1|1-102|1|202406|202406|100|150|-50");
    const QString r103 = QStringLiteral("1|1-103|0|||0|-80|80");
    const QString r202 = QStringLiteral("2|2-202|3|202404|202406|180|-20|200");
    const QString rA = QStringLiteral("|A'1|2|202405|202406|10|0|10");
    QTest::newRow("everyone who owes") << filter() << QStringList{r101, r102, r103, r202, rA};
    QTest::newRow("building 2") << filter(QStringLiteral("2")) << QStringList{r202};
    QTest::newRow("prefix 1-10 stands as building")
        << filter(QStringLiteral("1-10"))
        << QStringList{QStringLiteral("1-10|1-101|2|202405|202406|220|0|220"),
                       QStringLiteral("1-10|1-102|1|202406|202406|100|150|-50"),
                       QStringLiteral("1-10|1-103|0|||0|-80|80")};
    QTest::newRow("apostrophe is data") << filter(QStringLiteral("A'")) << QStringList{QStringLiteral("A'|A'1|2|202405|202406|10|0|10")};
    QTest::newRow("percent is no wildcard") << filter(QStringLiteral("%")) << QStringList{};
    QTest::newRow("at least 2 months") << filter(QString(), 2) << QStringList{r101, r202, rA};
    QTest::newRow("at least 3 months") << filter(QString(), 3) << QStringList{r202};
    QTest::newRow("at least 200 owed") << filter(QString(), 0, 200) << QStringList{r101, r202};
    QTest::newRow("at least 80 owed") << filter(QString(), 0, 80) << QStringList{r101, r103, r202};
    QTest::newRow("months and amount") << filter(QString(), 2, 210) << QStringList{r101};
    QTest::newRow("no separator: one building")
        << filter(QString(), 0, 0, QString())
        << QStringList{r101.mid(1), r102.mid(1), r103.mid(1), r202.mid(1), rA};
}

void TestArrears::boardListsWhoOwes()
{
    QFETCH(ArrearsFilter, f);
    QFETCH(QStringList, expected);
    TestEstate e;
    buildBoardEstate(e);
    QCOMPARE(lines(ArrearsBoard::load(e.db(), f)), expected);
}

void TestArrears::boardTotalsPerBuildingAndAll()
{
    TestEstate e;
    buildBoardEstate(e);
    const QList<ArrearsTotal> t = ArrearsBoard::totals(ArrearsBoard::load(e.db(), filter()));
    QStringList got;
    for (const ArrearsTotal& x : t)
        got << line(x);
    QCOMPARE(got, (QStringList{QStringLiteral("|1|2|10|0|10"), QStringLiteral("1|3|3|320|70|250"),
                               QStringLiteral("2|1|3|180|-20|200"), QStringLiteral("|5|8|510|50|460")}));
    // An empty board still has its total of all.
    QCOMPARE(ArrearsBoard::totals({}).size(), 1);
    QCOMPARE(ArrearsBoard::totals({}).first().households, 0);
}

void TestArrears::boardSorts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("doors");
    QTest::newRow("owed, largest first") << int(ArrearsBoard::Owed) << false
                                        << QStringList{"1-101", "2-202", "1-103", "A'1", "1-102"};
    QTest::newRow("months, ties by door") << int(ArrearsBoard::Months) << true
                                         << QStringList{"1-103", "1-102", "1-101", "A'1", "2-202"};
    QTest::newRow("balance") << int(ArrearsBoard::Balance) << true
                             << QStringList{"1-103", "2-202", "1-101", "A'1", "1-102"};
    QTest::newRow("first month, descending") << int(ArrearsBoard::First) << false
                                            << QStringList{"1-102", "1-101", "A'1", "2-202", "1-103"};
    QTest::newRow("door, descending") << int(ArrearsBoard::Door) << false
                                     << QStringList{"A'1", "2-202", "1-103", "1-102", "1-101"};
}

void TestArrears::boardSorts()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QStringList, doors);
    TestEstate e;
    buildBoardEstate(e);
    QList<ArrearsRow> rows = ArrearsBoard::load(e.db(), filter());
    ArrearsBoard::sort(rows, column, ascending);
    QStringList got;
    for (const ArrearsRow& r : rows)
        got << r.door;
    QCOMPARE(got, doors);
}

void TestArrears::buildingOfDoor_data()
{
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("building");
    QTest::newRow("dash") << "3-2-1201" << "-" << "3";
    QTest::newRow("word separator") << QStringLiteral("12栋0301") << QStringLiteral("栋") << "12";
    QTest::newRow("missing") << "0301" << "-" << "";
    QTest::newRow("no separator chosen") << "3-0301" << "" << "";
    QTest::newRow("leading separator") << "-0301" << "-" << "";
}

void TestArrears::buildingOfDoor()
{
    QFETCH(QString, door);
    QFETCH(QString, separator);
    QFETCH(QString, building);
    QCOMPARE(ArrearsBoard::buildingOf(door, separator), building);
}

void TestArrears::boardTableForSpreadsheet()
{
    TestEstate e;
    buildBoardEstate(e);
    const OutTable t = ArrearsBoard::outTable(ArrearsBoard::load(e.db(), filter()));
    QCOMPARE(t.header, ArrearsBoard::headers());
    QCOMPARE(t.rows.size(), 5 + 3); // households, then a subtotal per building
    QCOMPARE(t.rows.at(0).at(1).text, QStringLiteral("1-101"));
    QCOMPARE(t.rows.at(0).at(4).kind, OutCell::Kind::Number);
    QCOMPARE(t.rows.at(0).at(9).number, 220.0);
    QCOMPARE(t.rows.at(6).at(0).text, QStringLiteral("1 小计"));
    QCOMPARE(t.rows.at(6).at(9).number, 250.0);
    QCOMPARE(t.totals.at(0).text, QStringLiteral("合计"));
    QCOMPARE(t.totals.at(1).text, QStringLiteral("5户"));
    QCOMPARE(t.totals.at(9).number, 460.0);
}

void TestArrears::noticePageLineByLine()
{
    TestEstate e;
    buildBoardEstate(e);
    const QList<ArrearsRow> rows = ArrearsBoard::load(e.db(), filter(QStringLiteral("2")));
    QCOMPARE(rows.size(), 1);
    const NoticeData d =
        NoticeData::forRow(e.db(), rows.first(), QStringLiteral("测试小区"), QStringLiteral("请按时缴费"), QDate(2024, 7, 15));
    const QStringList expected{
        QStringLiteral("宋体|18|regular|1186|测试小区"),
        QStringLiteral("宋体|14|regular|1186|催缴通知单"),
        QStringLiteral("宋体|10|regular|0| "),
        QStringLiteral("宋体|10|regular|0|  门牌号:2-202    户名: 孙八"),
        QStringLiteral("宋体|10|regular|0| "),
        QStringLiteral("宋体|10|regular|0|  截至2024年07月15日，您户尚有下列费用未缴:"),
        QStringLiteral("宋体|8|regular|0|  ") + QString(40, QChar(0x2500)),
        QStringLiteral("宋体|10|regular|0|  月份                    应收金额"),
        QStringLiteral("宋体|10|regular|0|  2024年04月                 50.00"),
        QStringLiteral("宋体|10|regular|0|  2024年05月                 60.00"),
        QStringLiteral("宋体|10|regular|0|  2024年06月                 70.00"),
        QStringLiteral("宋体|8|regular|0|  ") + QString(40, QChar(0x2500)),
        QStringLiteral("宋体|10|regular|0|  未缴合计:                 180.00"),
        QStringLiteral("宋体|10|regular|0|  账户余额:                 -20.00"),
        QStringLiteral("宋体|10|regular|0|  应缴总额:                 200.00"),
        QStringLiteral("宋体|10|regular|0| "),
        QStringLiteral("宋体|10|regular|0|  请按时缴费"),
        QStringLiteral("宋体|10|regular|0| "),
        QStringLiteral("宋体|10|regular|0|  ") + QString(40, u' ') + QStringLiteral("测试小区"),
        QStringLiteral("宋体|10|regular|0|  ") + QString(40, u' ') + QStringLiteral("2024年07月15日"),
    };
    QCOMPARE(NoticePage::build(d).dump(), expected);

    // A blank notice text leaves its line out; credit larger than the bills shows a
    // negative total; the heading moves with the page width.
    NoticeData credit = d;
    credit.noticeText = QStringLiteral("   ");
    credit.months = {{QStringLiteral("202406"), 1234.5}};
    credit.balance = 2000;
    const QStringList got = NoticePage::build(credit, 12240).dump();
    QCOMPARE(got.first(), QStringLiteral("宋体|18|regular|1220|测试小区"));
    QVERIFY(!got.join(u'\n').contains(QStringLiteral("请按时缴费")));
    QVERIFY(got.contains(QStringLiteral("宋体|10|regular|0|  2024年06月              1,234.50")));
    QVERIFY(got.contains(QStringLiteral("宋体|10|regular|0|  应缴总额:                -765.50")));
    QCOMPARE(got.size(), expected.size() - 3);
}

void TestArrears::noticesPdfHasOnePagePerHousehold()
{
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");
    TestEstate e;
    buildBoardEstate(e);
    const QList<ArrearsRow> rows = ArrearsBoard::load(e.db(), filter());
    QList<NoticeData> notices;
    for (const ArrearsRow& r : rows)
        notices << NoticeData::forRow(e.db(), r, QStringLiteral("测试小区"), QStringLiteral("请按时缴费"),
                                      QDate(2024, 7, 15));
    QTemporaryDir dir;
    QString folder = qEnvironmentVariable("FENWARY_SHOTS");
    if (folder.isEmpty() || !QDir().mkpath(folder))
        folder = dir.path();
    const QString pdf = folder + QStringLiteral("/notices.pdf");
    QString error;
    const DocumentPrinter::Pages pages = [&](int width) {
        QList<DocumentPage> out;
        for (const NoticeData& n : notices)
            out << NoticePage::build(n, width);
        return out;
    };
    QVERIFY2(DocumentPrinter::printToPdf(pages, QStringLiteral("催缴通知单"), pdf, &error), qPrintable(error));
    QProcess p;
    p.start(pdfinfo, {pdf});
    QVERIFY(p.waitForFinished(30000));
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    QVERIFY2(m.hasMatch(), qPrintable(info));
    QCOMPARE(m.captured(1).toInt(), int(rows.size()));

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        return;
    // Page 4 is 2-202's notice.
    p.start(pdftotext, {QStringLiteral("-f"), QStringLiteral("4"), QStringLiteral("-l"), QStringLiteral("4"),
                        QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    // Shared glyphs may come back as Kangxi radicals; NFKC folds them.
    const QString page4 = QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    QVERIFY2(page4.contains(QStringLiteral("2-202")), qPrintable(page4));
    QVERIFY(page4.contains(QStringLiteral("孙八")));
    QVERIFY(page4.contains(QStringLiteral("200.00")));
    QVERIFY(!page4.contains(QStringLiteral("张三")));
}

void TestArrears::summaryFigures_data()
{
    QTest::addColumn<SummaryRange>("range");
    QTest::addColumn<QStringList>("expected");
    SummaryRange all{QStringLiteral("202404"), QStringLiteral("202406"), QStringLiteral("-"), QString()};
    QTest::newRow("two buildings, three months")
        << all
        << QStringList{QStringLiteral("1|202404|2|180|150|0|1.0000"), QStringLiteral("1|202405|2|180|100|100|0.4444"),
                       QStringLiteral("1|202406|2|220|0|220|0.0000"), QStringLiteral("2|202404|1|50|60|0|1.0000"),
                       QStringLiteral("2|202406|1|70|0|70|0.0000")};
    SummaryRange two = all;
    two.building = QStringLiteral("2");
    QTest::newRow("building 2") << two
                                << QStringList{QStringLiteral("2|202404|1|50|60|0|1.0000"),
                                               QStringLiteral("2|202406|1|70|0|70|0.0000")};
    SummaryRange one = all;
    one.first = one.last = QStringLiteral("202405");
    QTest::newRow("one month") << one << QStringList{QStringLiteral("1|202405|2|180|100|100|0.4444")};
    SummaryRange none = all;
    none.first = QStringLiteral("202501");
    none.last = QStringLiteral("202512");
    QTest::newRow("no bills") << none << QStringList{};
}

namespace {
void buildSummaryEstate(TestEstate& e)
{
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"));
    e.addHousehold(QStringLiteral("2-201"), QStringLiteral("钱七"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202403"), 999, true, 999, 0.0, QStringLiteral("2024-03-10"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202404"), 100, true, 100, 0.0, QStringLiteral("2024-04-10"));
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202404"), 80, true, 50, 0.0, QStringLiteral("2024-04-10"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202405"), 100);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202405"), 80, true, 100, 20.0, QStringLiteral("2024-05-10"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 120);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202406"), 100);
    e.addBill(QStringLiteral("2-201"), QStringLiteral("202404"), 50, true, 60, 10.0, QStringLiteral("2024-04-10"));
    e.addBill(QStringLiteral("2-201"), QStringLiteral("202406"), 70);
    e.addBill(QStringLiteral("2-201"), QStringLiteral("202407"), 999);
}
} // namespace

void TestArrears::summaryFigures()
{
    QFETCH(SummaryRange, range);
    QFETCH(QStringList, expected);
    TestEstate e;
    buildSummaryEstate(e);
    QCOMPARE(lines(MonthSummary::load(e.db(), range)), expected);
}

void TestArrears::summaryByMonthAndTotal()
{
    TestEstate e;
    buildSummaryEstate(e);
    const QList<SummaryRow> rows =
        MonthSummary::load(e.db(), {QStringLiteral("202404"), QStringLiteral("202406"), QStringLiteral("-"), QString()});
    QCOMPARE(lines(MonthSummary::byMonth(rows)),
             (QStringList{QStringLiteral("|202404|3|230|210|0|1.0000"), QStringLiteral("|202405|2|180|100|100|0.4444"),
                          QStringLiteral("|202406|3|290|0|290|0.0000")}));
    QCOMPARE(line(MonthSummary::total(rows)), QStringLiteral("||8|700|310|390|0.4429"));
    QCOMPARE(MonthSummary::text(rows.at(1), 6), QStringLiteral("44.4%"));
    const OutTable t = MonthSummary::outTable(rows);
    QCOMPARE(t.rows.size(), 5);
    QCOMPARE(t.totals.at(0).text, QStringLiteral("合计"));
    QCOMPARE(t.totals.at(6).format, QStringLiteral("0.0%"));
    QCOMPARE(t.totals.at(6).number, (700.0 - 390.0) / 700.0);
}

QTEST_MAIN(TestArrears)
#include "test_arrears.moc"
