#include "charging/continuousentry.h"
#include "charging/itemnumbers.h"
#include "charging/singleentry.h"
#include "estate.h"
#include "store/recordset.h"

#include <QTest>

using Kind = ScriptedPrompter::Kind;
using Outcome = SingleEntry::Outcome;

namespace {

const QString T = QStringLiteral("Fenwary");

QString ask(const QString& name, const QString& item, const QString& what)
{
    return QStringLiteral("请录入 ") + name + QStringLiteral(" 的 '") + item + QStringLiteral("' 的") + what;
}

const QString kReading = QStringLiteral("本月数，默认值为上月数");
const QString kCorrection = QStringLiteral("您录入的本月数小于上月数,请重新录入上月数。");

struct Box {
    Kind kind;
    QString text;
    QString title;
    QString offered;
};

void compareBoxes(const ScriptedPrompter& p, const QList<Box>& want)
{
    const auto& got = p.boxes();
    for (int i = 0; i < std::min(got.size(), want.size()); ++i) {
        QCOMPARE(got[i].kind, want[i].kind);
        QCOMPARE(got[i].text, want[i].text);
        QCOMPARE(got[i].title, want[i].title);
        QCOMPARE(got[i].offered, want[i].offered);
    }
    QCOMPARE(got.size(), want.size());
}

Box input(const QString& text, const QString& offered)
{
    return {Kind::Input, text, T, offered};
}

// A household set as the bill entry window holds it, and single entry over it.
struct Entry {
    explicit Entry(TestEstate& e)
        : households(e.db(), QStringLiteral("档案库"), QStringLiteral("ID")), single(e.services())
    {
        households.requery();
    }
    SingleEntry::Result run(const QString& door, const QString& month) { return single.run(households, door, month); }
    RecordSet households;
    SingleEntry single;
};

}  // namespace

class TestChargingEntry : public QObject {
    Q_OBJECT
private slots:
    void itemNumbers_data();
    void itemNumbers();
    void unknownDoorWritesNothing();
    void newBillFromItemsOfEveryKind();
    void enteringAgainWhileUnpaidUpdatesTheSameLines();
    void paidBillConfirmedGivesTheOldAmountBack();
    void paidBillDeclinedChangesNothing();
    void meteredReadingFromTheLatestEarlierMonth_data();
    void meteredReadingFromTheLatestEarlierMonth();
    void readingBelowThePreviousAsksForACorrectionOnce();
    void areaItemsAreMultipliedAndNewLinesSuffixed();
    void emptyFixedChargeOffersZero();
    void cancelAndUnreadableAnswersCountZero();
    void noteReminder_data();
    void noteReminder();
    void reminderIsShownAndTheEntryGoesOn();
    void noItemsGiveAnEmptyBill();
    void apostropheInDoorAndMonthIsData();
    void databaseFailureStopsAndKeepsWhatWasSaved();
    void showBillRunsAfterTheEntry();

    void continuousBillsEveryHouseholdInOrder();
    void continuousOnTheLastHouseholdAsksNothing();
    void continuousStopsOnNo();
    void continuousEndsOnTheReminder();
    void continuousGoesOnAfterADeclinedPaidBill();
};

void TestChargingEntry::unknownDoorWritesNothing()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("9999"), QStringLiteral("202406")).outcome, Outcome::NotFound);
    compareBoxes(e.prompter, {{Kind::Inform, QStringLiteral("门牌号有误！"), T, QString()}});
    QCOMPARE(e.count(QStringLiteral("缴费历史")), 0);
    QCOMPARE(e.count(QStringLiteral("收费1")), 0);
}

