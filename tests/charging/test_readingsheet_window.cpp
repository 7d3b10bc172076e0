#include "charging/monthrun.h"
#include "charging/readingimport.h"
#include "charging/readingsheet.h"
#include "charging/readingsheetmodel.h"
#include "charging/readingsheetwindow.h"
#include "collection/paymentwindow.h"
#include "store/criterion.h"
#include "store/recordset.h"
#include "common/tableout.h"
#include "estate.h"
#include "shots.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Two buildings of three households; water metered, parking by quantity, a fixed fee.
void fill(TestEstate& e)
{
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("车位"), 3.0, true, false);
    Transaction t(e.db());
    for (int b = 1; b <= 2; ++b)
        for (int r = 1; r <= 3; ++r) {
            const QString d = QStringLiteral("%1-10%2").arg(b).arg(r);
            e.addHousehold(d, QStringLiteral("住户%1%2").arg(b).arg(r), 80);
            for (int m = 1; m <= 5; ++m)
                e.addMeteredLine(d, QStringLiteral("20240%1").arg(m), QStringLiteral("02"), QStringLiteral("水费"),
                                 100 * m, 100 * m + 10, 2.5, 25);
        }
    t.commit();
}

QModelIndex readingAt(ReadingSheetWindow& w, int row)
{
    return w.model()->index(row, ReadingSheetModel::Reading);
}

}  // namespace

class TestReadingSheetWindow : public QObject {
    Q_OBJECT
private slots:
    void opensOnTheProposedMonthWithEveryRow();
    void enterMovesDownTheReadingColumn();
    void pastedColumnFillsTheRowsBelow();
    void checksAreColouredAndCounted();
    void previewRunAndUndo();
    void runIsSealedWhileItWorks();
    void runThatWritesNothingTakesNoCopy_data();
    void runThatWritesNothingTakesNoCopy();
    void buildingPrefixNarrowsTheSheet();
    void importReportThenConfirm();
    void blankSheetExported();
    void typedReadings_data();
    void typedReadings();
    void pasteReportsRowsFilledAndWhereItStopped_data();
    void pasteReportsRowsFilledAndWhereItStopped();
    void importReportListsTheFirstThousand();
};

void TestReadingSheetWindow::opensOnTheProposedMonthWithEveryRow()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(w.monthBox()->text(), QStringLiteral("202406"));  // 2024-07-15 less twenty days
    QCOMPARE(w.model()->rowCount(), 12);
    QCOMPARE(w.model()->index(0, ReadingSheetModel::Door).data().toString(), QStringLiteral("1-101"));
    QCOMPARE(w.model()->index(0, ReadingSheetModel::Item).data().toString(), QStringLiteral("水费"));
    QCOMPARE(w.model()->index(0, ReadingSheetModel::Previous).data().toString(), QStringLiteral("510"));
    QCOMPARE(w.model()->index(1, ReadingSheetModel::Item).data().toString(), QStringLiteral("车位"));
    QVERIFY(w.statusLine()->text().contains(QStringLiteral("未录 12")));
    w.monthBox()->setText(QStringLiteral("202413"));
    QVERIFY(!w.loadSheet());
    QCOMPARE(e.prompter.texts(), QStringList{QStringLiteral("日期格式不正确")});
}

void TestReadingSheetWindow::enterMovesDownTheReadingColumn()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.grid()->setFocus();
    w.grid()->setCurrentIndex(readingAt(w, 0));
    QTest::keyClick(w.grid(), Qt::Key_5);  // any key opens the cell
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("30"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(w.grid()->currentIndex(), readingAt(w, 1));
    QTRY_VERIFY(QApplication::focusWidget() != w.grid());  // the next cell is open
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(w.grid()->currentIndex(), readingAt(w, 2));
    QCOMPARE(w.sheet().row(0).reading, std::optional<double>(530));
    QCOMPARE(w.sheet().row(1).reading, std::optional<double>(2));
    // Kept in the draft, not as a charge.
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 2);
    QCOMPARE(e.count(QStringLiteral("收费2")), 30);
    // Text that is no number is not taken.
    QVERIFY(!w.model()->setData(readingAt(w, 3), QStringLiteral("abc"), Qt::EditRole));
    QVERIFY(!w.sheet().row(3).reading);
}

