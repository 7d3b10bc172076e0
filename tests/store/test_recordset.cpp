#include "estate.h"

#include "store/binder.h"
#include "store/recordsetmodel.h"

#include "common/numbers.h"

#include <QAbstractItemModelTester>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

using Dir = RecordSet::Direction;
using Start = RecordSet::Start;

class TestRecordSet : public QObject {
    Q_OBJECT
private:
    void fill(TestEstate& e)
    {
        e.addHousehold("0101", "甲一");
        e.addHousehold("0102", "乙甲");
        e.addHousehold("0103", "丙");
    }
private slots:
    void twoObserversSeeOneCurrentRow();
    void bofAndEof();
    void findForwardAndBackward_data();
    void findForwardAndBackward();
    void findNothingLeavesBofOrEof();
    void filterIsEvaluatedByTheDatabase();
    void addNewThenUpdate();
    void movingOffAnEditedRowWritesIt();
    void failedWriteKeepsTheRowPending();
    void batchUpdateWritesEveryChangeInOneTransaction();
    void deleteThenMoveNextGoesToTheFollowingRow();
    void requeryKeepsPositionWhenAsked();
    void emptyFlagCountsAsFalse();
    void modelShowsMasksAndCheckBoxes();
    void modelEditsReachTheRecordSet();
    void binderFollowsCurrentRowAndWritesBack();
    void numberCellsAndBoxesTakeFullWidthAndRefuseText_data();
    void numberCellsAndBoxesTakeFullWidthAndRefuseText();
    void findIgnoresLetterCase();
};

void TestRecordSet::twoObserversSeeOneCurrentRow()
{
    TestEstate e;
    fill(e);
    RecordSet& a = e.env().rs档案();
    RecordSet& b = e.env().command("档案");
    QCOMPARE(&a, &b);
    QSignalSpy moved(&a, &RecordSet::currentChanged);
    a.moveNext();
    QCOMPARE(b.value("门牌号").toString(), QStringLiteral("0102"));
    QVERIFY(moved.count() >= 1);
}

void TestRecordSet::bofAndEof()
{
    TestEstate e;
    RecordSet& rs = e.env().rs档案();
    QVERIFY(rs.bof() && rs.eof() && !rs.hasCurrent());
    fill(e);
    rs.requery();
    QVERIFY(!rs.bof() && !rs.eof());
    rs.moveLast();
    rs.moveNext();
    QVERIFY(rs.eof() && !rs.hasCurrent());
    QVERIFY(rs.value("门牌号").isNull());
    QVERIFY_THROWS_EXCEPTION(StoreError, rs.moveNext());
    rs.moveFirst();
    rs.movePrevious();
    QVERIFY(rs.bof());
    QVERIFY_THROWS_EXCEPTION(StoreError, rs.movePrevious());
}

void TestRecordSet::findForwardAndBackward_data()
{
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("found");
    QTest::newRow("forward from first") << -1 << 0 << "0101";
    QTest::newRow("forward from second (included)") << 1 << 0 << "0102";
    QTest::newRow("backward from third") << 2 << 1 << "0102";
    QTest::newRow("backward from first") << 0 << 1 << "0101";
}

void TestRecordSet::findForwardAndBackward()
{
    QFETCH(int, startRow);
    QFETCH(int, direction);
    QFETCH(QString, found);
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    const Criterion byName = Criterion::contains("户名", "甲");
    if (startRow < 0) {
        rs.moveLast();
        QVERIFY(rs.find(byName, Dir::Forward, Start::First));
    } else {
        rs.moveTo(startRow);
        const RecordSet::Bookmark mark = rs.bookmark();
        rs.moveFirst();
        QVERIFY(rs.find(byName, direction ? Dir::Backward : Dir::Forward, Start::Bookmark, mark));
    }
    QCOMPARE(rs.value("门牌号").toString(), found);
}

void TestRecordSet::findNothingLeavesBofOrEof()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    QVERIFY(!rs.find(Criterion::equals("门牌号", "9999"), Dir::Forward, Start::First));
    QVERIFY(rs.eof());
    QVERIFY(!rs.find(Criterion::equals("门牌号", "9999"), Dir::Backward, Start::Last));
    QVERIFY(rs.bof());
}

