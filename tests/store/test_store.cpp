#include "estate.h"

#include "store/criterion.h"
#include "store/datafile.h"
#include "store/schema.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray hashOf(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}
}  // namespace

class TestStore : public QObject {
    Q_OBJECT
private slots:
    void newFileHoldsTheSevenTables_data();
    void newFileHoldsTheSevenTables();
    void fileIsEncrypted();
    void sqlcipherShellReadsFileWithThePassword();
    void fileWrittenBySqlcipherShellOpens_data();
    void fileWrittenBySqlcipherShellOpens();
    void secondHouseholdWithSameDoorIsRefused();
    void monthsCompareAsTextInTimeOrder();
    void specialCharactersRoundTrip_data();
    void specialCharactersRoundTrip();
    void oldFileWithoutChargeNoteIsUpgraded();
    void unreadableFilesAreReportedAndLeftUnchanged_data();
    void unreadableFilesAreReportedAndLeftUnchanged();
    void transactionRollsBackUnlessCommitted();
    void nestedTransactionRollsBackOnlyItsPart();
    void sealedTransactionTakesOnlyItsOwnersWrites_data();
    void sealedTransactionTakesOnlyItsOwnersWrites();
    void connectStringNamesTheFile();
    void criterionParses_data();
    void criterionParses();
    void criterionRejectsBadText_data();
    void criterionRejectsBadText();
    void likeMatches_data();
    void likeMatches();
    void lockIsExclusive();
};

void TestStore::newFileHoldsTheSevenTables_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("档案库") << "档案库"
                         << QStringList{"ID", "门牌号", "户名", "联系电话", "单位", "籍贯", "账户余额", "面积", "其他信息", "收费说明"};
    QTest::newRow("项目") << "项目" << QStringList{"项目号", "项目名", "项目标志", "固定收费", "计算标志", "按面积"};
    QTest::newRow("缴费历史") << "缴费历史"
                          << QStringList{"ID", "门牌号", "月份", "收费金额", "实缴金额", "账户余额", "缴费时间", "缴费标志", "其他说明"};
    QTest::newRow("收费1") << "收费1" << QStringList{"ID", "门牌号", "月份", "项目号", "项目名", "收费金额", "缴费时间"};
    QTest::newRow("收费2") << "收费2"
                         << QStringList{"ID", "门牌号", "月份", "项目号", "项目名", "上月数", "本月数", "单价", "收费金额", "缴费时间"};
    QTest::newRow("操作员") << "操作员" << QStringList{"操作员", "密码", "操作级别"};
    QTest::newRow("广告") << "广告" << QStringList{"收据名称", "广告"};
}

void TestStore::newFileHoldsTheSevenTables()
{
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    TestEstate e;
    QCOMPARE(Schema::columns(e.db(), table), columns);
}

void TestStore::fileIsEncrypted()
{
    FENWARY_FILE_ENGINE_ONLY();
    TestEstate e;
    e.addHousehold("0001", "张三");
    e.close();
    QFile f(e.path());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    QVERIFY(!all.startsWith("SQLite format 3"));
    QVERIFY(!all.contains(QStringLiteral("档案库").toUtf8()));
    QVERIFY(!all.contains(QStringLiteral("张三").toUtf8()));
    QCOMPARE(all.size() % 4096, 0);
}

void TestStore::sqlcipherShellReadsFileWithThePassword()
{
    FENWARY_FILE_ENGINE_ONLY();
    const QString shell = QStandardPaths::findExecutable("sqlcipher");
    if (shell.isEmpty())
        QSKIP("sqlcipher shell not installed");
    TestEstate e;
    e.addHousehold("0102", "李四");
    e.close();
    QProcess p;
    p.start(shell, {e.path()});
    p.waitForStarted();
    p.write("PRAGMA key = 'pkrudvm72tqxcb';\nPRAGMA cipher_page_size = 4096;\nselect 门牌号 || '|' || 户名 from 档案库;\n");
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), QStringLiteral("0102|李四"));
}

