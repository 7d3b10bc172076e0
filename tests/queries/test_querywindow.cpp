// The combined query window through its real widgets.
#include "estate.h"

#include "queries/querytable.h"
#include "queries/querywindow.h"
#include "queries/windows.h"
#include "store/database.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A dozen households over three months, a metered and a fixed item.
void fillEstate(TestEstate& e)
{
    e.addItem("01", "水费", 2.5, true, true);
    e.addItem("02", "物业费", 80, false);
    Transaction t(e.db());
    for (int i = 0; i < 12; ++i) {
        const QString door = QStringLiteral("%1-%2").arg(i < 6 ? 3 : 4).arg(101 + i % 6);
        e.addHousehold(door, i == 4 ? QStringLiteral(" ") : QStringLiteral("住户%1").arg(i + 1), 80 + i);
        for (int m = 1; m <= 3; ++m) {
            const QString month = QStringLiteral("20240%1").arg(m);
            const bool paid = (i + m) % 3 != 0;
            const double water = (10 + i) * 2.5;
            e.addBill(door, month, water + 80, paid, paid ? QVariant(water + 80) : QVariant(), paid ? QVariant(0.0) : QVariant(),
                      paid ? QStringLiteral("2024-0%1-10").arg(m + 1) : QString());
            e.addMeteredLine(door, month, "01", "水费", 100.0 * m, 100.0 * m + 10 + i, 2.5, water);
            e.addFixedLine(door, month, "02", "物业费", 80);
        }
    }
    t.commit();
}