void TestReadingSheetWindow::pastedColumnFillsTheRowsBelow()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    w.grid()->setCurrentIndex(readingAt(w, 2));
    // Lines from a spreadsheet: the first column counts, a blank line clears its row.
    QCOMPARE(w.grid()->paste(QStringLiteral("520\tx\r\n1\r\n\r\n1,040\r\n")), 4);
    QCOMPARE(w.sheet().row(2).reading, std::optional<double>(520));
    QCOMPARE(w.sheet().row(3).reading, std::optional<double>(1));
    QVERIFY(!w.sheet().row(4).reading);
    QCOMPARE(w.sheet().row(5).reading, std::optional<double>(1040));
    QVERIFY(!w.sheet().row(1).reading);
    // More lines than rows: the sheet's end stops it.
    w.grid()->setCurrentIndex(readingAt(w, 10));
    QCOMPARE(w.grid()->paste(QStringLiteral("1\n2\n3\n4\n")), 2);
}

void TestReadingSheetWindow::checksAreColouredAndCounted()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    ReadingSheetModel* m = w.model();
    QVERIFY(m->setData(readingAt(w, 0), QStringLiteral("500"), Qt::EditRole));  // below 510
    QVERIFY(m->setData(readingAt(w, 2), QStringLiteral("610"), Qt::EditRole));  // 100 where 10 is usual
    QVERIFY(m->setData(readingAt(w, 4), QStringLiteral("510"), Qt::EditRole));  // zero, never zero
    QVERIFY(m->setData(readingAt(w, 6), QStringLiteral("520"), Qt::EditRole));  // usual
    const QString status = w.statusLine()->text();
    QVERIFY2(status.contains(QStringLiteral("未录 8")) && status.contains(QStringLiteral("小于上月数待确认 1")) &&
                 status.contains(QStringLiteral("用量超过平均三倍 1")) && status.contains(QStringLiteral("用量为零 1")),
             qPrintable(status));
    QVERIFY(m->index(0, 0).data(Qt::BackgroundRole).isValid());
    QVERIFY(!m->index(6, 0).data(Qt::BackgroundRole).isValid());
    QCOMPARE(m->index(0, ReadingSheetModel::Status).data().toString(), QStringLiteral("小于上月数，待确认"));
    // Only a row below its previous reading can be confirmed or given a new start.
    QVERIFY(m->flags(m->index(0, ReadingSheetModel::Confirm)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(m->flags(m->index(6, ReadingSheetModel::Confirm)) & Qt::ItemIsUserCheckable));
    QVERIFY(!(m->flags(m->index(6, ReadingSheetModel::Previous)) & Qt::ItemIsEditable));
    QVERIFY(m->setData(m->index(0, ReadingSheetModel::Previous), QStringLiteral("480"), Qt::EditRole));
    QCOMPARE(m->index(0, ReadingSheetModel::Status).data().toString(), QStringLiteral("已确认（换表）"));
    QCOMPARE(m->index(0, ReadingSheetModel::Usage).data().toString(), QStringLiteral("20.00"));
    QVERIFY(w.statusLine()->text().contains(QStringLiteral("已确认换表 1")));
    shoot(w, QStringLiteral("readingsheet.png"));
}

