// Settlement of a bill against the household's balance: every box and every row written.
#include "collection/collection.h"
#include "estate.h"
#include "store/criterion.h"

#include <QtTest>

namespace {

const QString kDoor = QStringLiteral("门牌号");

// Narrows the shared sets the way the payment window does: the household, its bills,
// the lines of the chosen bill.
void select(TestEstate& e, const QString& door, const QString& month = QString())
{
    DataEnvironment& env = e.env();
    env.rs档案().find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First);
    RecordSet& bills = env.rs缴费历史();
    bills.setFilter(Criterion::equals(kDoor, door));
    if (!month.isEmpty())
        bills.find(Criterion::equals(QStringLiteral("月份"), month), RecordSet::Direction::Forward,
                   RecordSet::Start::First);
    const QVariant m = bills.value(QStringLiteral("月份"));
    env.rs收费1().setFilter(Criterion::equals(kDoor, door).andEquals(QStringLiteral("月份"), m));
    env.rs收费2().setFilter(Criterion::equals(kDoor, door).andEquals(QStringLiteral("月份"), m));
}

// "Y" yes, "N" no, "C" cancel, anything else is typed into an input box.
void script(ScriptedPrompter& p, const QStringList& answers)
{
    for (const QString& a : answers) {
        if (a == QLatin1String("Y"))
            p.yes();
        else if (a == QLatin1String("N"))
            p.no();
        else if (a == QLatin1String("C"))
            p.cancel();
        else
            p.type(a);
    }
}

// "kind|title|text|offered": kind Q (yes/no), P (input), I (notice); title T for the
// application title, - for none of its own.
QStringList describe(const ScriptedPrompter& p)
{
    QStringList out;
    for (const ScriptedPrompter::Box& b : p.boxes()) {
        QString kind;
        switch (b.kind) {
        case ScriptedPrompter::Kind::YesNo: kind = QStringLiteral("Q"); break;
        case ScriptedPrompter::Kind::Input: kind = QStringLiteral("P"); break;
        case ScriptedPrompter::Kind::Inform: kind = QStringLiteral("I"); break;
        case ScriptedPrompter::Kind::OkCancel: kind = QStringLiteral("OC"); break;
        }
        const QString title = b.title == QLatin1String("Fenwary") ? QStringLiteral("T")
                              : b.title.isEmpty()                 ? QStringLiteral("-")
                                                                  : b.title;
        out << QStringLiteral("%1|%2|%3|%4").arg(kind, title, b.text, b.offered);
    }
    return out;
}

const QString kPrint = QStringLiteral("Q|T|是否打印当前缴费单据?|");

QString confirm(const QString& amount)
{
    return QStringLiteral("Q|T|本次应缴费用是:%1,是否确认?|").arg(amount);
}

}  // namespace

class TestCollection : public QObject {
    Q_OBJECT
private slots:
    void settles_data();
    void settles();
    void declinedConfirmationStillOffersPrint();
    void paidBillIsRefused();
    void noCurrentBillIsRefused();
    void billOfAnotherHouseholdIsRefused();
    void stampsEveryLineOfTheBillOnly();
    void appendsToExistingRemarks();
    void sharedSetsShowTheWrittenRowsInPlace();
    void failedWriteLeavesEverythingAsBefore();
    void doorWithQuoteIsData();
};

