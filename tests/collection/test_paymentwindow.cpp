// The payment window through its real widgets.
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "collection/windows.h"
#include "estate.h"
#include "common/windowregistry.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"
#include "store/sqlite.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kDoor = QStringLiteral("门牌号");

// Twelve households; 0101 has three bills (one paid), 0102 two unpaid, 0103 none.
void fill(TestEstate& e)
{
    const QStringList names{"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十", "郑一", "冯二", "陈三", "褚四"};
    for (int i = 0; i < names.size(); ++i)
        e.addHousehold(QStringLiteral("01%1").arg(i + 1, 2, 10, QLatin1Char('0')), names[i], 80 + i, i == 0 ? 30.0 : 0.0);
    e.addBill("0101", "202405", 75.5, true, 75.5, 30.0, "2024-06-02");
    e.addBill("0101", "202406", 80, false);
    e.addBill("0101", "202407", 80, false, QVariant(), QVariant(), QString(), QStringLiteral("物业费到期"));
    e.addBill("0102", "202406", 60, false);
    e.addBill("0102", "202407", 65, false);
    for (const QString& m : {QStringLiteral("202405"), QStringLiteral("202406"), QStringLiteral("202407")}) {
        e.addFixedLine("0101", m, "01", "物业费(按面积)", 60);
        e.addFixedLine("0101", m, "02", "卫生费", 10);
        e.addMeteredLine("0101", m, "03", "水费", 100, 105, 2, 10);
    }
    e.addFixedLine("0102", "202406", "01", "物业费(按面积)", 60);
    e.addFixedLine("0102", "202407", "01", "物业费(按面积)", 65);
}

template <typename T>
T* child(QWidget* w, const QString& name)
{
    T* c = w->findChild<T*>(name);
    if (!c)
        qWarning() << "missing" << name;
    return c;
}

QStringList captions(RecordSetGrid* g)
{
    QStringList out;
    for (int i = 0; i < g->model()->columnCount(); ++i)
        out << g->model()->headerData(i, Qt::Horizontal).toString();
    return out;
}

QString cell(RecordSetGrid* g, int row, int column)
{
    return g->model()->index(row, column).data().toString();
}

void clickRow(RecordSetGrid* g, int row)
{
    const QModelIndex idx = g->model()->index(row, 0);
    g->scrollTo(idx);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(idx).center());
}

// Statements that read a line table without a condition.
int g_wholeReads = 0;
void trace(void*, const char* sql)
{
    const QString s = QString::fromUtf8(sql);
    if ((s.contains(QStringLiteral("\"收费1\"")) || s.contains(QStringLiteral("\"收费2\""))) &&
        s.startsWith(QStringLiteral("select")) && !s.contains(QStringLiteral(" where ")))
        ++g_wholeReads;
}

}  // namespace

class TestPaymentWindow : public QObject {
    Q_OBJECT
private slots:
    void showsTheControlsAndFormats();
    void registersTheWindow();
    void changingHouseholdReplacesBillsAndLines();
    void clickingABillShowsItsLines();
    void paidUnpaidAndAllBills();
    void noPaidBillsThenCollectionAsksForARecord();
    void followsTheSearchWindow();
    void collectsAndPrintsThroughTheWindow();
    void printWithoutCurrentBillDoesNothing();
    void emptyEstateHidesTheGrids();
    void lineTablesAreNeverReadWhole();
    void anotherDesksWorkAppearsWithinASecond();
    void screenshot();
};