void TestReadingSheetWindow::previewRunAndUndo()
{
    TestEstate e;
    fill(e);
    e.addBill(QStringLiteral("2-103"), QStringLiteral("202406"), 10, true, 10.0, 0.0, QStringLiteral("2024-06-30"));
    ReadingSheetWindow w(e.services());
    w.grid()->setCurrentIndex(readingAt(w, 0));
    w.grid()->paste(QStringLiteral("520\n1\n530\n\n540\n2\n515\n0\n525\n1\n"));
    MonthPreviewDialog* d = w.openPreview();
    QVERIFY(d);
    QVERIFY(d->text()->toPlainText().contains(QStringLiteral("新建账单：5")));
    QVERIFY(d->text()->toPlainText().contains(QStringLiteral("以下 1 行没有可用的读数")));
    QVERIFY(d->text()->toPlainText().contains(QStringLiteral("已缴费，不再修改（1 户）：2-103")));
    QVERIFY(!d->runButton()->isEnabled());
    d->reject();

    w.model()->setData(readingAt(w, 3), QStringLiteral("0"), Qt::EditRole);
    d = w.openPreview();
    QVERIFY(d->runButton()->isEnabled());
    d->resize(560, 420);
    shoot(*d, QStringLiteral("readingsheet-preview.png"));
    QVERIFY(d->text()->toPlainText().contains(QStringLiteral("  楼号 2：153.00")));
    d->runButton()->click();
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202406'")).toInt(), 6);
    QVERIFY(e.prompter.texts().last().startsWith(QStringLiteral("本月账单已生成：新建 5 户，重新计算 0 户。")));

    e.prompter.yes();
    w.undoButton()->click();
    QCOMPARE(e.prompter.texts().last(), QStringLiteral("本次账单已撤销。"));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202406'")).toInt(), 1);
    w.undoButton()->click();
    QCOMPARE(e.prompter.texts().last(), QStringLiteral("没有可以撤销的账单。"));
}

// While the run works, the sheet window's buttons, a reading typed into the grid and
// a collection in the payment window reach the program (driven from the progress
// dialog's event loop): none of them changes what the run bills or writes into it.
void TestReadingSheetWindow::runIsSealedWhileItWorks()
{
    TestEstate e;
    fill(e);
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202405"), 40);
    ReadingSheetWindow w(e.services());
    w.grid()->setCurrentIndex(readingAt(w, 0));
    w.grid()->paste(QStringLiteral("520\n1\n530\n0\n540\n2\n515\n0\n525\n1\n520\n3\n"));
    PaymentWindow pay(e.services());
    pay.setReceiptSink([](const ReceiptData&) {});
    QVERIFY(e.env().rs档案().find(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("1-101")),
                                      RecordSet::Direction::Forward, RecordSet::Start::First));
    QVERIFY(e.env().rs缴费历史().find(Criterion::equals(QStringLiteral("月份"), QStringLiteral("202405")),
                                      RecordSet::Direction::Forward, RecordSet::Start::First));
    MonthPreviewDialog* d = w.openPreview();
    QVERIFY(d && d->runButton()->isEnabled());

    bool during = false;
    QString modal;
    Qt::WindowModality modality = Qt::NonModal;
    std::function<void()> poke;
    poke = [&] {
        if (!e.db().inTransaction()) {
            QTimer::singleShot(0, poke);
            return;
        }
        during = true;
        if (QWidget* m = QApplication::activeModalWidget()) {
            modal = m->objectName();
            modality = m->windowModality();
        }
        w.buildingBox()->setText(QStringLiteral("2-"));
        w.loadButton()->click();
        w.runButton()->click();
        w.undoButton()->click();
        w.close();
        w.model()->setData(readingAt(w, 0), QStringLiteral("999"), Qt::EditRole);
        e.prompter.yes();
        e.prompter.type(QStringLiteral("40"));
        pay.findChild<QPushButton*>(QStringLiteral("Command5"))->click();
    };
    QTimer::singleShot(0, poke);
    d->runButton()->click();

    QVERIFY(during);
    QCOMPARE(modal, QStringLiteral("frm_进度"));
    QCOMPARE(modality, Qt::ApplicationModal);
    // The sheet was neither read again nor changed under the run.
    QCOMPARE(w.model()->rowCount(), 12);
    QCOMPARE(w.sheet().row(0).reading, std::optional<double>(520));
    QCOMPARE(e.scalar(QStringLiteral("select 本月数 from 收费2 where 门牌号 = '1-101' and 月份 = '202406' and 项目号 = '02'")),
             QVariant(520.0));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202406'")).toInt(), 6);
    // The collection was refused with a message, and nothing of it is in the file.
    QVERIFY(e.prompter.texts().contains(QStringLiteral("缴费失败: ") + MonthRun::busyText()));
    QCOMPARE(e.scalar(QStringLiteral("select coalesce(缴费标志, 0) from 缴费历史 where 月份 = '202405'")).toInt(), 0);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 类别 = '收款'")).toInt(), 0);
    QVERIFY(e.prompter.texts().last().startsWith(QStringLiteral("本月账单已生成：新建 6 户")));
    // Once the run is over the same collection is taken.
    e.prompter.yes();
    e.prompter.type(QStringLiteral("40"));
    e.prompter.no();
    pay.findChild<QPushButton*>(QStringLiteral("Command5"))->click();
    QCOMPARE(e.scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 月份 = '202405'")).toInt(), 1);
}

