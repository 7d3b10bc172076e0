#include "estate.h"

#include "records/householddefaults.h"
#include "records/householddeletion.h"
#include "records/householdexport.h"
#include "records/householdrenames.h"
#include "records/householdsearch.h"
#include "store/database.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sp(int n)
{
    return QString(n, u' ');
}

QVariant null()
{
    return QVariant();
}

}  // namespace

class HouseholdRulesTest : public QObject {
    Q_OBJECT
private slots:
    void exportLine_data();
    void exportLine();
    void exportFileIsGbkWithCrLf();
    void exportWritesEveryHouseholdInOrder();

    void placeholderDoor_data();
    void placeholderDoor();
    void addOnEmptyTableGivesFirstDoorAndDefaults();
    void addTwiceWithoutRenaming();
    void duplicatePlaceholderKeepsRowForCorrection();

    void deleteRemovesOnlyThatHouseholdsRows();
    void deleteMovesToNextOrFirst();
    void deleteOnlyHouseholdAndWithoutCurrent();
    void deleteUsesStoredDoorNotUnsavedEdit();
    void deleteUnsavedNewRowTouchesNoBills();

    void renamedDoorTakesBillsAndLinesAlong();
    void renameOntoAnExistingDoorChangesNothing();

    void startSearch_data();
    void startSearch();
    void nextAndPreviousByName();
    void nextAfterEndAndPreviousBeforeStartDoNothing();
};

// ---- export ------------------------------------------------------------------

void HouseholdRulesTest::exportLine_data()
{
    QTest::addColumn<QVariant>("door");
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QVariant>("phone");
    QTest::addColumn<QVariant>("unit");
    QTest::addColumn<QVariant>("other");
    QTest::addColumn<QString>("expected");

    QTest::newRow("typical household")
        << QVariant("0001") << QVariant("张三") << QVariant("13912345678") << QVariant("城关镇")
        << QVariant("配偶:李四")
        << sp(15) + "0001|" + sp(26) + "张三|" + "912345678|" + sp(34) + "城关镇|" + "配偶:李四";
    QTest::newRow("short telephone right-aligned")
        << QVariant("12") << QVariant("甲") << QVariant("12345") << QVariant("") << QVariant("")
        << sp(17) + "12|" + sp(28) + "甲|" + sp(4) + "12345|" + sp(39) + "|";
    QTest::newRow("name of 16 characters: no blanks, nothing cut")
        << QVariant("1") << QVariant(QString(16, u'名')) << QVariant("1") << QVariant("u") << QVariant("")
        << sp(18) + "1|" + QString(16, u'名') + "|" + sp(8) + "1|" + sp(38) + "u|";
    QTest::newRow("name of 30 characters keeps its last 29")
        << QVariant("1") << QVariant("甲" + QString(29, u'乙')) << QVariant("") << QVariant("") << QVariant("")
        << sp(18) + "1|" + QString(29, u'乙') + "|" + sp(9) + "|" + sp(39) + "|";
    QTest::newRow("unit of 21 characters: no blanks")
        << QVariant("1") << QVariant("") << QVariant("") << QVariant(QString(21, u'单')) << QVariant("x")
        << sp(18) + "1|" + sp(29) + "|" + sp(9) + "|" + QString(21, u'单') + "|x";
    QTest::newRow("door number over 20 characters keeps its end")
        << QVariant("ABCDEFGHIJKLMNOPQRSTU") << null() << null() << null() << null()
        << "CDEFGHIJKLMNOPQRSTU|" + sp(29) + "|" + sp(9) + "|" + sp(39) + "|";
    QTest::newRow("every value empty (null)")
        << null() << null() << null() << null() << null() << sp(19) + "|" + sp(29) + "|" + sp(9) + "|" + sp(39) + "|";
    QTest::newRow("line breaks in other information stay on one line")
        << QVariant("7") << QVariant("王") << QVariant("") << QVariant("") << QVariant("配偶:\r\n年龄:\n籍贯:")
        << sp(18) + "7|" + sp(28) + "王|" + sp(9) + "|" + sp(39) + "|" + "配偶: 年龄: 籍贯:";
}

void HouseholdRulesTest::exportLine()
{
    QFETCH(QVariant, door);
    QFETCH(QVariant, name);
    QFETCH(QVariant, phone);
    QFETCH(QVariant, unit);
    QFETCH(QVariant, other);
    QFETCH(QString, expected);
    QCOMPARE(HouseholdExport::line(door, name, phone, unit, other), expected);
}

