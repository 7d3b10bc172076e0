// Several desks on one server database: each desk is a process of this program.
#include "accounts/bookscheck.h"
#include "accounts/ledger.h"
#include "collection/collection.h"
#include "fixtures/estate.h"
#include "maintenance/cleanup.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QProcess>
#include <QtTest>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const int kHouseholds = 20;
const int kMonths = 20;
const double kCharge = 10;

// Moves the desk's shared sets to the household's unpaid bill of the month and
// collects it, `cash` against its charge; the print question is answered no.
Collection::Outcome collectBill(TestEstate& e, Collection& c, const QString& door, const QString& month,
                                const QString& cash)
{
    DataEnvironment& env = e.env();
    env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), door), RecordSet::Direction::Forward,
                      RecordSet::Start::First);
    RecordSet& bills = env.rs缴费历史();
    bills.setFilter(Criterion::equals(QStringLiteral("门牌号"), door));
    bills.find(Criterion::equals(QStringLiteral("月份"), month), RecordSet::Direction::Forward, RecordSet::Start::First);
    e.prompter.clear();
    e.prompter.yes();
    e.prompter.type(cash);
    e.prompter.no();
    return c.collect(QString());
}

// One desk: collects the oldest (or newest) unpaid bill, 9 against a charge of 10,
// until none is left; a collection refused because the other desk changed the bill
// or balance meanwhile is simply tried again. Prints how many it settled.
int desk(const QString& conninfo, bool newestFirst)
{
    TestEstate e(conninfo);
    int settled = 0;
    for (int turn = 0; turn < 20 * kHouseholds * kMonths; ++turn) {
        const QList<QVariantList> next = e.rows(
            QStringLiteral("select 门牌号, 月份 from 缴费历史 where coalesce(缴费标志, 0) = 0 order by ID %1 limit 1")
                .arg(newestFirst ? QStringLiteral("desc") : QStringLiteral("asc")));
        if (next.isEmpty()) {
            QTextStream(stdout) << settled << '\n';
            return 0;
        }
        Collection c(e.services());
        if (collectBill(e, c, next.first().value(0).toString(), next.first().value(1).toString(), QStringLiteral("9"))
                .settled)
            ++settled;
    }
    return 1;
}

// The session ends itself at write statement n of every table once armed (n = 0: at
// the commit of a ledger movement), as when the server or the network drops it.
const char* const kLoseScript = R"SQL(
create table lose_at (n bigint, armed int);
insert into lose_at values (0, 0);
create sequence lose_events;
create function lose_point() returns trigger language plpgsql as $$ begin
  if (select armed from lose_at) = 1 then
    if nextval('lose_events') = (select n from lose_at) then
      perform pg_terminate_backend(pg_backend_pid()); perform pg_sleep(5);
    end if;
  end if;
  return null; end $$;
create function lose_at_commit() returns trigger language plpgsql as $$ begin
  if (select armed * 10 + n from lose_at) = 10 then
    perform pg_terminate_backend(pg_backend_pid()); perform pg_sleep(5);
  end if;
  return null; end $$;
create constraint trigger lose_at_commit after insert on 账户流水 deferrable initially deferred
  for each row execute function lose_at_commit();
)SQL";

}  // namespace

class TestDesks : public QObject {
    Q_OBJECT
private slots:
    void twoDesksCollectingTheSameHouseholdsKeepTheMoneyRight();
    void wholeEstateOperationsOneAtATime();
    void lostConnectionLeavesACollectionUndoneAndTheDeskSaysSo();
    void deadlockBetweenTwoDesksIsTriedAgain();
    void cleanupBesideACollectingDeskKeepsEveryMovement();
};