template <class W>
W* child(QWidget& w, const char* name)
{
    W* c = w.findChild<W*>(QString::fromUtf8(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

void click(QWidget& w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

void shot(QWidget& w, const QString& name)
{
    const QString dir = qEnvironmentVariable("FENWARY_SHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(dir + QLatin1Char('/') + name);
}

}  // namespace

class TestQueryWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("FENWARY_REPORT_DIR", reports_.path().toUtf8()); }
    void registeredAndInitialState();
    void eachButtonFillsTheList();
    void unknownItemRefused();
    void sharedRecordSetsLeftAlone();
    void keepsUpWithHundredThousandRows();

private:
    QTemporaryDir reports_;
};

void TestQueryWindow::registeredAndInitialState()
{
    WindowRegistry registry;
    registerQueriesWindows(registry);
    const WindowEntry* entry = registry.find(QStringLiteral("frm_查询"));
    QVERIFY(entry);
    QCOMPARE(entry->showAs, ShowAs::ChildMaximized);

    TestEstate e;
    fillEstate(e);
    e.addBill("9-9", "202312", 1, false);
    std::unique_ptr<QWidget> w(entry->create(e.services()));
    QCOMPARE(w->objectName(), QStringLiteral("frm_查询"));
    QCOMPARE(w->windowTitle(), QStringLiteral("综合查询"));
    auto* items = child<QComboBox>(*w, "DataCombo1");
    auto* first = child<QComboBox>(*w, "DataCombo2");
    auto* last = child<QComboBox>(*w, "DataCombo3");
    QCOMPARE(items->currentText(), QStringLiteral("全部项目"));
    QCOMPARE(first->currentText(), QStringLiteral("起始日期"));
    QCOMPARE(last->currentText(), QStringLiteral("截止日期"));
    QCOMPARE(child<QLineEdit>(*w, "txt楼号")->text(), QString());
    QCOMPARE(child<QLabel>(*w, "Label2")->text(), QString());
    QStringList itemNames, monthTexts;
    for (int i = 0; i < items->count(); ++i)
        itemNames << items->itemText(i);
    for (int i = 0; i < first->count(); ++i)
        monthTexts << first->itemText(i);
    QCOMPARE(itemNames, (QStringList{"水费", "物业费"}));
    QCOMPARE(monthTexts, (QStringList{"202312", "202401", "202402", "202403"}));
    QCOMPARE(last->count(), 4);
    const QStringList captions{"开始查询", "未缴统计", "已缴统计", "全部项目", "出表打印", "退   出"};
    const char* names[] = {"Command2", "Command1", "Command4", "Command6", "Command5", "Command3"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(child<QPushButton>(*w, names[i])->text(), captions[i]);
}

void TestQueryWindow::eachButtonFillsTheList()
{
    TestEstate e;
    fillEstate(e);
    QueryWindow w(e.services());
    w.resize(1000, 640);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* items = child<QComboBox>(w, "DataCombo1");
    auto* status = child<QLabel>(w, "Label2");
    child<QComboBox>(w, "DataCombo2")->setEditText("202401");
    child<QComboBox>(w, "DataCombo3")->setEditText("202403");
    QTableView* view = w.resultView();

    // With "全部项目" in the item box the three query buttons list whole bills.
    struct AllCase {
        const char* button;
        QString status;
    };
    const AllCase all[] = {{"Command2", "现在查询的是全部用户 包括未缴费和已缴费"},
                           {"Command1", "现在查询的是全部用户 未缴费"},
                           {"Command4", "现在查询的是全部用户 已缴费"}};
    for (const AllCase& c : all) {
        click(w, c.button);
        QCOMPARE(status->text(), c.status);
        QCOMPARE(view->model()->columnCount(), 8);
        QCOMPARE(view->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("收费金额"));
        QVERIFY(view->model()->rowCount() > 2);
    }
    click(w, "Command2");
    QCOMPARE(view->model()->rowCount(), 12 * 4 + 2);  // 36 bills, 12 separators, separator and totals

    // One item: the metered layout.
    items->setCurrentIndex(items->findText("水费"));
    click(w, "Command2");
    QCOMPARE(status->text(), QStringLiteral("现在查询的是: 水费 的明细,包括已缴和未缴!"));
    QCOMPARE(view->model()->columnCount(), 8);
    QCOMPARE(view->model()->headerData(6, Qt::Horizontal).toString(), QStringLiteral("金额"));
    QCOMPARE(view->model()->rowCount(), 36 + 12 + 2);
    const int last = view->model()->rowCount() - 1;
    QCOMPARE(view->model()->index(last, 0).data().toString(), QStringLiteral("合计 "));
    QCOMPARE(view->model()->index(last, 6).data().toString(), QStringLiteral("1,395.00"));
    QCOMPARE(view->model()->index(4 * 4, 1).data().toString(), QStringLiteral("无名"));
    // Columns share the width equally.
    const int width0 = view->horizontalHeader()->sectionSize(0);
    for (int c = 1; c < 8; ++c)
        QVERIFY(qAbs(view->horizontalHeader()->sectionSize(c) - width0) <= 1);
    shot(w, QStringLiteral("query_item.png"));

    click(w, "Command1");
    QCOMPARE(status->text(), QStringLiteral("现在查询的是: 水费"));
    const int unpaidRows = view->model()->rowCount();
    click(w, "Command4");
    QCOMPARE(status->text(), QStringLiteral("现在查询的是: 水费"));
    QCOMPARE(unpaidRows + view->model()->rowCount(), 36 + 2 * 12 + 4);  // every household has bills of both states

    // The building narrows the households; the fixed layout.
    child<QLineEdit>(w, "txt楼号")->setText("4");
    items->setCurrentIndex(items->findText("物业费"));
    click(w, "Command2");
    QCOMPARE(view->model()->columnCount(), 5);
    QCOMPARE(view->model()->rowCount(), 18 + 6 + 2);
    QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("4-101"));
    QCOMPARE(view->model()->index(25, 3).data().toString(), QStringLiteral("1,440.00"));

    // "全部项目" resets the item box, so the next "开始查询" lists all items again.
    child<QLineEdit>(w, "txt楼号")->clear();
    click(w, "Command6");
    QCOMPARE(items->currentText(), QStringLiteral("全部项目"));
    QCOMPARE(status->text(), QStringLiteral("现在查询的是全部用户 包括未缴费和已缴费"));
    shot(w, QStringLiteral("query_all.png"));
    click(w, "Command1");
    QCOMPARE(status->text(), QStringLiteral("现在查询的是全部用户 未缴费"));

    // The export writes the table shown, says where, and opens the file.
    e.prompter.clear();
    click(w, "Command5");
    QCOMPARE(e.prompter.boxes().size(), 1);
    QVERIFY(e.prompter.boxes()[0].text.startsWith(QStringLiteral("表生成放至 ")));
    QCOMPARE(e.opener.paths(), QStringList{reports_.path() + "/查询明细.txt"});
    QFile f(e.opener.paths()[0]);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 1 + 12 + 1 + 1);  // header, unpaid bills (one per household), totals, after the last CR LF

    click(w, "Command3");
    QVERIFY(!w.isVisible());
}

void TestQueryWindow::unknownItemRefused()
{
    TestEstate e;
    fillEstate(e);
    QueryWindow w(e.services());
    w.show();
    child<QComboBox>(w, "DataCombo2")->setEditText("202401");
    child<QComboBox>(w, "DataCombo3")->setEditText("202401");
    click(w, "Command6");
    const int rows = w.table().rowCount();
    QVERIFY(rows > 2);
    child<QComboBox>(w, "DataCombo1")->setEditText("煤气费");
    click(w, "Command2");
    QCOMPARE(e.prompter.boxes().size(), 1);
    QVERIFY(e.prompter.boxes()[0].text.contains(QStringLiteral("煤气费")));
    QCOMPARE(e.prompter.boxes()[0].title, e.app.appTitle);
    QCOMPARE(w.table().rowCount(), rows);  // the previous table stays
    QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("现在查询的是全部用户 包括未缴费和已缴费"));
}

