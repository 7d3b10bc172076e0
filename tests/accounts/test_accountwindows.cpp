// Reversal, the day's takings, statements and the ledger's windows and documents;
// and two windows on one household moving its balance in turn.
#include "accounts/accounts.h"
#include "accounts/accountswindows.h"
#include "accounts/bookscheck.h"
#include "accounts/reportdocument.h"
#include "accounts/reversal.h"
#include "charging/billentrywindow.h"
#include "collection/collection.h"
#include "collection/paymentwindow.h"
#include "collection/receiptprinter.h"
#include "common/numbers.h"
#include "common/tableout.h"
#include "estate.h"
#include "maintenance/cleanup.h"
#include "store/criterion.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

const QString kDoor = QStringLiteral("门牌号");

void shot(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(file));
}

void household(TestEstate& e, const QString& door, double balance, const QString& name = QString())
{
    e.addHousehold(door, name.isEmpty() ? QStringLiteral("住户") + door : name, 80, balance);
    Accounts::ledger(e.db(), e.app, e.clock).journalOpening(door, balance);
}

void select(TestEstate& e, const QString& door, const QString& month)
{
    DataEnvironment& env = e.env();
    env.rs档案().find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First);
    RecordSet& bills = env.rs缴费历史();
    bills.setFilter(Criterion::equals(kDoor, door));
    bills.find(Criterion::equals(QStringLiteral("月份"), month), RecordSet::Direction::Forward, RecordSet::Start::First);
    env.rs收费1().setFilter(Criterion::equals(kDoor, door).andEquals(QStringLiteral("月份"), month));
    env.rs收费2().setFilter(Criterion::equals(kDoor, door).andEquals(QStringLiteral("月份"), month));
}

// Collects paying `cash`; the household has no credit worth offering.
qint64 collect(TestEstate& e, const QString& door, const QString& month, const QString& cash)
{
    select(e, door, month);
    e.prompter.yes();
    e.prompter.type(cash);
    e.prompter.no();
    // The window passes the bill's remarks as its box shows them.
    const Collection::Outcome out =
        Collection(e.services()).collect(e.env().rs缴费历史().value(QStringLiteral("其他说明")).toString());
    e.prompter.clear();
    return out.settled ? out.receiptNo : -1;
}

qint64 billId(TestEstate& e, const QString& door, const QString& month)
{
    return e.scalar(QStringLiteral("select ID from 缴费历史 where 门牌号 = ? and 月份 = ?"), {door, month}).toLongLong();
}

Reversal::Result reverse(TestEstate& e, qint64 bill, const QString& reason = QStringLiteral("收错了住户"))
{
    e.prompter.type(reason);
    e.prompter.yes();
    const Reversal::Result r = Reversal(e.db(), e.app, e.clock, e.prompter).run(bill);
    return r;
}

QList<QVariantList> snapshot(TestEstate& e, const QString& door)
{
    QList<QVariantList> out;
    for (const char* sql : {"select * from 档案库 where 门牌号 = ?", "select * from 缴费历史 where 门牌号 = ? order by ID",
                            "select * from 收费1 where 门牌号 = ? order by ID", "select * from 收费2 where 门牌号 = ? order by ID"})
        out << e.rows(QString::fromUtf8(sql), {door});
    return out;
}

QStringList rowsOf(const DayTakings& d)
{
    QStringList out;
    for (const DayTakings::Row& r : d.rows)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                   .arg(r.kind)
                   .arg(r.receiptNo)
                   .arg(r.door, r.month)
                   .arg(r.charge)
                   .arg(r.cash)
                   .arg(r.balanceAfter)
                   .arg(r.operatorName, r.desk);
    return out;
}

}  // namespace

class TestAccountWindows : public QObject {
    Q_OBJECT
private slots:
    void reversalRestoresTheBillHouseholdAndLines();
    void reversalIsRefused_data();
    void reversalIsRefused();
    void reversalGivesBackTheBalanceBeforeTheCollection_data();
    void reversalGivesBackTheBalanceBeforeTheCollection();
    void receiptNumbersStayUniqueOverCollectionsAndReversals();
    void dayTakingsOfTwoOperatorsAndOneReversal_data();
    void dayTakingsOfTwoOperatorsAndOneReversal();
    void statementEndsAtTheBalanceAcrossACleanup();
    void statementOfAMonthRangeOpensWithTheEarlierSum();
    void documentPagesRepeatTheirHeadAndLineUp();
    void windowsShowPrintAndCheck();
    void twoWindowsOnTheSameHousehold_data();
    void twoWindowsOnTheSameHousehold();
};