void TestStore::fileWrittenBySqlcipherShellOpens_data()
{
    QTest::addColumn<QString>("pageSize");
    QTest::newRow("default pages") << "";
    QTest::newRow("4096-byte pages") << "PRAGMA cipher_page_size = 4096;";
}

void TestStore::fileWrittenBySqlcipherShellOpens()
{
    QFETCH(QString, pageSize);
    const QString shell = QStandardPaths::findExecutable("sqlcipher");
    if (shell.isEmpty())
        QSKIP("sqlcipher shell not installed");
    QTemporaryDir dir;
    const QString path = DataFile::path(dir.path());
    QProcess p;
    p.start(shell, {path});
    p.waitForStarted();
    QString script = "PRAGMA key = 'pkrudvm72tqxcb';\n" + pageSize + "\n";
    script += "CREATE TABLE 档案库 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 门牌号 TEXT, 户名 TEXT, 联系电话 TEXT, 单位 TEXT, "
              "籍贯 TEXT, 账户余额 REAL, 面积 REAL, 其他信息 TEXT);"
              "CREATE TABLE 项目 (项目号 TEXT, 项目名 TEXT, 项目标志 INTEGER, 固定收费 REAL, 计算标志 INTEGER, 按面积 INTEGER);"
              "CREATE TABLE 缴费历史 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 收费金额 REAL, 实缴金额 REAL, 账户余额 REAL, "
              "缴费时间 TEXT, 缴费标志 INTEGER, 其他说明 TEXT);"
              "CREATE TABLE 收费1 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 项目号 TEXT, 项目名 TEXT, 收费金额 REAL, 缴费时间 TEXT);"
              "CREATE TABLE 收费2 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 项目号 TEXT, 项目名 TEXT, 上月数 REAL, 本月数 REAL, "
              "单价 REAL, 收费金额 REAL, 缴费时间 TEXT);"
              "CREATE TABLE 操作员 (操作员 TEXT, 密码 TEXT, 操作级别 TEXT);"
              "CREATE TABLE 广告 (收据名称 TEXT, 广告 TEXT);"
              "INSERT INTO 操作员 VALUES ('张', 'pw', 'A');\n";
    p.write(script.toUtf8());
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(10000));
    auto db = DataFile::openExisting(path);
    QCOMPARE(db->scalar("select 操作员 from 操作员").toString(), QStringLiteral("张"));
    QVERIFY(Schema::hasColumn(*db, "档案库", "收费说明"));
}

void TestStore::secondHouseholdWithSameDoorIsRefused()
{
    TestEstate e;
    e.addHousehold("0101");
    try {
        e.addHousehold("0101");
        QFAIL("duplicate door number was stored");
    } catch (const StoreError& err) {
        QVERIFY(err.isConstraint());
    }
    QCOMPARE(e.count("档案库"), 1);
}

void TestStore::monthsCompareAsTextInTimeOrder()
{
    TestEstate e;
    e.addBill("1", "202401", 10);
    e.addBill("1", "202311", 10);
    QCOMPARE(e.scalar("select count(*) from 缴费历史 where 月份 >= ?", {"202312"}).toInt(), 1);
    QCOMPARE(e.scalar("select min(月份) from 缴费历史").toString(), QStringLiteral("202311"));
    RecordSet& rs = e.env().rs缴费历史();
    rs.setFilter(Criterion::equals("月份", "202401"));
    QCOMPARE(rs.count(), 1);
}

void TestStore::specialCharactersRoundTrip_data()
{
    QTest::addColumn<QString>("door");
    QTest::newRow("apostrophe") << "O'Brien's 1";
    QTest::newRow("percent") << "50%";
    QTest::newRow("underscore") << "A_1";
    QTest::newRow("quotes") << "\"x\" 'y'";
    QTest::newRow("sql") << "1'; drop table 档案库; --";
    QTest::newRow("bracket") << "[a]\\b";
}