void TestChargingEntry::newBillFromItemsOfEveryKind()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 80, 0.0, QStringLiteral("按月收费"));
    e.addHousehold(QStringLiteral("0102"), QStringLiteral("李四"));
    e.addItem(QStringLiteral("03"), QStringLiteral("电费"), 0.6, true, false);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.prompter.type(QStringLiteral("45.5"));
    e.prompter.type(QStringLiteral("120"));
    e.prompter.type(QStringLiteral("2.5"));
    e.prompter.type(QStringLiteral("10"));
    e.prompter.type(QStringLiteral("0.6"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0102"), QStringLiteral("202406")).outcome, Outcome::Done);
    const QString n = QStringLiteral("李四");
    compareBoxes(e.prompter, {input(ask(n, QStringLiteral("物业费"), QStringLiteral("金额")), QStringLiteral("50")),
                              input(ask(n, QStringLiteral("水费"), kReading), QStringLiteral("0")),
                              input(ask(n, QStringLiteral("水费"), QStringLiteral("单价")), QStringLiteral("2.5")),
                              input(ask(n, QStringLiteral("电费"), QStringLiteral("本月数")), QStringLiteral("0")),
                              input(ask(n, QStringLiteral("电费"), QStringLiteral("单价")), QStringLiteral("0.6"))});
    QCOMPARE(en.households.value(QStringLiteral("门牌号")).toString(), QStringLiteral("0102"));

    const auto bill = e.rows(QStringLiteral("select 门牌号, 月份, 实缴金额, 缴费标志, 其他说明, 收费金额 from 缴费历史"));
    QCOMPARE(bill.size(), 1);
    QCOMPARE(bill[0][0].toString(), QStringLiteral("0102"));
    QCOMPARE(bill[0][1].toString(), QStringLiteral("202406"));
    QCOMPARE(bill[0][2].toDouble(), 0.0);
    QCOMPARE(bill[0][3].toInt(), 0);
    QCOMPARE(bill[0][4].toString(), QString());
    QCOMPARE(bill[0][5].toDouble(), 45.5 + 120 * 2.5 + 10 * 0.6);

    const auto fixed = e.rows(QStringLiteral("select 门牌号, 月份, 项目号, 项目名, 收费金额 from 收费1"));
    QCOMPARE(fixed.size(), 1);
    QCOMPARE(fixed[0], (QVariantList{QStringLiteral("0102"), QStringLiteral("202406"), QStringLiteral("01"),
                                     QStringLiteral("物业费"), 45.5}));
    const auto metered = e.rows(QStringLiteral("select 项目号, 项目名, 上月数, 本月数, 单价, 收费金额 from 收费2 order by 项目号"));
    QCOMPARE(metered.size(), 2);
    QCOMPARE(metered[0], (QVariantList{QStringLiteral("02"), QStringLiteral("水费"), 0.0, 120.0, 2.5, 300.0}));
    QCOMPARE(metered[1], (QVariantList{QStringLiteral("03"), QStringLiteral("电费"), 0.0, 10.0, 0.6, 10 * 0.6}));
}

void TestChargingEntry::enteringAgainWhileUnpaidUpdatesTheSameLines()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 0, 0.0, QStringLiteral("旧说明"));
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.0, true, true);
    Entry en(e);
    for (const char* a : {"50", "10", "2"})
        e.prompter.type(QString::fromLatin1(a));
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    e.db().exec(QStringLiteral("update 缴费历史 set 实缴金额 = 20"));
    e.db().exec(QStringLiteral("update 档案库 set 收费说明 = '新说明'"));
    e.db().exec(QStringLiteral("update 项目 set 项目名 = '管理费' where 项目号 = '01'"));
    e.env().rs项目().requery();
    en.households.requery();
    e.prompter.clear();
    for (const char* a : {"60", "15", "3"})
        e.prompter.type(QString::fromLatin1(a));
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes().size(), 3);  // no question
    QCOMPARE(e.prompter.boxes()[0].text, ask(QStringLiteral("张三"), QStringLiteral("管理费"), QStringLiteral("金额")));
    QCOMPARE(e.count(QStringLiteral("缴费历史")), 1);
    QCOMPARE(e.count(QStringLiteral("收费1")), 1);
    QCOMPARE(e.count(QStringLiteral("收费2")), 1);
    QCOMPARE(e.scalar(QStringLiteral("select 项目名 from 收费1")).toString(), QStringLiteral("物业费"));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 收费1")).toDouble(), 60.0);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 收费2")).toDouble(), 45.0);
    const auto bill = e.rows(QStringLiteral("select 实缴金额, 其他说明, 收费金额, 缴费标志 from 缴费历史"));
    QCOMPARE(bill[0], (QVariantList{20.0, QStringLiteral("旧说明"), 105.0, 0}));
}