void TestAccountWindows::reversalRestoresTheBillHouseholdAndLines()
{
    TestEstate e;
    e.app.operatorLevel = QStringLiteral("A");
    household(e, QStringLiteral("1-101"), 0.5);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80, false, QVariant(), QVariant(), QString(),
              QStringLiteral("物业费到期"));
    e.addFixedLine(QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 60);
    e.addMeteredLine(QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("02"), QStringLiteral("水费"), 10,
                     30, 1, 20);
    const QList<QVariantList> before = snapshot(e, QStringLiteral("1-101"));
    // A shortfall: the remarks get a line, the balance goes to -49.5.
    QCOMPARE(collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("30")), qint64(1));
    QVERIFY(snapshot(e, QStringLiteral("1-101")) != before);

    const qint64 bill = billId(e, QStringLiteral("1-101"), QStringLiteral("202407"));
    const Reversal::Result r = reverse(e, bill);
    QCOMPARE(int(r.outcome), int(Reversal::Outcome::Reversed));
    QCOMPARE(r.receiptNo, qint64(1));
    QCOMPARE(e.prompter.boxes()[0].text, Reversal::reasonPrompt());
    QCOMPARE(e.prompter.boxes()[1].text,
             Reversal::confirmText(1, QStringLiteral("1-101"), QStringLiteral("202407"), 80, 30, -49.5, 0.5,
                                   QStringLiteral("收错了住户")));
    QCOMPARE(e.prompter.boxes()[2].text, Reversal::doneText(1));
    QCOMPARE(snapshot(e, QStringLiteral("1-101")), before);
    QCOMPARE(e.rows(QStringLiteral("select 类别, 金额, 实收现金, 收据号, 说明 from 账户流水 where 账单ID = ? order by ID"), {bill}),
             (QList<QVariantList>{{"收款", -50.0, 30.0, 1, e.scalar(QStringLiteral("select 说明 from 账户流水 where 收据号 = 1 and 类别 = '收款'"))},
                                  {"冲正", 50.0, -30.0, 1, "收错了住户"}}));
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
    // Collected again as usual, with a new number.
    QCOMPARE(collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("80")), qint64(2));
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
}

void TestAccountWindows::reversalIsRefused_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("bill");  // paid, unpaid, old
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("said");
    QTest::newRow("level B") << "B" << "paid" << QStringList{} << Reversal::levelText();
    QTest::newRow("unpaid bill") << "A" << "unpaid" << QStringList{} << Reversal::notPaidText();
    QTest::newRow("paid before the ledger began") << "A" << "old" << QStringList{} << Reversal::noCollectionText();
    QTest::newRow("empty reason") << "A" << "paid" << QStringList{"  "} << Reversal::reasonRequiredText();
    QTest::newRow("reason cancelled") << "A" << "paid" << QStringList{"C"} << Reversal::reasonPrompt();
    QTest::newRow("not confirmed") << "A" << "paid" << QStringList{"写错了", "N"} << QString();
}

void TestAccountWindows::reversalIsRefused()
{
    QFETCH(QString, level);
    QFETCH(QString, bill);
    QFETCH(QStringList, answers);
    QFETCH(QString, said);
    TestEstate e;
    e.app.operatorLevel = level;
    household(e, QStringLiteral("1-101"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80);
    if (bill == QLatin1String("paid"))
        collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("80"));
    if (bill == QLatin1String("old"))
        e.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = 80"));
    const QList<QVariantList> before = snapshot(e, QStringLiteral("1-101"));
    const int movements = e.count(QStringLiteral("账户流水"));
    for (const QString& a : answers) {
        if (a == QLatin1String("C"))
            e.prompter.cancel();
        else if (a == QLatin1String("N"))
            e.prompter.no();
        else
            e.prompter.type(a);
    }
    const Reversal::Result r =
        Reversal(e.db(), e.app, e.clock, e.prompter).run(billId(e, QStringLiteral("1-101"), QStringLiteral("202407")));
    QVERIFY(r.outcome != Reversal::Outcome::Reversed);
    if (!said.isEmpty())
        QVERIFY2(e.prompter.texts().contains(said), qPrintable(e.prompter.texts().join('\n')));
    QCOMPARE(snapshot(e, QStringLiteral("1-101")), before);
    QCOMPARE(e.count(QStringLiteral("账户流水")), movements);
}

