// The arrears board and month summary windows through their widgets, and the
// spreadsheet buttons of the board, the summary and the combined query.
#include "estate.h"

#include "common/tableout.h"
#include "documents/documentpage.h"
#include "queries/arrearswindow.h"
#include "queries/querywindow.h"
#include "queries/summarywindow.h"
#include "store/dataenvironment.h"
#include "store/recordset.h"

#include <QAbstractItemModelTester>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void fill(TestEstate& e)
{
    e.app.receiptName = QStringLiteral("幸福小区");
    e.app.noticeText = QStringLiteral("请于本月25日前到物业管理处缴纳。");
    const QStringList names{"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十"};
    for (int i = 0; i < 8; ++i) {
        const QString door = QStringLiteral("%1-%2").arg(i < 4 ? 1 : 2).arg(101 + i % 4);
        e.addHousehold(door, names.at(i), 80, i == 3 ? QVariant(-55.5) : QVariant(0.0));
        for (int m = 4; m <= 6; ++m) {
            const bool paid = (i + m) % 3 != 0 && i != 5;
            e.addBill(door, QStringLiteral("20240%1").arg(m), 100 + 10 * i, paid, paid ? QVariant(100 + 10 * i) : QVariant(),
                      paid ? QVariant(0.0) : QVariant(), paid ? QStringLiteral("2024-0%1-10").arg(m) : QString());
        }
    }
}

void shot(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(name));
}

QPushButton* buttonOf(QWidget* w, const QString& name)
{
    return w->findChild<QPushButton*>(name);
}

} // namespace

class TestArrearsWindows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void boardShowsWhoOwesWithTotals();
    void boardSortsByHeaderClick();
    void doubleClickOpensHouseholdInPaymentWindow();
    void boardExportsExcel();
    void summaryShowsFiguresAndChart();
    void queryResultExportsExcel();
    void noticesFollowTheSelectionAfterSort();
    void noticesTellTheFileAtPrintTime();

private:
    QTemporaryDir reports_;
};

void TestArrearsWindows::init()
{
    qputenv("FENWARY_REPORT_DIR", reports_.path().toUtf8());
}

