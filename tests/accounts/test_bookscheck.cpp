// The books check at log-in reads what changed since the last check that passed and
// gives the full check's answer; without a usable mark it is the full check.
#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "accounts/ledger.h"
#include "estate.h"
#include "store/database.h"

#include <QtTest>

namespace {

QString door(int i) { return QStringLiteral("1-%1").arg(100 + i); }

QStringList describe(const QList<BooksCheck::Mismatch>& found)
{
    QStringList out;
    for (const BooksCheck::Mismatch& m : found)
        out << QStringLiteral("%1|%2|%3|%4|%5").arg(m.door, m.month, m.note).arg(m.stored).arg(m.ledger);
    return out;
}

// 30 households with opening balances; May collected, June to December unpaid.
void fill(TestEstate& e)
{
    Database& db = e.db();
    Transaction t(db);
    Ledger ledger = Accounts::ledger(db, e.app, e.clock);
    for (int i = 1; i <= 30; ++i) {
        const double opening = (i % 3) * 10.5;
        e.addHousehold(door(i), QStringLiteral("住户%1").arg(i), 80, opening);
        ledger.journalOpening(door(i), opening);
        for (int m = 5; m <= 12; ++m)
            e.addBill(door(i), QStringLiteral("2024%1").arg(m, 2, 10, QLatin1Char('0')), 50 + i);
    }
    t.commit();
}

// A collection as the payment window writes it: the movement, then the bill.
void pay(TestEstate& e, qint64 bill, double cash)
{
    Database& db = e.db();
    Transaction t(db);
    const QVariantList b = db.query(QStringLiteral("select 门牌号, 月份, 收费金额 from 缴费历史 where ID = ?"), {bill}).first();
    Ledger::Movement m;
    m.door = b[0].toString();
    m.kind = LedgerKind::collection();
    m.amount = cash - b[2].toDouble();
    m.billId = bill;
    m.month = b[1];
    m.cash = cash;
    const double after = Accounts::ledger(db, e.app, e.clock).post(m);
    db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = ?, 账户余额 = ?, 缴费时间 = '2024-07-15' where ID = ?"),
            {cash, after, bill});
    t.commit();
}

qint64 unpaidBill(TestEstate& e, int offset = 0)
{
    return e.scalar(QStringLiteral("select ID from 缴费历史 where coalesce(缴费标志, 0) = 0 order by 月份, ID limit 1 offset ?"),
                    {offset}).toLongLong();
}