void TestChargingEntry::paidBillConfirmedGivesTheOldAmountBack()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 0, 50.0);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 80.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 120, true, 100.0, 30.0, QStringLiteral("2024-06-20"),
              QStringLiteral("备注"));
    e.prompter.yes();
    e.prompter.type(QStringLiteral("80"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    compareBoxes(e.prompter,
                 {{Kind::YesNo,
                   QStringLiteral("此账户已经缴过费了，是否确定要修改此户已缴费的内容？（此操作将改变有预存金额用户预存的金额）"), T,
                   QString()},
                  input(ask(QStringLiteral("张三"), QStringLiteral("物业费"), QStringLiteral("金额")), QStringLiteral("80"))});
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 170.0);
    const auto bill = e.rows(QStringLiteral("select 缴费标志, 收费金额, 实缴金额, 账户余额, 缴费时间, 其他说明 from 缴费历史"));
    QCOMPARE(bill.size(), 1);
    QCOMPARE(bill[0], (QVariantList{0, 80.0, 100.0, 30.0, QStringLiteral("2024-06-20"), QStringLiteral("备注")}));
}

void TestChargingEntry::paidBillDeclinedChangesNothing()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 0, 50.0, QStringLiteral("2020年01月到期"));
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 80.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 120, true);
    e.prompter.no();
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Stopped);
    QCOMPARE(e.prompter.boxes().size(), 1);  // no reminder, no prompt
    QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 50.0);
    QCOMPARE(e.rows(QStringLiteral("select 缴费标志, 收费金额 from 缴费历史"))[0], (QVariantList{1, 120.0}));
    QCOMPARE(e.count(QStringLiteral("收费1")), 0);
}

void TestChargingEntry::meteredReadingFromTheLatestEarlierMonth_data()
{
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("amount");
    // Readings: 202401 900, 202403 1100, 202405 1200, 202408 5000.
    QTest::newRow("month after") << "202406" << "1200" << "1260" << 30.0;
    QTest::newRow("across missing months") << "202405" << "1100" << "1300" << 100.0;
    QTest::newRow("first month") << "202312" << "0" << "50" << 25.0;
    QTest::newRow("never a later month") << "202402" << "900" << "1000" << 50.0;
}

void TestChargingEntry::meteredReadingFromTheLatestEarlierMonth()
{
    QFETCH(QString, month);
    QFETCH(QString, offered);
    QFETCH(QString, answer);
    QFETCH(double, amount);
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    e.addHousehold(QStringLiteral("0102"), QStringLiteral("李四"));
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 0.5, true, true);
    const QList<std::pair<const char*, double>> readings{{"202401", 900}, {"202403", 1100}, {"202405", 1200}, {"202408", 5000}};
    for (const auto& [m, r] : readings)
        e.addMeteredLine(QStringLiteral("0101"), QString::fromLatin1(m), QStringLiteral("02"), QStringLiteral("水费"), 0.0, r,
                         0.5, 0.0);
    // Another household's and another item's readings never count.
    e.addMeteredLine(QStringLiteral("0102"), month, QStringLiteral("02"), QStringLiteral("水费"), 0.0, 7777.0, 0.5, 0.0);
    e.addMeteredLine(QStringLiteral("0101"), QStringLiteral("202312"), QStringLiteral("03"), QStringLiteral("电"), 0.0,
                     8888.0, 0.5, 0.0);
    if (month == QLatin1String("202405"))
        e.db().exec(QStringLiteral("delete from 收费2 where 月份 = '202405'"));
    e.prompter.type(answer);
    e.prompter.type(QStringLiteral("0.5"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), month).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes().size(), 2);
    QCOMPARE(e.prompter.boxes()[0].text, ask(QStringLiteral("张三"), QStringLiteral("水费"), kReading));
    QCOMPARE(e.prompter.boxes()[0].offered, offered);
    const auto line = e.rows(QStringLiteral("select 上月数, 本月数, 单价, 收费金额 from 收费2 where 门牌号 = '0101' and 月份 = ? "
                                            "and 项目号 = '02'"),
                             {month});
    QCOMPARE(line.size(), 1);
    QCOMPARE(line[0], (QVariantList{offered.toDouble(), answer.toDouble(), 0.5, amount}));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), amount);
}

