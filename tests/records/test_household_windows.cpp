#include "estate.h"

#include "common/qtprompter.h"
#include "records/householddefaults.h"
#include "records/householdwindow.h"
#include "records/searchwindow.h"
#include "records/windows.h"
#include "common/windowregistry.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kDuplicate = QStringLiteral("记录中存在重复的门牌号,请返回重输!");
const QString kSaveFailed = QStringLiteral("记录中存在错误,请返回重输!");
const QString kDeleteQuestion =
    QStringLiteral("删除档案操作是非常危险的，将删除所以该户的历史交易和收费情况，是否确定要删除该户？");

void addTwelve(TestEstate& e)
{
    const QStringList names{"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十", "郑一", "冯二", "陈三", "褚四"};
    for (int i = 0; i < names.size(); ++i) {
        const QString door = QString("1-%1-%2").arg(1 + i / 4).arg(101 + i % 4);
        e.db().exec("insert into 档案库 (门牌号, 户名, 联系电话, 单位, 籍贯, 账户余额, 面积, 其他信息, 收费说明) "
                    "values (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    {door, names[i], QString("1391234%1").arg(5670 + i), "城关镇中学", "城关镇",
                     i == 0 ? 1234.5 : -12.25 * i, 88.5 + i, "家庭主要成员：配偶:   年龄:      联系方式:     籍贯:",
                     "您的物业费到期日为2024年12月31日请及时缴纳!"});
    }
}

void shoot(QWidget& w, const QString& name)
{
    const QString shots = qEnvironmentVariable("FENWARY_SHOTS");
    if (shots.isEmpty())
        return;
    QDir().mkpath(shots);
    QVERIFY(w.grab().save(shots + "/" + name));
}

// Types any text (QTest::keyClicks takes ASCII only).
void typeText(QWidget* box, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void typeInto(QLineEdit* box, const QString& text)
{
    box->selectAll();
    typeText(box, text);
}

}  // namespace

class HouseholdWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void registry();
    void householdWindowShowsGridBoxesAndButtons();
    void addGivesPlaceholderAndSaves();
    void duplicateAddKeepsRowUntilCorrected();
    void failedFinalSaveReportsAndCloses();
    void closeFromMdiRunsFinalSave();
    void deleteAsksAndRemovesHousehold();
    void deleteWithoutCurrentAsksNothing();
    void enterAtDeleteQuestionDeletesNothing();
    void exportWritesOpensAndReportsFolder();
    void exportWritesQuestionMarksAndNamesTheHouseholds();
    void findButtonOpensSearchWindow();
    void searchWindowMovesHouseholdWindow();
    void areaBoxTakesFullWidthAndRefusesText_data();
    void areaBoxTakesFullWidthAndRefusesText();
};