void TestStore::specialCharactersRoundTrip()
{
    QFETCH(QString, door);
    TestEstate e;
    e.addHousehold("plain", "甲");
    e.addHousehold(door, "乙");
    e.addHousehold(door + "x", "丙");  // a like-pattern reading would also match this
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = ?", {door}).toString(), QStringLiteral("乙"));

    RecordSet& rs = e.env().rs档案();
    QVERIFY(rs.find(Criterion::equals("门牌号", door), RecordSet::Direction::Forward, RecordSet::Start::First));
    QCOMPARE(rs.value("户名").toString(), QStringLiteral("乙"));
    QVERIFY(rs.find(Criterion::parse("门牌号 = '" + QString(door).replace("'", "''") + "'"),
                    RecordSet::Direction::Forward, RecordSet::Start::First));
    QCOMPARE(rs.value("户名").toString(), QStringLiteral("乙"));

    rs.setFilter(Criterion::contains("门牌号", door));
    QCOMPARE(rs.count(), 2);
    rs.setFilter(Criterion::equals("门牌号", door));
    QCOMPARE(rs.count(), 1);
    rs.setValue("户名", door);
    rs.updateBatch();
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = ?", {door}).toString(), door);
    QCOMPARE(e.count("档案库"), 3);
}

void TestStore::oldFileWithoutChargeNoteIsUpgraded()
{
    QTemporaryDir dir;
    const QString path = DataFile::path(dir.path());
    {
        auto db = Database::open(path, Database::Mode::Create);
        db->execScript("CREATE TABLE 档案库 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 门牌号 TEXT, 户名 TEXT, 联系电话 TEXT, "
                       "单位 TEXT, 籍贯 TEXT, 账户余额 REAL, 面积 REAL, 其他信息 TEXT);"
                       "CREATE TABLE 项目 (项目号 TEXT, 项目名 TEXT, 项目标志 INTEGER, 固定收费 REAL, 计算标志 INTEGER, 按面积 INTEGER);"
                       "CREATE TABLE 缴费历史 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 收费金额 REAL, 实缴金额 REAL, "
                       "账户余额 REAL, 缴费时间 TEXT, 缴费标志 INTEGER, 其他说明 TEXT);"
                       "CREATE TABLE 收费1 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 项目号 TEXT, 项目名 TEXT, 收费金额 REAL, 缴费时间 TEXT);"
                       "CREATE TABLE 收费2 (ID INTEGER PRIMARY KEY, 门牌号 TEXT, 月份 TEXT, 项目号 TEXT, 项目名 TEXT, 上月数 REAL, "
                       "本月数 REAL, 单价 REAL, 收费金额 REAL, 缴费时间 TEXT);"
                       "CREATE TABLE 操作员 (操作员 TEXT, 密码 TEXT, 操作级别 TEXT);"
                       "CREATE TABLE 广告 (收据名称 TEXT, 广告 TEXT);"
                       "INSERT INTO 档案库 (门牌号, 户名) VALUES ('0001', '王五');");
    }
    auto db = DataFile::openExisting(path);
    QVERIFY(Schema::hasColumn(*db, "档案库", "收费说明"));
    QCOMPARE(db->scalar("select 户名 from 档案库").toString(), QStringLiteral("王五"));
    QVERIFY(db->scalar("select 收费说明 from 档案库").isNull());
    db.reset();
    // Opening again does not try to add the column twice.
    QVERIFY(DataFile::openExisting(path));
}

void TestStore::unreadableFilesAreReportedAndLeftUnchanged_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("other password") << "key";
    QTest::newRow("plain sqlite") << "plain";
    QTest::newRow("text") << "text";
    QTest::newRow("damaged") << "damaged";
    QTest::newRow("foreign tables") << "foreign";
    QTest::newRow("missing columns") << "columns";
}