void TestDesks::lostConnectionLeavesACollectionUndoneAndTheDeskSaysSo()
{
    const QString door = QStringLiteral("1'01");
    qint64 writes = 0;
    // -1 counts the collection's write statements; 0 loses the session at the commit.
    for (qint64 at = -1; at <= writes; ++at) {
        TestEstate e;
        e.addHousehold(door, QStringLiteral("张三"), 80, 0.0);
        e.addBill(door, QStringLiteral("202401"), kCharge);
        Database& db = e.db();
        db.execScript(QString::fromUtf8(kLoseScript));
        for (const QString& t : db.tables())
            if (!t.startsWith(QLatin1String("lose_")))
                db.execScript(QStringLiteral("create trigger lose_point before insert or update or delete on \"%1\" "
                                             "for each statement execute function lose_point()")
                                  .arg(t));
        db.exec(QStringLiteral("update lose_at set n = ?, armed = 1"), {at});
        Collection c(e.services());
        const Collection::Outcome out = collectBill(e, c, door, QStringLiteral("202401"), QStringLiteral("9"));
        if (at < 0) {
            QVERIFY(out.settled);
            writes = e.scalar(QStringLiteral("select last_value from lose_events")).toLongLong();
            QVERIFY(writes >= 5);
            continue;
        }
        const QString where = QStringLiteral("lost at %1 of %2").arg(at).arg(writes);
        QVERIFY2(out.unanswered && !out.settled, qPrintable(where));
        QVERIFY2(db.connectionLost(), qPrintable(where));
        QVERIFY(e.prompter.texts().last().contains(QStringLiteral("还不知道它是否已经保存")));
        QVERIFY2(db.reconnect(), qPrintable(where));
        // Nothing of it was kept, and the desk says so.
        QCOMPARE(e.scalar(QStringLiteral("select coalesce(缴费标志, 0) from 缴费历史")).toInt(), 0);
        QCOMPARE(e.scalar(QStringLiteral("select 账户余额 from 档案库")).toDouble(), 0.0);
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 类别 = ?"), {LedgerKind::collection()}).toInt(), 0);
        QVERIFY2(Collection::checkUnanswered(db, c.unanswered()).contains(QStringLiteral("没有保存，请重新收款")),
                 qPrintable(where));
        // The new session goes on: the same collection again, now committed and told so.
        db.exec(QStringLiteral("update lose_at set armed = 0"));
        QVERIFY2(collectBill(e, c, door, QStringLiteral("202401"), QStringLiteral("9")).settled, qPrintable(where));
        const QString key = e.scalar(QStringLiteral("select 收款键 from 账户流水 where 类别 = ?"),
                                     {LedgerKind::collection()}).toString();
        QVERIFY(!key.isEmpty());
        QVERIFY(Collection::checkUnanswered(db, {key, door, QStringLiteral("202401"), 9})
                    .contains(QStringLiteral("已经保存，收据号 1")));
        QCOMPARE(BooksCheck::run(db).size(), 0);
    }
}

void TestDesks::deadlockBetweenTwoDesksIsTriedAgain()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 80, 0.0);
    const qint64 bill = e.addBill(QStringLiteral("1-101"), QStringLiteral("202401"), kCharge);
    // The other desk holds the receipt counter, waits until this desk's collection
    // (which holds the bill) waits for the counter, then writes the bill: a deadlock.
    std::atomic<int> stage{0};
    std::atomic<bool> otherDone{false};
    const QByteArray conninfo = e.conninfo().toUtf8();
    const QByteArray waitingSql = "select count(*) from pg_locks where not granted and pid = " +
                                  e.scalar(QStringLiteral("select pg_backend_pid()")).toByteArray();
    std::thread other([&] {
        PGconn* c = PQconnectdb(conninfo.constData());
        const auto run = [c](const char* sql) {
            PGresult* r = PQexec(c, sql);
            const QByteArray state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            PQclear(r);
            return state;
        };
        for (int attempt = 0; attempt < 3 && !otherDone; ++attempt) {
            run("begin");
            run("update 账务参数 set 值 = 值 where 名称 = '收据号'");
            stage = 1;
            while (attempt == 0) {
                PGresult* r = PQexec(c, waitingSql.constData());
                const bool waiting = QByteArray(PQgetvalue(r, 0, 0)) != "0";
                PQclear(r);
                if (waiting)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            const QByteArray state = run(QStringLiteral("update 缴费历史 set 其他说明 = coalesce(其他说明, '') where ID = %1")
                                             .arg(bill).toUtf8().constData());
            if (state.isEmpty() && run("commit").isEmpty())
                otherDone = true;
            else
                run("rollback");
        }
        PQfinish(c);
    });
    while (stage == 0)
        QThread::msleep(10);
    Collection c(e.services());
    const bool settled = collectBill(e, c, QStringLiteral("1-101"), QStringLiteral("202401"), QStringLiteral("10")).settled;
    other.join();
    QVERIFY(settled);
    QVERIFY(otherDone);
    QCOMPARE(e.rows(QStringLiteral("select 缴费标志, 收据号 from 缴费历史, 账户流水 where 类别 = ?"), {LedgerKind::collection()}),
             (QList<QVariantList>{{1, 1}}));
}