void TestReadingSheetWindow::runThatWritesNothingTakesNoCopy_data()
{
    QTest::addColumn<QString>("readings");
    QTest::addColumn<bool>("billedBefore");
    QTest::addColumn<int>("copies");
    const QString all = QStringLiteral("520\n1\n530\n0\n540\n2\n515\n0\n525\n1\n520\n3\n");
    QTest::newRow("blocked") << QStringLiteral("520\n1\n") << false << 0;
    QTest::newRow("nothing to bill") << all << true << 0;
    QTest::newRow("bills to write") << all << false << 1;
}

void TestReadingSheetWindow::runThatWritesNothingTakesNoCopy()
{
    QFETCH(QString, readings);
    QFETCH(bool, billedBefore);
    QFETCH(int, copies);
    TestEstate e;
    fill(e);
    if (billedBefore)
        for (int b = 1; b <= 2; ++b)
            for (int r = 1; r <= 3; ++r)
                e.addBill(QStringLiteral("%1-10%2").arg(b).arg(r), QStringLiteral("202406"), 10);
    int taken = 0;
    e.services().takeSafetyCopy = [&](const QString&) { return ++taken, true; };
    ReadingSheetWindow w(e.services());
    w.grid()->setCurrentIndex(readingAt(w, 0));
    w.grid()->paste(readings);
    w.runMonth(false);
    QCOMPARE(taken, copies);
}

void TestReadingSheetWindow::buildingPrefixNarrowsTheSheet()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    w.buildingBox()->setText(QStringLiteral("2-"));
    QVERIFY(w.loadSheet());
    QCOMPARE(w.model()->rowCount(), 6);
    QCOMPARE(w.model()->index(0, ReadingSheetModel::Door).data().toString(), QStringLiteral("2-101"));
}

void TestReadingSheetWindow::importReportThenConfirm()
{
    TestEstate e;
    fill(e);
    e.addItem(QStringLiteral("04"), QStringLiteral("煤气费"), 3.0);
    ReadingSheetWindow w(e.services());
    ImportReportDialog* d = w.openImport(QFINDTESTDATA("data/readings.xlsx"));
    QVERIFY(d);
    QVERIFY(d->summary()->text().contains(QStringLiteral("可以导入的读数：4 条；不能使用的行：4 行")));
    QCOMPARE(d->problems()->rowCount(), 4);
    QCOMPARE(d->problems()->item(0, 4)->text(), QStringLiteral("没有这个门牌号"));
    d->show();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    shoot(*d, QStringLiteral("readingsheet-import.png"));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 0);
    d->importButton()->click();
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 4);
    QCOMPARE(e.prompter.texts().last(), QStringLiteral("已导入 4 条读数。"));
    QCOMPARE(w.model()->index(0, ReadingSheetModel::Reading).data().toString(), QStringLiteral("530"));
    QVERIFY(!w.openImport(QStringLiteral("/nonexistent/读数.csv")));
    QVERIFY(e.prompter.texts().last().startsWith(QStringLiteral("读数文件未能读取：")));
}