void TestPaymentWindow::showsTheControlsAndFormats()
{
    TestEstate e;
    fill(e);
    e.env().rs档案().moveFirst();
    PaymentWindow w(e.services());
    QCOMPARE(w.objectName(), QStringLiteral("frm_缴费打印"));
    QCOMPARE(w.windowTitle(), QStringLiteral("缴费打印"));
    QCOMPARE(captions(w.householdGrid()), (QStringList{"门牌号", "户名"}));
    QCOMPARE(captions(w.billGrid()), (QStringList{"门牌号", "月份", "收费金额", "实缴金额", "缴费时间", "账户余额", "缴费标志"}));
    QCOMPARE(captions(w.fixedGrid()), (QStringList{"项目号", "项目名", "月份", "收费金额"}));
    QCOMPARE(captions(w.meteredGrid()), (QStringList{"项目号", "项目名", "月份", "上月数", "本月数", "单价", "收费金额"}));

    // The first bill of 0101 is the paid one of 202405.
    QCOMPARE(cell(w.billGrid(), 0, 2), QStringLiteral("￥75.50"));
    QCOMPARE(cell(w.billGrid(), 0, 4), QStringLiteral("2024-06-02"));
    QCOMPARE(cell(w.billGrid(), 0, 5), QStringLiteral("￥30.00000"));
    QCOMPARE(w.billGrid()->model()->index(0, 6).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(cell(w.fixedGrid(), 0, 3), QStringLiteral("￥60.00000"));
    QCOMPARE(cell(w.meteredGrid(), 0, 3), QStringLiteral("100"));
    QCOMPARE(cell(w.meteredGrid(), 0, 4), QStringLiteral("￥105.00"));
    QCOMPARE(cell(w.meteredGrid(), 0, 5), QStringLiteral("￥2.00000"));
    QCOMPARE(cell(w.meteredGrid(), 0, 6), QStringLiteral("￥10.00000"));

    QCOMPARE(child<QLineEdit>(&w, "txt门牌号")->text(), QStringLiteral("0101"));
    QCOMPARE(child<QLineEdit>(&w, "txt户名")->text(), QStringLiteral("张三"));
    QCOMPARE(child<QLineEdit>(&w, "txt账户余额")->text(), QStringLiteral("30"));
    QCOMPARE(child<QLineEdit>(&w, "Text2")->text(), QStringLiteral("80"));
    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>(QStringLiteral("lblFieldLabel")))
        labels << l->text();
    QCOMPARE(labels, (QStringList{"门牌号:", "户名:", "联系电话:", "单位:", "籍贯:", "账户余额:", "面积(平米):", "其他信息:"}));
    QCOMPARE(child<QGroupBox>(&w, "Frame1")->title(), QStringLiteral("其他说明"));
    QCOMPARE(w.remarksBox()->parentWidget(), child<QGroupBox>(&w, "Frame1"));
    const QStringList buttons{"查找", "查看已缴费记录", "查看未缴费记录", "查看全部记录", "当前记录缴费", "当前记录打印", "退        出"};
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(child<QPushButton>(&w, QStringLiteral("Command%1").arg(i + 1))->text(), buttons[i]);
}

void TestPaymentWindow::registersTheWindow()
{
    TestEstate e;
    WindowRegistry r;
    registerCollectionWindows(r);
    const WindowEntry* entry = r.find(QStringLiteral("frm_缴费打印"));
    QVERIFY(entry);
    QCOMPARE(entry->showAs, ShowAs::ChildMaximized);
    std::unique_ptr<QWidget> w(entry->create(e.services()));
    QVERIFY(qobject_cast<PaymentWindow*>(w.get()));
}

void TestPaymentWindow::changingHouseholdReplacesBillsAndLines()
{
    TestEstate e;
    fill(e);
    PaymentWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.billGrid()->model()->rowCount(), 3);

    clickRow(w.householdGrid(), 1);
    QCOMPARE(e.env().rs档案().value(kDoor).toString(), QStringLiteral("0102"));
    QCOMPARE(w.billGrid()->model()->rowCount(), 2);
    for (int r = 0; r < 2; ++r)
        QCOMPARE(cell(w.billGrid(), r, 0), QStringLiteral("0102"));
    // The lines follow the first of the new bills.
    QCOMPARE(e.env().rs缴费历史().value(QStringLiteral("月份")).toString(), QStringLiteral("202406"));
    QCOMPARE(w.fixedGrid()->model()->rowCount(), 1);
    QCOMPARE(cell(w.fixedGrid(), 0, 2), QStringLiteral("202406"));
    QCOMPARE(w.meteredGrid()->model()->rowCount(), 0);
    QCOMPARE(child<QLineEdit>(&w, "txt户名")->text(), QStringLiteral("李四"));

    clickRow(w.householdGrid(), 2);  // 0103 has no bills
    QCOMPARE(w.billGrid()->model()->rowCount(), 0);
    QVERIFY(w.billGrid()->isVisible());
    QVERIFY(!w.fixedGrid()->isVisible());
    QVERIFY(!w.meteredGrid()->isVisible());

    clickRow(w.householdGrid(), 0);
    QVERIFY(w.fixedGrid()->isVisible() && w.meteredGrid()->isVisible());
    QCOMPARE(w.billGrid()->model()->rowCount(), 3);
}

void TestPaymentWindow::clickingABillShowsItsLines()
{
    TestEstate e;
    fill(e);
    PaymentWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickRow(w.billGrid(), 2);
    QCOMPARE(e.env().rs缴费历史().value(QStringLiteral("月份")).toString(), QStringLiteral("202407"));
    QCOMPARE(w.fixedGrid()->model()->rowCount(), 2);
    QCOMPARE(cell(w.fixedGrid(), 0, 2), QStringLiteral("202407"));
    QCOMPARE(cell(w.meteredGrid(), 0, 2), QStringLiteral("202407"));
    QCOMPARE(w.remarksBox()->toPlainText(), QStringLiteral("物业费到期"));
}