void HouseholdRulesTest::exportFileIsGbkWithCrLf()
{
    QTemporaryDir reports;
    qputenv("FENWARY_REPORT_DIR", (reports.path() + "/报表").toUtf8());
    TestEstate estate;
    estate.db().exec("insert into 档案库 (门牌号, 户名, 联系电话, 单位, 其他信息) values (?, ?, ?, ?, ?)",
                     {"0001", "张三", "13912345678", "城关镇", "无"});
    const QString path = HouseholdExport::write(estate.env().rs档案());
    qunsetenv("FENWARY_REPORT_DIR");
    QCOMPARE(path, reports.path() + "/报表/档案明细.txt");

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray expected = QByteArray(15, ' ') + "0001|" + QByteArray(26, ' ') + "\xd5\xc5\xc8\xfd|" +
                                "912345678|" + QByteArray(34, ' ') + "\xb3\xc7\xb9\xd8\xd5\xf2|" + "\xce\xde" +
                                "\r\n";
    QCOMPARE(f.readAll(), expected);
}

void HouseholdRulesTest::exportWritesEveryHouseholdInOrder()
{
    TestEstate estate;
    estate.addHousehold("0002", "乙");
    estate.addHousehold("0001", "甲");
    RecordSet& rs = estate.env().rs档案();
    rs.moveFirst();
    const QStringList lines = HouseholdExport::lines(rs);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(sp(15) + "0002|"));
    QVERIFY(lines[1].startsWith(sp(15) + "0001|"));
    QCOMPARE(rs.position(), 0);  // reading does not move the shared record set
}

// ---- adding ------------------------------------------------------------------

void HouseholdRulesTest::placeholderDoor_data()
{
    QTest::addColumn<QVariant>("greatest");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty table") << QVariant() << "0001";
    QTest::newRow("0102") << QVariant("0102") << "0102(新)";
    QTest::newRow("first 10 of 14 characters") << QVariant("A-12-3401-0009") << "A-12-3401-(新)";
    QTest::newRow("earlier placeholder") << QVariant("0102(新)") << "0102(新)(新)";
    QTest::newRow("empty door number") << QVariant("") << "(新)";
}

void HouseholdRulesTest::placeholderDoor()
{
    QFETCH(QVariant, greatest);
    QFETCH(QString, expected);
    QCOMPARE(HouseholdDefaults::placeholderDoor(greatest), expected);
}

void HouseholdRulesTest::addOnEmptyTableGivesFirstDoorAndDefaults()
{
    TestEstate estate;
    HouseholdDefaults::addHousehold(estate.env(), QDate(2024, 7, 5));
    const QList<QVariantList> rows =
        estate.rows("select 门牌号, 户名, 其他信息, 账户余额, 单位, 籍贯, 收费说明 from 档案库");
    QCOMPARE(rows.size(), 1);
    const QVariantList r = rows[0];
    QCOMPARE(r[0].toString(), QString("0001"));
    QCOMPARE(r[1].toString(), QString("户名"));
    QCOMPARE(r[2].toString(), QString("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:"));
    QCOMPARE(r[3].toDouble(), 0.0);
    QCOMPARE(r[4].toString(), HouseholdDefaults::townName());
    QCOMPARE(r[5].toString(), HouseholdDefaults::townName());
    QVERIFY(!HouseholdDefaults::townName().isEmpty());
    QCOMPARE(r[6].toString(), QString("您的物业费到期日为2024年07月05日请及时缴纳!"));
    RecordSet& rs = estate.env().rs档案();
    QVERIFY(rs.hasCurrent());
    QVERIFY(!rs.isPending(rs.position()));
}

void HouseholdRulesTest::addTwiceWithoutRenaming()
{
    TestEstate estate;
    estate.addHousehold("0001");
    estate.addHousehold("0102");
    HouseholdDefaults::addHousehold(estate.env(), estate.clock.today());
    HouseholdDefaults::addHousehold(estate.env(), estate.clock.today());
    QCOMPARE(estate.rows("select 门牌号 from 档案库 order by ID").size(), 4);
    QCOMPARE(estate.scalar("select 门牌号 from 档案库 order by ID desc limit 1").toString(),
             QString("0102(新)(新)"));
    QCOMPARE(estate.scalar("select count(*) from 档案库 where 门牌号 = ?", {"0102(新)"}).toInt(), 1);
    QCOMPARE(estate.env().rs档案().value("门牌号").toString(), QString("0102(新)(新)"));
}