void TestChargingEntry::readingBelowThePreviousAsksForACorrectionOnce()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 0.5, true, true);
    e.addMeteredLine(QStringLiteral("0101"), QStringLiteral("202405"), QStringLiteral("02"), QStringLiteral("水费"), 0.0,
                     1200.0, 0.5, 0.0);
    e.prompter.type(QStringLiteral("1100"));
    e.prompter.type(QStringLiteral("1000"));
    e.prompter.type(QStringLiteral("0.5"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    const QString n = QStringLiteral("张三");
    compareBoxes(e.prompter, {input(ask(n, QStringLiteral("水费"), kReading), QStringLiteral("1200")),
                              input(kCorrection, QStringLiteral("1200")),
                              input(ask(n, QStringLiteral("水费"), QStringLiteral("单价")), QStringLiteral("0.5"))});
    const auto line = e.rows(QStringLiteral("select 上月数, 本月数, 收费金额 from 收费2 where 月份 = '202406'"));
    QCOMPARE(line[0], (QVariantList{1000.0, 1100.0, 50.0}));

    // A correction still above the reading is taken as it is: no second check.
    e.prompter.clear();
    e.prompter.type(QStringLiteral("1100"));
    e.prompter.type(QStringLiteral("1150"));
    e.prompter.type(QStringLiteral("2"));
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes().size(), 3);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 收费2 where 月份 = '202406'")).toDouble(), -100.0);
}

void TestChargingEntry::areaItemsAreMultipliedAndNewLinesSuffixed()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 85.5);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 1.2, false, false, true);
    e.addItem(QStringLiteral("02"), QStringLiteral("取暖费"), 2.0, true, false, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("卫生费"), 5.0, false, false, true);
    // An existing line keeps the name it was created with.
    e.addFixedLine(QStringLiteral("0101"), QStringLiteral("202406"), QStringLiteral("03"), QStringLiteral("卫生费"), 1.0);
    for (const char* a : {"1.2", "3", "2", "5"})
        e.prompter.type(QString::fromLatin1(a));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    // The prompts name the item without the suffix.
    QCOMPARE(e.prompter.boxes()[0].text, ask(QStringLiteral("张三"), QStringLiteral("物业费"), QStringLiteral("金额")));
    const auto fixed = e.rows(QStringLiteral("select 项目号, 项目名, 收费金额 from 收费1 order by 项目号"));
    QCOMPARE(fixed.size(), 2);
    QCOMPARE(fixed[0], (QVariantList{QStringLiteral("01"), QStringLiteral("物业费(按面积)"), 1.2 * 85.5}));
    QCOMPARE(fixed[1], (QVariantList{QStringLiteral("03"), QStringLiteral("卫生费"), 5 * 85.5}));
    const auto metered = e.rows(QStringLiteral("select 项目名, 本月数, 单价, 收费金额 from 收费2"));
    QCOMPARE(metered[0], (QVariantList{QStringLiteral("取暖费(按面积)"), 3.0, 2.0, 3 * 2 * 85.5}));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), 1.2 * 85.5 + 3 * 2 * 85.5 + 5 * 85.5);
}