void TestPaymentWindow::paidUnpaidAndAllBills()
{
    TestEstate e;
    fill(e);
    PaymentWindow w(e.services());
    child<QPushButton>(&w, "Command2")->click();
    QCOMPARE(w.billGrid()->model()->rowCount(), 1);
    QCOMPARE(cell(w.billGrid(), 0, 1), QStringLiteral("202405"));
    child<QPushButton>(&w, "Command3")->click();
    QCOMPARE(w.billGrid()->model()->rowCount(), 2);
    QCOMPARE(cell(w.billGrid(), 0, 1), QStringLiteral("202406"));
    QCOMPARE(cell(w.fixedGrid(), 0, 2), QStringLiteral("202406"));
    child<QPushButton>(&w, "Command4")->click();
    QCOMPARE(w.billGrid()->model()->rowCount(), 3);
}

void TestPaymentWindow::noPaidBillsThenCollectionAsksForARecord()
{
    TestEstate e;
    fill(e);
    e.env().rs档案().find(Criterion::equals(kDoor, QStringLiteral("0102")));
    PaymentWindow w(e.services());
    w.show();
    child<QPushButton>(&w, "Command2")->click();
    QCOMPARE(w.billGrid()->model()->rowCount(), 0);
    QVERIFY(!w.fixedGrid()->isVisible() && !w.meteredGrid()->isVisible());
    child<QPushButton>(&w, "Command5")->click();
    QCOMPARE(e.prompter.texts(), QStringList{QStringLiteral("请选择要缴费的记录")});
}

void TestPaymentWindow::followsTheSearchWindow()
{
    TestEstate e;
    fill(e);
    QStringList opened;
    e.services().openWindow = [&opened](const QString& name) { opened << name; };
    PaymentWindow w(e.services());
    child<QPushButton>(&w, "Command1")->click();
    QCOMPARE(opened, QStringList{QStringLiteral("frm_档案查找")});

    // The search window moves the shared household set.
    RecordSet& households = e.env().rs档案();
    QVERIFY(households.find(Criterion::contains(QStringLiteral("户名"), QStringLiteral("四")),
                            RecordSet::Direction::Forward, RecordSet::Start::First));
    QCOMPARE(child<QLineEdit>(&w, "txt门牌号")->text(), QStringLiteral("0102"));
    QCOMPARE(w.householdGrid()->currentIndex().row(), 1);
    QCOMPARE(w.billGrid()->model()->rowCount(), 2);
    QCOMPARE(cell(w.billGrid(), 0, 0), QStringLiteral("0102"));

    // A search that finds nothing leaves no current household: the bills are hidden.
    households.find(Criterion::equals(kDoor, QStringLiteral("9999")), RecordSet::Direction::Forward,
                    RecordSet::Start::First);
    w.show();
    QVERIFY(!w.billGrid()->isVisible() && !w.fixedGrid()->isVisible());
    QCOMPARE(child<QLineEdit>(&w, "txt门牌号")->text(), QString());
}

