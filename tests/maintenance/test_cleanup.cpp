#include "estate.h"
#include "fixtures/refusereads.h"

#include "maintenance/cleanup.h"
#include "maintenance/cleanupwindow.h"
#include "maintenance/windows.h"
#include "common/windowregistry.h"
#include "store/database.h"
#include "store/sqlite.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kWarning = QStringLiteral(
    "删除数据请慎重，请先进行备份，一旦删除无法恢复，另外，系统只删除已缴用户的信息，不删除欠缴用户的信息！");
const QString kDone = QStringLiteral("清理完毕，请关闭程序后重新打开程序！");

void addBillWithLines(TestEstate& e, const QString& door, const QString& month, bool paid)
{
    e.addBill(door, month, 10, paid);
    e.addFixedLine(door, month, "01", "物业费", 6);
    e.addMeteredLine(door, month, "02", "水费", 1, 2, 4, 4);
}

// A: paid 202401, unpaid 202402. B: paid 202401 and 202402. C: unpaid 202403.
// D: 202402 with an empty paid flag. A line of 202401 whose bill is missing.
void addHistory(TestEstate& e)
{
    addBillWithLines(e, "A", "202401", true);
    addBillWithLines(e, "A", "202402", false);
    addBillWithLines(e, "B", "202401", true);
    addBillWithLines(e, "B", "202402", true);
    addBillWithLines(e, "C", "202403", false);
    e.db().exec("insert into 缴费历史 (门牌号, 月份, 收费金额, 缴费标志) values ('D', '202402', 5, null)");
    e.addFixedLine("D", "202402", "01", "物业费", 5);
    e.addFixedLine("E", "202401", "01", "物业费", 5);
}

// Rows of the three tables as "door month" texts.
QStringList contents(TestEstate& e, const QString& table)
{
    QStringList out;
    for (const QVariantList& r : e.rows(QString("select 门牌号, 月份 from %1 order by 门牌号, 月份").arg(table)))
        out << r[0].toString() + " " + r[1].toString();
    return out;
}

QStringList items(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

}  // namespace

class CleanupTest : public QObject {
    Q_OBJECT
private slots:
    void monthsAreDistinctAndOrdered();
    void range_data();
    void range();
    void refreshesSharedRecordSets();

    void windowNoLeavesEverythingUnchanged();
    void windowYesDeletesAndRefreshesBothLists();
    void windowRangeWithoutPaidBillsStillReportsDone();
    void committedDeletionIsNeverReportedAsNothingDeleted();
    void windowIsRegisteredAndLooksRight();
};

void CleanupTest::monthsAreDistinctAndOrdered()
{
    TestEstate estate;
    addHistory(estate);
    QCOMPARE(Cleanup(estate.env()).months(), QStringList({"202401", "202402", "202403"}));
}

void CleanupTest::range_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("bills");   // what remains
    QTest::addColumn<QStringList>("fixed");
    QTest::addColumn<QStringList>("metered");

    const QStringList allBills{"A 202401", "A 202402", "B 202401", "B 202402", "C 202403", "D 202402"};
    const QStringList allFixed{"A 202401", "A 202402", "B 202401", "B 202402", "C 202403", "D 202402", "E 202401"};
    const QStringList allMetered{"A 202401", "A 202402", "B 202401", "B 202402", "C 202403"};

    QTest::newRow("paid bill and unpaid next month, over both months")
        << "202401" << "202402" << QStringList{"A 202402", "C 202403", "D 202402"}
        << QStringList{"A 202402", "C 202403", "D 202402", "E 202401"} << QStringList{"A 202402", "C 202403"};
    QTest::newRow("one month, both bounds included")
        << "202402" << "202402" << QStringList{"A 202401", "A 202402", "B 202401", "C 202403", "D 202402"}
        << QStringList{"A 202401", "A 202402", "B 202401", "C 202403", "D 202402", "E 202401"}
        << QStringList{"A 202401", "A 202402", "B 202401", "C 202403"};
    QTest::newRow("first month after the last") << "202402" << "202401" << allBills << allFixed << allMetered;
    QTest::newRow("range without paid bills") << "202403" << "202412" << allBills << allFixed << allMetered;
    QTest::newRow("apostrophes are data") << "' or 1=1 or '" << "' or 1=1 or '" << allBills << allFixed
                                          << allMetered;
    QTest::newRow("apostrophe in the last month") << "202402" << "202402' or 月份 <> '" << QStringList{
        "A 202401", "A 202402", "B 202401", "C 202403", "D 202402"}
        << QStringList{"A 202401", "A 202402", "B 202401", "C 202403", "D 202402", "E 202401"}
        << QStringList{"A 202401", "A 202402", "B 202401", "C 202403"};
    QTest::newRow("initial texts of the boxes") << "起始日期" << "截止日期" << allBills << allFixed << allMetered;
}

void CleanupTest::range()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QStringList, bills);
    QFETCH(QStringList, fixed);
    QFETCH(QStringList, metered);
    TestEstate estate;
    addHistory(estate);
    estate.addHousehold("A");
    estate.addItem("01", "物业费", 6);
    Cleanup(estate.env()).run(first, last);
    QCOMPARE(contents(estate, "缴费历史"), bills);
    QCOMPARE(contents(estate, "收费1"), fixed);
    QCOMPARE(contents(estate, "收费2"), metered);
    QCOMPARE(estate.count("档案库"), 1);
    QCOMPARE(estate.count("项目"), 1);
}