void TestStore::unreadableFilesAreReportedAndLeftUnchanged()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = DataFile::path(dir.path());
    if (kind == "columns") {
        auto db = Database::open(path, Database::Mode::Create);
        for (const QString& t : Schema::tables())
            db->execScript(QStringLiteral("create table %1 (门牌号 text);").arg(t));
    } else if (kind == "key" || kind == "foreign") {
        auto db = Database::open(path, Database::Mode::Create, kind == "key" ? "another" : Database::Password);
        db->execScript("create table t (x); insert into t values (1);");
    } else if (kind == "plain") {
        auto db = Database::open(path, Database::Mode::Create, QByteArray());
        db->execScript("create table t (x); insert into t values (1);");
    } else if (kind == "text") {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("门牌号,户名\r\n0001,张三\r\n");
    } else {
        QFile::copy(TestEstate::templatePath(), path);
        QFile f(path);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        f.open(QIODevice::ReadWrite);
        f.seek(0);
        f.write(QByteArray(4096, '\x5a'));
    }
    const QByteArray before = hashOf(path);
    try {
        DataFile::openExisting(path);
        QFAIL("the file was opened");
    } catch (const StoreError& err) {
        QVERIFY2(err.message().contains(path), qPrintable(err.message()));
    }
    QCOMPARE(hashOf(path), before);
    QVERIFY(!QFile::exists(path + "-journal"));
}

void TestStore::transactionRollsBackUnlessCommitted()
{
    TestEstate e;
    {
        Transaction t(e.db());
        e.addHousehold("0001");
    }
    QCOMPARE(e.count("档案库"), 0);
    {
        Transaction t(e.db());
        e.addHousehold("0001");
        t.commit();
    }
    QCOMPARE(e.count("档案库"), 1);
    QVERIFY(!e.db().inTransaction());
}

void TestStore::nestedTransactionRollsBackOnlyItsPart()
{
    TestEstate e;
    Transaction outer(e.db());
    e.addHousehold("0001");
    try {
        Transaction inner(e.db());
        e.addHousehold("0002");
        e.addHousehold("0001");  // duplicate: the inner part fails
        inner.commit();
    } catch (const StoreError&) {
    }
    outer.commit();
    QCOMPARE(e.rows("select 门牌号 from 档案库"), QList<QVariantList>{{"0001"}});
}

void TestStore::sealedTransactionTakesOnlyItsOwnersWrites_data()
{
    QTest::addColumn<QString>("write");
    QTest::newRow("statement") << "statement";
    QTest::newRow("nested transaction") << "transaction";
    QTest::newRow("script") << "script";
}

// Code that runs while the owner waits (an event handled inside its transaction)
// is refused with the owner's message and cannot commit or lose with it.
void TestStore::sealedTransactionTakesOnlyItsOwnersWrites()
{
    QFETCH(QString, write);
    TestEstate e;
    Database& db = e.db();
    auto foreign = [&] {
        if (write == "statement")
            db.exec("insert into 档案库 (门牌号) values (?)", {"外来"});
        else if (write == "transaction")
            Transaction t(db);
        else
            db.execScript("create table 外来 (x TEXT)");
    };
    {
        Transaction t(db);
        TransactionSeal seal(db, "正在忙");
        {
            TransactionSeal::Turn turn(seal);
            e.addHousehold("0001");
            Transaction part(db);  // the owner's own savepoint
            e.addHousehold("0002");
            part.commit();
        }
        try {
            foreign();
            QFAIL("a write outside the owner's turn was taken");
        } catch (const StoreError& err) {
            QCOMPARE(err.message(), QString("正在忙"));
        }
        QCOMPARE(db.scalar("select count(*) from 档案库").toInt(), 2);  // reading is allowed
        TransactionSeal::Turn turn(seal);
        t.commit();
    }
    QCOMPARE(e.rows("select 门牌号 from 档案库 order by 门牌号"), (QList<QVariantList>{{"0001"}, {"0002"}}));
    // Once the seal is gone, the same write is taken.
    foreign();
    QVERIFY(!db.sealed());
}

void TestStore::connectStringNamesTheFile()
{
    TestEstate e;
    const QString cs = e.env().connectString();
    QVERIFY(cs.startsWith("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= " + QDir::toNativeSeparators(e.folder()) +
                          QDir::separator() + "data.dat;"));
    QVERIFY(cs.endsWith("Jet OLEDB:Database password=pkrudvm72tqxcb;Persist Security Info=false"));
}