void HouseholdRulesTest::duplicatePlaceholderKeepsRowForCorrection()
{
    TestEstate estate;
    estate.addHousehold("A-12-3401-0009");
    estate.addHousehold("A-12-3401-(新)");  // sorts before the first, so the placeholder repeats it
    RecordSet& rs = estate.env().rs档案();
    QVERIFY_THROWS_EXCEPTION(StoreError, HouseholdDefaults::addHousehold(estate.env(), estate.clock.today()));
    QCOMPARE(estate.count("档案库"), 2);
    QCOMPARE(rs.count(), 3);
    QVERIFY(rs.isPending(rs.position()));
    QCOMPARE(rs.value("门牌号").toString(), QString("A-12-3401-(新)"));
    QCOMPARE(rs.value("户名").toString(), QString("户名"));

    rs.setValue("门牌号", "A-12-3401-0010");
    rs.updateBatch();
    QCOMPARE(estate.count("档案库"), 3);
    QCOMPARE(estate.scalar("select 户名 from 档案库 where 门牌号 = ?", {"A-12-3401-0010"}).toString(), QString("户名"));
}

// ---- deleting ----------------------------------------------------------------

namespace {

void addHistory(TestEstate& e, const QString& door)
{
    for (const QString month : {"202405", "202406"}) {
        e.addBill(door, month, 10, month == QString("202405"));
        e.addFixedLine(door, month, "01", "物业费", 6);
        e.addMeteredLine(door, month, "02", "水费", 1, 2, 4, 4);
    }
}

int rowsOf(TestEstate& e, const QString& table, const QString& door)
{
    return e.scalar(QString("select count(*) from %1 where 门牌号 = ?").arg(table), {door}).toInt();
}

}  // namespace

void HouseholdRulesTest::deleteRemovesOnlyThatHouseholdsRows()
{
    TestEstate estate;
    for (const QString door : {"0101", "O'Neil", "0103"}) {
        estate.addHousehold(door, "户" + door);
        addHistory(estate, door);
    }
    estate.addBill("0101 ", "202406", 1);  // a similar door number is another household's
    RecordSet& bills = estate.env().rs缴费历史();
    QCOMPARE(bills.count(), 7);
    RecordSet& rs = estate.env().rs档案();
    rs.moveTo(1);
    QCOMPARE(HouseholdDeletion(estate.env()).deleteCurrent(), HouseholdDeletion::Result::Deleted);

    for (const QString table : {"缴费历史", "收费1", "收费2"}) {
        QCOMPARE(rowsOf(estate, table, "O'Neil"), 0);
        QCOMPARE(rowsOf(estate, table, "0101"), 2);
        QCOMPARE(rowsOf(estate, table, "0103"), 2);
    }
    QCOMPARE(rowsOf(estate, "缴费历史", "0101 "), 1);
    QCOMPARE(estate.count("档案库"), 2);
    QCOMPARE(bills.count(), 5);  // the shared bills were read again
    QCOMPARE(estate.env().rs收费1().count(), 4);
}

void HouseholdRulesTest::deleteMovesToNextOrFirst()
{
    TestEstate estate;
    for (const QString door : {"0101", "0102", "0103", "0104"})
        estate.addHousehold(door);
    RecordSet& rs = estate.env().rs档案();
    rs.moveTo(1);
    HouseholdDeletion(estate.env()).deleteCurrent();
    QCOMPARE(rs.value("门牌号").toString(), QString("0103"));
    rs.moveLast();
    HouseholdDeletion(estate.env()).deleteCurrent();
    QCOMPARE(rs.value("门牌号").toString(), QString("0101"));
    QCOMPARE(rs.count(), 2);
}

void HouseholdRulesTest::deleteOnlyHouseholdAndWithoutCurrent()
{
    TestEstate estate;
    estate.addHousehold("0001");
    addHistory(estate, "0001");
    RecordSet& rs = estate.env().rs档案();
    QCOMPARE(HouseholdDeletion(estate.env()).deleteCurrent(), HouseholdDeletion::Result::Deleted);
    QCOMPARE(estate.count("档案库"), 0);
    QCOMPARE(estate.count("缴费历史"), 0);
    QVERIFY(!rs.hasCurrent());
    QCOMPARE(HouseholdDeletion(estate.env()).deleteCurrent(), HouseholdDeletion::Result::NoCurrent);

    estate.addHousehold("0002");
    rs.requery();
    rs.moveTo(rs.count());  // after an export the set stands after its last row
    QCOMPARE(HouseholdDeletion(estate.env()).deleteCurrent(), HouseholdDeletion::Result::NoCurrent);
    QCOMPARE(estate.count("档案库"), 1);
}