void step(TestEstate& e, const QString& s)
{
    Database& db = e.db();
    if (s == QLatin1String("pay")) {
        pay(e, unpaidBill(e), 60);
    } else if (s == QLatin1String("pay200")) {
        for (int i = 0; i < 200; ++i)
            pay(e, unpaidBill(e), 40 + i % 30);
    } else if (s == QLatin1String("log-in")) {
        BooksCheck::Scope scope;
        QVERIFY(BooksCheck::atLogIn(db, &scope).isEmpty());
        QCOMPARE(scope, BooksCheck::Scope::SinceMark);
    } else if (s == QLatin1String("balance +12.5")) {
        db.exec(QStringLiteral("update 档案库 set 账户余额 = 账户余额 + 12.5 where 门牌号 = ?"), {door(5)});
    } else if (s == QLatin1String("balance -12.5")) {
        db.exec(QStringLiteral("update 档案库 set 账户余额 = 账户余额 - 12.5 where 门牌号 = ?"), {door(5)});
    } else if (s == QLatin1String("old amount")) {
        db.exec(QStringLiteral("update 账户流水 set 金额 = 金额 + 1 where ID = (select min(ID) from 账户流水 where 门牌号 = ?)"),
                {door(7)});
    } else if (s == QLatin1String("old movement deleted")) {
        db.exec(QStringLiteral("delete from 账户流水 where ID = (select min(ID) from 账户流水 where 门牌号 = ?)"), {door(8)});
    } else if (s == QLatin1String("new household")) {
        Transaction t(db);
        e.addHousehold(QStringLiteral("9-9'01"), QString(), 60, 15.0);
        Accounts::ledger(db, e.app, e.clock).journalOpening(QStringLiteral("9-9'01"), 15.0);
        t.commit();
    } else if (s == QLatin1String("bare household")) {
        db.exec(QStringLiteral("insert into 档案库 (门牌号, 账户余额) values ('9-9''02', 5)"));
    } else if (s == QLatin1String("household closed")) {
        Transaction t(db);
        Accounts::ledger(db, e.app, e.clock).closeAccount(door(10), QStringLiteral("住户10"));
        db.exec(QStringLiteral("delete from 档案库 where 门牌号 = ?"), {door(10)});
        t.commit();
    } else if (s == QLatin1String("bare household deleted")) {
        db.exec(QStringLiteral("delete from 档案库 where 门牌号 = ?"), {door(11)});
    } else if (s == QLatin1String("bare paid")) {
        db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1 where ID = ?"), {unpaidBill(e, 3)});
    } else if (s == QLatin1String("old charge")) {
        db.exec(QStringLiteral("update 缴费历史 set 收费金额 = 收费金额 + 1 where ID = "
                               "(select min(ID) from 缴费历史 where 缴费标志 = 1)"));
    } else if (s == QLatin1String("rename")) {
        Transaction t(db);
        Accounts::ledger(db, e.app, e.clock).moveDoor(door(13), QStringLiteral("2-213"));
        db.exec(QStringLiteral("update 档案库 set 门牌号 = '2-213' where 门牌号 = ?"), {door(13)});
        db.exec(QStringLiteral("update 缴费历史 set 门牌号 = '2-213' where 门牌号 = ?"), {door(13)});
        t.commit();
    } else if (s == QLatin1String("untraced balance")) {
        // The trigger dropped, the balance changed, the trigger put back as it was.
        const QString sql = db.triggers().value(QStringLiteral("核对_档案库_改"));
        QVERIFY(!sql.isEmpty());
        db.execScript(QStringLiteral("drop trigger 核对_档案库_改"));
        db.exec(QStringLiteral("update 档案库 set 账户余额 = 账户余额 + 3 where 门牌号 = ?"), {door(14)});
        db.execScript(sql);
    } else {
        QFAIL(qPrintable(QStringLiteral("no step ") + s));
    }
}

}  // namespace

class TestBooksCheck : public QObject {
    Q_OBJECT
private slots:
    void checkSinceTheMarkGivesTheFullAnswer_data();
    void checkSinceTheMarkGivesTheFullAnswer();
    void unusableMarkMeansTheFullCheck_data();
    void unusableMarkMeansTheFullCheck();
};

void TestBooksCheck::checkSinceTheMarkGivesTheFullAnswer_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("clean");   // the full check finds nothing
    QTest::addColumn<bool>("traced");  // the check since the mark can answer
    QTest::newRow("nothing changed") << QStringList{} << true << true;
    QTest::newRow("200 collections since") << QStringList{"pay200"} << true << true;
    QTest::newRow("balance changed behind the program") << QStringList{"balance +12.5"} << false << true;
    QTest::newRow("balance changed after collections and a log-in")
        << QStringList{"pay", "pay", "log-in", "balance +12.5"} << false << true;
    QTest::newRow("balance changed and changed back") << QStringList{"balance +12.5", "balance -12.5"} << true << true;
    QTest::newRow("old movement's amount changed") << QStringList{"old amount"} << false << true;
    QTest::newRow("old movement changed, then a log-in and a collection")
        << QStringList{"pay", "old amount", "pay"} << false << true;
    QTest::newRow("old movement deleted") << QStringList{"old movement deleted"} << false << true;
    QTest::newRow("new household with its opening movement") << QStringList{"new household"} << true << true;
    QTest::newRow("new household without a movement") << QStringList{"bare household"} << false << true;
    QTest::newRow("household closed and deleted") << QStringList{"household closed"} << true << true;
    QTest::newRow("household deleted behind the program") << QStringList{"bare household deleted"} << false << true;
    QTest::newRow("unpaid bill marked paid behind the program") << QStringList{"bare paid"} << false << true;
    QTest::newRow("old collected bill's charge changed") << QStringList{"old charge"} << false << true;
    QTest::newRow("door renamed with its movements") << QStringList{"rename"} << true << true;
    QTest::newRow("balance changed past the triggers: the digest") << QStringList{"untraced balance"} << false << false;
}