void TestStore::criterionParses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("paid");
    QTest::addColumn<bool>("matches");
    QTest::newRow("equals") << "门牌号 = '0102'" << "0102" << "" << false << true;
    QTest::newRow("equals other") << "门牌号 = '0102'" << "0103" << "" << false << false;
    QTest::newRow("no blanks") << "门牌号='0102'" << "0102" << "" << false << true;
    QTest::newRow("doubled quote") << "门牌号 = 'O''Brien'" << "O'Brien" << "" << false << true;
    QTest::newRow("contains") << "户名 like '%甲%'" << "" << "乙甲丙" << false << true;
    QTest::newRow("contains no") << "户名 like '%甲%'" << "" << "乙丙" << false << false;
    QTest::newRow("backslash is no escape") << "户名 like '%a\\%%'" << "" << "xa\\b" << false << true;
    QTest::newRow("prefix like") << "户名 like '张%'" << "" << "张三" << false << true;
    QTest::newRow("and true") << "门牌号 = '1' AND 缴费标志 = true" << "1" << "" << true << true;
    QTest::newRow("and true unpaid") << "门牌号 = '1' AND 缴费标志 = true" << "1" << "" << false << false;
    QTest::newRow("false") << "门牌号 = '1' and 缴费标志 = false" << "1" << "" << false << true;
    QTest::newRow("bare") << "缴费标志" << "" << "" << true << true;
    QTest::newRow("empty") << "" << "" << "" << false << true;
}

void TestStore::criterionParses()
{
    QFETCH(QString, text);
    QFETCH(QString, door);
    QFETCH(QString, name);
    QFETCH(bool, paid);
    QFETCH(bool, matches);
    const Criterion c = Criterion::parse(text);
    const QVariantMap row{{"门牌号", door}, {"户名", name}, {"缴费标志", paid ? QVariant(1) : QVariant()}};
    QCOMPARE(c.matches([&](const QString& col) { return row.value(col); }), matches);

    // The same criterion evaluated by SQLite selects the same rows.
    TestEstate e;
    e.addHousehold(door, name);
    e.db().execScript("create table t (门牌号 TEXT, 户名 TEXT, 缴费标志 INTEGER)");
    e.db().exec("insert into t select 门牌号, 户名, ? from 档案库", {paid ? QVariant(1) : QVariant()});
    QVariantList binds;
    const QString where = c.isEmpty() ? "1 = 1" : c.sql(binds, {"门牌号", "户名", "缴费标志"}, TestEstate::onServer());
    QCOMPARE(e.scalar("select count(*) from t where " + where, binds).toInt(), matches ? 1 : 0);
}

void TestStore::criterionRejectsBadText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("unclosed") << "门牌号 = 'abc";
    QTest::newRow("stray quote") << "门牌号 = 'a'b'";
    QTest::newRow("no value") << "门牌号 =";
    QTest::newRow("bad join") << "门牌号 = 'a' or 户名 = 'b'";
    QTest::newRow("no column") << "= 'a'";
}

void TestStore::criterionRejectsBadText()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(CriterionError, Criterion::parse(text));
}

void TestStore::likeMatches_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("any") << "abc" << "%" << true;
    QTest::newRow("one") << "abc" << "a_c" << true;
    QTest::newRow("one too few") << "ac" << "a_c" << false;
    QTest::newRow("case") << "ABC" << "a%" << true;
    QTest::newRow("suffix") << "1号楼" << "%楼" << true;
    QTest::newRow("middle") << "3-1-101" << "3%" << true;
    QTest::newRow("backtrack") << "aXbXc" << "a%b%c" << true;
    QTest::newRow("no") << "abc" << "b%" << false;
}

void TestStore::likeMatches()
{
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(Criterion::likeMatch(value, pattern), matches);
}

void TestStore::lockIsExclusive()
{
    QTemporaryDir dir;
    DataLock a(dir.path());
    QVERIFY(a.tryLock());
    DataLock b(dir.path());
    QVERIFY(!b.tryLock());
    a.unlock();
    QVERIFY(!QFile::exists(DataLock::lockPath(dir.path())));
    QVERIFY(b.tryLock());
}

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