void HouseholdRulesTest::deleteUsesStoredDoorNotUnsavedEdit()
{
    TestEstate estate;
    estate.addHousehold("0101");
    estate.addHousehold("0102");
    addHistory(estate, "0101");
    addHistory(estate, "0102");
    RecordSet& rs = estate.env().rs档案();
    rs.moveTo(1);
    rs.setValue("门牌号", "0101");  // typed over, not saved
    HouseholdDeletion(estate.env()).deleteCurrent();
    QCOMPARE(rowsOf(estate, "缴费历史", "0102"), 0);
    QCOMPARE(rowsOf(estate, "缴费历史", "0101"), 2);
    QCOMPARE(rowsOf(estate, "收费1", "0101"), 2);
    QCOMPARE(estate.scalar("select 门牌号 from 档案库").toString(), QString("0101"));
    QCOMPARE(rs.count(), 1);
    QVERIFY(!rs.hasPendingChanges());
}

void HouseholdRulesTest::deleteUnsavedNewRowTouchesNoBills()
{
    TestEstate estate;
    estate.addHousehold("0102");
    addHistory(estate, "0102");
    RecordSet& rs = estate.env().rs档案();
    rs.addNew();
    rs.setValue("门牌号", "0102");  // a duplicate that could never be saved
    HouseholdDeletion(estate.env()).deleteCurrent();
    QCOMPARE(rowsOf(estate, "缴费历史", "0102"), 2);
    QCOMPARE(estate.count("档案库"), 1);
    QCOMPARE(rs.count(), 1);
    QCOMPARE(rs.value("门牌号").toString(), QString("0102"));
    QVERIFY(!rs.hasPendingChanges());
}

// ---- search ------------------------------------------------------------------

namespace {

void addSearchHouseholds(TestEstate& e)
{
    e.addHousehold("0100", "住0102");
    e.addHousehold("0101", "甲一");
    e.addHousehold("0102", "乙甲");
    e.addHousehold("0103", "O'Brien");
    e.addHousehold("0104", "50%折扣");
    e.addHousehold("0105", "丙");
    e.addHousehold("A-106", "Smith");
}

}  // namespace

void HouseholdRulesTest::startSearch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("door");  // empty: nothing found
    QTest::newRow("door number before names") << "0102" << "0102";
    QTest::newRow("blanks around the text") << "  0103 " << "0103";
    QTest::newRow("part of a name") << "甲" << "0101";
    QTest::newRow("apostrophe") << "O'Brien" << "0103";
    QTest::newRow("lone apostrophe") << "'" << "0103";
    QTest::newRow("percent is literal") << "%" << "0104";
    QTest::newRow("percent pattern is not a wildcard") << "5%扣" << "";
    QTest::newRow("underscore is literal") << "甲_" << "";
    QTest::newRow("nothing matches") << "无此户" << "";
    QTest::newRow("door number in other letter case") << "a-106" << "A-106";
    QTest::newRow("name in other letter case") << "SMI" << "A-106";
    QTest::newRow("empty text matches the first name") << "" << "0100";
}

void HouseholdRulesTest::startSearch()
{
    QFETCH(QString, text);
    QFETCH(QString, door);
    TestEstate estate;
    addSearchHouseholds(estate);
    RecordSet& rs = estate.env().rs档案();
    rs.moveLast();
    const QString message = HouseholdSearch(rs).start(text);
    if (door.isEmpty()) {
        QCOMPARE(message, QString("已到最后记录"));
        QVERIFY(rs.eof());
        QVERIFY(!rs.hasCurrent());
    } else {
        QCOMPARE(message, QString());
        QCOMPARE(rs.value("门牌号").toString(), door);
    }
}