void TestCollection::settles_data()
{
    QTest::addColumn<QVariant>("balance");
    QTest::addColumn<double>("charge");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<double>("cash");
    QTest::addColumn<double>("newBalance");
    QTest::addColumn<QString>("remarkLine");

    const QString credit30 = QStringLiteral("Q|T|此住户有预存款:30 ,是否直接从账户上扣除?|");
    const QString cashPrompt = QStringLiteral("P|T|请录入住户实缴现金金额|%1");
    const QString topUp = QStringLiteral("P|T|请录入住户补缴现金金额|%1");
    const QString shortfall = QStringLiteral("I|-|住户缴金额不足，目前欠费：%1元，将合并至下次共同收缴！|");

    QTest::newRow("credit covers the charge")
        << QVariant(100.0) << 80.0 << QStringList{"Y", "Y", "N"}
        << QStringList{confirm("80.00"), "Q|T|此住户有预存款:100 ,是否直接从账户上扣除?|", kPrint} << 0.0 << 20.0
        << QString();
    QTest::newRow("credit short, tops up 50")
        << QVariant(30.0) << 80.0 << QStringList{"Y", "Y", "50", "N"}
        << QStringList{confirm("80.00"), credit30, topUp.arg("50"), kPrint} << 50.0 << 0.0 << QString();
    QTest::newRow("credit short, tops up 40")
        << QVariant(30.0) << 80.0 << QStringList{"Y", "Y", "40", "N"}
        << QStringList{confirm("80.00"), credit30, topUp.arg("50"), shortfall.arg("-10"), kPrint} << 40.0 << -10.0
        << QStringLiteral("\r  2024年07月15日应缴费50元，实收40元，还欠-10元未缴，将合并至下次共同收缴!");
    QTest::newRow("credit declined")
        << QVariant(30.0) << 80.0 << QStringList{"Y", "N", "80", "N"}
        << QStringList{confirm("80.00"), credit30, cashPrompt.arg("80"), kPrint} << 80.0 << 30.0 << QString();
    QTest::newRow("balance 0.5 is no credit")
        << QVariant(0.5) << 80.0 << QStringList{"Y", "80", "N"}
        << QStringList{confirm("80.00"), cashPrompt.arg("80"), kPrint} << 80.0 << 0.5 << QString();
    QTest::newRow("balance -1 is no arrears")
        << QVariant(-1.0) << 80.0 << QStringList{"Y", "80", "N"}
        << QStringList{confirm("80.00"), cashPrompt.arg("80"), kPrint} << 80.0 << -1.0 << QString();
    QTest::newRow("arrears -20 paid with 100")
        << QVariant(-20.0) << 80.0 << QStringList{"Y", "100", "N"}
        << QStringList{confirm("80.00"), "P|T|您的账户存在欠款 -20元，合计住户实缴现金金额应为|100", kPrint} << 100.0
        << 0.0 << QString();
    QTest::newRow("new balance -0.8 is no shortfall")
        << QVariant(0.0) << 80.0 << QStringList{"Y", "79.2", "N"}
        << QStringList{confirm("80.00"), cashPrompt.arg("80"), kPrint} << 79.2 << (0.0 + 79.2) - 80.0 << QString();
    QTest::newRow("charge 80.6 proposes 81")
        << QVariant(0.0) << 80.6 << QStringList{"Y", "81", "N"}
        << QStringList{confirm("80.60"), cashPrompt.arg("81"), kPrint} << 81.0 << (0.0 + 81.0) - 80.6 << QString();
    QTest::newRow("1,200 pays 1")
        << QVariant(0.0) << 1200.0 << QStringList{"Y", "1,200", "N"}
        << QStringList{confirm("1,200.00"), cashPrompt.arg("1200"), shortfall.arg("-1199"), kPrint} << 1.0
        << -1199.0 << QStringLiteral("\r  2024年07月15日应缴费1200元，实收1元，还欠-1199元未缴，将合并至下次共同收缴!");
    QTest::newRow("empty balance counts as 0")
        << QVariant() << 80.0 << QStringList{"Y", "80", "N"}
        << QStringList{confirm("80.00"), cashPrompt.arg("80"), kPrint} << 80.0 << 0.0 << QString();
    QTest::newRow("cancel pays nothing")
        << QVariant(0.0) << 80.0 << QStringList{"Y", "C", "N"}
        << QStringList{confirm("80.00"), cashPrompt.arg("80"), shortfall.arg("-80"), kPrint} << 0.0 << -80.0
        << QStringLiteral("\r  2024年07月15日应缴费80元，实收0元，还欠-80元未缴，将合并至下次共同收缴!");
    QTest::newRow("arrears, shortfall again")
        << QVariant(-20.5) << 80.0 << QStringList{"Y", "50", "N"}
        << QStringList{confirm("80.00"), "P|T|您的账户存在欠款 -20.5元，合计住户实缴现金金额应为|101",
                       shortfall.arg("-50.5"), kPrint}
        << 50.0 << -50.5 << QStringLiteral("\r  2024年07月15日应缴费100.5元，实收50元，还欠-50.5元未缴，将合并至下次共同收缴!");
    // Amounts in the texts carry no noise of binary arithmetic.
    const double noisy = 97.46 - 100.01;  // -2.5500000000000114
    QTest::newRow("noisy arrears in the prompt")
        << QVariant(noisy) << 80.0 << QStringList{"Y", "82.55", "N"}
        << QStringList{confirm("80.00"), "P|T|您的账户存在欠款 -2.55元，合计住户实缴现金金额应为|83", kPrint} << 82.55
        << (noisy + 82.55) - 80.0 << QString();
    QTest::newRow("noisy shortfall")
        << QVariant(0.0) << 100.01 << QStringList{"Y", "97.46", "N"}
        << QStringList{confirm("100.01"), cashPrompt.arg("100"), shortfall.arg("-2.55"), kPrint} << 97.46 << noisy
        << QStringLiteral("\r  2024年07月15日应缴费100.01元，实收97.46元，还欠-2.55元未缴，将合并至下次共同收缴!");
}

