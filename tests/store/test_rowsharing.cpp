// Several record sets (and plain statements) on one file: optimistic row writes and
// the change notices after each commit.
#include "estate.h"

#include "store/dataenvironment.h"

#include <QSignalSpy>
#include <QtTest>

class TestRowSharing : public QObject {
    Q_OBJECT
private:
    static std::unique_ptr<RecordSet> households(TestEstate& e)
    {
        auto rs = std::make_unique<RecordSet>(e.db(), QStringLiteral("档案库"), QStringLiteral("ID"));
        rs->open();
        return rs;
    }
    static void fill(TestEstate& e)
    {
        e.addHousehold("0101", "甲", 80, 10.0);
        e.addHousehold("0102", "乙", 90, 20.0);
        e.addHousehold("0103", "丙", 100, 30.0);
    }

private slots:
    void differentColumnsOfOneRowAreBothKept();
    void sameColumnSecondWriteIsRefused_data();
    void sameColumnSecondWriteIsRefused();
    void refusedWriteRollsBackWhatItsHooksWrote();
    void hooksSeeOnlyTheWrittenColumns();
    void rowDeletedByAnotherWriterIsRefused();
    void writeThroughOneSetIsSeenByAnother_data();
    void writeThroughOneSetIsSeenByAnother();
    void noticeKeepsPendingEditsAndAddedRows();
    void writeToOneTableLeavesOtherSetsAlone();
    void rolledBackWritesAreNotAnnounced();
    void allPendingEditsInOneTransaction();
    void requeryAfterANoticeKeepsTheRowAndResetsOnce_data();
    void requeryAfterANoticeKeepsTheRowAndResetsOnce();
};

void TestRowSharing::differentColumnsOfOneRowAreBothKept()
{
    TestEstate e;
    fill(e);
    auto a = households(e), b = households(e);
    a->moveNext();
    b->moveNext();
    a->setValue("户名", "乙二");
    b->setValue("联系电话", "5551234");
    a->update();
    b->update();
    QCOMPARE(e.rows("select 户名, 联系电话, 面积 from 档案库 where 门牌号 = '0102'"),
             (QList<QVariantList>{{"乙二", "5551234", 90.0}}));
}

void TestRowSharing::sameColumnSecondWriteIsRefused_data()
{
    QTest::addColumn<int>("how");  // 0 update, 1 updateBatch, 2 moving off the row
    QTest::newRow("update") << 0;
    QTest::newRow("batch") << 1;
    QTest::newRow("moving off") << 2;
}

void TestRowSharing::sameColumnSecondWriteIsRefused()
{
    QFETCH(int, how);
    TestEstate e;
    fill(e);
    auto a = households(e), b = households(e);
    a->setValue("面积", 85.5);
    b->setValue("面积", 70.0);
    b->setValue("户名", "甲改");
    a->update();
    try {
        if (how == 0)
            b->update();
        else if (how == 1)
            b->updateBatch();
        else
            b->moveNext();
        QFAIL("the second write went through");
    } catch (const RowConflict& err) {
        QVERIFY2(err.message().contains(QStringLiteral("门牌号 0101")), qPrintable(err.message()));
    }
    QCOMPARE(e.rows("select 面积, 户名 from 档案库 where 门牌号 = '0101'"), (QList<QVariantList>{{85.5, "甲"}}));
    // The refused set reads the row again and stays on it.
    QCOMPARE(b->value("门牌号").toString(), QStringLiteral("0101"));
    QCOMPARE(b->value("面积").toDouble(), 85.5);
    QCOMPARE(b->value("户名").toString(), QStringLiteral("甲"));
    QVERIFY(!b->hasPendingChanges());
    // Editing the row read again now works.
    b->setValue("面积", 86.0);
    b->update();
    QCOMPARE(e.scalar("select 面积 from 档案库 where 门牌号 = '0101'").toDouble(), 86.0);
}

void TestRowSharing::refusedWriteRollsBackWhatItsHooksWrote()
{
    TestEstate e;
    fill(e);
    e.db().addRowWriteHook("档案库", [](Database& db, const RowWrite& w) {
        db.exec("insert into 缴费历史 (门牌号, 月份) values (?, '202407')", {w.value("户名")});
    });
    auto a = households(e), b = households(e);
    a->setValue("户名", "一");
    b->setValue("户名", "二");
    a->update();
    QVERIFY_THROWS_EXCEPTION(RowConflict, b->update());
    QCOMPARE(e.rows("select 门牌号 from 缴费历史"), (QList<QVariantList>{{"一"}}));
}