void HouseholdRulesTest::nextAndPreviousByName()
{
    TestEstate estate;
    addSearchHouseholds(estate);
    RecordSet& rs = estate.env().rs档案();
    HouseholdSearch search(rs);
    QCOMPARE(search.start("甲"), QString());
    QCOMPARE(rs.value("户名").toString(), QString("甲一"));
    QCOMPARE(search.next("甲"), QString());
    QCOMPARE(rs.value("户名").toString(), QString("乙甲"));
    QCOMPARE(search.previous("甲"), QString());
    QCOMPARE(rs.value("户名").toString(), QString("甲一"));
    QCOMPARE(search.previous("甲"), QString("已到最前记录"));
    QVERIFY(rs.bof());
    QCOMPARE(search.next("甲"), QString());  // from before the first row
    QCOMPARE(rs.value("户名").toString(), QString("甲一"));
    search.next("甲");
    QCOMPARE(search.next("甲"), QString("已到最后记录"));
    QVERIFY(rs.eof());

    // After a door number match, next still goes by name.
    QCOMPARE(search.start("0100"), QString());
    QCOMPARE(search.next("0102"), QString("已到最后记录"));
}

void HouseholdRulesTest::nextAfterEndAndPreviousBeforeStartDoNothing()
{
    TestEstate estate;
    addSearchHouseholds(estate);
    RecordSet& rs = estate.env().rs档案();
    HouseholdSearch search(rs);
    rs.moveTo(rs.count());
    QCOMPARE(search.next("甲"), QString());
    QVERIFY(rs.eof());
    rs.moveTo(-1);
    QCOMPARE(search.previous("甲"), QString());
    QVERIFY(rs.bof());

    TestEstate empty;
    HouseholdSearch none(empty.env().rs档案());
    QCOMPARE(none.start("甲"), QString("已到最后记录"));
    QCOMPARE(none.next("甲"), QString());
    QCOMPARE(none.previous("甲"), QString());
}

// ---- door number changes -----------------------------------------------------

namespace {

void addTwoHouseholdsWithHistory(TestEstate& e)
{
    for (const char* d : {"0101", "0102"}) {
        e.addHousehold(d, "户");
        for (const char* m : {"202405", "202406"}) {
            e.addBill(d, m, 30);
            e.addFixedLine(d, m, "01", "物业费", 10);
            e.addMeteredLine(d, m, "02", "水费", 1, 5, 5, 20);
        }
    }
    HouseholdRenames::install(e.db());
    HouseholdRenames::install(e.db());  // once, however often
}

QStringList doorsOf(TestEstate& e)
{
    QStringList out;
    for (const char* t : {"档案库", "缴费历史", "收费1", "收费2"})
        for (const QVariantList& r : e.rows(QStringLiteral("select 门牌号, count(*) from %1 group by 门牌号 order by 门牌号")
                                                .arg(QString::fromUtf8(t))))
            out << QStringLiteral("%1:%2×%3").arg(QString::fromUtf8(t), r[0].toString(), r[1].toString());
    return out;
}

}  // namespace

void HouseholdRulesTest::renamedDoorTakesBillsAndLinesAlong()
{
    TestEstate e;
    addTwoHouseholdsWithHistory(e);
    RecordSet& rs = e.env().rs档案();
    RecordSet& bills = e.env().rs缴费历史();
    QCOMPARE(bills.count(), 4);
    rs.setValue("门牌号", "A-0101");
    rs.moveNext();
    QCOMPARE(doorsOf(e), (QStringList{"档案库:0102×1", "档案库:A-0101×1", "缴费历史:0102×2", "缴费历史:A-0101×2",
                                      "收费1:0102×2", "收费1:A-0101×2", "收费2:0102×2", "收费2:A-0101×2"}));
    // Windows showing the bills see the new door number.
    QCOMPARE(bills.valueAt(0, "门牌号").toString(), QStringLiteral("A-0101"));
}

void HouseholdRulesTest::renameOntoAnExistingDoorChangesNothing()
{
    const QString door = QStringLiteral("0102");
    TestEstate e;
    addTwoHouseholdsWithHistory(e);
    const QStringList before = doorsOf(e);
    RecordSet& rs = e.env().rs档案();
    rs.setValue("门牌号", door);
    try {
        rs.update();
        QFAIL("the duplicate was stored");
    } catch (const StoreError& err) {
        QCOMPARE(err.message(), HouseholdRenames::duplicateText());
    }
    QCOMPARE(doorsOf(e), before);
    QVERIFY(rs.hasPendingChanges());  // left in the box for the operator to correct
    rs.setValue("门牌号", "0103");
    rs.update();
    QCOMPARE(e.scalar("select count(*) from 缴费历史 where 门牌号 = '0103'").toInt(), 2);
}

QTEST_GUILESS_MAIN(HouseholdRulesTest)
#include "test_household_rules.moc"