void CleanupTest::refreshesSharedRecordSets()
{
    TestEstate estate;
    addHistory(estate);
    RecordSet& bills = estate.env().rs缴费历史();
    RecordSet& fixed = estate.env().rs收费1();
    QCOMPARE(bills.count(), 6);
    QCOMPARE(fixed.count(), 7);
    const Cleanup::Result r = Cleanup(estate.env()).run("202401", "202402");
    QCOMPARE(r.bills, 3);
    QCOMPARE(r.fixedLines, 3);
    QCOMPARE(r.meteredLines, 3);
    QCOMPARE(bills.count(), 3);
    QCOMPARE(fixed.count(), 4);
}

void CleanupTest::windowNoLeavesEverythingUnchanged()
{
    TestEstate estate;
    addHistory(estate);
    CleanupWindow w(estate.services());
    w.firstBox()->setEditText("202401");
    w.lastBox()->setEditText("202403");
    estate.prompter.no();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.boxes().size(), 1);
    QCOMPARE(estate.prompter.boxes()[0].kind, ScriptedPrompter::Kind::YesNo);
    QCOMPARE(estate.prompter.boxes()[0].text, kWarning);
    QCOMPARE(estate.prompter.boxes()[0].title, QString("警告"));
    QCOMPARE(estate.prompter.boxes()[0].preset, Prompter::Default::Decline);
    QCOMPARE(estate.prompter.boxes()[0].icon, Prompter::Icon::None);
    QCOMPARE(estate.count("缴费历史"), 6);
    QCOMPARE(estate.count("收费1"), 7);
    QCOMPARE(estate.count("收费2"), 5);
}

void CleanupTest::windowYesDeletesAndRefreshesBothLists()
{
    TestEstate estate;
    addBillWithLines(estate, "A", "202401", true);
    addBillWithLines(estate, "B", "202401", true);
    addBillWithLines(estate, "A", "202402", true);
    addBillWithLines(estate, "A", "202403", false);
    CleanupWindow w(estate.services());
    QCOMPARE(items(w.firstBox()), QStringList({"202401", "202402", "202403"}));
    QCOMPARE(items(w.lastBox()), QStringList({"202401", "202402", "202403"}));
    w.firstBox()->setCurrentIndex(0);
    w.lastBox()->setCurrentIndex(2);
    estate.prompter.yes();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.texts(), QStringList({kWarning, kDone}));
    QCOMPARE(estate.prompter.boxes()[1].title, estate.app.appTitle);
    QCOMPARE(estate.prompter.boxes()[1].icon, Prompter::Icon::None);
    QCOMPARE(items(w.firstBox()), QStringList({"202403"}));
    QCOMPARE(items(w.lastBox()), QStringList({"202403"}));
    QCOMPARE(contents(estate, "缴费历史"), QStringList({"A 202403"}));
    QCOMPARE(contents(estate, "收费2"), QStringList({"A 202403"}));
}

void CleanupTest::windowRangeWithoutPaidBillsStillReportsDone()
{
    TestEstate estate;
    addBillWithLines(estate, "A", "202405", false);
    CleanupWindow w(estate.services());
    QCOMPARE(w.firstBox()->currentText(), QString("起始日期"));
    QCOMPARE(w.lastBox()->currentText(), QString("截止日期"));
    w.firstBox()->setEditText("202405");
    w.lastBox()->setEditText("202405");
    estate.prompter.yes();
    w.runCleanup();
    QCOMPARE(estate.prompter.texts().value(1), kDone);
    QCOMPARE(estate.count("缴费历史"), 1);
    QCOMPARE(estate.count("收费1"), 1);
}

void CleanupTest::committedDeletionIsNeverReportedAsNothingDeleted()
{
    TestEstate estate;
    addHistory(estate);
    QCOMPARE(estate.env().rs缴费历史().count(), 6);  // a window shows the bills
    CleanupWindow w(estate.services());
    w.firstBox()->setEditText("202401");
    w.lastBox()->setEditText("202402");
    {
        RefuseReadsAfterCommit refuse(estate.db());
        estate.prompter.yes();
        w.runCleanup();
        QVERIFY(refuse.committed);
    }
    QCOMPARE(estate.count("缴费历史"), 3);
    const QStringList texts = estate.prompter.texts();
    QVERIFY2(!texts.join('|').contains("没有删除任何数据"), qPrintable(texts.join('|')));
    QVERIFY2(texts.value(1).startsWith("数据已经删除，但打开的窗口未能重新读出数据："), qPrintable(texts.join('|')));
    QCOMPARE(texts.last(), kDone);
}

void CleanupTest::windowIsRegisteredAndLooksRight()
{
    WindowRegistry registry;
    registerMaintenanceWindows(registry);
    const WindowEntry* entry = registry.find("数据清理");
    QVERIFY(entry);
    QCOMPARE(entry->showAs, ShowAs::Child);

    TestEstate estate;
    addHistory(estate);
    std::unique_ptr<QWidget> w(entry->create(estate.services()));
    QCOMPARE(w->windowTitle(), QString("数据清理"));
    QCOMPARE(w->objectName(), QString("数据清理"));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const QString shots = qEnvironmentVariable("FENWARY_SHOTS");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        QVERIFY(w->grab().save(shots + "/cleanup.png"));
    }
}

QTEST_MAIN(CleanupTest)
#include "test_cleanup.moc"