void TestCollection::settles()
{
    QFETCH(QVariant, balance);
    QFETCH(double, charge);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, boxes);
    QFETCH(double, cash);
    QFETCH(double, newBalance);
    QFETCH(QString, remarkLine);

    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, balance);
    const qint64 bill = e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), charge, false, QVariant(),
                                  QVariant(), QString(), QStringLiteral("物业费到期"));
    select(e, QStringLiteral("0101"));
    script(e.prompter, answers);

    Collection c(e.services());
    const Collection::Outcome out = c.collect(QStringLiteral("物业费到期"));

    QCOMPARE(describe(e.prompter), boxes);
    QCOMPARE(e.prompter.pending(), 0);
    QVERIFY(out.settled);
    QVERIFY(out.paid);
    QVERIFY(!out.printRequested);
    QCOMPARE(out.remarks, QStringLiteral("物业费到期") + remarkLine);

    const QList<QVariantList> rows = e.rows(
        QStringLiteral("select 实缴金额, 账户余额, 缴费标志, 缴费时间, 其他说明, 收费金额 from 缴费历史 where ID = ?"), {bill});
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toDouble(), cash);
    QCOMPARE(rows[0][1].toDouble(), newBalance);
    QCOMPARE(rows[0][2].toInt(), 1);
    QCOMPARE(rows[0][3].toString(), QStringLiteral("2024-07-15"));
    QCOMPARE(rows[0][4].toString(), QStringLiteral("物业费到期") + remarkLine);
    QCOMPARE(rows[0][5].toDouble(), charge);  // the charge keeps its decimals
    const QVariant stored = e.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = '0101'"));
    QVERIFY(!stored.isNull());
    QCOMPARE(stored.toDouble(), newBalance);
}

void TestCollection::declinedConfirmationStillOffersPrint()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 5.0);
    const qint64 bill = e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80);
    e.addFixedLine(QStringLiteral("0101"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 80);
    select(e, QStringLiteral("0101"));
    e.prompter.no();
    e.prompter.yes();

    const Collection::Outcome out = Collection(e.services()).collect(QString());
    QCOMPARE(describe(e.prompter), (QStringList{confirm("80.00"), kPrint}));
    QVERIFY(!out.settled);
    QVERIFY(out.printRequested);
    QVERIFY(!out.paid);
    QCOMPARE(e.scalar(QStringLiteral("select coalesce(缴费标志, 0) from 缴费历史 where ID = ?"), {bill}).toInt(), 0);
    QVERIFY(e.scalar(QStringLiteral("select 缴费时间 from 缴费历史 where ID = ?"), {bill}).isNull());
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 5.0);
    QVERIFY(e.scalar(QStringLiteral("select 缴费时间 from 收费1")).isNull());
}

