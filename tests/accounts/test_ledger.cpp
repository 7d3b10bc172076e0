// The ledger: every path that moves a balance writes one movement in the same
// transaction, the books check finds what does not agree, receipt numbers never repeat.
#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "accounts/daytakings.h"
#include "accounts/ledger.h"
#include "accounts/reversal.h"
#include "charging/singleentry.h"
#include "collection/collection.h"
#include "collection/paymentwindow.h"
#include "estate.h"
#include "fixtures/login.h"
#include "fixtures/refusereads.h"
#include "shell/mainframe.h"
#include "shell/startup.h"
#include "common/windowregistry.h"
#include "maintenance/cleanup.h"
#include "records/householddeletion.h"
#include "records/householdwindow.h"
#include "store/criterion.h"
#include "store/datafile.h"

#include <QtTest>
#include <limits>

namespace {

const QString kDoor = QStringLiteral("门牌号");

// A household whose opening balance is in the ledger, as the household window writes it.
void household(TestEstate& e, const QString& door, double balance)
{
    e.addHousehold(door, QStringLiteral("住户") + door, 80, balance);
    Accounts::ledger(e.db(), e.app, e.clock).journalOpening(door, balance);
}

// The payment window's narrowing of the shared sets to the household and bill.
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

// Collects the bill paying `cash` (no credit offered: balance ≤ 0.5).
Collection::Outcome collect(TestEstate& e, const QString& door, const QString& month, const QString& cash)
{
    select(e, door, month);
    e.prompter.yes();
    e.prompter.type(cash);
    e.prompter.no();  // no receipt
    return Collection(e.services()).collect(e.env().rs缴费历史().value(QStringLiteral("其他说明")).toString());
}

int movements(TestEstate& e)
{
    return e.count(QStringLiteral("账户流水"));
}

double balance(TestEstate& e, const QString& door)
{
    return e.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {door}).toDouble();
}

QStringList describe(const QList<BooksCheck::Mismatch>& found)
{
    QStringList out;
    for (const BooksCheck::Mismatch& m : found)
        out << QStringLiteral("%1|%2|%3|%4|%5").arg(m.door, m.month).arg(m.stored).arg(m.ledger).arg(m.difference());
    return out;
}

}  // namespace

class TestLedger : public QObject {
    Q_OBJECT
private slots:
    void everyPathWritesOneMovementAndKeepsTheBooks_data();
    void everyPathWritesOneMovementAndKeepsTheBooks();
    void balanceChangedBehindTheProgramIsReported_data();
    void balanceChangedBehindTheProgramIsReported();
    void paidBillWithoutCollectionIsReported();
    void collectedBillChangedBehindTheProgramIsReported_data();
    void collectedBillChangedBehindTheProgramIsReported();
    void olderFileGetsItsOpeningMovementsOnce();
    void collectionMovementCarriesCashReceiptAndOperator();
    void staleBalanceOrBillWritesNothing_data();
    void staleBalanceOrBillWritesNothing();
    void receiptNumbersStayUniqueAfterRestoringAnOlderCopy();
    void everyLogInChecksTheBooks_data();
    void everyLogInChecksTheBooks();
    void dayTakingsPrintTheSameAfterADeletionAndACleanup();
    void receiptMarkThatIsNoNumberIsNotUsed_data();
    void receiptMarkThatIsNoNumberIsNotUsed();
    void committedChangeIsNeverReportedAsAFailure_data();
    void committedChangeIsNeverReportedAsAFailure();
};

void TestLedger::everyPathWritesOneMovementAndKeepsTheBooks_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("added");         // movements added (net)
    QTest::addColumn<double>("newBalance");  // of 1-101, from 0
    QTest::newRow("collection") << "collection" << 1 << 150.0 - 120;
    QTest::newRow("collection with shortfall") << "shortfall" << 1 << 50.0 - 120;
    QTest::newRow("paid bill entered again") << "reentry" << 1 << 80.0;
    QTest::newRow("balance changed in the household set") << "window" << 1 << 55.5;
    QTest::newRow("balance and door changed together") << "window door" << 1 << 55.5;
    QTest::newRow("new household through the set") << "new" << 1 << 0.0;
    QTest::newRow("cleanup keeps the paid bill's movements") << "cleanup" << 0 << 0.0;
    QTest::newRow("household deleted: a closing movement") << "delete" << 1 << 0.0;
}