void TestRowSharing::hooksSeeOnlyTheWrittenColumns()
{
    TestEstate e;
    fill(e);
    QList<RowWrite> seen;
    e.db().addRowWriteHook("档案库", [&](Database&, const RowWrite& w) { seen << w; });
    auto a = households(e);
    const QVariant phone = a->value("联系电话");
    a->setValue("户名", "甲改");
    a->setValue("联系电话", "1");
    a->setValue("联系电话", phone);  // edited back: not written
    a->update();
    a->addNew();
    a->setValue("门牌号", "0104");
    a->update();
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen[0].columns, QStringList{"户名"});
    QCOMPARE(seen[0].values, QVariantList{"甲改"});
    QVERIFY(seen[0].rowid > 0);
    QCOMPARE(seen[1].rowid, 0);
    QCOMPARE(seen[1].columns.size(), a->columns().size() - 1);  // all but the row identity
}

void TestRowSharing::rowDeletedByAnotherWriterIsRefused()
{
    TestEstate e;
    fill(e);
    auto a = households(e);
    a->moveLast();
    a->setValue("户名", "丙改");
    e.db().exec("delete from 档案库 where 门牌号 = '0103'");
    QVERIFY_THROWS_EXCEPTION(RowConflict, a->update());
    QCOMPARE(e.count("档案库"), 2);
    QCOMPARE(a->count(), 2);
    QVERIFY(!a->hasCurrent());
}

void TestRowSharing::writeThroughOneSetIsSeenByAnother_data()
{
    QTest::addColumn<int>("how");  // 0 another set, 1 plain statement, 2 statement in a transaction,
                                   // 3 delete of the whole table
    QTest::newRow("record set") << 0;
    QTest::newRow("statement") << 1;
    QTest::newRow("transaction") << 2;
    QTest::newRow("delete all") << 3;
}

void TestRowSharing::writeThroughOneSetIsSeenByAnother()
{
    QFETCH(int, how);
    TestEstate e;
    fill(e);
    RecordSet& shared = e.env().rs档案();
    shared.moveNext();
    shared.moveNext();  // on 0103
    QSignalSpy reset(&shared, &RecordSet::rowsReset);
    QSignalSpy moved(&shared, &RecordSet::currentChanged);
    auto other = households(e);
    switch (how) {
    case 0:
        other->moveLast();
        other->setValue("账户余额", 35.5);
        other->addNew();  // writes 0103, then adds a row before it is shown
        other->setValue("门牌号", "0100");
        other->update();
        break;
    case 1:
        e.db().exec("update 档案库 set 账户余额 = 35.5 where 门牌号 = '0103'");
        e.db().exec("insert into 档案库 (门牌号) values ('0100')");
        break;
    case 2: {
        Transaction t(e.db());
        e.db().exec("update 档案库 set 账户余额 = 35.5 where 门牌号 = '0103'");
        e.db().exec("insert into 档案库 (门牌号) values ('0100')");
        QCOMPARE(shared.value("账户余额").toDouble(), 30.0);  // nothing before the commit
        t.commit();
        break;
    }
    case 3:
        e.db().exec("delete from 档案库");
        break;
    }
    if (how == 3) {
        QCOMPARE(shared.count(), 0);
        return;
    }
    QCOMPARE(shared.value("门牌号").toString(), QStringLiteral("0103"));
    QCOMPARE(shared.value("账户余额").toDouble(), 35.5);
    QCOMPARE(shared.count(), 4);
    QCOMPARE(moved.count(), 0);
    QTRY_COMPARE(reset.count(), 1);  // grids hear it once, from the event loop
    QCOMPARE(moved.count(), 0);      // the current row stayed
}

void TestRowSharing::noticeKeepsPendingEditsAndAddedRows()
{
    TestEstate e;
    fill(e);
    auto a = households(e);
    a->setValue("户名", "甲改");  // pending on 0101
    a->addNew();
    a->setValue("门牌号", "0104");  // added, pending (0101 was written when leaving it)
    a->moveFirst();                  // writes 0104
    a->setValue("户名", "甲再改");
    e.db().exec("update 档案库 set 联系电话 = '777', 面积 = 81 where 门牌号 = '0101'");
    QCOMPARE(a->value("户名").toString(), QStringLiteral("甲再改"));
    QCOMPARE(a->value("联系电话").toString(), QStringLiteral("777"));
    QCOMPARE(a->value("面积").toDouble(), 81.0);
    QVERIFY(a->hasPendingChanges());
    a->update();
    QCOMPARE(e.rows("select 户名, 联系电话, 面积 from 档案库 where 门牌号 = '0101'"),
             (QList<QVariantList>{{"甲再改", "777", 81.0}}));
    QCOMPARE(a->count(), 4);
}