void TestRecordSet::filterIsEvaluatedByTheDatabase()
{
    TestEstate e;
    fill(e);
    e.addBill("0101", "202401", 10, true);
    e.addBill("0101", "202402", 20);
    e.addBill("0102", "202401", 30);
    RecordSet& rs = e.env().rs缴费历史();
    rs.setFilter(Criterion::equals("门牌号", "0101").andTrue("缴费标志"));
    QCOMPARE(rs.count(), 1);
    QCOMPARE(rs.value("收费金额").toDouble(), 10.0);
    rs.setFilter(Criterion::parse("门牌号 = '0101' AND 缴费标志 = false"));
    QCOMPARE(rs.count(), 1);
    QCOMPARE(rs.value("月份").toString(), QStringLiteral("202402"));
    rs.setFilter(Criterion::equals("门牌号", "nobody"));
    QVERIFY(rs.eof() && rs.bof());
    // Rows written behind the set's back appear after a requery, the filter stays.
    e.addBill("nobody", "202401", 1);
    rs.requery();
    QCOMPARE(rs.count(), 1);
    rs.clearFilter();
    QCOMPARE(rs.count(), 4);
    QVERIFY_THROWS_EXCEPTION(CriterionError, rs.setFilter(Criterion::equals("no such column", 1)));
    QCOMPARE(rs.count(), 4);
}

void TestRecordSet::addNewThenUpdate()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    rs.addNew();
    QCOMPARE(rs.position(), 3);
    rs.setValue("门牌号", "0201");
    rs.setValue("账户余额", 12.5);
    QVERIFY(rs.isPending(3));
    QCOMPARE(e.count("档案库"), 3);
    rs.update();
    QCOMPARE(e.count("档案库"), 4);
    QVERIFY(!rs.hasPendingChanges());
    QCOMPARE(rs.value("ID").toLongLong(), e.scalar("select ID from 档案库 where 门牌号 = '0201'").toLongLong());
    QCOMPARE(e.scalar("select 账户余额 from 档案库 where 门牌号 = '0201'").toDouble(), 12.5);
}

void TestRecordSet::movingOffAnEditedRowWritesIt()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    rs.setValue("户名", "改名");
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = '0101'").toString(), QStringLiteral("甲一"));
    rs.moveNext();
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = '0101'").toString(), QStringLiteral("改名"));
}

void TestRecordSet::failedWriteKeepsTheRowPending()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    rs.addNew();
    rs.setValue("门牌号", "0101");
    QVERIFY_THROWS_EXCEPTION(StoreError, rs.updateBatch());
    QVERIFY(rs.hasPendingChanges());
    QCOMPARE(rs.position(), 3);
    QVERIFY_THROWS_EXCEPTION(StoreError, rs.moveFirst());
    QCOMPARE(rs.position(), 3);  // the move did not happen
    rs.setValue("门牌号", "0104");
    rs.moveFirst();
    QCOMPARE(e.count("档案库"), 4);
}

void TestRecordSet::batchUpdateWritesEveryChangeInOneTransaction()
{
    TestEstate e;
    e.addItem("01", "物业费", 50);
    e.addItem("02", "水费", 2, true, true);
    RecordSet& rs = e.env().rs项目();
    rs.setValue("项目名", "物业管理费");  // edit first row
    rs.moveLast();
    QVERIFY(rs.deleteCurrent());
    rs.addNew();
    rs.setValue("项目号", "03");
    rs.addNew();  // leaving an added row writes it, so only the last stays pending
    rs.setValue("项目号", "04");
    // A trigger makes the last insert fail: nothing of the batch may land.
    e.refuseWrites("insert", "项目", "new.项目号 = '04'");
    QVERIFY_THROWS_EXCEPTION(StoreError, rs.updateBatch());
    QCOMPARE(e.rows("select 项目号, 项目名 from 项目 order by 项目号"),
             (QList<QVariantList>{{"01", "物业管理费"}, {"02", "水费"}, {"03", QVariant()}}));
    e.refuseNothing("项目");
    rs.updateBatch();
    QCOMPARE(e.rows("select 项目号 from 项目 order by 项目号"), (QList<QVariantList>{{"01"}, {"03"}, {"04"}}));
}

