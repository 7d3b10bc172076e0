#include "accounts/ledger.h"
#include "estate.h"
#include "store/datafile.h"
#include "store/datamove.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The data moved from a file to a server database and back.
class TestDataMove : public QObject {
    Q_OBJECT

private slots:
    void fileToServerToFileKeepsEveryTable();
    void moveIsAllOrNothing_data();
    void moveIsAllOrNothing();

private:
    // A connection to a new, empty schema of the test server.
    std::unique_ptr<Database> emptyServer();
    // An estate file with rows in every kind of table, IDs with gaps and a ledger.
    std::unique_ptr<Database> filledFile(const QString& path);
    int schemas_ = 0;
};

std::unique_ptr<Database> TestDataMove::emptyServer()
{
    const QString server = qEnvironmentVariable("FENWARY_TEST_SERVER");
    if (server.isEmpty())
        qFatal("FENWARY_TEST_SERVER must name the test server (scripts/test.sh starts one)");
    const QString schema = QStringLiteral("move%1_%2").arg(QCoreApplication::applicationPid()).arg(++schemas_);
    Database::connect(server)->execScript(QStringLiteral("drop schema if exists %1 cascade; create schema %1").arg(schema));
    return Database::connect(server + QStringLiteral(" options='-c search_path=%1'").arg(schema));
}

std::unique_ptr<Database> TestDataMove::filledFile(const QString& path)
{
    auto db = DataFile::create(path, {QStringLiteral("管理员"), QStringLiteral("1234"), QStringLiteral("测试小区"),
                                      QStringLiteral("请按时缴费")});
    Ledger::ensure(*db);
    Transaction t(*db);
    const QString hh = QStringLiteral("insert into 档案库 (ID, 门牌号, 户名, 账户余额, 面积) values (?, ?, ?, ?, ?)");
    db->exec(hh, {3, QStringLiteral("1-101"), QStringLiteral("O'Brien"), 0.1 + 0.2, 88.5});
    db->exec(hh, {7, QStringLiteral("1-'102"), QVariant(), -12.34, QVariant()});
    db->exec(QStringLiteral("insert into 项目 (项目号, 项目名, 项目标志, 固定收费, 计算标志, 按面积) values ('01', '物业费', 0, 1.2, 1, 1)"));
    for (int m = 1; m <= 3; ++m) {
        db->exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费标志) values (?, ?, ?, ?, ?, ?)"),
                 {QStringLiteral("1-101"), QStringLiteral("20240%1").arg(m), 106.2, m == 1 ? 110.0 : 0.0, 3.8, m == 1});
        db->exec(QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values (?, ?, '01', '物业费', ?)"),
                 {QStringLiteral("1-101"), QStringLiteral("20240%1").arg(m), 106.2});
        db->exec(QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                                "values (?, ?, '02', '水费', ?, ?, 2.6, ?)"),
                 {QStringLiteral("1-101"), QStringLiteral("20240%1").arg(m), 10.0 * m, 10.0 * m + 7, 18.2});
    }
    // More rows than one batch, and more values than SQLite takes in one statement.
    for (int i = 0; i < 250; ++i)
        db->exec(QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                                "values (?, '202404', '02', '水费', ?, ?, 2.6, ?)"),
                 {QStringLiteral("2-%1").arg(i), double(i), i + 0.5, 1.3});
    db->exec(QStringLiteral("delete from 缴费历史 where 月份 = '202402'"));  // a gap in the IDs
    db->exec(QStringLiteral("insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 账单ID, 月份, 实收现金, 收据号) "
                            "values ('1-101', '2024-01-05 10:00:00', '管理员', '收款', 3.8, 3.8, 1, '202401', 110, 1)"));
    db->exec(QStringLiteral("update 账务参数 set 值 = 1 where 名称 = '收据号'"));
    db->execScript(QStringLiteral("create table 账单撤销_收费1 as select * from 收费1 where 0"));
    db->exec(QStringLiteral("insert into 账单撤销_收费1 select * from 收费1 where 月份 = '202403'"));
    t.commit();
    return db;
}

void TestDataMove::fileToServerToFileKeepsEveryTable()
{
    QTemporaryDir dir;
    const auto file = filledFile(QDir(dir.path()).filePath(QStringLiteral("data.dat")));
    const auto server = emptyServer();
    DataMove::toServer(*file, *server);

    // The counters go on past the largest ID, as the file's would.
    server->exec(QStringLiteral("insert into 档案库 (门牌号) values ('2-201')"));
    QCOMPARE(server->lastInsertRowId(), 8);
    server->exec(QStringLiteral("delete from 档案库 where 门牌号 = '2-201'"));

    const QString back = QDir(dir.path()).filePath(QStringLiteral("back.dat"));
    DataMove::toFile(*server, back);
    const auto copy = Database::open(back, Database::Mode::OpenExisting);
    QStringList tables = file->tables();
    QCOMPARE(copy->tables(), tables);
    for (const QString& t : std::as_const(tables)) {
        const QString all = QStringLiteral("select * from \"%1\" order by rowid").arg(t);
        QCOMPARE(copy->query(all), file->query(all));
    }
    const QString counters = QStringLiteral("select name, seq from sqlite_sequence order by name");
    QCOMPARE(copy->query(counters), file->query(counters));
    // The copy's tables keep their keys: a receipt number stays unique.
    QVERIFY_THROWS_EXCEPTION(StoreError, copy->exec(QStringLiteral("insert into 账务参数 (名称, 值) values ('收据号', 5)")));
}

void TestDataMove::moveIsAllOrNothing_data()
{
    QTest::addColumn<bool>("targetHoldsTables");
    QTest::newRow("target not empty") << true;
    QTest::newRow("failure after the first table") << false;
}

void TestDataMove::moveIsAllOrNothing()
{
    QFETCH(bool, targetHoldsTables);
    QTemporaryDir dir;
    const auto file = filledFile(QDir(dir.path()).filePath(QStringLiteral("data.dat")));
    const auto server = emptyServer();
    if (targetHoldsTables) {
        server->execScript(QStringLiteral("create table 项目 (项目号 TEXT)"));
        QVERIFY_THROWS_EXCEPTION(StoreError, DataMove::toServer(*file, *server));
        QCOMPARE(server->tables(), QStringList{QStringLiteral("项目")});
        QCOMPARE(server->scalar(QStringLiteral("select count(*) from 项目")).toInt(), 0);
    } else {
        int copied = 0;
        QVERIFY_THROWS_EXCEPTION(StoreError, DataMove::toServer(*file, *server, {}, [&](const QString&) {
            if (++copied == 2)
                throw StoreError(0, QStringLiteral("断电"));
        }));
        QCOMPARE(copied, 2);
        QCOMPARE(server->tables(), QStringList());
    }
}

QTEST_GUILESS_MAIN(TestDataMove)
#include "test_datamove.moc"