void TestBooksCheck::checkSinceTheMarkGivesTheFullAnswer()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, clean);
    QFETCH(bool, traced);
    TestEstate e;
    fill(e);
    Database& db = e.db();
    pay(e, unpaidBill(e), 80);
    pay(e, unpaidBill(e), 20);
    QCOMPARE(describe(BooksCheck::runAndMark(db)), QStringList());
    for (const QString& s : std::as_const(steps)) {
        step(e, s);
        if (QTest::currentTestFailed())
            return;
    }

    const QStringList full = describe(BooksCheck::run(db));
    QCOMPARE(full.isEmpty(), clean);
    const std::optional<QList<BooksCheck::Mismatch>> since = BooksCheck::sinceMark(db);
    QCOMPARE(since.has_value(), traced);
    if (since)
        QCOMPARE(since->isEmpty(), clean);
    BooksCheck::Scope scope;
    QCOMPARE(describe(BooksCheck::atLogIn(db, &scope)), full);
    QCOMPARE(scope, clean ? BooksCheck::Scope::SinceMark : BooksCheck::Scope::Full);
    // The mark moved on with a pass; nothing found leaves none to rely on.
    QCOMPARE(describe(BooksCheck::atLogIn(db, &scope)), full);
    QCOMPARE(scope, clean ? BooksCheck::Scope::SinceMark : BooksCheck::Scope::Full);
    if (clean) {
        step(e, QStringLiteral("balance +12.5"));
        QCOMPARE(BooksCheck::sinceMark(db).value_or(QList<BooksCheck::Mismatch>()).size(), 1);
    }
}

void TestBooksCheck::unusableMarkMeansTheFullCheck_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("markedAfter");  // the full check's pass leaves a usable mark
    QTest::newRow("no mark yet") << QString() << true;
    QTest::newRow("mark table dropped") << "drop table 核对标记" << true;
    QTest::newRow("mark row deleted") << "delete from 核对标记" << true;
    QTest::newRow("two mark rows") << "insert into 核对标记 select 流水ID, 住户摘要, 起始账单ID from 核对标记" << true;
    QTest::newRow("digest not a number") << "update 核对标记 set 住户摘要 = 'zz''zz'" << true;
    QTest::newRow("digest of other balances") << "update 核对标记 set 住户摘要 = '0123456789abcdef'" << true;
    if (!TestEstate::onServer())  // a server column holds its own type
        QTest::newRow("movement ID as text") << "update 核对标记 set 流水ID = 'abc'" << true;
    QTest::newRow("movement ID above the ledger") << "update 核对标记 set 流水ID = 流水ID + 1000" << true;
    QTest::newRow("ledger's first bill moved") << "update 账务参数 set 值 = 值 + 1 where 名称 = '起始账单ID'" << true;
    QTest::newRow("trigger dropped") << "drop trigger 核对_账户流水_改" << true;
    QTest::newRow("trigger changed")
        << "drop trigger 核对_档案库_增; create trigger 核对_档案库_增 after insert on 档案库 begin select 1; end" << true;
    QTest::newRow("a trigger of someone else")
        << "create trigger 其他 after delete on 核对门牌 begin select 1; end" << false;
    QTest::newRow("door numbers not unique") << "drop index 档案库_门牌号" << false;
}

void TestBooksCheck::unusableMarkMeansTheFullCheck()
{
    QFETCH(QString, damage);
    QFETCH(bool, markedAfter);
    TestEstate e;
    fill(e);
    Database& db = e.db();
    pay(e, unpaidBill(e), 80);
    if (!damage.isEmpty()) {
        QVERIFY(BooksCheck::runAndMark(db).isEmpty());
        db.execScript(damage);
    }
    pay(e, unpaidBill(e), 30);
    QVERIFY(!BooksCheck::sinceMark(db));
    BooksCheck::Scope scope;
    QCOMPARE(describe(BooksCheck::atLogIn(db, &scope)), describe(BooksCheck::run(db)));
    QCOMPARE(scope, BooksCheck::Scope::Full);
    pay(e, unpaidBill(e), 30);
    QCOMPARE(BooksCheck::sinceMark(db).has_value(), markedAfter);
    QVERIFY(BooksCheck::atLogIn(db, &scope).isEmpty());
    QCOMPARE(scope, markedAfter ? BooksCheck::Scope::SinceMark : BooksCheck::Scope::Full);
}

QTEST_MAIN(TestBooksCheck)
#include "test_bookscheck.moc"