void TestRecordSet::deleteThenMoveNextGoesToTheFollowingRow()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    rs.moveNext();
    QVERIFY(rs.deleteCurrent());
    QVERIFY(!rs.hasCurrent());
    rs.moveNext();
    QCOMPARE(rs.value("门牌号").toString(), QStringLiteral("0103"));
    QCOMPARE(e.count("档案库"), 3);
    rs.updateBatch();
    QCOMPARE(e.count("档案库"), 2);
    // The saved deletion leaves the set on the row it had moved to.
    QCOMPARE(rs.count(), 2);
    QCOMPARE(rs.value("门牌号").toString(), QStringLiteral("0103"));
}

void TestRecordSet::requeryKeepsPositionWhenAsked()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    rs.moveLast();
    e.db().exec("update 档案库 set 户名 = '新' where 门牌号 = '0103'");
    rs.requery(true);
    QCOMPARE(rs.value("户名").toString(), QStringLiteral("新"));
    rs.requery();
    QCOMPARE(rs.position(), 0);
}

void TestRecordSet::emptyFlagCountsAsFalse()
{
    TestEstate e;
    e.db().exec("insert into 缴费历史 (门牌号, 月份, 缴费标志) values ('1', '202401', null)");
    RecordSet& rs = e.env().rs缴费历史();
    rs.setFilter(Criterion::isFalse("缴费标志"));
    QCOMPARE(rs.count(), 1);
    QVERIFY(!rs.find(Criterion::isTrue("缴费标志"), Dir::Forward, Start::First));
}

