#include "charging/billentrywindow.h"
#include "charging/itemwindow.h"
#include "charging/windows.h"
#include "common/numbers.h"
#include "estate.h"
#include "shots.h"
#include "common/windowregistry.h"
#include "store/gridview.h"
#include "store/navbar.h"
#include "store/recordset.h"
#include "store/recordsetmodel.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using Kind = ScriptedPrompter::Kind;

namespace {

QString door(int i)
{
    return QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
}

void households(TestEstate& e, int n)
{
    Transaction t(e.db());
    for (int i = 1; i <= n; ++i)
        e.addHousehold(door(i), QStringLiteral("住户%1").arg(i), 60 + i, double(i), QStringLiteral("按月收费"));
    t.commit();
}

}  // namespace

class TestChargingWindows : public QObject {
    Q_OBJECT
private slots:
    void registryNamesBothWindows();
    void itemGridShowsCaptionsMaskAndFlags();
    void itemChangesReachTheTableOnCloseInOneTransaction();
    void deletingWithoutACurrentItemDoesNothing();
    void itemWithoutItsOwnNumberIsRefused();

    void defaultMonthIsTwentyDaysBack_data();
    void defaultMonthIsTwentyDaysBack();
    void monthCheck_data();
    void monthCheck();
    void barCaptionAndDoorFollowTheHousehold();
    void typedDoorNumberShowsThatHousehold();
    void findDoor();
    void singleEntryFromTheWindowShowsTheBill();
    void entryRefusesAMonthThatIsNotAMonth_data();
    void entryRefusesAMonthThatIsNotAMonth();
    void closingRereadsTheSharedSets();
    void halfTypedNumberIsNeverStored_data();
    void halfTypedNumberIsNeverStored();
    void paidBillMoneyIsShownNotEdited_data();
    void paidBillMoneyIsShownNotEdited();
    void doorInOtherLetterCaseUsesTheStoredDoor();
};

void TestChargingWindows::registryNamesBothWindows()
{
    WindowRegistry reg;
    registerChargingWindows(reg);
    QVERIFY(reg.find(QStringLiteral("frm_项目维护")));
    QCOMPARE(reg.find(QStringLiteral("frm_项目维护"))->showAs, ShowAs::Separate);
    QCOMPARE(reg.find(QStringLiteral("frm_缴费录入"))->showAs, ShowAs::ChildMaximized);
    TestEstate e;
    std::unique_ptr<QWidget> w(reg.find(QStringLiteral("frm_缴费录入"))->create(e.services()));
    QCOMPARE(w->objectName(), QStringLiteral("frm_缴费录入"));
    QCOMPARE(w->windowTitle(), QStringLiteral("缴费录入"));
}