void TestCollection::paidBillIsRefused()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 20.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80, true, 0.0, 20.0, QStringLiteral("2024-07-01"));
    select(e, QStringLiteral("0101"));

    const Collection::Outcome out = Collection(e.services()).collect(QString());
    QCOMPARE(describe(e.prompter), (QStringList{"I|T|本月已缴过费了|"}));
    QCOMPARE(e.prompter.boxes()[0].icon, Prompter::Icon::Information);
    QVERIFY(!out.settled && !out.printRequested);
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 20.0);
}

void TestCollection::noCurrentBillIsRefused()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 20.0);
    e.addHousehold(QStringLiteral("0102"), QStringLiteral("李四"), 80, 20.0);
    e.addBill(QStringLiteral("0102"), QStringLiteral("202407"), 80);
    select(e, QStringLiteral("0101"));  // a household without bills

    const Collection::Outcome out = Collection(e.services()).collect(QString());
    QCOMPARE(describe(e.prompter), (QStringList{"I|T|请选择要缴费的记录|"}));
    QVERIFY(!out.settled && !out.printRequested);
}

void TestCollection::billOfAnotherHouseholdIsRefused()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 20.0);
    e.addHousehold(QStringLiteral("0102"), QStringLiteral("李四"), 80, 20.0);
    e.addBill(QStringLiteral("0102"), QStringLiteral("202407"), 80);
    select(e, QStringLiteral("0102"));
    e.env().rs档案().moveFirst();  // 0101, while the bills still show 0102's

    Collection(e.services()).collect(QString());
    QCOMPARE(describe(e.prompter), (QStringList{"I|T|请选择要缴费的记录|"}));
    QCOMPARE(e.scalar(QStringLiteral("select coalesce(缴费标志, 0) from 缴费历史")).toInt(), 0);
}

void TestCollection::stampsEveryLineOfTheBillOnly()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 0.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 50);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80);
    for (const QString& m : {QStringLiteral("202406"), QStringLiteral("202407")}) {
        e.addFixedLine(QStringLiteral("0101"), m, QStringLiteral("01"), QStringLiteral("物业费"), 30);
        e.addFixedLine(QStringLiteral("0101"), m, QStringLiteral("02"), QStringLiteral("卫生费"), 10);
        e.addMeteredLine(QStringLiteral("0101"), m, QStringLiteral("03"), QStringLiteral("水费"), 10, 20, 2, 20);
        e.addMeteredLine(QStringLiteral("0101"), m, QStringLiteral("04"), QStringLiteral("电费"), 100, 120, 1, 20);
    }
    select(e, QStringLiteral("0101"), QStringLiteral("202407"));
    script(e.prompter, {"Y", "80", "N"});
    QVERIFY(Collection(e.services()).collect(QString()).settled);

    for (const QString& table : {QStringLiteral("收费1"), QStringLiteral("收费2")}) {
        const auto rows = e.rows(QStringLiteral("select 月份, 缴费时间 from %1 order by ID").arg(table));
        QCOMPARE(rows.size(), 4);
        for (const QVariantList& r : rows) {
            if (r[0].toString() == QLatin1String("202407"))
                QCOMPARE(r[1].toString(), QStringLiteral("2024-07-15"));
            else
                QVERIFY2(r[1].isNull(), qPrintable(table));
        }
    }
    QCOMPARE(e.scalar(QStringLiteral("select coalesce(缴费标志, 0) from 缴费历史 where 月份 = '202406'")).toInt(), 0);
}

void TestCollection::appendsToExistingRemarks()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 0.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80);
    select(e, QStringLiteral("0101"));
    script(e.prompter, {"Y", "30", "Y"});
    const Collection::Outcome out = Collection(e.services()).collect(QStringLiteral("上月已提醒"));
    const QString expected =
        QStringLiteral("上月已提醒\r  2024年07月15日应缴费80元，实收30元，还欠-50元未缴，将合并至下次共同收缴!");
    QCOMPARE(out.remarks, expected);
    QVERIFY(out.printRequested && out.paid);
    QCOMPARE(e.scalar(QStringLiteral("select 其他说明 from 缴费历史")).toString(), expected);
    QVERIFY(!expected.contains(QLatin1Char('\n')));
}