void TestReadingSheetWindow::blankSheetExported()
{
    QTemporaryDir reports;
    qputenv("FENWARY_REPORT_DIR", reports.path().toUtf8());
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    w.blankButton()->click();
    qunsetenv("FENWARY_REPORT_DIR");
    const QString xlsx = QDir(reports.path()).filePath(QStringLiteral("抄表单202406.xlsx"));
    QCOMPARE(e.prompter.texts(), QStringList{exportDoneMessage(xlsx)});
    QVERIFY(QFileInfo(xlsx).size() > 0);
    // The CSV beside it: the header and one line per sheet row.
    QFile csv(QDir(reports.path()).filePath(QStringLiteral("抄表单202406.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 1 + 12 + 1);  // the last line end leaves an empty piece
    QVERIFY(lines.first().contains("本月读数"));
}

// Row 0 is 1-101's water (previous 510, ten a month), row 1 its parking (a quantity).
void TestReadingSheetWindow::typedReadings_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("status");
    QTest::newRow("full-width digits") << 0 << "５２０．０" << true << "";
    QTest::newRow("nan") << 0 << "nan" << false << "未录";
    QTest::newRow("inf") << 0 << "-inf" << false << "未录";
    QTest::newRow("past any reading") << 0 << "1e12" << false << "未录";
    QTest::newRow("negative quantity") << 1 << "-2" << true << "数量为负，待确认";
}

void TestReadingSheetWindow::typedReadings()
{
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(bool, taken);
    QFETCH(QString, status);
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    ReadingSheetModel* m = w.model();
    QCOMPARE(m->setData(readingAt(w, row), typed, Qt::EditRole), taken);
    QCOMPARE(m->index(row, ReadingSheetModel::Status).data().toString(), status);
    if (status == QStringLiteral("数量为负，待确认")) {
        // Blocks the run until confirmed, like a reading below the previous one.
        QCOMPARE(w.sheet().counts().blocking(), 12);
        QVERIFY(w.statusLine()->text().contains(QStringLiteral("用量为负 1（待确认 1）")));
        QVERIFY(m->setData(m->index(row, ReadingSheetModel::Confirm), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(m->index(row, ReadingSheetModel::Status).data().toString(), QStringLiteral("已确认（用量为负）"));
        QCOMPARE(w.sheet().counts().blocking(), 11);
    }
}

void TestReadingSheetWindow::pasteReportsRowsFilledAndWhereItStopped_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<int>("filled");
    QTest::addColumn<QString>("report");
    QTest::newRow("every line") << 0 << "520\n1\n" << 2 << "已填入 2 行（第 1 至第 2 行）。";
    QTest::newRow("a word stops it") << 2 << "520\n1\n水费\n3\n" << 2
                                     << "已填入 2 行（第 3 至第 4 行）。\n粘贴的第 3 行“水费”不是可用的读数，从这一行起没有填入。";
    QTest::newRow("the sheet's end stops it") << 10 << "1\n2\n3\n4\n" << 2
                                              << "已填入 2 行（第 11 至第 12 行）。\n表格到第 12 行为止，粘贴的其余 2 行没有填入。";
    QTest::newRow("a header first") << 0 << "本月读数\n1\n" << 0
                                    << "没有填入任何一行。\n粘贴的第 1 行“本月读数”不是可用的读数，从这一行起没有填入。";
}

void TestReadingSheetWindow::pasteReportsRowsFilledAndWhereItStopped()
{
    QFETCH(int, row);
    QFETCH(QString, pasted);
    QFETCH(int, filled);
    QFETCH(QString, report);
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    w.grid()->setCurrentIndex(readingAt(w, row));
    QCOMPARE(w.grid()->paste(pasted), filled);
    QCOMPARE(e.prompter.texts().value(0), report);
}

void TestReadingSheetWindow::importReportListsTheFirstThousand()
{
    TestEstate e;
    fill(e);
    ReadingSheetWindow w(e.services());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.csv"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("1-101,水费,520\n");
    for (int i = 0; i < ReadingImport::ListedProblems + 5; ++i)
        f.write(QStringLiteral("9-%1,水费,1\n").arg(i).toUtf8());
    f.close();
    ImportReportDialog* d = w.openImport(path);
    QVERIFY(d);
    QCOMPARE(d->problems()->rowCount(), ReadingImport::ListedProblems);
    QVERIFY2(d->summary()->text().contains(QStringLiteral("不能使用的行：1005 行")) &&
                 d->summary()->text().contains(QStringLiteral("表中列出前 1000 行，其余 5 行未列出。")),
             qPrintable(d->summary()->text()));
    shoot(*d, QStringLiteral("import_report_long.png"));
    d->reject();
}

QTEST_MAIN(TestReadingSheetWindow)
#include "test_readingsheet_window.moc"
