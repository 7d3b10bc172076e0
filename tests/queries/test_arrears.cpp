// The arrears board, the arrears notice and the month summary, on hand-built estates.
#include "estate.h"

#include "documents/documentprinter.h"
#include "common/tableout.h"
#include "queries/arrearsboard.h"
#include "queries/arrearsnotice.h"
#include "queries/monthsummary.h"
#include "common/numbers.h"

#include <QPainter>
#include <QPrinter>

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
//   1-102 one unpaid bill covered by credit 150: owes nothing, not listed
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

    void owesOnlyWhatCreditLeaves_data();
    void owesOnlyWhatCreditLeaves();
    void buildingTakesItsOwnDoors_data();
    void buildingTakesItsOwnDoors();
    void noticeLayoutFitsThePage_data();
    void noticeLayoutFitsThePage();
    void noticeReadsTheFileAtPrintTime();
    void summaryCountsShortfallAsUncollected_data();
    void summaryCountsShortfallAsUncollected();
};

void TestArrears::boardListsWhoOwes_data()
{
    QTest::addColumn<ArrearsFilter>("f");
    QTest::addColumn<QStringList>("expected");
    const QString r101 = QStringLiteral("1|1-101|2|202405|202406|220|0|220");
    const QString r103 = QStringLiteral("1|1-103|0|||0|-80|80");
    const QString r202 = QStringLiteral("2|2-202|3|202404|202406|180|-20|200");
    const QString rA = QStringLiteral("|A'1|2|202405|202406|10|0|10");
    QTest::newRow("everyone who owes") << filter() << QStringList{r101, r103, r202, rA};
    QTest::newRow("building 2") << filter(QStringLiteral("2")) << QStringList{r202};
    QTest::newRow("apostrophe is data") << filter(QStringLiteral("A'1")) << QStringList{QStringLiteral("A'1|A'1|2|202405|202406|10|0|10")};
    QTest::newRow("percent is no wildcard") << filter(QStringLiteral("%")) << QStringList{};
    QTest::newRow("at least 1 month: credit covers 1-102") << filter(QString(), 1) << QStringList{r101, r202, rA};
    QTest::newRow("at least 2 months") << filter(QString(), 2) << QStringList{r101, r202, rA};
    QTest::newRow("at least 3 months") << filter(QString(), 3) << QStringList{r202};
    QTest::newRow("at least 200 owed") << filter(QString(), 0, 200) << QStringList{r101, r202};
    QTest::newRow("at least 80 owed") << filter(QString(), 0, 80) << QStringList{r101, r103, r202};
    QTest::newRow("months and amount") << filter(QString(), 2, 210) << QStringList{r101};
    QTest::newRow("no separator: one building")
        << filter(QString(), 0, 0, QString())
        << QStringList{r101.mid(1), r103.mid(1), r202.mid(1), rA};
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
    // 1-102's credit of 150 lowers neither building 1's total nor the estate's.
    QCOMPARE(got, (QStringList{QStringLiteral("|1|2|10|0|10"), QStringLiteral("1|2|2|220|-80|300"),
                               QStringLiteral("2|1|3|180|-20|200"), QStringLiteral("|4|7|410|-100|510")}));
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
                                        << QStringList{"1-101", "2-202", "1-103", "A'1"};
    QTest::newRow("months, ties by door") << int(ArrearsBoard::Months) << true
                                         << QStringList{"1-103", "1-101", "A'1", "2-202"};
    QTest::newRow("balance") << int(ArrearsBoard::Balance) << true
                             << QStringList{"1-103", "2-202", "1-101", "A'1"};
    QTest::newRow("first month, descending") << int(ArrearsBoard::First) << false
                                            << QStringList{"1-101", "A'1", "2-202", "1-103"};
    QTest::newRow("door, descending") << int(ArrearsBoard::Door) << false
                                     << QStringList{"A'1", "2-202", "1-103", "1-101"};
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
    QCOMPARE(t.rows.size(), 4 + 3); // households, then a subtotal per building
    QCOMPARE(t.rows.at(0).at(1).text, QStringLiteral("1-101"));
    QCOMPARE(t.rows.at(0).at(4).kind, OutCell::Kind::Number);
    QCOMPARE(t.rows.at(0).at(9).number, 220.0);
    QCOMPARE(t.rows.at(5).at(0).text, QStringLiteral("1 小计"));
    QCOMPARE(t.rows.at(5).at(9).number, 300.0);
    QCOMPARE(t.totals.at(0).text, QStringLiteral("合计"));
    QCOMPARE(t.totals.at(1).text, QStringLiteral("4户"));
    QCOMPARE(t.totals.at(9).number, 510.0);
}