void TestLedger::everyPathWritesOneMovementAndKeepsTheBooks()
{
    QFETCH(QString, path);
    QFETCH(int, added);
    QFETCH(double, newBalance);

    TestEstate e;
    e.app.operatorName = QStringLiteral("收费员");
    household(e, QStringLiteral("1-101"), 0);
    household(e, QStringLiteral("1-102"), -5);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 80);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 120);
    e.addFixedLine(QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("01"), QStringLiteral("物业费"), 120);
    // A bill of June collected through the program: 80 charged, 80 paid.
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 80);
    QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202406"), QStringLiteral("80")).settled);
    QCOMPARE(e.prompter.pending(), 0);
    e.prompter.clear();
    QVERIFY(BooksCheck::run(e.db()).isEmpty());
    const int before = movements(e);
    QString door = QStringLiteral("1-101");

    if (path == QLatin1String("collection") || path == QLatin1String("shortfall")) {
        QVERIFY(collect(e, door, QStringLiteral("202407"), path == QLatin1String("collection") ? "150" : "50").settled);
    } else if (path == QLatin1String("reentry")) {
        e.prompter.yes();  // the paid bill is entered again
        e.prompter.type(QStringLiteral("80"));
        RecordSet own(e.db(), QStringLiteral("档案库"), QStringLiteral("ID"));
        own.open();
        const SingleEntry::Result r =
            SingleEntry(e.services()).run(own, door, QStringLiteral("202406"));
        QCOMPARE(int(r.outcome), int(SingleEntry::Outcome::Done));
    } else if (path.startsWith(QLatin1String("window"))) {
        RecordSet& rs = e.env().rs档案();
        QVERIFY(rs.find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First));
        if (path.endsWith(QLatin1String("door"))) {
            door = QStringLiteral("1-101A");
            rs.setValue(kDoor, door);
        }
        rs.setValue(QStringLiteral("账户余额"), 55.5);
        rs.update();
    } else if (path == QLatin1String("new")) {
        RecordSet& rs = e.env().rs档案();
        rs.addNew();
        rs.setValue(kDoor, QStringLiteral("1-103"));
        rs.setValue(QStringLiteral("账户余额"), 12.25);
        rs.updateBatch();
        QCOMPARE(BooksCheck::ledgerSum(e.db(), QStringLiteral("1-103")), 12.25);
    } else if (path == QLatin1String("cleanup")) {
        const Cleanup::Result r = Cleanup(e.env()).run(QStringLiteral("202406"), QStringLiteral("202406"));
        QCOMPARE(r.bills, 1);
        // The 收款 of June stays in the ledger.
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 类别 = '收款'")).toInt(), 1);
    } else if (path == QLatin1String("delete")) {
        // 1-102 owes 5: its closing movement gives it back to 0 and its opening stays.
        RecordSet& rs = e.env().rs档案();
        door = QStringLiteral("1-102");
        QVERIFY(rs.find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First));
        HouseholdDeletion deletion(e.env());
        deletion.stampAs(QStringLiteral("管理员"), QDateTime(QDate(2024, 7, 16), QTime(9, 30)));
        deletion.deleteCurrent();
        QCOMPARE(e.rows(QStringLiteral("select 类别, 金额, 余额, 操作员, 时间, 说明 from 账户流水 "
                                       "where 门牌号 = ? order by ID desc limit 1"),
                        {door}),
                 (QList<QVariantList>{{"销户", 5.0, 0.0, "管理员", "2024-07-16 09:30:00", "住户1-102"}}));
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 门牌号 = ?"), {door}).toInt(), 2);
        QCOMPARE(BooksCheck::ledgerSum(e.db(), door), 0.0);
    }

    QCOMPARE(movements(e) - before, added);
    if (path != QLatin1String("delete"))
        QCOMPARE(balance(e, door), newBalance);
    QCOMPARE(describe(BooksCheck::run(e.db())), QStringList());
    if (path.startsWith(QLatin1String("window")))
        QCOMPARE(e.rows(QStringLiteral("select 类别, 金额, 余额, 操作员 from 账户流水 order by ID desc limit 1")),
                 (QList<QVariantList>{{QStringLiteral("调整"), 55.5, 55.5, QStringLiteral("收费员")}}));
}