void HouseholdWindowsTest::registry()
{
    WindowRegistry r;
    registerRecordsWindows(r);
    QVERIFY(r.find("frm_档案录入"));
    QCOMPARE(r.find("frm_档案录入")->showAs, ShowAs::ChildMaximized);
    QVERIFY(r.find("frm_档案查找"));
    QCOMPARE(r.find("frm_档案查找")->showAs, ShowAs::Separate);
    TestEstate estate;
    std::unique_ptr<QWidget> w(r.find("frm_档案录入")->create(estate.services()));
    QCOMPARE(w->windowTitle(), QString("frm_档案录入"));
    std::unique_ptr<QWidget> s(r.find("frm_档案查找")->create(estate.services()));
    QCOMPARE(s->windowTitle(), QString("档案查找"));
    QVERIFY(!(s->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

void HouseholdWindowsTest::householdWindowShowsGridBoxesAndButtons()
{
    TestEstate estate;
    addTwelve(estate);
    HouseholdWindow w(estate.services());
    w.resize(1000, 620);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    RecordSetModel* m = w.grid()->recordSetModel();
    QStringList captions;
    for (int c = 0; c < m->columnCount(); ++c)
        captions << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(captions, QStringList({"门牌号", "户名", "联系电话", "单位", "籍贯", "账户余额", "面积", "其他信息"}));
    QCOMPARE(m->rowCount(), 12);
    QCOMPARE(m->displayText(0, 5), QString("￥1,234.50000"));
    QCOMPARE(m->displayText(1, 5), QString("-￥12.25000"));

    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>("lblFieldLabel"))
        labels << l->text();
    QCOMPARE(labels.size(), 9);
    for (const QString t : {"门牌号:", "户名:", "联系电话:", "单位:", "籍贯:", "账户余额:", "面积(平米):", "其他信息:", "收费说明:"})
        QVERIFY2(labels.contains(t), qPrintable(t));
    QStringList buttons;
    for (const QString n : {"Command1", "Command2", "Command3", "Command4", "Command5"})
        buttons << w.findChild<QPushButton*>(n)->text();
    QCOMPARE(buttons, QStringList({"新增记录", "删除记录", "关    闭", "查找记录", "导出文件"}));

    QCOMPARE(w.doorBox()->text(), QString("1-1-101"));
    QCOMPARE(w.findChild<QLineEdit*>("txt账户余额")->text(), QString("1234.5"));
    w.grid()->selectRow(5);
    QCOMPARE(estate.env().rs档案().position(), 5);
    QCOMPARE(w.findChild<QLineEdit*>("txt户名")->text(), QString("孙八"));
    shoot(w, "households.png");
}

void HouseholdWindowsTest::addGivesPlaceholderAndSaves()
{
    TestEstate estate;
    estate.addHousehold("0102", "甲");
    HouseholdWindow w(estate.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::mouseClick(w.addButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.boxes().size(), 0);
    QCOMPARE(estate.count("档案库"), 2);
    QCOMPARE(w.doorBox()->text(), QString("0102(新)"));
    QCOMPARE(w.findChild<QLineEdit*>("txt单位")->text(), HouseholdDefaults::townName());
    QCOMPARE(w.findChild<QLineEdit*>("txt收费说明")->text(), QString("您的物业费到期日为2024年07月15日请及时缴纳!"));
    QVERIFY(w.doorBox()->hasFocus());
    QCOMPARE(w.grid()->recordSetModel()->rowCount(), 2);
    QCOMPARE(w.grid()->currentIndex().row(), 1);
}

void HouseholdWindowsTest::duplicateAddKeepsRowUntilCorrected()
{
    TestEstate estate;
    estate.addHousehold("A-12-3401-0009");
    estate.addHousehold("A-12-3401-(新)");
    HouseholdWindow w(estate.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::mouseClick(w.addButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.texts(), QStringList({kDuplicate}));
    QCOMPARE(estate.prompter.boxes()[0].title, estate.app.appTitle);
    QCOMPARE(estate.prompter.boxes()[0].icon, Prompter::Icon::Information);
    QCOMPARE(estate.count("档案库"), 2);
    QCOMPARE(w.grid()->recordSetModel()->rowCount(), 3);
    QCOMPARE(w.doorBox()->text(), QString("A-12-3401-(新)"));
    QVERIFY(w.doorBox()->hasFocus());

    typeInto(w.doorBox(), "A-12-3401-0010");
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.texts(), QStringList({kDuplicate}));
    QVERIFY(!w.isVisible());
    QCOMPARE(estate.scalar("select 户名 from 档案库 where 门牌号 = ?", {"A-12-3401-0010"}).toString(),
             QString("户名"));
}

void HouseholdWindowsTest::failedFinalSaveReportsAndCloses()
{
    TestEstate estate;
    estate.addHousehold("0101");
    estate.addHousehold("0102");
    HouseholdWindow w(estate.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.grid()->selectRow(1);
    typeInto(w.doorBox(), "0101");
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.texts(), QStringList({kSaveFailed}));
    QVERIFY(!w.isVisible());
    QCOMPARE(estate.scalar("select count(*) from 档案库 where 门牌号 = '0102'").toInt(), 1);
}

void HouseholdWindowsTest::closeFromMdiRunsFinalSave()
{
    TestEstate estate;
    estate.addHousehold("0101", "旧名");
    QMdiArea area;
    auto* w = new HouseholdWindow(estate.services());
    QMdiSubWindow* sub = area.addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    area.show();
    sub->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QPointer<QMdiSubWindow> guard(sub);
    typeInto(w->findChild<QLineEdit*>("txt户名"), "新名");
    QTest::mouseClick(w->closeButton(), Qt::LeftButton);
    QTRY_VERIFY(guard.isNull());
    QCOMPARE(estate.scalar("select 户名 from 档案库").toString(), QString("新名"));
    QCOMPARE(estate.prompter.boxes().size(), 0);
}

void HouseholdWindowsTest::deleteAsksAndRemovesHousehold()
{
    TestEstate estate;
    for (const QString d : {"0101", "0102", "0103"}) {
        estate.addHousehold(d, "户" + d);
        estate.addBill(d, "202406", 10);
        estate.addFixedLine(d, "202406", "01", "物业费", 10);
    }
    HouseholdWindow w(estate.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.grid()->selectRow(1);

    estate.prompter.no();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.boxes().size(), 1);
    QCOMPARE(estate.prompter.boxes()[0].kind, ScriptedPrompter::Kind::YesNo);
    QCOMPARE(estate.prompter.boxes()[0].text, kDeleteQuestion);
    QCOMPARE(estate.prompter.boxes()[0].title, estate.app.appTitle);
    QCOMPARE(estate.prompter.boxes()[0].preset, Prompter::Default::Decline);
    QCOMPARE(estate.count("档案库"), 3);

    estate.prompter.yes();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.count("档案库"), 2);
    QCOMPARE(estate.scalar("select count(*) from 缴费历史 where 门牌号 = '0102'").toInt(), 0);
    QCOMPARE(estate.count("缴费历史"), 2);
    QCOMPARE(estate.count("收费1"), 2);
    QCOMPARE(w.doorBox()->text(), QString("0103"));
    QCOMPARE(w.grid()->recordSetModel()->rowCount(), 2);
    QCOMPARE(w.grid()->currentIndex().row(), 1);

    estate.prompter.yes();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(w.doorBox()->text(), QString("0101"));
    estate.prompter.yes();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.count("档案库"), 0);
    QCOMPARE(w.doorBox()->text(), QString());
    QCOMPARE(estate.prompter.boxes().size(), 4);  // no failure reported
}

void HouseholdWindowsTest::deleteWithoutCurrentAsksNothing()
{
    TestEstate estate;
    HouseholdWindow w(estate.services());
    w.show();
    estate.prompter.yes();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.boxes().size(), 1);
    QCOMPARE(estate.prompter.boxes()[0].kind, ScriptedPrompter::Kind::Inform);
    QVERIFY(estate.prompter.boxes()[0].text != kDeleteQuestion);
}