void TestArrears::noticePageLineByLine()
{
    TestEstate e;
    buildBoardEstate(e);
    const NoticeData d = *NoticeData::read(e.db(), QStringLiteral("2-202"), QStringLiteral("测试小区"),
                                           QStringLiteral("请按时缴费"), QDate(2024, 7, 15));
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
    const QList<DocumentPage> one = NoticePage::pages(d);
    QCOMPARE(one.size(), 1);
    QCOMPARE(one.first().dump(), expected);

    // A blank notice text leaves its line out; credit lowers the household's own
    // total; the heading moves with the page width.
    NoticeData credit = d;
    credit.noticeText = QStringLiteral("   ");
    credit.months = {{QStringLiteral("202406"), 1234.5}};
    credit.balance = 1000;
    const QStringList got = NoticePage::pages(credit, 12240).first().dump();
    QCOMPARE(got.first(), QStringLiteral("宋体|18|regular|1220|测试小区"));
    QVERIFY(!got.join(u'\n').contains(QStringLiteral("请按时缴费")));
    QVERIFY(got.contains(QStringLiteral("宋体|10|regular|0|  2024年06月              1,234.50")));
    QVERIFY(got.contains(QStringLiteral("宋体|10|regular|0|  应缴总额:                 234.50")));
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
        notices << *NoticeData::read(e.db(), r.door, QStringLiteral("测试小区"), QStringLiteral("请按时缴费"),
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
            out << NoticePage::pages(n, width);
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
    // Page 3 is 2-202's notice.
    p.start(pdftotext, {QStringLiteral("-f"), QStringLiteral("3"), QStringLiteral("-l"), QStringLiteral("3"),
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
    // Three households billed over the three months, each counted once.
    const int households = MonthSummary::households(
        e.db(), {QStringLiteral("202404"), QStringLiteral("202406"), QStringLiteral("-"), QString()});
    QCOMPARE(line(MonthSummary::total(rows, households)), QStringLiteral("||3|700|310|390|0.4429"));
    QCOMPARE(MonthSummary::text(rows.at(1), 6), QStringLiteral("44.4%"));
    const OutTable t = MonthSummary::outTable(rows, households);
    QCOMPARE(t.totals.at(2).number, 3.0);
    QCOMPARE(t.rows.size(), 5);
    QCOMPARE(t.totals.at(0).text, QStringLiteral("合计"));
    QCOMPARE(t.totals.at(6).format, QStringLiteral("0.0%"));
    QCOMPARE(t.totals.at(6).number, (700.0 - 390.0) / 700.0);
}

void TestArrears::owesOnlyWhatCreditLeaves_data()
{
    QTest::addColumn<int>("months");
    QTest::addColumn<double>("unpaid");
    QTest::addColumn<double>("balance");
    QTest::addColumn<bool>("owes");
    QTest::addColumn<double>("owed");
    QTest::newRow("credit covers exactly") << 1 << 100.0 << 100.0 << false << 0.0;
    QTest::newRow("credit beyond the bills") << 2 << 100.0 << 150.0 << false << 0.0;
    QTest::newRow("credit short by a fen") << 1 << 100.0 << 99.99 << true << 0.01;
    QTest::newRow("credit short by less than half a fen") << 1 << 100.0 << 99.996 << false << 0.004;
    QTest::newRow("credit lowers the own debt") << 1 << 100.0 << 30.0 << true << 70.0;
    QTest::newRow("arrears add to the bills") << 1 << 100.0 << -20.0 << true << 120.0;
    QTest::newRow("arrears alone at the threshold") << 0 << 0.0 << -1.0 << false << 1.0;
    QTest::newRow("arrears alone past it") << 0 << 0.0 << -1.5 << true << 1.5;
}

void TestArrears::owesOnlyWhatCreditLeaves()
{
    QFETCH(int, months);
    QFETCH(double, unpaid);
    QFETCH(double, balance);
    QFETCH(bool, owes);
    QFETCH(double, owed);
    ArrearsRow r;
    r.unpaidMonths = months;
    r.unpaid = unpaid;
    r.balance = balance;
    QCOMPARE(ArrearsBoard::owes(r), owes);
    QVERIFY(qAbs(r.owed() - owed) < 1e-9);
}

void TestArrears::buildingTakesItsOwnDoors_data()
{
    QTest::addColumn<QString>("building");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("doors");
    const QStringList all{"1", "1-101", "1-102", "10-101", "10栋101", "11-201", "1栋101", "A-1", "a-2"};
    QTest::newRow("1 is not 10 or 11") << "1" << "-" << QStringList{"1", "1-101", "1-102"};
    QTest::newRow("10") << "10" << "-" << QStringList{"10-101"};
    QTest::newRow("typed with its separator") << "1-" << "-" << QStringList{"1-101", "1-102"};
    QTest::newRow("a whole door number") << "1-101" << "-" << QStringList{"1-101"};
    QTest::newRow("a part of a room is no building") << "1-10" << "-" << QStringList{};
    QTest::newRow("letter case as the finds") << "a" << "-" << QStringList{"A-1", "a-2"};
    QTest::newRow("word separator") << "1" << QStringLiteral("栋") << QStringList{"1", "1栋101"};
    QTest::newRow("no separator: a prefix") << "1" << "" << QStringList{"1", "1-101", "1-102", "10-101", "10栋101", "11-201", "1栋101"};
    QTest::newRow("wildcards are data") << "_" << "-" << QStringList{};
    QTest::newRow("empty: every building") << "" << "-" << all;
}

void TestArrears::buildingTakesItsOwnDoors()
{
    QFETCH(QString, building);
    QFETCH(QString, separator);
    QFETCH(QStringList, doors);
    TestEstate e;
    for (const QString door : {"1", "1-101", "1-102", "10-101", "10栋101", "11-201", "1栋101", "A-1", "a-2"}) {
        e.addHousehold(door, QStringLiteral("户"), 80, 0.0);
        e.addBill(door, QStringLiteral("202406"), 10);
    }
    QStringList board;
    for (const ArrearsRow& r : ArrearsBoard::load(e.db(), filter(building, 0, 0, separator)))
        board << r.door;
    QCOMPARE(board, doors);
    const SummaryRange range{QStringLiteral("202406"), QStringLiteral("202406"), separator, building};
    const QList<SummaryRow> rows = MonthSummary::load(e.db(), range);
    QCOMPARE(MonthSummary::total(rows, MonthSummary::households(e.db(), range)).charged, 10.0 * doors.size());
    QCOMPARE(MonthSummary::households(e.db(), range), int(doors.size()));
}

void TestArrears::noticeLayoutFitsThePage_data()
{
    QTest::addColumn<int>("months");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pages");
    const QString text = QStringLiteral("请于本月25日前到物业管理处缴纳。");
    QTest::newRow("60 months on two pages") << 60 << QStringLiteral("孙八") << text << 2;
    QTest::newRow("120 months on four pages") << 120 << QStringLiteral("孙八") << text << 4;
    QTest::newRow("a long name wraps") << 3 << QString(70, QChar(0x540D)) + QStringLiteral("有限公司END") << text << 1;
    QTest::newRow("a long notice text wraps, lines kept")
        << 20 << QStringLiteral("孙八") << QString(90, QChar(0x7F34)) + QStringLiteral("\n第二行") << 1;
}

void TestArrears::noticeLayoutFitsThePage()
{
    QFETCH(int, months);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, pages);
    NoticeData d;
    d.receiptName = QStringLiteral("测试小区");
    d.noticeText = text;
    d.date = QDate(2024, 7, 15);
    d.door = QStringLiteral("2-202");
    d.name = name;
    d.balance = -20;
    for (int i = 0; i < months; ++i)
        d.months << ArrearsBoard::Month{QDate(2019, 1, 1).addMonths(i).toString(QStringLiteral("yyyyMM")), 100};
    const QList<DocumentPage> laid = NoticePage::pages(d);
    QCOMPARE(laid.size(), pages);

    QStringList monthLines, all;
    for (int p = 0; p < laid.size(); ++p) {
        double height = 0;
        QStringList texts;
        for (const DocumentLine& l : laid[p].lines) {
            height += l.size / 10 * (l.text.count(u'\n') + 1);
            texts << l.text;
            // Nothing runs past the printable width (signature lines stand at 42).
            QVERIFY2(DocumentPage::cells(l.text) * l.size / 10 <= 95, qPrintable(l.text));
            if (l.text.contains(QStringLiteral("年")) && l.text.endsWith(QStringLiteral("100.00")))
                monthLines << l.text;
        }
        QVERIFY2(height <= NoticePage::PageLines, qPrintable(QString::number(height)));
        const QString page = texts.join(u'\n');
        const bool last = p + 1 == laid.size();
        QCOMPARE(page.contains(QStringLiteral("应缴总额:")), last);
        QCOMPARE(page.contains(QStringLiteral("第二行")) || page.contains(text.left(10)), last);
        QCOMPARE(page.contains(QStringLiteral("（续下页）")), !last);
        QVERIFY(page.contains(QStringLiteral("2-202")));
        if (pages > 1)
            QVERIFY(page.contains(QStringLiteral("第 %1 页 共 %2 页").arg(p + 1).arg(pages)));
        all << texts;
    }
    // Every month once, in order; the whole name and text are there, only wrapped.
    QCOMPARE(monthLines.size(), months);
    for (int i = 0; i < months; ++i)
        QVERIFY(monthLines.at(i).contains(NoticePage::monthLine(d.months.at(i))));
    QString joined;
    for (const QString& t : all)
        joined += t.trimmed();
    QVERIFY(joined.contains(name));
    QVERIFY(joined.contains(QString(text).remove(u'\n')));

    // Painted on A4 and on Letter, every page ends inside the printable area.
    QTemporaryDir dir;
    for (const QPageSize::PageSizeId size : {QPageSize::A4, QPageSize::Letter}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("n.pdf")));
        printer.setPageSize(QPageSize(size));
        QPainter painter(&printer);
        const double room = printer.pageLayout().paintRectPixels(printer.resolution()).height();
        for (int p = 0; p < laid.size(); ++p) {
            if (p > 0)
                printer.newPage();
            const double used = DocumentPrinter::paint(painter, NoticePage::pages(d, DocumentPrinter::pageWidthTwips(printer))[p]);
            QVERIFY2(used <= room, qPrintable(QStringLiteral("%1 > %2").arg(used).arg(room)));
        }
    }
    // For a person to look at: the notice as PDF and PNG pages.
    const QString shots = qEnvironmentVariable("FENWARY_SHOTS");
    if (!shots.isEmpty() && QDir().mkpath(shots)) {
        const QString base = QDir(shots).filePath(QStringLiteral("notice_%1").arg(QTest::currentDataTag()).replace(u' ', u'_'));
        QVERIFY(DocumentPrinter::printToPdf([&](int w) { return NoticePage::pages(d, w); }, NoticePage::title(),
                                            base + QStringLiteral(".pdf")));
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (!pdftoppm.isEmpty())
            QProcess::execute(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                                         base + QStringLiteral(".pdf"), base});
    }
}