void TestLedger::balanceChangedBehindTheProgramIsReported_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("raised by 12.5") << QVariant(32.5) << QStringList{"1-101||32.5|20|12.5"};
    QTest::newRow("lowered below zero") << QVariant(-7.25) << QStringList{"1-101||-7.25|20|-27.25"};
    QTest::newRow("emptied") << QVariant() << QStringList{"1-101||0|20|-20"};
    QTest::newRow("unchanged") << QVariant(20.0) << QStringList{};
}

void TestLedger::balanceChangedBehindTheProgramIsReported()
{
    QFETCH(QVariant, stored);
    QFETCH(QStringList, found);
    TestEstate e;
    household(e, QStringLiteral("1-101"), 20);
    household(e, QStringLiteral("1-102"), 0);
    // As the sqlcipher shell would: no movement.
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = ? where 门牌号 = '1-101'"), {stored});
    QCOMPARE(describe(BooksCheck::run(e.db())), found);
    // Movements of a door number nobody has are listed too.
    e.db().exec(QStringLiteral("update 档案库 set 账户余额 = 20 where 门牌号 = '1-101'"));
    e.db().exec(QStringLiteral("insert into 账户流水 (门牌号, 类别, 金额) values ('9-999', '调整', 3)"));
    QCOMPARE(describe(BooksCheck::run(e.db())), QStringList{"9-999||0|3|-3"});
}

void TestLedger::paidBillWithoutCollectionIsReported()
{
    TestEstate e;
    household(e, QStringLiteral("1-101"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80);
    QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("80")).settled);
    // Marked paid behind the program's back.
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202408"), 60, true, 60.0, 0.0, QStringLiteral("2024-08-01"));
    const QList<BooksCheck::Mismatch> found = BooksCheck::run(e.db());
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].month, QStringLiteral("202408"));
}

void TestLedger::collectedBillChangedBehindTheProgramIsReported_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("untouched") << QString() << QStringList{};
    QTest::newRow("paid flag cleared") << "缴费标志 = 0" << QStringList{"202407|有收款流水的账单未标为已缴"};
    QTest::newRow("paid flag emptied") << "缴费标志 = null" << QStringList{"202407|有收款流水的账单未标为已缴"};
    QTest::newRow("charge raised") << "收费金额 = 100" << QStringList{"202407|已缴账单的收费金额与收款时不符"};
    QTest::newRow("charge emptied") << "收费金额 = null" << QStringList{"202407|已缴账单的收费金额与收款时不符"};
}

void TestLedger::collectedBillChangedBehindTheProgramIsReported()
{
    QFETCH(QString, change);
    QFETCH(QStringList, found);
    TestEstate e;
    household(e, QStringLiteral("1-101"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80.3);
    QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("50")).settled);
    if (!change.isEmpty())
        e.db().exec(QStringLiteral("update 缴费历史 set %1 where 月份 = '202407'").arg(change));
    QStringList notes;
    for (const BooksCheck::Mismatch& m : BooksCheck::run(e.db()))
        notes << m.month + QLatin1Char('|') + m.note;
    QCOMPARE(notes, found);
}

void TestLedger::olderFileGetsItsOpeningMovementsOnce()
{
    QTemporaryDir dir;
    const QString path = DataFile::path(dir.path());
    {
        // A file of an earlier version: no ledger, balances and paid bills.
        auto db = DataFile::create(path, {QStringLiteral("管理员"), QStringLiteral("1234"), QStringLiteral("小区"), {}});
        QVERIFY(!Ledger::exists(*db));
        db->exec(QStringLiteral("insert into 档案库 (门牌号, 账户余额) values ('1-101', 35.5), ('1-102', null), "
                                "('1-103', -12)"));
        db->exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费标志) "
                                "values ('1-101', '202406', 80, 100, 35.5, 1)"));
    }
    AppContext app;
    FixedClock clock(QDate(2024, 7, 15));
    for (int open = 0; open < 2; ++open) {
        DataEnvironment env(DataFile::openExisting(path), dir.path());
        Accounts::install(env, app, clock);
        QCOMPARE(env.db().query(QStringLiteral("select 门牌号, 类别, 金额 from 账户流水 order by ID")),
                 (QList<QVariantList>{{"1-101", "期初", 35.5}, {"1-102", "期初", 0.0}, {"1-103", "期初", -12.0}}));
        QCOMPARE(describe(BooksCheck::run(env.db())), QStringList());
    }
}