void TestRowSharing::writeToOneTableLeavesOtherSetsAlone()
{
    TestEstate e;
    fill(e);
    e.addBill("0101", "202407", 50);
    RecordSet& bills = e.env().rs缴费历史();
    RecordSet& hh = e.env().rs档案();
    QCOMPARE(bills.count(), 1);
    QCOMPARE(hh.count(), 3);
    QSignalSpy billsReset(&bills, &RecordSet::rowsReset);
    QSignalSpy hhReset(&hh, &RecordSet::rowsReset);
    // A set's own write does not make it read itself again.
    hh.setValue("户名", "甲改");
    hh.update();
    e.db().exec("update 缴费历史 set 收费金额 = 60");
    QTRY_COMPARE(billsReset.count(), 1);
    QCOMPARE(bills.value("收费金额").toDouble(), 60.0);
    QTest::qWait(10);
    QCOMPARE(hhReset.count(), 0);
}

void TestRowSharing::rolledBackWritesAreNotAnnounced()
{
    TestEstate e;
    fill(e);
    RecordSet& hh = e.env().rs档案();
    QCOMPARE(hh.count(), 3);
    QSignalSpy reset(&hh, &RecordSet::rowsReset);
    {
        Transaction t(e.db());
        e.db().exec("update 档案库 set 户名 = 'x'");
    }
    QTest::qWait(10);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(hh.value("户名").toString(), QStringLiteral("甲"));
}

void TestRowSharing::allPendingEditsInOneTransaction()
{
    TestEstate e;
    fill(e);
    e.addItem("01", "物业费", 50);
    RecordSet& hh = e.env().rs档案();
    RecordSet& items = e.env().rs项目();
    auto own = households(e);
    hh.setValue("户名", "甲改");
    items.setValue("固定收费", 55.0);
    own->moveLast();
    own->setValue("面积", 101.0);
    // A failing write leaves everything unwritten and pending.
    e.refuseWrites("update", "项目");
    QVERIFY_THROWS_EXCEPTION(StoreError, e.env().writeAllPending());
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = '0101'").toString(), QStringLiteral("甲"));
    QCOMPARE(e.scalar("select 面积 from 档案库 where 门牌号 = '0103'").toDouble(), 100.0);
    QVERIFY(hh.hasPendingChanges() && items.hasPendingChanges() && own->hasPendingChanges());
    e.refuseNothing("项目");
    e.env().writeAllPending();
    QVERIFY(!hh.hasPendingChanges() && !items.hasPendingChanges() && !own->hasPendingChanges());
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = '0101'").toString(), QStringLiteral("甲改"));
    QCOMPARE(e.scalar("select 面积 from 档案库 where 门牌号 = '0103'").toDouble(), 101.0);
    QCOMPARE(e.scalar("select 固定收费 from 项目").toDouble(), 55.0);
}

void TestRowSharing::requeryAfterANoticeKeepsTheRowAndResetsOnce_data()
{
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("current");
    QTest::addColumn<double>("balance");
    QTest::newRow("current row changed") << "update 档案库 set 账户余额 = 25 where 门牌号 = '0102'" << "0102" << 25.0;
    QTest::newRow("another row added") << "insert into 档案库 (门牌号, 账户余额) values ('0100', 5)" << "0102" << 20.0;
    QTest::newRow("current row deleted") << "delete from 档案库 where 门牌号 = '0102'" << "0103" << 30.0;
}

// A set written behind its back and then requeried (as after a collection) shows
// the file's rows on the same row and tells its views once, not again when the
// notice is delivered.
void TestRowSharing::requeryAfterANoticeKeepsTheRowAndResetsOnce()
{
    QFETCH(QString, write);
    QFETCH(QString, current);
    QFETCH(double, balance);
    TestEstate e;
    fill(e);
    RecordSet& shared = e.env().rs档案();
    shared.moveNext();  // on 0102
    QSignalSpy reset(&shared, &RecordSet::rowsReset);
    e.db().exec(write);
    shared.requery(true);
    QCOMPARE(shared.value("门牌号").toString(), current);
    QCOMPARE(shared.value("账户余额").toDouble(), balance);
    QCoreApplication::processEvents();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(shared.value("门牌号").toString(), current);
}

QTEST_MAIN(TestRowSharing)
#include "test_rowsharing.moc"