void TestChargingEntry::emptyFixedChargeOffersZero()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    e.addItem(QStringLiteral("01"), QStringLiteral("杂费"), QVariant());
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), QVariant(), true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("物业费"), 30.0);
    for (const char* a : {"0", "10", "0", "30"})
        e.prompter.type(QString::fromLatin1(a));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes()[0].offered, QStringLiteral("0"));
    QCOMPARE(e.prompter.boxes()[2].text, ask(QStringLiteral("张三"), QStringLiteral("水费"), QStringLiteral("单价")));
    QCOMPARE(e.prompter.boxes()[2].offered, QStringLiteral("0"));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 收费1 where 项目号 = '01'")).toDouble(), 0.0);
    QCOMPARE(e.count(QStringLiteral("收费1")), 2);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), 30.0);
}

void TestChargingEntry::cancelAndUnreadableAnswersCountZero()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 90);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0, false, false, true);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.0, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("电费"), 0.6, true);
    e.addMeteredLine(QStringLiteral("0101"), QStringLiteral("202405"), QStringLiteral("02"), QStringLiteral("水费"), 0.0,
                     100.0, 2.0, 0.0);
    Entry en(e);
    // Every prompt cancelled: the reading 0 is below 100, so the correction comes too.
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes().size(), 6);
    QCOMPARE(e.prompter.boxes()[2].text, kCorrection);
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 收费1")).toDouble(), 0.0);
    auto lines = e.rows(QStringLiteral("select 上月数, 本月数, 单价, 收费金额 from 收费2 where 月份 = '202406' order by 项目号"));
    QCOMPARE(lines[0], (QVariantList{0.0, 0.0, 0.0, 0.0}));
    QCOMPARE(lines[1], (QVariantList{0.0, 0.0, 0.0, 0.0}));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), 0.0);

    // Empty, "abc", "1,200" and " 1 2" read as typed numbers.
    e.prompter.clear();
    for (const char* a : {"", "abc", "150", "1,200", " 1 2", "0.5"})
        e.prompter.type(QString::fromLatin1(a));
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QCOMPARE(e.prompter.boxes().size(), 6);
    lines = e.rows(QStringLiteral("select 上月数, 本月数, 单价, 收费金额 from 收费2 where 月份 = '202406' order by 项目号"));
    QCOMPARE(lines[0], (QVariantList{150.0, 0.0, 1.0, -150.0}));
    QCOMPARE(lines[1], (QVariantList{0.0, 12.0, 0.5, 6.0}));
}

void TestChargingEntry::noteReminder_data()
{
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("month");
    QTest::addColumn<bool>("reminds");
    QTest::newRow("month before") << "2024年06月到期" << "202405" << false;
    QTest::newRow("same month") << "2024年06月到期" << "202406" << true;
    QTest::newRow("later month") << "2024年06月到期" << "202407" << true;
    QTest::newRow("later year") << "物业费2023年12月到期" << "202401" << true;
    QTest::newRow("one-digit month") << "2024年6月到期" << "202407" << false;
    QTest::newRow("no year") << "每月到期" << "209912" << false;
    QTest::newRow("empty") << "" << "202406" << false;
    QTest::newRow("short year") << "24年06月到期" << "209912" << false;
    QTest::newRow("year first") << "年底到期" << "209912" << false;
}

void TestChargingEntry::noteReminder()
{
    QFETCH(QString, note);
    QFETCH(QString, month);
    QFETCH(bool, reminds);
    QCOMPARE(SingleEntry::noteReminds(note, month), reminds);
}

void TestChargingEntry::reminderIsShownAndTheEntryGoesOn()
{
    TestEstate e;
    const QString note = QStringLiteral("物业费2024年06月到期");
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 0, 0.0, note);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addBill(QStringLiteral("0101"), QStringLiteral("202406"), 40, true);
    e.prompter.yes();
    e.prompter.type(QStringLiteral("50"));
    Entry en(e);
    const SingleEntry::Result r = en.run(QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, Outcome::Done);
    QVERIFY(r.reminded);
    QCOMPARE(e.prompter.boxes().size(), 3);
    QCOMPARE(e.prompter.boxes()[1].kind, Kind::Inform);
    QCOMPARE(e.prompter.boxes()[1].text, QStringLiteral("请注意：物业费2024年06月到期，有变动及时更改住户的档案信息！"));
    QCOMPARE(e.prompter.boxes()[1].title, QString());
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), 50.0);
}