void TestLedger::collectionMovementCarriesCashReceiptAndOperator()
{
    TestEstate e;
    e.app.operatorName = QStringLiteral("收费员");
    household(e, QStringLiteral("1-101"), -20);
    const qint64 bill = e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80);
    const Collection::Outcome out = collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("90"));
    QVERIFY(out.settled);
    QCOMPARE(out.receiptNo, qint64(1));
    QCOMPARE(e.rows(QStringLiteral("select 门牌号, 操作员, 类别, 金额, 余额, 账单ID, 月份, 实收现金, 收据号, substr(时间, 1, 10) "
                                   "from 账户流水 where 类别 = '收款'")),
             (QList<QVariantList>{{"1-101", "收费员", "收款", 10.0, -10.0, bill, "202407", 90.0, 1, "2024-07-15"}}));
}

void TestLedger::staleBalanceOrBillWritesNothing_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("balance moved") << "update 档案库 set 账户余额 = 70 where 门牌号 = '1-101'";
    QTest::newRow("charge re-entered") << "update 缴费历史 set 收费金额 = 90 where 月份 = '202407'";
    QTest::newRow("collected elsewhere") << "update 缴费历史 set 缴费标志 = 1 where 月份 = '202407'";
}

namespace {
// Answers like ScriptedPrompter, and runs a statement when the cash is asked for:
// another window writing while the operator counts the money.
class WritingPrompter : public ScriptedPrompter {
public:
    WritingPrompter(Database& db, QString sql) : db_(db), sql_(std::move(sql)) {}
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& offered) override
    {
        db_.exec(sql_);
        return ScriptedPrompter::input(prompt, title, offered);
    }

private:
    Database& db_;
    QString sql_;
};
}  // namespace