void TestRecordSet::modelShowsMasksAndCheckBoxes()
{
    TestEstate e;
    e.addHousehold("0101", "甲", 85.5, 1234.5);
    e.addItem("01", "物业费", QVariant(), false, false, true);
    RecordSetModel households(e.env().rs档案(),
                              {{"门牌号", "", "", GridColumn::Kind::Auto, true},
                               {"账户余额", "", "\"￥\"#,##0.00000", GridColumn::Kind::Auto, true},
                               {"面积", "", "", GridColumn::Kind::Auto, true}});
    QAbstractItemModelTester t1(&households, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(households.headerData(1, Qt::Horizontal).toString(), QStringLiteral("账户余额"));
    QCOMPARE(households.data(households.index(0, 1)).toString(), QStringLiteral("￥1,234.50000"));
    QCOMPARE(households.data(households.index(0, 2)).toString(), QStringLiteral("85.5"));

    RecordSetModel items(e.env().rs项目(), {{"项目名", "项目名", "", GridColumn::Kind::Auto, true},
                                            {"按面积", "是否按面积", "", GridColumn::Kind::Auto, true},
                                            {"固定收费", "固定收费(单价)", "\"￥\"#,##0.00", GridColumn::Kind::Auto, true}});
    QAbstractItemModelTester t2(&items, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(items.data(items.index(0, 1), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(items.flags(items.index(0, 1)) & Qt::ItemIsUserCheckable);
    QCOMPARE(items.data(items.index(0, 2)).toString(), QString());
}

void TestRecordSet::modelEditsReachTheRecordSet()
{
    TestEstate e;
    e.addItem("01", "物业费", 50);
    RecordSet& rs = e.env().rs项目();
    RecordSetModel m(rs, {{"项目名", "", "", GridColumn::Kind::Auto, true},
                          {"计算标志", "", "", GridColumn::Kind::Auto, true},
                          {"固定收费", "", "", GridColumn::Kind::Auto, true}});
    m.setNewRowLine(true);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m.rowCount(), 2);
    QVERIFY(m.setData(m.index(0, 1), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!m.setData(m.index(0, 2), "abc"));
    QVERIFY(m.setData(m.index(0, 2), "2.5"));
    QVERIFY(m.setData(m.index(1, 0), "电费"));  // typing into the new-row line adds a row
    QCOMPARE(m.rowCount(), 3);
    rs.updateBatch();
    QCOMPARE(e.rows("select 项目名, 计算标志, 固定收费 from 项目 order by rowid"),
             (QList<QVariantList>{{"物业费", 1, 2.5}, {"电费", QVariant(), QVariant()}}));
}

void TestRecordSet::binderFollowsCurrentRowAndWritesBack()
{
    TestEstate e;
    fill(e);
    RecordSet& rs = e.env().rs档案();
    QLineEdit door, name;
    Binder b(rs);
    b.bind(&door, "门牌号");
    b.bind(&name, "户名");
    QCOMPARE(door.text(), QStringLiteral("0101"));
    rs.moveNext();  // another window moves the shared set
    QCOMPARE(name.text(), QStringLiteral("乙甲"));
    name.setFocus();
    name.selectAll();
    QTest::keyClicks(&name, "O'Neil");
    QCOMPARE(rs.value("户名").toString(), QStringLiteral("O'Neil"));
    rs.moveNext();
    QCOMPARE(e.scalar("select 户名 from 档案库 where 门牌号 = '0102'").toString(), QStringLiteral("O'Neil"));
    rs.moveLast();
    rs.moveNext();
    QCOMPARE(door.text(), QString());
}

void TestRecordSet::numberCellsAndBoxesTakeFullWidthAndRefuseText_data()
{
    QTest::addColumn<bool>("grid");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("stored");  // invalid: refused; null: emptied
    for (bool grid : {true, false}) {
        const QByteArray where = grid ? "cell " : "box ";
        QTest::newRow(where + "full-width") << grid << "８５．５" << QVariant(85.5);
        QTest::newRow(where + "full-width minus") << grid << "－３" << QVariant(-3.0);
        QTest::newRow(where + "empty") << grid << "" << QVariant(QMetaType(QMetaType::Double));
        QTest::newRow(where + "unit") << grid << "80平米" << QVariant();
        QTest::newRow(where + "commas") << grid << "1,2,3" << QVariant();
    }
    // (An emptied number column is stored as an empty value.)
}

void TestRecordSet::numberCellsAndBoxesTakeFullWidthAndRefuseText()
{
    QFETCH(bool, grid);
    QFETCH(QString, text);
    QFETCH(QVariant, stored);
    TestEstate e;
    e.addItem("01", "物业费", 50);
    RecordSet& rs = e.env().rs项目();
    QStringList messages;
    const auto complain = [&](const QString& m) { messages << m; };
    if (grid) {
        RecordSetModel m(rs, {{"固定收费", "单价", "", GridColumn::Kind::Auto, true}});
        m.setErrorHandler(complain);
        QSignalSpy refused(&m, &RecordSetModel::refused);
        QCOMPARE(m.setData(m.index(0, 0), text), stored.isValid());
        QCOMPARE(refused.count(), stored.isValid() ? 0 : 1);
    } else {
        QWidget form;
        auto* layout = new QGridLayout(&form);
        auto* box = new QLineEdit(&form);
        auto* other = new QLineEdit(&form);
        layout->addWidget(new QLabel("单价:", &form), 0, 0);
        layout->addWidget(box, 0, 1);
        layout->addWidget(other, 1, 1);
        Binder b(rs);
        b.setErrorHandler(complain);
        b.bind(box, "固定收费");
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        box->setFocus();
        box->selectAll();
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        other->setFocus();  // leaving the box
        QCOMPARE(box->hasFocus(), !stored.isValid());
        if (stored.isValid() && !stored.isNull())
            QCOMPARE(box->text(), QLocale::c().toString(stored.toDouble()));
    }
    const QVariant want = !stored.isValid() ? QVariant(50.0) : stored.isNull() ? QVariant() : stored;
    if (stored.isValid())
        QVERIFY(messages.isEmpty());
    else
        QCOMPARE(messages, QStringList{notANumberText("单价", text)});
    QCOMPARE(rs.value("固定收费"), want);
    rs.updateBatch();
    QCOMPARE(e.scalar("select 固定收费 from 项目"), want);
}

void TestRecordSet::findIgnoresLetterCase()
{
    TestEstate e;
    e.addHousehold("A-101", "Smith");
    e.addHousehold("B-101", "Jones");
    RecordSet& rs = e.env().rs档案();
    QVERIFY(rs.find(Criterion::equals("门牌号", "b-101"), Dir::Forward, Start::First));
    QCOMPARE(rs.value("门牌号").toString(), QStringLiteral("B-101"));
    QVERIFY(rs.find(Criterion::contains("户名", "SMI"), Dir::Forward, Start::First));
    QCOMPARE(rs.value("门牌号").toString(), QStringLiteral("A-101"));
    QVERIFY(!rs.find(Criterion::equals("门牌号", "ａ-101"), Dir::Forward, Start::First));  // ASCII only
}

QTEST_MAIN(TestRecordSet)
#include "test_recordset.moc"