void TestArrearsWindows::boardShowsWhoOwesWithTotals()
{
    TestEstate e;
    fill(e);
    ArrearsWindow w(e.services());
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    w.resize(1100, 640);
    w.show();
    // (i + m) % 3 == 0 leaves one unpaid month of three; 2-102 owes every month; 1-104 also has arrears.
    QCOMPARE(w.model()->rowCount(), 8);
    const QAbstractItemModel* totals = w.totalsView()->model();
    QCOMPARE(totals->rowCount(), 3);
    QCOMPARE(totals->index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(totals->index(2, 0).data().toString(), QStringLiteral("合计"));
    QCOMPARE(totals->index(2, 1).data().toString(), QStringLiteral("8"));
    QCOMPARE(totals->index(2, 2).data().toString(), QStringLiteral("10"));
    shot(&w, QStringLiteral("arrears_board.png"));

    // At least two months: only 2-102.
    w.findChild<QSpinBox*>(QStringLiteral("spn月数"))->setValue(2);
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd查询")), Qt::LeftButton);
    QCOMPARE(w.model()->rowCount(), 1);
    QCOMPARE(w.model()->index(0, ArrearsBoard::Door).data().toString(), QStringLiteral("2-102"));
    QCOMPARE(w.model()->index(0, ArrearsBoard::Months).data().toString(), QStringLiteral("3"));
    QCOMPARE(w.model()->index(0, ArrearsBoard::Owed).data().toString(), QStringLiteral("450.00"));
    QCOMPARE(totals->rowCount(), 2);
}

void TestArrearsWindows::boardSortsByHeaderClick()
{
    TestEstate e;
    fill(e);
    ArrearsWindow w(e.services());
    w.show();
    w.board()->sortByColumn(ArrearsBoard::Owed, Qt::DescendingOrder);
    QCOMPARE(w.model()->index(0, ArrearsBoard::Door).data().toString(), QStringLiteral("2-102"));
    double previous = 1e18;
    for (const ArrearsRow& r : w.model()->rows()) {
        QVERIFY(r.owed() <= previous);
        previous = r.owed();
    }
    // A new query keeps the chosen order.
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd查询")), Qt::LeftButton);
    QCOMPARE(w.model()->index(0, ArrearsBoard::Door).data().toString(), QStringLiteral("2-102"));
}

void TestArrearsWindows::doubleClickOpensHouseholdInPaymentWindow()
{
    TestEstate e;
    fill(e);
    QStringList opened;
    e.services().openWindow = [&opened](const QString& name) { opened << name; };
    RecordSet& households = e.env().rs档案();
    households.open();
    // Another window left a filter that hides the household.
    households.setFilter(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("1-101")));
    ArrearsWindow w(e.services());
    w.show();
    int row = -1;
    for (int i = 0; i < w.model()->rowCount(); ++i)
        if (w.model()->rows().at(i).door == QLatin1String("2-103"))
            row = i;
    QVERIFY(row >= 0);
    const QRect cell = w.board()->visualRect(w.model()->index(row, ArrearsBoard::Name));
    QTest::mouseClick(w.board()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(w.board()->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(opened, QStringList{QStringLiteral("frm_缴费打印")});
    QVERIFY(households.hasCurrent());
    QCOMPARE(households.value(QStringLiteral("门牌号")).toString(), QStringLiteral("2-103"));
}

void TestArrearsWindows::boardExportsExcel()
{
    TestEstate e;
    fill(e);
    ArrearsWindow w(e.services());
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd导出Excel")), Qt::LeftButton);
    const QString xlsx = reports_.filePath(QStringLiteral("欠费一览.xlsx"));
    QVERIFY(QFile::exists(xlsx));
    QVERIFY(QFile::exists(reports_.filePath(QStringLiteral("欠费一览.csv"))));
    QCOMPARE(e.prompter.boxes().size(), 1);
    QVERIFY2(e.prompter.boxes().first().text.contains(QDir::toNativeSeparators(xlsx)),
             qPrintable(e.prompter.boxes().first().text));
    QFile csv(reports_.filePath(QStringLiteral("欠费一览.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll().mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.first(), ArrearsBoard::headers().join(u','));
    // Door numbers and months are written as ="…" so that a spreadsheet keeps them as text.
    QVERIFY(lines.contains(QStringLiteral("\"=\"\"2\"\"\",\"=\"\"2-102\"\"\",孙八,,3,\"=\"\"202404\"\"\",\"=\"\"202406\"\"\",450.00,0.00,450.00")));
    QVERIFY(lines.at(lines.size() - 2).startsWith(QStringLiteral("合计,8户,,,10,")));
}

void TestArrearsWindows::summaryShowsFiguresAndChart()
{
    TestEstate e;
    fill(e);
    SummaryWindow w(e.services());
    w.resize(1000, 720);
    w.show();
    // Buildings 1 and 2 over three months.
    QCOMPARE(w.rows().size(), 6);
    const QAbstractItemModel* m = w.table()->model();
    QCOMPARE(m->rowCount(), 7);
    QCOMPARE(m->index(6, 0).data().toString(), QStringLiteral("合计"));
    QCOMPARE(m->index(0, 1).data().toString(), QStringLiteral("202404"));
    QCOMPARE(m->index(0, 2).data().toString(), QStringLiteral("4"));
    auto* series = qobject_cast<QBarSeries*>(w.chart()->chart()->series().value(0));
    QVERIFY(series);
    QCOMPARE(series->barSets().first()->count(), 3);
    shot(&w, QStringLiteral("month_summary.png"));

    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd导出Excel")), Qt::LeftButton);
    QVERIFY(QFile::exists(reports_.filePath(QStringLiteral("收费汇总.xlsx"))));
}

void TestArrearsWindows::queryResultExportsExcel()
{
    TestEstate e;
    fill(e);
    QueryWindow w(e.services());
    w.findChild<QComboBox*>(QStringLiteral("DataCombo2"))->setEditText(QStringLiteral("202404"));
    w.findChild<QComboBox*>(QStringLiteral("DataCombo3"))->setEditText(QStringLiteral("202406"));
    QTest::mouseClick(buttonOf(&w, QStringLiteral("Command6")), Qt::LeftButton);  // 全部项目
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd导出Excel")), Qt::LeftButton);
    QFile csv(reports_.filePath(QStringLiteral("查询明细.csv")));
    QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(e.prompter.texts().join(u'\n')));
    const QStringList lines = QString::fromUtf8(csv.readAll().mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.first(), QStringLiteral("门牌号,户名,月份,收费金额,实缴金额,账户余额,缴费状态,缴费时间"));
    // 24 bills, no separator rows, then the totals row, then the end of the last line.
    QCOMPARE(lines.size(), 1 + 24 + 1 + 1);
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("\"=\"\"1-101\"\"\",张三,\"=\"\"202406\"\"\",100.00,")),
             qPrintable(lines.at(1)));
    QVERIFY(lines.at(25).startsWith(QStringLiteral("合计,,,")));
    // The text export is untouched by the new button.
    QVERIFY(!QFile::exists(reports_.filePath(QStringLiteral("查询明细.txt"))));
}

namespace {
// The door number of each notice page ("  门牌号:1-101    户名: …").
QStringList noticeDoors(const QList<DocumentPage>& pages)
{
    QStringList doors;
    for (const DocumentPage& p : pages)
        for (const DocumentLine& l : p.lines)
            if (l.text.startsWith(QStringLiteral("  门牌号:"))) {
                doors << l.text.mid(6).section(u' ', 0, 0);
                break;
            }
    return doors;
}
} // namespace

void TestArrearsWindows::noticesFollowTheSelectionAfterSort()
{
    TestEstate e;
    fill(e);
    ArrearsWindow w(e.services());
    QList<DocumentPage> printed;
    w.setPageSink([&printed](const QList<DocumentPage>& p) { printed = p; });
    w.show();
    // Pick the first and the third household in door order, then sort by the total owed.
    QItemSelectionModel* sel = w.board()->selectionModel();
    const QStringList picked{w.model()->rows().at(0).door, w.model()->rows().at(2).door};
    sel->select(w.model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(w.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // Two clicks on the header: the largest debt first.
    const QPoint owed(w.board()->horizontalHeader()->sectionViewportPosition(ArrearsBoard::Owed) + 5, 5);
    QTest::mouseClick(w.board()->horizontalHeader()->viewport(), Qt::LeftButton, {}, owed);
    QTest::mouseClick(w.board()->horizontalHeader()->viewport(), Qt::LeftButton, {}, owed);
    QCOMPARE(w.board()->horizontalHeader()->sortIndicatorSection(), int(ArrearsBoard::Owed));
    QCOMPARE(w.board()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(w.model()->rows().at(0).door != picked.at(0) || w.model()->rows().at(2).door != picked.at(1));

    QStringList selected;
    for (const QModelIndex& i : sel->selectedRows())
        selected << w.model()->rows().at(i.row()).door;
    selected.sort();
    QCOMPARE(selected, picked);
    QStringList noticed;
    for (const ArrearsRow& r : w.noticeRows())
        noticed << r.door;
    noticed.sort();
    QCOMPARE(noticed, picked);
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd预览通知")), Qt::LeftButton);
    QStringList doors = noticeDoors(printed);
    doors.sort();
    QCOMPARE(doors, picked);
}

void TestArrearsWindows::noticesTellTheFileAtPrintTime()
{
    TestEstate e;
    fill(e);
    ArrearsWindow w(e.services());
    QList<DocumentPage> printed;
    w.setPageSink([&printed](const QList<DocumentPage>& p) { printed = p; });
    const int listed = w.model()->rowCount();
    // After the board was read: 2-102 paid 202404 (150 in cash) and 1-101 paid up.
    e.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = 150, 账户余额 = 0 "
                               "where 门牌号 = '2-102' and 月份 = '202404'"));
    e.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = 收费金额, 账户余额 = 0 "
                               "where 门牌号 = '1-101'"));
    QTest::mouseClick(buttonOf(&w, QStringLiteral("cmd打印通知")), Qt::LeftButton);
    const QStringList doors = noticeDoors(printed);
    QCOMPARE(doors.size(), listed - 1);
    QVERIFY(!doors.contains(QStringLiteral("1-101")));
    QCOMPARE(e.prompter.boxes().size(), 1);
    QVERIFY2(e.prompter.boxes().first().text.contains(QStringLiteral("1-101")),
             qPrintable(e.prompter.boxes().first().text));
    const QStringList page = printed.at(doors.indexOf(QStringLiteral("2-102"))).dump();
    QVERIFY(!page.join(u'\n').contains(QStringLiteral("2024年04月")));
    QVERIFY(page.contains(QStringLiteral("宋体|10|regular|0|  应缴总额:                 300.00")));
}

QTEST_MAIN(TestArrearsWindows)
#include "test_arrearswindows.moc"