void TestAccountWindows::reversalGivesBackTheBalanceBeforeTheCollection_data()
{
    QTest::addColumn<bool>("movedSince");
    QTest::newRow("the collection is the latest movement") << false;
    QTest::newRow("the balance moved since") << true;
}

// 100.01 + 200 − 66.7 − (200 − 66.7) is not 100.01 in binary arithmetic: while the
// collection is the latest movement, the balance recorded before it comes back.
void TestAccountWindows::reversalGivesBackTheBalanceBeforeTheCollection()
{
    QFETCH(bool, movedSince);
    TestEstate e;
    e.app.operatorLevel = QStringLiteral("A");
    household(e, QStringLiteral("1-101"), 100.01);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 66.7);
    select(e, QStringLiteral("1-101"), QStringLiteral("202407"));
    e.prompter.yes();
    e.prompter.no();  // the credit is not used
    e.prompter.type(QStringLiteral("200"));
    e.prompter.no();
    QVERIFY(Collection(e.services()).collect(QString()).settled);
    double expected = 100.01;
    if (movedSince) {
        RecordSet& rs = e.env().rs档案();
        const double raised = rs.value(QStringLiteral("账户余额")).toDouble() + 10;
        rs.setValue(QStringLiteral("账户余额"), raised);
        rs.update();
        expected = raised - (200 - 66.7);
    }
    e.prompter.clear();
    QCOMPARE(int(reverse(e, billId(e, QStringLiteral("1-101"), QStringLiteral("202407"))).outcome),
             int(Reversal::Outcome::Reversed));
    QVERIFY2(e.prompter.texts().value(1).contains(formatMask(expected, QStringLiteral("#,##0.00"))),
             qPrintable(e.prompter.texts().value(1)));
    // Exactly: QCOMPARE would compare fuzzily.
    const double balance = e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble();
    QVERIFY2(balance == expected, qPrintable(QString::number(balance, 'g', 17)));
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
}

void TestAccountWindows::receiptNumbersStayUniqueOverCollectionsAndReversals()
{
    TestEstate e;
    e.app.operatorLevel = QStringLiteral("A");
    household(e, QStringLiteral("1-101"), 0);
    household(e, QStringLiteral("1-102"), 0);
    for (int m = 1; m <= 9; ++m) {
        e.addBill(QStringLiteral("1-101"), QStringLiteral("20240%1").arg(m), 10 * m);
        e.addBill(QStringLiteral("1-102"), QStringLiteral("20240%1").arg(m), 5 * m);
    }
    QList<qint64> numbers;
    for (int m = 1; m <= 9; ++m) {
        for (const char* door : {"1-101", "1-102"}) {
            const QString month = QStringLiteral("20240%1").arg(m);
            numbers << collect(e, QString::fromLatin1(door), month, QString::number(m * 10));
            if (m % 3 == 0) {  // every third month is reversed and collected again
                reverse(e, billId(e, QString::fromLatin1(door), month));
                e.prompter.clear();
                numbers << collect(e, QString::fromLatin1(door), month, QString::number(m * 10));
            }
        }
    }
    QSet<qint64> unique(numbers.cbegin(), numbers.cend());
    QCOMPARE(unique.size(), numbers.size());
    QCOMPARE(numbers.last(), qint64(numbers.size()));
    QVERIFY(!unique.contains(-1));
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
}