void TestChargingEntry::noItemsGiveAnEmptyBill()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"), 0, 0.0, QStringLiteral("说明"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("0101"), QStringLiteral("202406")).outcome, Outcome::Done);
    QVERIFY(e.prompter.boxes().isEmpty());
    const auto bill = e.rows(QStringLiteral("select 收费金额, 实缴金额, 缴费标志, 其他说明 from 缴费历史"));
    QCOMPARE(bill.size(), 1);
    QCOMPARE(bill[0], (QVariantList{0.0, 0.0, 0, QStringLiteral("说明")}));
}

void TestChargingEntry::apostropheInDoorAndMonthIsData()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("A'01"), QStringLiteral("O'Neil"));
    e.addHousehold(QStringLiteral("A"), QStringLiteral("其他"));
    e.addItem(QStringLiteral("0'1"), QStringLiteral("物业费"), 50.0);
    e.prompter.type(QStringLiteral("50"));
    Entry en(e);
    QCOMPARE(en.run(QStringLiteral("A'01"), QStringLiteral("2024'6")).outcome, Outcome::Done);
    const auto line = e.rows(QStringLiteral("select 门牌号, 月份, 项目号 from 收费1"));
    QCOMPARE(line[0], (QVariantList{QStringLiteral("A'01"), QStringLiteral("2024'6"), QStringLiteral("0'1")}));
    QCOMPARE(e.scalar(QStringLiteral("select 门牌号 from 缴费历史")).toString(), QStringLiteral("A'01"));
}

void TestChargingEntry::databaseFailureStopsAndKeepsWhatWasSaved()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.0, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("卫生费"), 5.0);
    e.refuseWrites(QStringLiteral("insert"), QStringLiteral("收费2"), QStringLiteral("true"), QStringLiteral("disk I/O error"));
    for (const char* a : {"50", "10", "2", "5"})
        e.prompter.type(QString::fromLatin1(a));
    Entry en(e);
    const SingleEntry::Result r = en.run(QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY2(r.error.contains(QStringLiteral("disk I/O error")), qPrintable(r.error));
    QCOMPARE(e.prompter.boxes().size(), 3);  // stopped at the failing line
    QCOMPARE(e.rows(QStringLiteral("select 缴费标志, 收费金额 from 缴费历史"))[0], (QVariantList{0, 0.0}));
    QCOMPARE(e.count(QStringLiteral("收费1")), 1);
    QCOMPARE(e.count(QStringLiteral("收费2")), 0);
}

void TestChargingEntry::showBillRunsAfterTheEntry()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("张三"));
    Entry en(e);
    int shown = 0;
    en.single.setShowBill([&] { ++shown; });
    en.run(QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(shown, 1);
    en.run(QStringLiteral("0199"), QStringLiteral("202406"));
    QCOMPARE(shown, 1);
}

namespace {

// Three households and one fixed item: each single entry asks one amount.
void threeHouseholds(TestEstate& e, const QString& secondNote = QString())
{
    e.addHousehold(QStringLiteral("0101"), QStringLiteral("甲"));
    e.addHousehold(QStringLiteral("0102"), QStringLiteral("乙"), 0, 0.0, secondNote);
    e.addHousehold(QStringLiteral("0103"), QStringLiteral("丙"));
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
}

QStringList billedDoors(TestEstate& e)
{
    QStringList out;
    for (const QVariantList& r : e.rows(QStringLiteral("select 门牌号 from 缴费历史 order by ID")))
        out << r[0].toString();
    return out;
}

Box question(const QString& door)
{
    return {Kind::YesNo, QStringLiteral("是否继续录入 ") + door + QStringLiteral("的收费内容?"), T, QString()};
}

}  // namespace