void TestCollection::sharedSetsShowTheWrittenRowsInPlace()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0100"), QStringLiteral("王五"), 60, 0.0);
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 10.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 50);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80);
    e.addFixedLine(QStringLiteral("0101"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 80);
    select(e, QStringLiteral("0101"), QStringLiteral("202407"));
    script(e.prompter, {"Y", "N", "80", "N"});
    QVERIFY(Collection(e.services()).collect(QString()).settled);

    DataEnvironment& env = e.env();
    QCOMPARE(env.rs档案().value(kDoor).toString(), QStringLiteral("0101"));
    QCOMPARE(env.rs档案().value(QStringLiteral("账户余额")).toDouble(), 10.0);
    QCOMPARE(env.rs缴费历史().value(QStringLiteral("月份")).toString(), QStringLiteral("202407"));
    QVERIFY(Criterion::valueIsTrue(env.rs缴费历史().value(QStringLiteral("缴费标志"))));
    QCOMPARE(env.rs缴费历史().value(QStringLiteral("实缴金额")).toDouble(), 80.0);
    QCOMPARE(env.rs收费1().valueAt(0, QStringLiteral("缴费时间")).toString(), QStringLiteral("2024-07-15"));
    QVERIFY(!env.rs缴费历史().hasPendingChanges());
}

void TestCollection::failedWriteLeavesEverythingAsBefore()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 30.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202407"), 80, false, QVariant(), QVariant(), QString(),
              QStringLiteral("原说明"));
    e.addFixedLine(QStringLiteral("0101"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 60);
    e.addMeteredLine(QStringLiteral("0101"), QStringLiteral("202407"), QStringLiteral("03"), QStringLiteral("水费"), 0,
                     10, 2, 20);
    const auto snapshot = [&e] {
        QList<QVariantList> all;
        all += e.rows(QStringLiteral("select * from 缴费历史"));
        all += e.rows(QStringLiteral("select * from 档案库"));
        all += e.rows(QStringLiteral("select * from 收费1"));
        all += e.rows(QStringLiteral("select * from 收费2"));
        return all;
    };
    const QList<QVariantList> before = snapshot();
    select(e, QStringLiteral("0101"));
    // The last of the four writes is refused.
    e.refuseWrites(QStringLiteral("update"), QStringLiteral("收费2"), QStringLiteral("true"), QStringLiteral("拒绝写入"));
    script(e.prompter, {"Y", "Y", "40", "N"});

    bool thrown = false;
    try {
        Collection(e.services()).collect(QStringLiteral("原说明"));
    } catch (const StoreError& err) {
        thrown = true;
        QVERIFY2(err.message().contains(QStringLiteral("拒绝写入")), qPrintable(err.message()));
    }
    QVERIFY(thrown);
    QCOMPARE(snapshot(), before);
    // The shared sets still show the stored rows.
    DataEnvironment& env = e.env();
    QVERIFY(!Criterion::valueIsTrue(env.rs缴费历史().value(QStringLiteral("缴费标志"))));
    QCOMPARE(env.rs档案().value(QStringLiteral("账户余额")).toDouble(), 30.0);
    QVERIFY(!env.rs缴费历史().hasPendingChanges() && !env.rs档案().hasPendingChanges());

    // Once the database accepts writes again the same bill can be collected.
    e.refuseNothing(QStringLiteral("收费2"));
    e.prompter.clear();
    script(e.prompter, {"Y", "Y", "40", "N"});
    QVERIFY(Collection(e.services()).collect(QStringLiteral("原说明")).settled);
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), -10.0);
}

void TestCollection::doorWithQuoteIsData()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("01'A"), QStringLiteral("张三"), 80, 0.0);
    e.addBill(QStringLiteral("01'A"), QStringLiteral("202407"), 80);
    e.addFixedLine(QStringLiteral("01'A"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 80);
    select(e, QStringLiteral("01'A"));
    script(e.prompter, {"Y", "80", "N"});
    QVERIFY(Collection(e.services()).collect(QString()).settled);
    QCOMPARE(e.scalar(QStringLiteral("select 缴费时间 from 收费1")).toString(), QStringLiteral("2024-07-15"));
    QCOMPARE(e.scalar(QStringLiteral("select 缴费标志 from 缴费历史")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestCollection)
#include "test_collection.moc"