void TestAccountWindows::dayTakingsOfTwoOperatorsAndOneReversal_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("receipts");
    QTest::addColumn<double>("taken");
    QTest::addColumn<double>("reversed");
    // 王会计 works at 前台1, 李出纳 at 前台'2.
    const QString a1 = "收款|1|1-101|202407|80|100|20|王会计|前台1";
    const QString a2 = "收款|2|1-102|202407|60|60|0|王会计|前台1";
    const QString b3 = "收款|3|1-103|202407|50|45|-5|李出纳|前台'2";
    const QString a4 = "冲正|2|1-102|202407|-60|-60|0|王会计|前台1";
    QTest::newRow("all") << "" << "" << QStringList{a1, a2, b3, a4} << 3 << 205.0 << 60.0;
    QTest::newRow("王会计") << "王会计" << "" << QStringList{a1, a2, a4} << 2 << 160.0 << 60.0;
    QTest::newRow("李出纳") << "李出纳" << "" << QStringList{b3} << 1 << 45.0 << 0.0;
    QTest::newRow("nobody") << "赵某" << "" << QStringList{} << 0 << 0.0 << 0.0;
    QTest::newRow("desk 前台'2") << "" << "前台'2" << QStringList{b3} << 1 << 45.0 << 0.0;
    QTest::newRow("王会计 at 前台'2") << "王会计" << "前台'2" << QStringList{} << 0 << 0.0 << 0.0;
}

void TestAccountWindows::dayTakingsOfTwoOperatorsAndOneReversal()
{
    QFETCH(QString, who);
    QFETCH(QString, desk);
    QFETCH(QStringList, rows);
    QFETCH(int, receipts);
    QFETCH(double, taken);
    QFETCH(double, reversed);
    TestEstate e;
    for (const char* door : {"1-101", "1-102", "1-103"}) {
        household(e, QString::fromLatin1(door), 0);
        e.addBill(QString::fromLatin1(door), QStringLiteral("202407"), QString::fromLatin1(door) == "1-101" ? 80 : 0);
        e.addBill(QString::fromLatin1(door), QStringLiteral("202406"), 10);
    }
    e.db().exec(QStringLiteral("update 缴费历史 set 收费金额 = 60 where 门牌号 = '1-102' and 月份 = '202407'"));
    e.db().exec(QStringLiteral("update 缴费历史 set 收费金额 = 50 where 门牌号 = '1-103' and 月份 = '202407'"));
    // The day before: not in the day's takings.
    e.clock.set(QDate(2024, 7, 14));
    e.app.operatorName = QStringLiteral("李出纳");
    QCOMPARE(collect(e, QStringLiteral("1-103"), QStringLiteral("202406"), QStringLiteral("10")), qint64(1));
    e.db().exec(QStringLiteral("update 账务参数 set 值 = 0 where 名称 = '收据号'"));  // numbers of the day start at 1
    QFile::remove(QDir(e.folder()).filePath(Ledger::highWaterFileName()));
    e.clock.set(QDate(2024, 7, 15));
    e.app.operatorName = QStringLiteral("王会计");
    e.app.operatorLevel = QStringLiteral("A");
    e.db().setDesk(QStringLiteral("前台1"), e.app.operatorName);
    collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("100"));
    collect(e, QStringLiteral("1-102"), QStringLiteral("202407"), QStringLiteral("60"));
    e.app.operatorName = QStringLiteral("李出纳");
    e.db().setDesk(QStringLiteral("前台'2"), e.app.operatorName);
    collect(e, QStringLiteral("1-103"), QStringLiteral("202407"), QStringLiteral("45"));
    e.app.operatorName = QStringLiteral("王会计");
    e.db().setDesk(QStringLiteral("前台1"), e.app.operatorName);
    QCOMPARE(int(reverse(e, billId(e, QStringLiteral("1-102"), QStringLiteral("202407"))).outcome),
             int(Reversal::Outcome::Reversed));

    const DayTakings d = DayTakings::read(e.db(), QDate(2024, 7, 15), who, desk);
    QCOMPARE(DayTakings::desks(e.db(), QDate(2024, 7, 15)), (QStringList{QStringLiteral("前台'2"), QStringLiteral("前台1")}));
    QCOMPARE(rowsOf(d), rows);
    QCOMPARE(d.receipts, receipts);
    QCOMPARE(d.cashTaken, taken);
    QCOMPARE(d.cashReversed, reversed);
    QCOMPARE(d.net(), taken - reversed);
    const ReportTable t = d.table();
    QCOMPARE(t.rows.size(), rows.size());
    QCOMPARE(t.text(t.totals, 7), formatMask(taken - reversed, QStringLiteral("#,##0.00")));
}