// The balance or the bill changes between the prompts and the write: the collection
// says so and writes nothing.
void TestLedger::staleBalanceOrBillWritesNothing()
{
    QFETCH(QString, change);
    TestEstate e;
    household(e, QStringLiteral("1-101"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80);
    select(e, QStringLiteral("1-101"), QStringLiteral("202407"));
    WritingPrompter p(e.db(), change);
    p.yes();
    p.type(QStringLiteral("80"));
    Services s{e.env(), p, e.app, e.opener, e.clock};
    const int before = movements(e);
    const Collection::Outcome out = Collection(s).collect(QString());
    QVERIFY(!out.settled);
    QVERIFY(p.texts().contains(Collection::staleText()));
    QVERIFY(!p.texts().contains(QStringLiteral("是否打印当前缴费单据?")));
    QCOMPARE(movements(e), before);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 缴费时间 is not null")).toInt(), 0);
}

void TestLedger::receiptNumbersStayUniqueAfterRestoringAnOlderCopy()
{
    FENWARY_FILE_ENGINE_ONLY();
    TestEstate e;
    household(e, QStringLiteral("1-101"), 0);
    for (int m = 1; m <= 6; ++m)
        e.addBill(QStringLiteral("1-101"), QStringLiteral("20240%1").arg(m), 10);
    QList<qint64> numbers;
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202401"), QStringLiteral("10")).receiptNo;
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202402"), QStringLiteral("10")).receiptNo;
    // An older copy is kept, then more is collected.
    e.close();
    const QString backup = e.folder() + QStringLiteral("/backup.dat");
    QVERIFY(QFile::copy(e.path(), backup));
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202403"), QStringLiteral("10")).receiptNo;
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202404"), QStringLiteral("10")).receiptNo;
    // The older copy comes back over data.dat; the next collections go on from 5.
    e.close();
    QVERIFY(QFile::remove(e.path()));
    QVERIFY(QFile::copy(backup, e.path()));
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202403"), QStringLiteral("10")).receiptNo;
    numbers << collect(e, QStringLiteral("1-101"), QStringLiteral("202405"), QStringLiteral("10")).receiptNo;
    QCOMPARE(numbers, (QList<qint64>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(e.scalar(QStringLiteral("select group_concat(收据号) from 账户流水 where 类别 = '收款'")).toString(),
             QStringLiteral("1,2,5,6"));
}

void TestLedger::everyLogInChecksTheBooks_data()
{
    QTest::addColumn<bool>("behindTheBack");
    QTest::newRow("books agree: nothing is shown") << false;
    QTest::newRow("a balance changed by hand is listed") << true;
}

void TestLedger::everyLogInChecksTheBooks()
{
    QFETCH(bool, behindTheBack);
    QTemporaryDir dir;
    {
        // A file of an earlier version with one household; its first open starts the ledger.
        auto db = DataFile::create(DataFile::path(dir.path()),
                                   {QStringLiteral("管理员"), QStringLiteral("1234"), QStringLiteral("小区"), {}});
        db->exec(QStringLiteral("insert into 档案库 (门牌号, 账户余额) values ('1-101', 35.5)"));
    }
    {
        DataEnvironment env(DataFile::openExisting(DataFile::path(dir.path())), dir.path());
        AppContext app;
        FixedClock clock(QDate(2024, 7, 15));
        Accounts::install(env, app, clock);
        if (behindTheBack)
            env.db().exec(QStringLiteral("update 档案库 set 账户余额 = 40"));
    }
    WindowRegistry registry;
    ScriptedPrompter prompter;
    AppContext app;
    RecordingFileOpener opener;
    FixedClock clock(QDate(2024, 7, 15));
    Startup startup(dir.path(), registry, prompter, app, opener, clock);
    startup.quit = [] {};
    QVERIFY(startup.run());
    QVERIFY(logInThrough(startup, QStringLiteral("管理员"), QStringLiteral("1234")));
    QCOMPARE(app.operatorName, QStringLiteral("管理员"));
    if (!behindTheBack) {
        QCOMPARE(prompter.texts(), QStringList());
        return;
    }
    QCOMPARE(prompter.texts().size(), 1);
    QVERIFY2(prompter.texts()[0].startsWith(QStringLiteral("账务核对发现 1 处不符")), qPrintable(prompter.texts()[0]));
    QVERIFY(prompter.texts()[0].contains(QStringLiteral("1-101 账户余额与流水合计不符 账户余额 40.00 流水合计 35.50 差额 4.50")));
    // Listed, never mended.
    QCOMPARE(startup.data()->db().scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 40.0);
}

void TestLedger::dayTakingsPrintTheSameAfterADeletionAndACleanup()
{
    TestEstate e;
    e.app.operatorLevel = QStringLiteral("A");
    for (const QString& door : {QStringLiteral("1-101"), QStringLiteral("1-102")}) {
        household(e, door, 0);
        e.addBill(door, QStringLiteral("202406"), 80);
        e.addBill(door, QStringLiteral("202407"), 60);
    }
    QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202406"), QStringLiteral("80")).settled);
    QVERIFY(collect(e, QStringLiteral("1-102"), QStringLiteral("202406"), QStringLiteral("80")).settled);
    QVERIFY(collect(e, QStringLiteral("1-102"), QStringLiteral("202407"), QStringLiteral("60")).settled);
    e.prompter.type(QStringLiteral("收错了"));
    e.prompter.yes();
    const qint64 june =
        e.scalar(QStringLiteral("select ID from 缴费历史 where 门牌号 = '1-101' and 月份 = '202406'")).toLongLong();
    QCOMPARE(int(Reversal(e.db(), e.app, e.clock, e.prompter).run(june).outcome), int(Reversal::Outcome::Reversed));
    QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202406"), QStringLiteral("80")).settled);
    const DayTakings before = DayTakings::read(e.db(), e.clock.today());
    QCOMPARE(before.rows.size(), 5);

    // 1-102 leaves and a new household takes its door; the paid bills are cleaned up.
    QVERIFY(e.env().rs档案().find(Criterion::equals(kDoor, QStringLiteral("1-102")), RecordSet::Direction::Forward,
                                   RecordSet::Start::First));
    HouseholdDeletion(e.env()).deleteCurrent();
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("新住户"), 80, 0.0);
    Accounts::ledger(e.db(), e.app, e.clock).journalOpening(QStringLiteral("1-102"), 0.0);
    QCOMPARE(Cleanup(e.env()).run(QStringLiteral("202401"), QStringLiteral("202412")).bills, 1);

    const DayTakings after = DayTakings::read(e.db(), e.clock.today());
    QCOMPARE(after.table().rows, before.table().rows);
    QCOMPARE(after.table().totals, before.table().totals);
    QCOMPARE(after.totalsText(), before.totalsText());
    QCOMPARE(describe(BooksCheck::run(e.db())), QStringList());
}

void TestLedger::receiptMarkThatIsNoNumberIsNotUsed_data()
{
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<qint64>("counter");  // the file's own counter
    QTest::addColumn<qint64>("given");    // the number of the first collection; -1: refused
    QTest::addColumn<bool>("reported");
    QTest::newRow("a number above the counter is used") << QByteArray("40\n") << qint64(3) << qint64(41) << false;
    QTest::newRow("empty") << QByteArray() << qint64(3) << qint64(4) << true;
    QTest::newRow("garbage") << QByteArray("12abc\n") << qint64(3) << qint64(4) << true;
    QTest::newRow("negative") << QByteArray("-7") << qint64(3) << qint64(4) << true;
    QTest::newRow("huge") << QByteArray("9223372036854775807") << qint64(3) << qint64(4) << true;
    QTest::newRow("the counter at its end") << QByteArray("5") << std::numeric_limits<qint64>::max() << qint64(-1)
                                            << false;
}

// A mark that is no receipt number is reported once and not used; the next number
// never wraps around.
void TestLedger::receiptMarkThatIsNoNumberIsNotUsed()
{
    QFETCH(QByteArray, mark);
    QFETCH(qint64, counter);
    QFETCH(qint64, given);
    QFETCH(bool, reported);
    TestEstate e;
    household(e, QStringLiteral("1-101"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202406"), 10);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 10);
    e.db().exec(QStringLiteral("update 账务参数 set 值 = ? where 名称 = '收据号'"), {counter});
    const QString path = QDir(e.folder()).filePath(Ledger::highWaterFileName());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(mark) == mark.size());
    f.close();
    const int before = movements(e);

    qint64 first = -1;
    try {
        first = collect(e, QStringLiteral("1-101"), QStringLiteral("202406"), QStringLiteral("10")).receiptNo;
    } catch (const StoreError&) {
    }
    QCOMPARE(first, given);
    if (given < 0) {
        QCOMPARE(movements(e), before);
        return;
    }
    const qint64 second = collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("10")).receiptNo;
    const QStringList said = e.prompter.texts().filter(QStringLiteral("收据号标记文件"));
    QCOMPARE(said.size(), reported ? 1 : 0);
    QVERIFY2(!reported || said[0].contains(QDir::toNativeSeparators(path)), qPrintable(said.join('\n')));
    QCOMPARE(second, given + 1);
    // Replaced whole by the last number, no temporary file left.
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray::number(second) + "\n");
    QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));
}