void TestChargingEntry::continuousBillsEveryHouseholdInOrder()
{
    TestEstate e;
    threeHouseholds(e);
    Entry en(e);
    ContinuousEntry c(en.single, e.prompter, e.app);
    for (int i = 0; i < 2; ++i) {
        e.prompter.type(QStringLiteral("50"));
        e.prompter.yes();
    }
    e.prompter.type(QStringLiteral("50"));
    const auto r = c.run(en.households, QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, ContinuousEntry::Outcome::LastHousehold);
    QCOMPARE(r.runs, 3);
    const QString item = QStringLiteral("物业费"), what = QStringLiteral("金额"), fifty = QStringLiteral("50");
    compareBoxes(e.prompter, {input(ask(QStringLiteral("甲"), item, what), fifty), question(QStringLiteral("0102")),
                              input(ask(QStringLiteral("乙"), item, what), fifty), question(QStringLiteral("0103")),
                              input(ask(QStringLiteral("丙"), item, what), fifty)});
    QCOMPARE(billedDoors(e), (QStringList{"0101", "0102", "0103"}));
}

void TestChargingEntry::continuousOnTheLastHouseholdAsksNothing()
{
    TestEstate e;
    threeHouseholds(e);
    Entry en(e);
    en.households.moveLast();
    ContinuousEntry c(en.single, e.prompter, e.app);
    e.prompter.type(QStringLiteral("50"));
    const auto r = c.run(en.households, QStringLiteral("0103"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, ContinuousEntry::Outcome::LastHousehold);
    QCOMPARE(e.prompter.boxes().size(), 1);
    QCOMPARE(billedDoors(e), QStringList{"0103"});
}

void TestChargingEntry::continuousStopsOnNo()
{
    TestEstate e;
    threeHouseholds(e);
    Entry en(e);
    ContinuousEntry c(en.single, e.prompter, e.app);
    e.prompter.type(QStringLiteral("50"));
    e.prompter.no();
    const auto r = c.run(en.households, QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, ContinuousEntry::Outcome::Declined);
    QCOMPARE(e.prompter.boxes().size(), 2);
    QCOMPARE(e.prompter.boxes()[1].text, question(QStringLiteral("0102")).text);
    QCOMPARE(en.households.value(QStringLiteral("门牌号")).toString(), QStringLiteral("0102"));
    QCOMPARE(billedDoors(e), QStringList{"0101"});
}

void TestChargingEntry::continuousEndsOnTheReminder()
{
    TestEstate e;
    threeHouseholds(e, QStringLiteral("2024年01月到期"));
    Entry en(e);
    ContinuousEntry c(en.single, e.prompter, e.app);
    e.prompter.type(QStringLiteral("50"));
    e.prompter.yes();
    e.prompter.type(QStringLiteral("50"));
    const auto r = c.run(en.households, QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, ContinuousEntry::Outcome::Reminded);
    const Box reminder{Kind::Inform, QStringLiteral("请注意：2024年01月到期，有变动及时更改住户的档案信息！"), QString(), QString()};
    const QString item = QStringLiteral("物业费"), what = QStringLiteral("金额"), fifty = QStringLiteral("50");
    compareBoxes(e.prompter, {input(ask(QStringLiteral("甲"), item, what), fifty), question(QStringLiteral("0102")),
                              reminder, input(ask(QStringLiteral("乙"), item, what), fifty), reminder});
    QCOMPARE(billedDoors(e), (QStringList{"0101", "0102"}));
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史 where 门牌号 = '0102'")).toDouble(), 50.0);
}

void TestChargingEntry::continuousGoesOnAfterADeclinedPaidBill()
{
    TestEstate e;
    threeHouseholds(e);
    e.addBill(QStringLiteral("0102"), QStringLiteral("202406"), 70, true);
    Entry en(e);
    ContinuousEntry c(en.single, e.prompter, e.app);
    e.prompter.type(QStringLiteral("50"));
    e.prompter.yes();
    e.prompter.no();  // the paid-bill question
    e.prompter.no();  // the question for 0103
    const auto r = c.run(en.households, QStringLiteral("0101"), QStringLiteral("202406"));
    QCOMPARE(r.outcome, ContinuousEntry::Outcome::Declined);
    QCOMPARE(e.prompter.boxes().size(), 4);
    QCOMPARE(e.prompter.boxes()[2].kind, Kind::YesNo);
    QCOMPARE(e.prompter.boxes()[3].text, question(QStringLiteral("0103")).text);
    QCOMPARE(e.rows(QStringLiteral("select 缴费标志, 收费金额 from 缴费历史 where 门牌号 = '0102'"))[0], (QVariantList{1, 70.0}));
}

void TestChargingEntry::itemNumbers_data()
{
    QTest::addColumn<int>("row");  // the item edited, -1 for a new one
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("number");
    QTest::addColumn<QString>("refusal");  // empty: stored
    const QVariant none;
    QTest::newRow("new, no number") << -1 << "电费" << none << "项目“电费”没有项目号，请填写项目号。";
    QTest::newRow("new, blanks") << -1 << "电费" << QVariant("  ") << "项目“电费”没有项目号，请填写项目号。";
    QTest::newRow("new, nameless") << -1 << "" << none << "新项目没有项目号，请填写项目号。";
    QTest::newRow("new, taken") << -1 << "电费" << QVariant("01")
                                << "项目“电费”的项目号“01”已是项目“物业费”的项目号，请换一个项目号。";
    QTest::newRow("new, taken with blanks") << -1 << "电费" << QVariant(" 01 ")
                                            << "项目“电费”的项目号“01”已是项目“物业费”的项目号，请换一个项目号。";
    QTest::newRow("new, taken in other case") << -1 << "电费" << QVariant("a3")
                                              << "项目“电费”的项目号“a3”已是项目“杂费”的项目号，请换一个项目号。";
    QTest::newRow("new, free") << -1 << "电费" << QVariant("04") << "";
    QTest::newRow("edit onto another's") << 1 << "" << QVariant("01")
                                         << "项目“水费”的项目号“01”已是项目“物业费”的项目号，请换一个项目号。";
    QTest::newRow("edit emptied") << 1 << "" << QVariant("") << "项目“水费”没有项目号，请填写项目号。";
    QTest::newRow("edit its own with blanks") << 1 << "" << QVariant(" 02") << "";
    QTest::newRow("edit name only") << 1 << "自来水费" << QVariant() << "";
}

void TestChargingEntry::itemNumbers()
{
    QFETCH(int, row);
    QFETCH(QString, name);
    QFETCH(QVariant, number);
    QFETCH(QString, refusal);
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("A3"), QStringLiteral("杂费"), 5.0);
    const QString all = QStringLiteral("select rowid, 项目号, 项目名 from 项目 order by rowid");
    const auto before = e.rows(all);
    auto owner = std::make_shared<int>(0);
    ItemNumbers::guard(e.db(), owner);

    RecordSet& items = e.env().rs项目();  // ordered by 项目号
    items.open();
    if (row < 0) {
        items.addNew();
        if (!name.isEmpty())
            items.setValue(QStringLiteral("项目名"), name);
        if (number.isValid())
            items.setValue(QStringLiteral("项目号"), number);
    } else {
        items.moveTo(row);
        if (!name.isEmpty())
            items.setValue(QStringLiteral("项目名"), name);
        if (number.isValid())
            items.setValue(QStringLiteral("项目号"), number);
    }
    try {
        items.updateBatch();
        QVERIFY2(refusal.isEmpty(), "stored");
        QVERIFY(e.rows(all) != before);
    } catch (const StoreError& err) {
        QCOMPARE(err.message(), refusal);
        QCOMPARE(e.rows(all), before);
        QVERIFY(items.hasPendingChanges());  // the edit stays for the operator to mend
    }

    // Without its owner the check is gone.
    if (!refusal.isEmpty()) {
        owner.reset();
        items.updateBatch();
        QVERIFY(e.rows(all) != before);
    }
}

QTEST_GUILESS_MAIN(TestChargingEntry)
#include "test_charging_entry.moc"