void TestAccountWindows::statementEndsAtTheBalanceAcrossACleanup()
{
    TestEstate e;
    e.clock.set(QDate(2024, 4, 30));
    household(e, QStringLiteral("1-101"), 100);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202405"), 80);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 90);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 70);
    e.clock.set(QDate(2024, 5, 20));
    select(e, QStringLiteral("1-101"), QStringLiteral("202405"));
    e.prompter.yes();
    e.prompter.yes();  // the credit pays it
    e.prompter.no();
    QVERIFY(Collection(e.services()).collect(QString()).settled);
    // June and July: the credit is not used, cash is paid.
    for (const auto& [month, cash] : {std::pair{"202406", "100"}, std::pair{"202407", "50"}}) {
        e.clock.set(QDate(2024, QString::fromLatin1(month).right(2).toInt(), 20));
        select(e, QStringLiteral("1-101"), QString::fromLatin1(month));
        e.prompter.yes();
        e.prompter.no();
        e.prompter.type(QString::fromLatin1(cash));
        e.prompter.no();
        QVERIFY(Collection(e.services()).collect(QString()).settled);
        QCOMPARE(e.prompter.pending(), 0);
    }
    // 100 − 80 = 20; + 100 − 90 = 30; + 50 − 70 = 10.
    QCOMPARE(AccountStatement::read(e.db(), QStringLiteral("1-101")).closing, 10.0);

    QCOMPARE(Cleanup(e.env()).run(QStringLiteral("202405"), QStringLiteral("202406")).bills, 2);
    const AccountStatement s = AccountStatement::read(e.db(), QStringLiteral("1-101"));
    QStringList kinds;
    QList<double> running;
    for (const AccountStatement::Row& r : s.rows) {
        kinds << r.kind;
        running << r.running;
    }
    // The ledger keeps every collection, also of the bills that went.
    QCOMPARE(kinds, (QStringList{"期初", "收款", "收款", "收款"}));
    QCOMPARE(running, (QList<double>{100, 20, 30, 10}));
    QCOMPARE(s.opening, 0.0);
    QCOMPARE(s.closing, 10.0);
    QCOMPARE(s.closing, s.storedBalance.toDouble());
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
}

void TestAccountWindows::statementOfAMonthRangeOpensWithTheEarlierSum()
{
    TestEstate e;
    e.clock.set(QDate(2024, 4, 30));
    household(e, QStringLiteral("1-101"), 100);
    // May from the credit; June with the credit and 10 on top; July in cash.
    const QList<QStringList> answers = {{"Y", "Y", "N"}, {"Y", "Y", "10", "N"}, {"Y", "70", "N"}};
    for (int m = 5; m <= 7; ++m) {
        const QString month = QStringLiteral("20240%1").arg(m);
        e.addBill(QStringLiteral("1-101"), month, 10 * m);
        e.clock.set(QDate(2024, m, 20));
        select(e, QStringLiteral("1-101"), month);
        for (const QString& a : answers[m - 5]) {
            if (a == QLatin1String("Y"))
                e.prompter.yes();
            else if (a == QLatin1String("N"))
                e.prompter.no();
            else
                e.prompter.type(a);
        }
        QVERIFY(Collection(e.services()).collect(QString()).settled);
        QCOMPARE(e.prompter.pending(), 0);
    }
    QCOMPARE(AccountStatement::months(e.db(), QStringLiteral("1-101")),
             (QStringList{"202404", "202405", "202406", "202407"}));
    const AccountStatement june = AccountStatement::read(e.db(), QStringLiteral("1-101"), QStringLiteral("202406"),
                                                         QStringLiteral("202406"));
    QCOMPARE(june.opening, 50.0);
    QCOMPARE(june.rows.size(), 1);
    QCOMPARE(june.rows[0].charge.toDouble(), 60.0);
    QCOMPARE(june.rows[0].date, QStringLiteral("2024-06-20"));
    QCOMPARE(june.rows[0].cash.toDouble(), 10.0);
    QCOMPARE(june.closing, 0.0);
    const AccountStatement fromJune = AccountStatement::read(e.db(), QStringLiteral("1-101"), QStringLiteral("202406"));
    QCOMPARE(fromJune.closing, e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble());
}