void TestPaymentWindow::collectsAndPrintsThroughTheWindow()
{
    TestEstate e;
    fill(e);
    e.env().rs档案().moveFirst();
    PaymentWindow w(e.services());
    QList<ReceiptData> printed;
    w.setReceiptSink([&printed](const ReceiptData& d) { printed << d; });
    w.show();
    clickRow(w.billGrid(), 2);  // 202407, remarks 物业费到期

    // Credit 30 against 80: top up 40, shortfall, then print.
    e.prompter.yes();
    e.prompter.yes();
    e.prompter.type(QStringLiteral("40"));
    e.prompter.yes();
    child<QPushButton>(&w, "Command5")->click();
    QCOMPARE(e.prompter.boxes().size(), 5);
    QCOMPARE(printed.size(), 1);
    QVERIFY(printed[0].paid);
    const QString remark =
        QStringLiteral("物业费到期\r  2024年07月15日应缴费50元，实收40元，还欠-10元未缴，将合并至下次共同收缴!");
    QCOMPARE(printed[0].remarks, remark);
    QCOMPARE(printed[0].cash.toDouble(), 40.0);
    QCOMPARE(printed[0].fixed.size(), 2);
    QCOMPARE(printed[0].metered.size(), 1);

    // The grids and boxes show the written rows, on the same bill.
    QCOMPARE(w.billGrid()->currentIndex().row(), 2);
    QCOMPARE(w.billGrid()->model()->index(2, 6).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(cell(w.billGrid(), 2, 3), QStringLiteral("￥40.00"));
    QCOMPARE(cell(w.billGrid(), 2, 4), QStringLiteral("2024-07-15"));
    QCOMPARE(child<QLineEdit>(&w, "txt账户余额")->text(), QStringLiteral("-10"));
    QVERIFY(w.remarksBox()->toPlainText().endsWith(QStringLiteral("将合并至下次共同收缴!")));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 收费2 where 缴费时间 = '2024-07-15'")).toInt(), 1);

    // Printing again asks nothing and prints the paid bill.
    e.prompter.clear();
    child<QPushButton>(&w, "Command6")->click();
    QCOMPARE(e.prompter.boxes().size(), 0);
    QCOMPARE(printed.size(), 2);
    QVERIFY(printed[1].paid);

    // A second collection of the same bill is refused.
    child<QPushButton>(&w, "Command5")->click();
    QCOMPARE(e.prompter.texts(), QStringList{QStringLiteral("本月已缴过费了")});
}

void TestPaymentWindow::printWithoutCurrentBillDoesNothing()
{
    TestEstate e;
    fill(e);
    e.env().rs档案().find(Criterion::equals(kDoor, QStringLiteral("0103")));
    PaymentWindow w(e.services());
    int printed = 0;
    w.setReceiptSink([&printed](const ReceiptData&) { ++printed; });
    child<QPushButton>(&w, "Command6")->click();
    QCOMPARE(printed, 0);
    QVERIFY(e.prompter.boxes().isEmpty());
}

void TestPaymentWindow::emptyEstateHidesTheGrids()
{
    TestEstate e;
    PaymentWindow w(e.services());
    w.show();
    QVERIFY(!w.billGrid()->isVisible() && !w.fixedGrid()->isVisible() && !w.meteredGrid()->isVisible());
    child<QPushButton>(&w, "Command2")->click();
    child<QPushButton>(&w, "Command5")->click();
    child<QPushButton>(&w, "Command6")->click();
    QCOMPARE(e.prompter.texts(), QStringList{QStringLiteral("请选择要缴费的记录")});
}

void TestPaymentWindow::lineTablesAreNeverReadWhole()
{
    FENWARY_FILE_ENGINE_ONLY();
    TestEstate e;
    fill(e);
    g_wholeReads = 0;
    sqlite3_trace(e.db().handle(), &trace, nullptr);
    {
        // With a current household, and with none (the sets still unfiltered).
        PaymentWindow w(e.services());
        clickRow(w.householdGrid(), 1);
        child<QPushButton>(&w, "Command2")->click();
        child<QPushButton>(&w, "Command4")->click();
    }
    TestEstate empty;
    sqlite3_trace(empty.db().handle(), &trace, nullptr);
    {
        PaymentWindow w(empty.services());
    }
    sqlite3_trace(e.db().handle(), nullptr, nullptr);
    sqlite3_trace(empty.db().handle(), nullptr, nullptr);
    QCOMPARE(g_wholeReads, 0);
}

void TestPaymentWindow::anotherDesksWorkAppearsWithinASecond()
{
    if (!TestEstate::onServer())
        QSKIP("one program per data file");
    TestEstate e;
    fill(e);
    e.env().rs档案().moveFirst();
    PaymentWindow w(e.services());
    w.show();
    clickRow(w.billGrid(), 1);  // 202406, unpaid
    QCOMPARE(w.billGrid()->model()->index(1, 6).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    auto* balance = child<QLineEdit>(&w, "txt账户余额");
    QCOMPARE(balance->text(), QStringLiteral("30"));

    // The other desk: a transaction of two tables, then a write on its own.
    TestEstate other(e.conninfo());
    {
        Transaction t(other.db());
        other.db().exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = 80, 缴费时间 = '2024-07-15' "
                                       "where 门牌号 = '0101' and 月份 = '202406'"));
        other.db().exec(QStringLiteral("update 档案库 set 账户余额 = 30 where 门牌号 = '0101'"));
        other.db().exec(QStringLiteral("update 档案库 set 账户余额 = 25 where 门牌号 = '0101'"));
        t.commit();
    }
    QElapsedTimer seen;
    seen.start();
    QTRY_COMPARE_WITH_TIMEOUT(w.billGrid()->model()->index(1, 6).data(Qt::CheckStateRole).toInt(), int(Qt::Checked), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(balance->text(), QStringLiteral("25"), 1000);
    QVERIFY(seen.elapsed() < 1000);
    QCOMPARE(w.billGrid()->currentIndex().row(), 1);
    other.db().exec(QStringLiteral("update 档案库 set 账户余额 = 5 where 门牌号 = '0101'"));
    QTRY_COMPARE_WITH_TIMEOUT(balance->text(), QStringLiteral("5"), 1000);
}

void TestPaymentWindow::screenshot()
{
    TestEstate e;
    fill(e);
    e.env().rs档案().moveFirst();
    PaymentWindow w(e.services());
    w.resize(1280, 760);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickRow(w.billGrid(), 2);
    const QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    if (dir.isEmpty())
        QSKIP("FENWARY_SHOTS is not set");
    QDir().mkpath(dir);
    QVERIFY(w.grab().save(dir + QStringLiteral("/payment.png")));
}

QTEST_MAIN(TestPaymentWindow)
#include "test_paymentwindow.moc"