void TestArrears::noticeReadsTheFileAtPrintTime()
{
    TestEstate e;
    buildBoardEstate(e);
    const QList<ArrearsRow> board = ArrearsBoard::load(e.db(), filter(QStringLiteral("2")));
    QCOMPARE(board.first().balance, -20.0);
    // Since the board was read, 202404 (50) was collected with 100 in cash: the
    // arrears of 20 are paid and 30 is left as credit.
    e.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = 100, 账户余额 = 30 "
                               "where 门牌号 = '2-202' and 月份 = '202404'"));
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = 30 where 门牌号 = '2-202'"));
    const std::optional<NoticeData> n = NoticeData::read(e.db(), QStringLiteral("2-202"), QString(), QString(),
                                                         QDate(2024, 7, 15));
    QVERIFY(n);
    QCOMPARE(n->balance, 30.0);
    QCOMPARE(n->months.size(), 2);
    QCOMPARE(n->owed(), 60.0 + 70.0 - 30.0);
    // Paid up since: no notice; gone: no notice.
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = 130 where 门牌号 = '2-202'"));
    QVERIFY(!NoticeData::read(e.db(), QStringLiteral("2-202"), QString(), QString(), QDate(2024, 7, 15)));
    QVERIFY(!NoticeData::read(e.db(), QStringLiteral("9-999"), QString(), QString(), QDate(2024, 7, 15)));
}