void TestAccountWindows::documentPagesRepeatTheirHeadAndLineUp()
{
    ReportTable t;
    t.header = {QStringLiteral("门牌号"), QStringLiteral("户名"), QStringLiteral("金额")};
    t.masks = {QString(), QString(), QStringLiteral("#,##0.00")};
    for (int i = 0; i < 100; ++i)
        t.rows.append({QStringLiteral("1-%1").arg(i), i % 2 ? QStringLiteral("张三") : QStringLiteral("Li"), i * 1000.5});
    t.totals = {QStringLiteral("合计"), QVariant(), 4952475.0};
    const QList<DocumentPage> pages =
        ReportDocument::pages(QStringLiteral("标题"), {QStringLiteral("日期")}, t, {QStringLiteral("脚注")}, 48);
    QCOMPARE(pages.size(), 3);
    for (int p = 0; p < pages.size(); ++p) {
        const QList<DocumentLine>& lines = pages[p].lines;
        QCOMPARE(lines[0].text, QStringLiteral("  标题"));
        QCOMPARE(lines[3].text, QStringLiteral("  门牌号  户名          金额"));
        QCOMPARE(lines.last().text, QStringLiteral("  第 %1 页 共 3 页").arg(p + 1));
        // Every amount ends in the same column.
        for (int i = 5; i < lines.size() - 3; ++i)
            if (lines[i].text.contains(QLatin1Char('.')))
                QCOMPARE(ReportDocument::cells(lines[i].text), ReportDocument::cells(lines[3].text));
    }
    QCOMPARE(pages[2].lines[5].text, QStringLiteral("  1-96    Li       96,048.00"));
    QVERIFY(pages[2].lines.contains(DocumentLine{QStringLiteral("宋体"), 9, false, 0,
                                               QStringLiteral("  合计          4,952,475.00")}));
    QVERIFY(!pages[0].lines.contains(DocumentLine{QStringLiteral("宋体"), 10, false, 0, QStringLiteral("  脚注")}));
    QCOMPARE(pages[2].lines[pages[2].lines.size() - 3].text, QStringLiteral("  脚注"));
}