void TestDesks::cleanupBesideACollectingDeskKeepsEveryMovement()
{
    TestEstate e;
    {
        Transaction t(e.db());
        for (int h = 1; h <= kHouseholds; ++h)
            e.addHousehold(QStringLiteral("%1-1'0").arg(h), QStringLiteral("住户%1").arg(h), 80, 0.0);
        // Months 01..10 paid long ago (the cleanup's), 11..20 open (the desk's).
        for (int m = 1; m <= kMonths; ++m)
            for (int h = 1; h <= kHouseholds; ++h) {
                const QString month = QStringLiteral("2023%1").arg(m, 2, 10, QLatin1Char('0'));
                if (m <= 10)
                    e.addBill(QStringLiteral("%1-1'0").arg(h), month, kCharge, true, kCharge, 0.0, QStringLiteral("2023-12-01"));
                else
                    e.addBill(QStringLiteral("%1-1'0").arg(h), month, kCharge);
            }
        t.commit();
    }
    QProcess desk;
    desk.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--desk"), e.conninfo(), QStringLiteral("newest")});
    QVERIFY(desk.waitForStarted());
    while (e.scalar(QStringLiteral("select count(*) from 账户流水 where 类别 = ?"), {LedgerKind::collection()}).toInt() < 20 &&
           desk.state() == QProcess::Running)
        QThread::msleep(5);
    QCOMPARE(Cleanup(e.env()).run(QStringLiteral("202301"), QStringLiteral("202310")).bills, kHouseholds * 10);
    QVERIFY(desk.waitForFinished(300000));
    QVERIFY2(desk.exitCode() == 0, desk.readAllStandardError().constData());
    const int settled = desk.readAllStandardOutput().trimmed().toInt();
    QCOMPARE(settled, kHouseholds * 10);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 类别 = ?"), {LedgerKind::collection()}).toInt(),
             settled);
    QCOMPARE(BooksCheck::run(e.db()).size(), 0);
}

void TestDesks::twoDesksCollectingTheSameHouseholdsKeepTheMoneyRight()
{
    TestEstate e;
    {
        Transaction t(e.db());
        for (int h = 1; h <= kHouseholds; ++h)
            e.addHousehold(QStringLiteral("%1-1'0").arg(h), QStringLiteral("住户%1").arg(h), 80, 0.0);
        for (int m = 1; m <= kMonths; ++m)
            for (int h = 1; h <= kHouseholds; ++h)
                e.addBill(QStringLiteral("%1-1'0").arg(h), QStringLiteral("2023%1").arg(m, 2, 10, QLatin1Char('0')),
                          kCharge);
        t.commit();
    }
    QProcess desks[2];
    for (int d = 0; d < 2; ++d) {
        desks[d].start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--desk"), e.conninfo(), d ? QStringLiteral("newest") : QStringLiteral("oldest")});
        QVERIFY(desks[d].waitForStarted());
    }
    int settled = 0;
    for (QProcess& p : desks) {
        QVERIFY(p.waitForFinished(300000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        settled += p.readAllStandardOutput().trimmed().toInt();
    }
    const int bills = kHouseholds * kMonths;
    QCOMPARE(settled, bills);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where coalesce(缴费标志, 0) = 0")).toInt(), 0);
    // One collection per bill, receipts 1..N without a gap or a repeat.
    const QList<QVariantList> receipts = e.rows(
        QStringLiteral("select count(*), count(distinct 账单ID), count(distinct 收据号), min(收据号), max(收据号) "
                       "from 账户流水 where 类别 = ?"),
        {LedgerKind::collection()});
    QCOMPARE(receipts.first(), (QVariantList{bills, bills, bills, 1, bills}));
    // Every balance is its ledger's sum: 1 short of the charge for each of its bills.
    QCOMPARE(BooksCheck::run(e.db()).size(), 0);
    QCOMPARE(e.rows(QStringLiteral("select distinct 账户余额 from 档案库")),
             QList<QVariantList>{{-1.0 * kMonths}});
}

void TestDesks::wholeEstateOperationsOneAtATime()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 80, 0.0);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202401"), 10, true, 10.0, 0.0, QStringLiteral("2024-01-05"));
    e.db().setDesk(QStringLiteral("desk-1"), QStringLiteral("管理员"));
    const std::unique_ptr<Database> other = Database::connect(e.conninfo());
    other->setDesk(QStringLiteral("前台'2号"), QStringLiteral("收费员"));
    const QString refused =
        EstateLock::refusalText(QStringLiteral("前台'2号"), QStringLiteral("收费员"), QStringLiteral("生成本月账单"),
                                QStringLiteral("数据清理"));
    {
        EstateLock held(*other, QStringLiteral("生成本月账单"));
        try {
            Cleanup(e.env()).run(QStringLiteral("202401"), QStringLiteral("202401"));
            QFAIL("the cleanup ran beside the month's run");
        } catch (const StoreError& err) {
            QCOMPARE(err.message(), refused);
        }
        QCOMPARE(e.count(QStringLiteral("缴费历史")), 1);
    }
    // Given up by the other desk, the lock is this one's.
    QCOMPARE(Cleanup(e.env()).run(QStringLiteral("202401"), QStringLiteral("202401")).bills, 1);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--desk"))
        return desk(args[2], args[3] == QLatin1String("newest"));
    TestDesks t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_desks.moc"