void TestArrears::summaryCountsShortfallAsUncollected_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("charge");
    QTest::addColumn<double>("cash");
    QTest::addColumn<double>("shortfall");
    QTest::newRow("cash covers") << 0.0 << 100.0 << 100.0 << 0.0;
    QTest::newRow("short, carried into arrears") << 0.0 << 100.0 << 60.0 << 40.0;
    QTest::newRow("nothing paid") << 0.0 << 80.0 << 0.0 << 80.0;
    QTest::newRow("credit pays it all") << 150.0 << 100.0 << 0.0 << 0.0;
    QTest::newRow("credit and cash still short") << 30.0 << 80.0 << 40.0 << 10.0;
    QTest::newRow("old arrears, the month paid") << -20.0 << 80.0 << 80.0 << 0.0;
    QTest::newRow("old arrears, the month short") << -20.0 << 80.0 << 50.0 << 30.0;
    QTest::newRow("old arrears paid with the month") << -20.0 << 80.0 << 100.0 << 0.0;
}

void TestArrears::summaryCountsShortfallAsUncollected()
{
    QFETCH(double, before);
    QFETCH(double, charge);
    QFETCH(double, cash);
    QFETCH(double, shortfall);
    TestEstate e;
    const double after = before + cash - charge;
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 80, after);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), charge, true, cash, after, QStringLiteral("2024-06-10"));
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"), 80, 0.0);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202406"), 100);
    const QList<SummaryRow> rows =
        MonthSummary::load(e.db(), {QStringLiteral("202406"), QStringLiteral("202406"), QStringLiteral("-"), QString()});
    QCOMPARE(rows.size(), 1);
    QVERIFY(qAbs(rows.first().shortfall - shortfall) < 1e-9);
    QVERIFY(qAbs(rows.first().rate() - (charge - shortfall) / (charge + 100)) < 1e-9);
    QCOMPARE(MonthSummary::text(rows.first(), 7), formatMask(shortfall, QStringLiteral("#,##0.00")));
}

QTEST_MAIN(TestArrears)
#include "test_arrears.moc"