void TestQueryWindow::sharedRecordSetsLeftAlone()
{
    TestEstate e;
    fillEstate(e);
    RecordSet& households = e.env().rs档案();
    households.setFilter(Criterion::equals("门牌号", "3-102"));
    households.moveFirst();
    RecordSet& bills = e.env().rs缴费历史();
    bills.setFilter(Criterion::equals("门牌号", "3-102"));
    {
        QueryWindow w(e.services());
        w.show();
        child<QComboBox>(w, "DataCombo2")->setEditText("202401");
        child<QComboBox>(w, "DataCombo3")->setEditText("202403");
        child<QLineEdit>(w, "txt楼号")->setText("4");
        click(w, "Command6");
        child<QComboBox>(w, "DataCombo1")->setCurrentIndex(0);
        click(w, "Command2");
        QCOMPARE(w.table().rowCount(), 18 + 6 + 2);  // the window's own selection, not the shared filter
        w.close();
    }
    // Other windows' filters and positions are as they left them.
    QCOMPARE(households.filter().toString(), Criterion::equals("门牌号", "3-102").toString());
    QCOMPARE(households.value("门牌号").toString(), QStringLiteral("3-102"));
    QCOMPARE(bills.count(), 3);
    QVERIFY(e.env().rs项目().filter().isEmpty());
}

void TestQueryWindow::keepsUpWithHundredThousandRows()
{
    TestEstate e;
    {
        Transaction t(e.db());
        const QString bill = QStringLiteral(
            "insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志) values (?, ?, ?, ?, ?, ?, ?)");
        for (int i = 0; i < 10000; ++i) {
            const QString door = QStringLiteral("%1-%2").arg(i / 100 + 1).arg(i % 100 + 1, 3, 10, QLatin1Char('0'));
            e.db().exec(QStringLiteral("insert into 档案库 (门牌号, 户名) values (?, ?)"), {door, QStringLiteral("住户%1").arg(i)});
            for (int m = 1; m <= 10; ++m)
                e.db().exec(bill, {door, QStringLiteral("2024%1").arg(m, 2, 10, QLatin1Char('0')), 100.0 + m, 100.0, 0.0,
                                   QStringLiteral("2024-11-01"), 1});
        }
        t.commit();
    }
    QueryWindow w(e.services());
    w.resize(1000, 640);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    child<QComboBox>(w, "DataCombo2")->setEditText("202401");
    child<QComboBox>(w, "DataCombo3")->setEditText("202410");
    QElapsedTimer clock;
    clock.start();
    click(w, "Command6");
    QTableView* view = w.resultView();
    QCOMPARE(view->model()->rowCount(), 100000 + 10000 + 2);
    view->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex bottom = view->indexAt(QPoint(5, view->viewport()->height() - 3));
    QVERIFY(bottom.isValid());
    QVERIFY(bottom.row() >= 100000);
    QCOMPARE(view->model()->index(view->model()->rowCount() - 1, 3).data().toString(), QStringLiteral("10550000"));
    qInfo("100,000-bill listing shown in %lld ms", clock.elapsed());
}

QTEST_MAIN(TestQueryWindow)
#include "test_querywindow.moc"