void HouseholdWindowsTest::enterAtDeleteQuestionDeletesNothing()
{
    TestEstate estate;
    estate.addHousehold("0101", "张三");
    estate.addBill("0101", "202406", 10);
    estate.addFixedLine("0101", "202406", "01", "物业费", 10);
    QtPrompter boxes;
    Services services{estate.env(), boxes, estate.app, estate.opener, estate.clock};
    HouseholdWindow w(services);
    boxes.setParent(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    estate.env().rs档案().moveFirst();

    QString asked;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer.stop();
        asked = box->text();
        QWidget* target = box->focusWidget() ? box->focusWidget() : box;
        QTest::keyClick(target, Qt::Key_Return);
    });
    timer.start();
    QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
    QCOMPARE(asked, kDeleteQuestion);
    QCOMPARE(estate.count("档案库"), 1);
    QCOMPARE(estate.count("缴费历史"), 1);
    QCOMPARE(estate.count("收费1"), 1);
    QCOMPARE(w.doorBox()->text(), QString("0101"));
}

void HouseholdWindowsTest::exportWritesOpensAndReportsFolder()
{
    QTemporaryDir reports;
    const QString folder = reports.path() + "/报表";
    qputenv("FENWARY_REPORT_DIR", folder.toUtf8());
    TestEstate estate;
    addTwelve(estate);
    HouseholdWindow w(estate.services());
    w.show();
    QTest::mouseClick(w.exportButton(), Qt::LeftButton);
    qunsetenv("FENWARY_REPORT_DIR");

    const QString path = folder + "/档案明细.txt";
    QCOMPARE(estate.prompter.texts(),
             QStringList({"表生成放至 " + QDir::toNativeSeparators(folder + "/") + "  下面"}));
    QCOMPARE(estate.opener.paths(), QStringList({path}));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count("\r\n"), 12);
    QVERIFY(estate.env().rs档案().eof());
    QCOMPARE(w.doorBox()->text(), QString());
}