void TestChargingWindows::itemGridShowsCaptionsMaskAndFlags()
{
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 1234.5, false, false, true);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("杂费"), QVariant());
    households(e, 12);
    ItemWindow w(e.services());
    QCOMPARE(w.objectName(), QStringLiteral("frm_项目维护"));
    QCOMPARE(w.windowTitle(), QStringLiteral("项目设置"));
    RecordSetModel* m = w.model();
    QAbstractItemModelTester tester(m);
    QStringList captions;
    for (int c = 0; c < m->columnCount(); ++c)
        captions << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(captions, (QStringList{"项目名", "是否有上月数", "项目号", "固定收费(单价)", "是否单价计算", "是否按面积"}));
    QCOMPARE(m->rowCount(), 4);  // three items and the new-row line
    QCOMPARE(m->displayText(0, 3), QStringLiteral("￥1,234.50"));
    QCOMPARE(m->displayText(2, 3), QString());
    QCOMPARE(m->data(m->index(0, 5), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(m->data(m->index(0, 1), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(m->data(m->index(1, 1), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(w.deleteButton()->text(), QStringLiteral("删除项目"));
    QCOMPARE(w.closeButton()->text(), QStringLiteral("关   闭"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    shoot(w, QStringLiteral("items.png"));
}

void TestChargingWindows::itemChangesReachTheTableOnCloseInOneTransaction()
{
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("杂费"), 5.0);
    auto w = std::make_unique<ItemWindow>(e.services());
    w->show();
    RecordSetModel* m = w->model();
    RecordSet& rs = e.env().rs项目();
    // Delete the first item, edit the others, add one in the new-row line.
    rs.moveFirst();
    QTest::mouseClick(w->deleteButton(), Qt::LeftButton);
    QVERIFY(m->setData(m->index(0, 0), QStringLiteral("自来水费")));
    QVERIFY(m->setData(m->index(0, 3), QStringLiteral("3")));
    QVERIFY(m->setData(m->index(1, 5), int(Qt::Checked), Qt::CheckStateRole));
    QVERIFY(m->isNewRowLine(2));
    QVERIFY(m->setData(m->index(2, 0), QStringLiteral("电费")));
    QVERIFY(m->setData(m->index(2, 2), QStringLiteral("04")));
    QVERIFY(m->setData(m->index(2, 4), int(Qt::Checked), Qt::CheckStateRole));
    QCOMPARE(m->rowCount(), 4);
    const QString all = QStringLiteral("select 项目号, 项目名, 固定收费, 计算标志, 按面积 from 项目 order by 项目号");
    const auto before = e.rows(all);
    QCOMPARE(before.size(), 3);  // nothing written yet

    // A refused write writes none of the changes and keeps the window and its changes.
    e.refuseWrites(QStringLiteral("insert"), QStringLiteral("项目"), QStringLiteral("true"),
                   QStringLiteral("database or disk is full"));
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QCOMPARE(e.prompter.boxes().size(), 1);
    QCOMPARE(e.prompter.boxes()[0].kind, Kind::Inform);
    QVERIFY(e.prompter.boxes()[0].text.contains(QStringLiteral("database or disk is full")));
    QCOMPARE(e.rows(all), before);
    QVERIFY(rs.hasPendingChanges());

    e.refuseNothing(QStringLiteral("项目"));
    QVERIFY(w->close());
    const auto after = e.rows(all);
    QCOMPARE(after.size(), 3);
    QCOMPARE(after[0], (QVariantList{QStringLiteral("02"), QStringLiteral("自来水费"), 3.0, 1, 0}));
    QCOMPARE(after[1], (QVariantList{QStringLiteral("03"), QStringLiteral("杂费"), 5.0, 0, 1}));
    QCOMPARE(after[2].mid(0, 2), (QVariantList{QStringLiteral("04"), QStringLiteral("电费")}));
    QCOMPARE(after[2][3].toInt(), 1);
}

void TestChargingWindows::deletingWithoutACurrentItemDoesNothing()
{
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    ItemWindow w(e.services());
    RecordSet& rs = e.env().rs项目();
    rs.moveTo(rs.count());  // after the last item
    w.deleteItem();
    QVERIFY(!rs.hasPendingChanges());
    QVERIFY(w.close());
    QCOMPARE(e.count(QStringLiteral("项目")), 1);
}

void TestChargingWindows::itemWithoutItsOwnNumberIsRefused()
{
    TestEstate e;
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    auto w = std::make_unique<ItemWindow>(e.services());
    w->show();
    RecordSetModel* m = w->model();
    const QString all = QStringLiteral("select 项目号, 项目名 from 项目 order by rowid");

    // A new item typed without a number: closing refuses, says why, keeps the window.
    QVERIFY(m->setData(m->index(1, 0), QStringLiteral("电费")));
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QCOMPARE(e.prompter.boxes().size(), 1);
    QVERIFY2(e.prompter.boxes()[0].text.endsWith(QStringLiteral("项目“电费”没有项目号，请填写项目号。")),
             qPrintable(e.prompter.boxes()[0].text));
    QCOMPARE(e.rows(all).size(), 1);

    // Moving to another row writes the row left: refused the same way, the grid stays on it.
    QVERIFY(m->setData(m->index(1, 2), QStringLiteral("01")));
    w->grid()->setCurrentIndex(m->index(0, 0));
    QCOMPARE(e.prompter.boxes().size(), 2);
    QVERIFY2(e.prompter.boxes()[1].text.contains(QStringLiteral("已是项目“物业费”的项目号")),
             qPrintable(e.prompter.boxes()[1].text));
    QCOMPARE(e.env().rs项目().position(), 1);
    QCOMPARE(e.rows(all).size(), 1);

    QVERIFY(m->setData(m->index(1, 2), QStringLiteral("02")));
    QVERIFY(w->close());
    QCOMPARE(e.rows(all), (QList<QVariantList>{{QStringLiteral("01"), QStringLiteral("物业费")},
                                               {QStringLiteral("02"), QStringLiteral("电费")}}));
}

void TestChargingWindows::defaultMonthIsTwentyDaysBack_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("month");
    QTest::newRow("5th") << QDate(2024, 7, 5) << "202406";
    QTest::newRow("15th") << QDate(2024, 7, 15) << "202406";
    QTest::newRow("20th") << QDate(2024, 7, 20) << "202406";
    QTest::newRow("21st") << QDate(2024, 7, 21) << "202407";
    QTest::newRow("25th") << QDate(2024, 7, 25) << "202407";
    QTest::newRow("January 5th") << QDate(2024, 1, 5) << "202312";
}

void TestChargingWindows::defaultMonthIsTwentyDaysBack()
{
    QFETCH(QDate, today);
    QFETCH(QString, month);
    TestEstate e;
    households(e, 2);
    e.clock.set(today);
    BillEntryWindow w(e.services());
    QCOMPARE(w.monthBox()->text(), month);
    QCOMPARE(w.doorBox()->text(), QStringLiteral("0001"));
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  1/2"));
}

void TestChargingWindows::monthCheck_data()
{
    QTest::addColumn<QString>("month");
    QTest::addColumn<bool>("valid");
    QTest::newRow("202406") << "202406" << true;
    QTest::newRow("202413") << "202413" << false;
    QTest::newRow("abcdef") << "abcdef" << false;
    QTest::newRow("202400") << "202400" << false;
    QTest::newRow("2024061") << "2024061" << false;
}

void TestChargingWindows::monthCheck()
{
    QFETCH(QString, month);
    QFETCH(bool, valid);
    TestEstate e;
    households(e, 2);
    e.addBill(QStringLiteral("0001"), QStringLiteral("202405"), 99, false);
    BillEntryWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.monthBox()->setText(month);
    QTest::keyClick(w.monthBox(), Qt::Key_Return);
    if (valid) {
        QVERIFY(e.prompter.boxes().isEmpty());
        QCOMPARE(w.bill()->count(), 0);
    } else {
        QCOMPARE(e.prompter.boxes().size(), 1);
        QCOMPARE(e.prompter.boxes()[0].text, QStringLiteral("日期格式不正确"));
        QCOMPARE(e.prompter.boxes()[0].title, QStringLiteral("Fenwary"));
    }
    // A valid month shows its bill.
    e.prompter.clear();
    w.monthBox()->setText(QStringLiteral("202405"));
    QTest::keyClick(w.monthBox(), Qt::Key_Return);
    QVERIFY(e.prompter.boxes().isEmpty());
    QCOMPARE(w.chargeBox()->text(), QStringLiteral("99"));
}

void TestChargingWindows::barCaptionAndDoorFollowTheHousehold()
{
    TestEstate e;
    households(e, 120);
    e.addFixedLine(door(3), QStringLiteral("202406"), QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addFixedLine(door(3), QStringLiteral("202405"), QStringLiteral("01"), QStringLiteral("物业费"), 40.0);
    e.addMeteredLine(door(3), QStringLiteral("202406"), QStringLiteral("02"), QStringLiteral("水费"), 10.0, 20.0, 2.0, 20.0);
    BillEntryWindow w(e.services());
    w.show();
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  1/120"));
    QCOMPARE(w.fixedLines()->count(), 0);
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  3/120"));
    QCOMPARE(w.doorBox()->text(), door(3));
    QCOMPARE(w.nameBox()->text(), QStringLiteral("住户3"));
    QCOMPARE(w.fixedLines()->count(), 1);
    QCOMPARE(w.fixedGrid()->model()->rowCount(), 1);
    QCOMPARE(w.meteredGrid()->model()->rowCount(), 1);
    QCOMPARE(w.fixedGrid()->recordSetModel()->displayText(0, 4), QStringLiteral("￥50.00000"));
    QCOMPARE(w.households()->position(), 2);
    QTest::mouseClick(w.navBar()->lastButton(), Qt::LeftButton);
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  120/120"));
    QCOMPARE(w.fixedLines()->count(), 0);
}

void TestChargingWindows::typedDoorNumberShowsThatHousehold()
{
    TestEstate e;
    households(e, 12);
    e.addBill(door(7), QStringLiteral("202406"), 123.5, false);
    BillEntryWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.doorBox()->setFocus();
    w.doorBox()->selectAll();
    QTest::keyClicks(w.doorBox(), door(7));
    QTest::keyClick(w.doorBox(), Qt::Key_Return);
    QCOMPARE(w.households()->position(), 6);
    QCOMPARE(w.nameBox()->text(), QStringLiteral("住户7"));
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  7/12"));
    QCOMPARE(w.chargeBox()->text(), QStringLiteral("123.5"));

    // An unknown door number shows an empty bill.
    w.doorBox()->setText(QStringLiteral("9'99"));
    QTest::keyClick(w.doorBox(), Qt::Key_Return);
    QCOMPARE(w.bill()->count(), 0);
    QCOMPARE(w.chargeBox()->text(), QString());
    QVERIFY(e.prompter.boxes().isEmpty());
}

void TestChargingWindows::findDoor()
{
    TestEstate e;
    households(e, 12);
    BillEntryWindow w(e.services());
    e.prompter.type(door(5));
    QTest::mouseClick(w.findButton(), Qt::LeftButton);
    QCOMPARE(e.prompter.boxes()[0].text, QStringLiteral("请输入门牌号"));
    QCOMPARE(e.prompter.boxes()[0].offered, door(1));
    QCOMPARE(w.doorBox()->text(), door(5));
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  5/12"));
    e.prompter.clear();
    e.prompter.cancel();
    QTest::mouseClick(w.findButton(), Qt::LeftButton);
    QCOMPARE(e.prompter.boxes().size(), 2);
    QCOMPARE(e.prompter.boxes()[0].offered, door(5));
    QCOMPARE(e.prompter.boxes()[1].text, QStringLiteral("无法找到,错误的门牌号!"));
}

void TestChargingWindows::singleEntryFromTheWindowShowsTheBill()
{
    TestEstate e;
    households(e, 12);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 1.5, false, false, true);
    e.addItem(QStringLiteral("02"), QStringLiteral("卫生费"), 10.0);
    e.addItem(QStringLiteral("03"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("04"), QStringLiteral("电费"), 0.6, true, true);
    e.addMeteredLine(door(2), QStringLiteral("202405"), QStringLiteral("03"), QStringLiteral("水费"), 100.0, 120.0, 2.5, 50.0);
    e.addMeteredLine(door(2), QStringLiteral("202405"), QStringLiteral("04"), QStringLiteral("电费"), 3000.0, 3150.0, 0.6, 90.0);
    BillEntryWindow w(e.services());
    w.resize(820, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    for (const char* a : {"1.5", "10", "131", "2.5", "3268", "0.6"})
        e.prompter.type(QString::fromLatin1(a));
    QTest::mouseClick(w.singleButton(), Qt::LeftButton);
    QCOMPARE(e.prompter.pending(), 0);
    QCOMPARE(e.prompter.boxes().size(), 6);
    const double total = 1.5 * 62 + 10 + 11 * 2.5 + 118 * 0.6;
    QCOMPARE(e.scalar(QStringLiteral("select 收费金额 from 缴费历史")).toDouble(), total);
    QCOMPARE(w.bill()->count(), 1);
    QCOMPARE(w.fixedGrid()->model()->rowCount(), 2);
    QCOMPARE(w.meteredGrid()->model()->rowCount(), 2);
    QCOMPARE(w.paidBox()->isChecked(), false);
    QCOMPARE(w.navBar()->caption(), QStringLiteral("档案号  2/12"));
    QTest::qWait(50);
    shoot(w, QStringLiteral("billentry.png"));
}

void TestChargingWindows::entryRefusesAMonthThatIsNotAMonth_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::newRow("single") << false;
    QTest::newRow("continuous") << true;
}

void TestChargingWindows::entryRefusesAMonthThatIsNotAMonth()
{
    QFETCH(bool, continuous);
    TestEstate e;
    households(e, 3);
    e.addItem(QStringLiteral("02"), QStringLiteral("卫生费"), 10.0);
    BillEntryWindow w(e.services());
    w.monthBox()->setText(QStringLiteral("2024'6"));
    e.prompter.clear();
    QMetaObject::invokeMethod(continuous ? w.continuousButton() : w.singleButton(), "click");
    QCOMPARE(e.prompter.texts(), QStringList{QStringLiteral("日期格式不正确")});
    QCOMPARE(e.count(QStringLiteral("缴费历史")), 0);
    QCOMPARE(e.count(QStringLiteral("收费1")), 0);
}

void TestChargingWindows::closingRereadsTheSharedSets()
{
    TestEstate e;
    households(e, 3);
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    RecordSet& bills = e.env().rs缴费历史();
    bills.open();
    QCOMPARE(bills.count(), 0);
    auto w = std::make_unique<BillEntryWindow>(e.services());
    e.prompter.type(QStringLiteral("50"));
    w->singleEntry();
    QCOMPARE(bills.count(), 1);  // the committed bill is seen at once, not only after closing
    QVERIFY(w->close());
    QCOMPARE(bills.count(), 1);
    QCOMPARE(e.env().rs收费1().count(), 1);
}

void TestChargingWindows::halfTypedNumberIsNeverStored_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("arrow");
    QTest::addColumn<bool>("refused");
    QTest::newRow("balance 1,200, next") << "balance" << "1,200" << "next" << true;
    QTest::newRow("balance 1,200, previous") << "balance" << "1,200" << "previous" << true;
    QTest::newRow("area 80平米, first") << "area" << "80平米" << "first" << true;
    QTest::newRow("charge 1e, last") << "charge" << "1e" << "last" << true;
    QTest::newRow("charge 1,2, single entry") << "charge" << "1,2" << "single" << true;
    QTest::newRow("balance 1200, next") << "balance" << "1200" << "next" << false;
}

void TestChargingWindows::halfTypedNumberIsNeverStored()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, arrow);
    QFETCH(bool, refused);
    TestEstate e;
    households(e, 3);  // 0002: area 62, balance 2
    e.addBill(door(2), QStringLiteral("202406"), 80.0);
    BillEntryWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    const int movements = e.count(QStringLiteral("账户流水"));
    QLineEdit* edit = box == "balance" ? w.balanceBox() : box == "area" ? w.areaBox() : w.chargeBox();
    const QString caption = box == "balance" ? "当前账户余额" : box == "area" ? "面积(平米)" : "收费金额";
    const QString column = box == "balance" ? "账户余额" : box == "area" ? "面积" : "收费金额";
    const QString table = box == "charge" ? "缴费历史" : "档案库";
    const QVariant before = e.scalar(QStringLiteral("select %1 from %2 where 门牌号 = ?").arg(column, table), {door(2)});
    edit->setFocus();
    edit->selectAll();
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    // The record bar's buttons and "单笔录入" clicked without taking the focus.
    NavBar* bar = w.navBar();
    QAbstractButton* b = arrow == "next"       ? bar->nextButton()
                         : arrow == "previous" ? bar->previousButton()
                         : arrow == "first"    ? bar->firstButton()
                         : arrow == "last"     ? static_cast<QAbstractButton*>(bar->lastButton())
                                               : w.singleButton();
    b->click();
    const QVariant after = e.scalar(QStringLiteral("select %1 from %2 where 门牌号 = ?").arg(column, table), {door(2)});
    if (refused) {
        QCOMPARE(e.prompter.texts().size(), 1);
        QVERIFY2(e.prompter.texts()[0].endsWith(notANumberText(caption, text)), qPrintable(e.prompter.texts()[0]));
        QCOMPARE(w.households()->position(), 1);
        QCOMPARE(edit->text(), text);
        QVERIFY(edit->hasFocus());
        QCOMPARE(after, before);
        QCOMPARE(e.count(QStringLiteral("账户流水")), movements);
        if (box == "balance" && arrow == "next")
            shoot(w, QStringLiteral("billentry_half_typed.png"));
        // The box emptied by hand and the window closed: the stored value stays.
        edit->setText(QString());
        QVERIFY(w.unload());
        QCOMPARE(e.scalar(QStringLiteral("select %1 from %2 where 门牌号 = ?").arg(column, table), {door(2)}), before);
        QCOMPARE(e.count(QStringLiteral("账户流水")), movements);
    } else {
        QVERIFY(e.prompter.boxes().isEmpty());
        QCOMPARE(w.households()->position(), 2);
        QCOMPARE(after.toDouble(), 1200.0);
        QCOMPARE(e.count(QStringLiteral("账户流水")), movements + 1);
    }
}

void TestChargingWindows::paidBillMoneyIsShownNotEdited_data()
{
    QTest::addColumn<bool>("paid");
    QTest::newRow("paid") << true;
    QTest::newRow("unpaid") << false;
}

void TestChargingWindows::paidBillMoneyIsShownNotEdited()
{
    QFETCH(bool, paid);
    TestEstate e;
    households(e, 2);
    e.addBill(door(2), QStringLiteral("202406"), 80.0, paid, paid ? QVariant(80.0) : QVariant(),
              paid ? QVariant(2.0) : QVariant(), paid ? QStringLiteral("2024-06-30") : QString());
    BillEntryWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (QLineEdit* box : {w.chargeBox(), w.cashBox(), w.paidOnBox(), w.monthBalanceBox()})
        QVERIFY(!box->isReadOnly());  // the first household has no bill
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    QCOMPARE(w.chargeBox()->text(), QStringLiteral("80"));
    for (QLineEdit* box : {w.chargeBox(), w.cashBox(), w.paidOnBox(), w.monthBalanceBox()})
        QCOMPARE(box->isReadOnly(), paid);
    QCOMPARE(w.paidBox()->isEnabled(), !paid);
    QCOMPARE(w.paidBox()->isChecked(), paid);
    if (paid)
        shoot(w, QStringLiteral("billentry_paid.png"));
    // Back on an unpaid bill, the boxes are editable again.
    QTest::mouseClick(w.navBar()->previousButton(), Qt::LeftButton);
    QVERIFY(!w.chargeBox()->isReadOnly());
    QVERIFY(w.paidBox()->isEnabled());
}

void TestChargingWindows::doorInOtherLetterCaseUsesTheStoredDoor()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("A-101"), QStringLiteral("甲"), 80);
    e.addHousehold(QStringLiteral("B-102"), QStringLiteral("乙"), 80);
    e.addItem(QStringLiteral("01"), QStringLiteral("水费"), 2.0, true, true);
    e.addMeteredLine(QStringLiteral("A-101"), QStringLiteral("202405"), QStringLiteral("01"), QStringLiteral("水费"),
                     1000.0, 1200.0, 2.0, 400.0);
    e.addBill(QStringLiteral("A-101"), QStringLiteral("202406"), 123.5);
    BillEntryWindow w(e.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
    w.doorBox()->setText(QStringLiteral("a-101"));
    QTest::keyClick(w.doorBox(), Qt::Key_Return);
    QCOMPARE(w.households()->position(), 0);
    QCOMPARE(w.doorBox()->text(), QStringLiteral("A-101"));
    QCOMPARE(w.chargeBox()->text(), QStringLiteral("123.5"));

    // Single entry from a door typed in lower case: the same bill, the reading of May.
    w.doorBox()->setText(QStringLiteral("a-101"));
    e.prompter.type(QStringLiteral("1260"));
    e.prompter.type(QStringLiteral("2"));
    w.singleEntry();
    QCOMPARE(e.prompter.boxes()[0].offered, QStringLiteral("1200"));
    QCOMPARE(e.rows(QStringLiteral("select 门牌号, 收费金额 from 缴费历史 where 月份 = '202406'")),
             (QList<QVariantList>{{QStringLiteral("A-101"), 120.0}}));
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 收费2 where 门牌号 <> 'A-101'")).toInt(), 0);

    // Found with "查找门牌" while it is already current.
    w.doorBox()->setText(QStringLiteral("a-101"));
    e.prompter.type(QStringLiteral("a-101"));
    w.findDoor();
    QCOMPARE(w.doorBox()->text(), QStringLiteral("A-101"));
}

QTEST_MAIN(TestChargingWindows)
#include "test_charging_windows.moc"
