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

namespace {

const int kHouseholds = 20;
const int kMonths = 20;
const double kCharge = 10;

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
        const QString door = next.first().value(0).toString();
        DataEnvironment& env = e.env();
        env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), door), RecordSet::Direction::Forward,
                          RecordSet::Start::First);
        RecordSet& bills = env.rs缴费历史();
        bills.setFilter(Criterion::equals(QStringLiteral("门牌号"), door));
        bills.find(Criterion::equals(QStringLiteral("月份"), next.first().value(1)), RecordSet::Direction::Forward,
                   RecordSet::Start::First);
        e.prompter.clear();
        e.prompter.yes();
        e.prompter.type(QStringLiteral("9"));
        e.prompter.no();
        if (Collection(e.services()).collect(QString()).settled)
            ++settled;
    }
    return 1;
}

}  // namespace

class TestDesks : public QObject {
    Q_OBJECT
private slots:
    void twoDesksCollectingTheSameHouseholdsKeepTheMoneyRight();
    void wholeEstateOperationsOneAtATime();
};

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