void HouseholdWindowsTest::exportWritesQuestionMarksAndNamesTheHouseholds()
{
    QTemporaryDir reports;
    qputenv("FENWARY_REPORT_DIR", reports.path().toUtf8());
    TestEstate estate;
    estate.addHousehold("0101", "张三");
    estate.addHousehold("0102", "李😀");      // outside the BMP, no GBK form
    estate.addHousehold("0103", "王五");
    estate.addHousehold("₩0104", "赵六");     // the door number itself
    HouseholdWindow w(estate.services());
    w.exportHouseholds();
    qunsetenv("FENWARY_REPORT_DIR");

    QCOMPARE(estate.prompter.texts(),
             QStringList({"表生成放至 " + QDir::toNativeSeparators(reports.path() + "/") + "  下面\n"
                          "下列住户的档案含有 GBK 无法表示的字符，文件中已写成“?”：0102、₩0104"}));
    QCOMPARE(estate.opener.paths().size(), 1);
    QFile f(reports.path() + "/档案明细.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 5);
    QStringEncoder gbk("GBK");
    const QByteArray li = gbk.encode(QStringLiteral("李"));
    // The name field counts the pair of surrogates as two characters, as it counts them.
    QVERIFY2(lines[1].startsWith(QByteArray(15, ' ') + "0102|" + QByteArray(24, ' ') + li + "?|"), lines[1].constData());
    QVERIFY2(lines[3].startsWith(QByteArray(14, ' ') + "?0104|"), lines[3].constData());
}

void HouseholdWindowsTest::findButtonOpensSearchWindow()
{
    TestEstate estate;
    QStringList opened;
    estate.services().openWindow = [&](const QString& name) { opened << name; };
    HouseholdWindow w(estate.services());
    QTest::mouseClick(w.findButton(), Qt::LeftButton);
    QCOMPARE(opened, QStringList({"frm_档案查找"}));
}

void HouseholdWindowsTest::searchWindowMovesHouseholdWindow()
{
    TestEstate estate;
    addTwelve(estate);
    estate.addHousehold("0201", "甲一");
    estate.addHousehold("0202", "乙甲");
    HouseholdWindow w(estate.services());
    w.show();
    SearchWindow s(estate.services());
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));

    typeText(s.textBox(), "甲");
    QTest::keyClick(s.textBox(), Qt::Key_Return);
    QCOMPARE(w.doorBox()->text(), QString("0201"));
    QCOMPARE(w.grid()->currentIndex().row(), 12);
    QTest::mouseClick(s.nextButton(), Qt::LeftButton);
    QCOMPARE(w.doorBox()->text(), QString("0202"));
    QTest::mouseClick(s.previousButton(), Qt::LeftButton);
    QCOMPARE(w.doorBox()->text(), QString("0201"));
    QCOMPARE(estate.prompter.boxes().size(), 0);
    QTest::mouseClick(s.nextButton(), Qt::LeftButton);
    QTest::mouseClick(s.nextButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.texts(), QStringList({"已到最后记录"}));
    QCOMPARE(w.doorBox()->text(), QString());
    QTest::mouseClick(s.nextButton(), Qt::LeftButton);
    QCOMPARE(estate.prompter.boxes().size(), 1);

    s.textBox()->clear();
    QTest::keyClicks(s.textBox(), "1-2-103");
    QTest::mouseClick(s.startButton(), Qt::LeftButton);
    QCOMPARE(w.findChild<QLineEdit*>("txt户名")->text(), QString("周九"));
    QCOMPARE(estate.env().rs档案().value("门牌号").toString(), QString("1-2-103"));
    shoot(s, "search.png");
    QTest::mouseClick(s.closeButton(), Qt::LeftButton);
    QVERIFY(!s.isVisible());
}

void HouseholdWindowsTest::areaBoxTakesFullWidthAndRefusesText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("stored");
    QTest::addColumn<bool>("refused");
    QTest::newRow("full-width") << "８５．５" << 85.5 << false;
    QTest::newRow("unit") << "80平米" << 80.0 << true;
    QTest::newRow("list") << "1,2,3" << 80.0 << true;
}

void HouseholdWindowsTest::areaBoxTakesFullWidthAndRefusesText()
{
    QFETCH(QString, text);
    QFETCH(double, stored);
    QFETCH(bool, refused);
    TestEstate estate;
    estate.addHousehold("0101", "甲", 80);
    HouseholdWindow w(estate.services());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* area = w.findChild<QLineEdit*>("Text1");
    auto* name = w.findChild<QLineEdit*>("txt户名");
    area->setFocus();
    typeInto(area, text);
    name->setFocus();
    if (refused) {
        QCOMPARE(estate.prompter.boxes().size(), 1);
        QVERIFY2(estate.prompter.texts()[0].contains("面积(平米)：“" + text + "”不是数字"),
                 qPrintable(estate.prompter.texts()[0]));
        QVERIFY(area->hasFocus());
        QCOMPARE(area->text(), text);
        shoot(w, "household_area_refused.png");
    } else {
        QVERIFY(estate.prompter.boxes().isEmpty());
        QCOMPARE(area->text(), QString("85.5"));
    }
    QTest::mouseClick(w.closeButton(), Qt::LeftButton);  // the final save
    QCOMPARE(estate.scalar("select 面积 from 档案库").toDouble(), stored);
}

QTEST_MAIN(HouseholdWindowsTest)
#include "test_household_windows.moc"