void TestAccountWindows::windowsShowPrintAndCheck()
{
    TestEstate e;
    e.app.receiptName = QStringLiteral("测试小区");
    e.app.operatorName = QStringLiteral("管理员");
    household(e, QStringLiteral("1-101"), 0, QStringLiteral("张伟"));
    household(e, QStringLiteral("1-102"), 20, QStringLiteral("李娜"));
    for (const char* door : {"1-101", "1-102"})
        e.addBill(QString::fromLatin1(door), QStringLiteral("202407"), 188.25);
    collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("200"));
    select(e, QStringLiteral("1-102"), QStringLiteral("202407"));
    e.prompter.yes();
    e.prompter.yes();
    e.prompter.type(QStringLiteral("168.25"));
    e.prompter.no();
    QVERIFY(Collection(e.services()).collect(QString()).settled);

    DayTakingsWindow day(e.services());
    day.resize(900, 400);
    day.show();
    QVERIFY(QTest::qWaitForWindowExposed(&day));
    QCOMPARE(day.dayBox()->date(), QDate(2024, 7, 15));
    QCOMPARE(day.grid()->model()->rowCount(), 3);  // two receipts and the totals
    QCOMPARE(day.grid()->model()->index(2, 7).data().toString(), QStringLiteral("368.25"));
    QCOMPARE(day.summary()->text(), QStringLiteral("收据 2 张    收款现金 368.25    冲正退回现金 0.00    净收现金 368.25"));
    shot(&day, QStringLiteral("accounts_daytakings.png"));
    QList<DocumentPage> printed;
    day.setPageSink([&](const QList<DocumentPage>& p) { printed = p; });
    day.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QCOMPARE(printed.size(), 1);
    QCOMPARE(printed[0].lines[0].text, QStringLiteral("  测试小区  收款日报"));
    const QString pdf = QDir(e.folder()).filePath(QStringLiteral("daytakings.pdf"));
    QVERIFY(DocumentPrinter::pagesToPdf(printed, day.documentName(), pdf));
    QVERIFY(QFileInfo(pdf).size() > 1000);
    if (!qEnvironmentVariable("FENWARY_SHOTS").isEmpty())
        QFile::copy(pdf, QDir(qEnvironmentVariable("FENWARY_SHOTS")).filePath(QStringLiteral("accounts_daytakings.pdf")));

    // 导出Excel: numbers stay numbers with their masks, the totals row comes along,
    // and both files land in the report folder.
    const OutTable out = day.table().outTable(day.documentName());
    QCOMPARE(out.header, day.table().header);
    QCOMPARE(out.rows.size(), 2);
    const int doorColumn = int(out.header.indexOf(QStringLiteral("门牌号")));
    QVERIFY(doorColumn >= 0);
    QCOMPARE(out.rows[0][doorColumn].kind, OutCell::Kind::Text);
    QCOMPARE(out.rows[0][doorColumn].text, QStringLiteral("1-101"));
    QCOMPARE(out.totals[7].kind, OutCell::Kind::Number);
    QCOMPARE(out.totals[7].number, 368.25);
    QCOMPARE(out.totals[7].format, day.table().masks[7]);
    const QString reports = QDir(e.folder()).filePath(QStringLiteral("报表"));
    qputenv("FENWARY_REPORT_DIR", reports.toUtf8());
    day.findChild<QPushButton*>(QStringLiteral("cmd导出Excel"))->click();
    qunsetenv("FENWARY_REPORT_DIR");
    QVERIFY(QFileInfo(QDir(reports).filePath(QStringLiteral("收款日报.xlsx"))).size() > 0);
    QFile csv(QDir(reports).filePath(QStringLiteral("收款日报.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray csvBytes = csv.readAll();
    QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
    const QString csvText = QString::fromUtf8(csvBytes);
    QVERIFY(csvText.contains(QStringLiteral("1-101")));
    QVERIFY(csvText.contains(QStringLiteral("368.25")));
    QVERIFY2(e.prompter.boxes().last().text.contains(QStringLiteral("收款日报.xlsx")),
             qPrintable(e.prompter.boxes().last().text));

    // The statement follows the current household.
    e.env().rs档案().find(Criterion::equals(kDoor, QStringLiteral("1-101")), RecordSet::Direction::Forward,
                          RecordSet::Start::First);
    StatementWindow st(e.services());
    st.resize(900, 400);
    st.show();
    QVERIFY(QTest::qWaitForWindowExposed(&st));
    QCOMPARE(st.householdLabel()->text(), QStringLiteral("门牌号: 1-101    户名: 张伟"));
    QCOMPARE(st.statement().rows.size(), 2);
    e.env().rs档案().find(Criterion::equals(kDoor, QStringLiteral("1-102")), RecordSet::Direction::Forward,
                          RecordSet::Start::First);
    QCOMPARE(st.householdLabel()->text(), QStringLiteral("门牌号: 1-102    户名: 李娜"));
    QCOMPARE(st.statement().closing, 0.0);
    shot(&st, QStringLiteral("accounts_statement.png"));
    QVERIFY(DocumentPrinter::pagesToPdf(st.pages(), st.documentName(), QDir(e.folder()).filePath("st.pdf")));
    if (!qEnvironmentVariable("FENWARY_SHOTS").isEmpty())
        QFile::copy(QDir(e.folder()).filePath("st.pdf"),
                    QDir(qEnvironmentVariable("FENWARY_SHOTS")).filePath(QStringLiteral("accounts_statement.pdf")));

    // The books check lists a balance changed behind the program's back, and never mends it.
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = 5 where 门牌号 = '1-102'"));
    BooksCheckWindow check(e.services());
    check.resize(900, 300);
    check.show();
    QVERIFY(QTest::qWaitForWindowExposed(&check));
    QCOMPARE(check.found().size(), 1);
    QCOMPARE(check.grid()->model()->index(0, 4).data().toString(), QStringLiteral("5.00"));
    shot(&check, QStringLiteral("accounts_bookscheck.png"));
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = '1-102'")).toDouble(), 5.0);
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = 0 where 门牌号 = '1-102'"));
    check.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(check.summary()->text(), BooksCheckWindow::allAgreeText());

    // The payment window's reversal button is for level A only.
    for (const char* level : {"A", "B"}) {
        e.app.operatorLevel = QString::fromLatin1(level);
        PaymentWindow w(e.services());
        auto* b = w.findChild<QPushButton*>(QStringLiteral("Command8"));
        QVERIFY(b);
        QCOMPARE(b->text(), QStringLiteral("冲正"));
        QCOMPARE(b->isEnabled(), e.app.operatorLevel == QLatin1String("A"));
        if (b->isEnabled()) {
            w.resize(1100, 700);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            shot(&w, QStringLiteral("accounts_payment_buttons.png"));
        }
    }
}

void TestAccountWindows::twoWindowsOnTheSameHousehold_data()
{
    QTest::addColumn<bool>("collectFirst");
    QTest::newRow("collection, then re-entry") << true;
    QTest::newRow("re-entry, then collection") << false;
}

// The bill entry window and the payment window are both open on one household. A
// collection in one and a paid bill entered again in the other each move the
// balance the file holds, not their own copy of it.
void TestAccountWindows::twoWindowsOnTheSameHousehold()
{
    QFETCH(bool, collectFirst);
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 80);
    household(e, QStringLiteral("0001"), 0.25);
    e.addBill(QStringLiteral("0001"), QStringLiteral("202406"), 80);
    e.addFixedLine(QStringLiteral("0001"), QStringLiteral("202406"), QStringLiteral("01"), QStringLiteral("物业费"), 80);
    e.addBill(QStringLiteral("0001"), QStringLiteral("202407"), 50.75);
    // June is collected first: 0.25 + 80 − 80.
    QVERIFY(collect(e, QStringLiteral("0001"), QStringLiteral("202406"), QStringLiteral("80")) > 0);

    BillEntryWindow entry(e.services());
    entry.show();
    QVERIFY(QTest::qWaitForWindowExposed(&entry));
    PaymentWindow pay(e.services());
    pay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pay));
    const auto collectJuly = [&] {
        select(e, QStringLiteral("0001"), QStringLiteral("202407"));
        RecordSetModel* m = pay.billGrid()->recordSetModel();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->displayText(r, 1) == QLatin1String("202407"))
                pay.billGrid()->selectRow(r);
        e.prompter.yes();
        const double stored = e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble();
        if (stored > 0.5)
            e.prompter.no();  // the credit is not used
        e.prompter.type(QStringLiteral("60"));
        e.prompter.no();
        pay.findChild<QPushButton*>(QStringLiteral("Command5"))->click();
        QCOMPARE(e.prompter.pending(), 0);
        e.prompter.clear();
    };
    const auto reenterJune = [&] {
        entry.monthBox()->setText(QStringLiteral("202406"));
        QTest::keyClick(entry.monthBox(), Qt::Key_Return);
        entry.doorBox()->setText(QStringLiteral("0001"));
        e.prompter.yes();                       // the paid bill is entered again
        e.prompter.type(QStringLiteral("70"));  // its new amount
        entry.singleButton()->click();
        QCOMPARE(e.prompter.pending(), 0);
        e.prompter.clear();
    };
    if (collectFirst) {
        collectJuly();
        reenterJune();
    } else {
        reenterJune();
        collectJuly();
    }
    // 0.25; June refunded +80; July: + 60 − 50.75.
    const double expected = collectFirst ? ((0.25 + 60) - 50.75) + 80 : ((0.25 + 80) + 60) - 50.75;
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), expected);
    QVERIFY(qAbs(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble() - 89.5) < 1e-9);
    QCOMPARE(e.scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 月份 = '202406'")).toInt(), 0);
    QCOMPARE(e.scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 月份 = '202407'")).toInt(), 1);
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
}

QTEST_MAIN(TestAccountWindows)
#include "test_accountwindows.moc"