void TestLedger::committedChangeIsNeverReportedAsAFailure_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("failure");
    QTest::newRow("collection") << "collection" << Collection::savedButNotRereadText() << "缴费失败";
    QTest::newRow("reversal") << "reversal" << "冲正已经保存，但打开的窗口未能重新读出数据：" << "冲正失败";
    QTest::newRow("household deletion") << "deletion" << "档案已经删除，但打开的窗口未能重新读出数据："
                                        << "删除档案失败";
}

// The windows cannot read the bills again after the commit: the operator is told
// that the change is saved, and a collection still offers its receipt.
void TestLedger::committedChangeIsNeverReportedAsAFailure()
{
    QFETCH(QString, op);
    QFETCH(QString, said);
    QFETCH(QString, failure);
    TestEstate e;
    e.app.operatorLevel = QStringLiteral("A");
    household(e, QStringLiteral("1-101"), 0);
    household(e, QStringLiteral("1-102"), 0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202407"), 80);
    if (op != QLatin1String("collection"))
        QVERIFY(collect(e, QStringLiteral("1-101"), QStringLiteral("202407"), QStringLiteral("80")).settled);
    PaymentWindow payment(e.services());
    HouseholdWindow households(e.services());
    select(e, QStringLiteral("1-101"), QStringLiteral("202407"));
    e.prompter.clear();
    const int before = movements(e);
    {
        RefuseReadsAfterCommit refuse(e.db());
        if (op == QLatin1String("collection")) {
            e.prompter.yes();
            e.prompter.type(QStringLiteral("80"));
            e.prompter.no();
            payment.collect();
        } else if (op == QLatin1String("reversal")) {
            e.prompter.type(QStringLiteral("收错了"));
            e.prompter.yes();
            payment.reverse();
        } else {
            e.prompter.yes();
            households.deleteHousehold();
        }
        QVERIFY(refuse.committed);
    }
    QCOMPARE(movements(e), before + 1);
    const QStringList texts = e.prompter.texts();
    QVERIFY2(!texts.join('|').contains(failure), qPrintable(texts.join('|')));
    QVERIFY2(!texts.filter(said).isEmpty(), qPrintable(texts.join('|')));
    if (op == QLatin1String("collection"))
        QCOMPARE(texts.last(), QStringLiteral("是否打印当前缴费单据?"));
}

QTEST_MAIN(TestLedger)
#include "test_ledger.moc"
