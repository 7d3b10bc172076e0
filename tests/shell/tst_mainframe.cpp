// The main frame: menus and tool bar, levels, one window per name, exits.
#include "estate.h"
#include "shellfixture.h"

#include "shell/aboutbox.h"
#include "shell/mainframe.h"
#include "shell/settingswindow.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>
#include <QtTest>

namespace {

const QStringList kAllItems = {"menu_1", "menu_1_1", "menu_1_2", "menu_1_3", "menu_1_4", "menu_1_5", "menu_1_6", "menu_1_7", "menu_1_8", "menu_5", "menu_2",
                               "menu_2_1", "menu_2_2", "menu_3",   "menu",     "menu_4"};
const QStringList kAllKeys = {"key4", "key5", "key3", "key1", "key2", "key6"};

}  // namespace

class TestMainFrame : public QObject {
    Q_OBJECT

private:
    struct Frame {
        explicit Frame(TestEstate& estate) : registry(fullRegistry(log)), frame(new MainFrame(estate.services(), registry))
        {
            frame->quit = [this] { ++quits; };
            frame->resize(1000, 680);
            frame->show();
        }
        ~Frame() { delete frame.data(); }
        QWidget* toolWidget(const QString& key) { return frame->toolBar()->widgetForAction(frame->toolButton(key)); }
        WindowLog log;
        WindowRegistry registry;
        QPointer<MainFrame> frame;
        int quits = 0;
    };

private slots:
    void menusAndToolBarInOrder()
    {
        TestEstate estate;
        Frame f(estate);
        QCOMPARE(f.frame->objectName(), QStringLiteral("frm_main"));
        QCOMPARE(f.frame->windowTitle(), QStringLiteral("Fenwary"));
        QStringList bar;
        for (QAction* a : f.frame->menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, QStringList({"缴费管理", "缴费查询", "档案管理", "系统设置", "关于", "退出系统"}));
        QStringList names;
        for (QAction* a : f.frame->menuBar()->actions())
            names << a->objectName();
        QCOMPARE(names, QStringList({"menu_1", "menu_5", "menu_2", "menu_3", "menu", "menu_4"}));
        const auto texts = [](QAction* menu) {
            QStringList t;
            for (QAction* a : menu->menu()->actions())
                t << a->objectName() + QLatin1Char('=') + a->text();
            return t;
        };
        QCOMPARE(texts(f.frame->item("menu_1")), QStringList({"menu_1_1=缴费录入", "menu_1_2=缴费打印", "menu_1_3=缴费项目设置",
                                                             "menu_1_4=收款日报", "menu_1_5=账务核对",
                                                             "menu_1_6=欠费一览", "menu_1_7=收费汇总", "menu_1_8=抄表录入"}));
        QCOMPARE(texts(f.frame->item("menu_2")), QStringList({"menu_2_1=档案录入", "menu_2_2=档案清理"}));

        QStringList tools;
        for (QAction* a : f.frame->toolBar()->actions())
            tools << a->property("key").toString() + QLatin1Char('=') + a->text();
        QCOMPARE(tools, QStringList({"key4=缴费打印", "key5=缴费查询", "key3=缴费录入", "key1=档案录入", "key2=退出程序",
                                     "key6=欠费一览"}));
        QCOMPARE(f.frame->toolBar()->objectName(), QStringLiteral("Toolbar1"));
    }

    void levelSwitchesOffItems_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QStringList>("off");
        const QStringList b = {"key3", "key1", "menu_1_1", "menu_1_3", "menu_1_5", "menu_1_8", "menu_2", "menu_2_1", "menu_2_2", "menu_3"};
        QTest::newRow("B") << "B" << b;
        QTest::newRow("b") << "b" << QStringList();
        QTest::newRow("A") << "A" << QStringList();
        QTest::newRow("B with blank") << "B " << QStringList();
        QTest::newRow("empty") << "" << QStringList();
    }
    void levelSwitchesOffItems()
    {
        QFETCH(QString, level);
        QFETCH(QStringList, off);
        TestEstate estate;
        Frame f(estate);
        f.frame->applyLevel(level);
        for (const QString& n : kAllItems)
            QVERIFY2(f.frame->item(n)->isEnabled() == !off.contains(n), qPrintable(n));
        for (const QString& k : kAllKeys)
            QVERIFY2(f.frame->toolButton(k)->isEnabled() == !off.contains(k), qPrintable(k));
        if (level == QLatin1String("B")) {
            saveShot(f.frame, QStringLiteral("main_b.png"));
            // A switched-off button does nothing even when its action is dispatched.
            f.frame->dispatchKey(QStringLiteral("key1"));
            QVERIFY(f.frame->openedWindows().isEmpty());
        } else if (level == QLatin1String("A")) {
            saveShot(f.frame, QStringLiteral("main_a.png"));
        }
    }

    void itemsWithoutAWindowAreGreyed()
    {
        TestEstate estate;
        WindowRegistry shellOnly;
        registerShellWindows(shellOnly);
        MainFrame frame(estate.services(), shellOnly);
        frame.quit = [] {};
        frame.applyLevel(QStringLiteral("A"));
        const QStringList on = {"menu_1", "menu_2", "menu_3", "menu", "menu_4", "key2"};
        for (const QString& n : kAllItems)
            QVERIFY2(frame.item(n)->isEnabled() == on.contains(n), qPrintable(n));
        for (const QString& k : kAllKeys)
            QVERIFY2(frame.toolButton(k)->isEnabled() == on.contains(k), qPrintable(k));
        frame.openWindow(QStringLiteral("frm_档案录入"));  // not registered: nothing opens
        QVERIFY(frame.openedWindows().isEmpty());
    }

    void toolBarDispatchesByKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("window");
        QTest::newRow("key4") << "key4" << "frm_缴费打印";
        QTest::newRow("key5") << "key5" << "frm_查询";
        QTest::newRow("key3") << "key3" << "frm_缴费录入";
        QTest::newRow("key1") << "key1" << "frm_档案录入";
        QTest::newRow("key6") << "key6" << "frm_欠费一览";
    }
    void toolBarDispatchesByKey()
    {
        QFETCH(QString, key);
        QFETCH(QString, window);
        TestEstate estate;
        Frame f(estate);
        QTest::mouseClick(f.toolWidget(key), Qt::LeftButton);
        QCOMPARE(f.frame->openedWindows(), QStringList{window});
        QCOMPARE(f.log.created.value(window), 1);
    }

    void menuItemsOpenTheirWindows_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("window");
        QTest::newRow("menu_1_1") << "menu_1_1" << "frm_缴费录入";
        QTest::newRow("menu_1_2") << "menu_1_2" << "frm_缴费打印";
        QTest::newRow("menu_1_3") << "menu_1_3" << "frm_项目维护";
        QTest::newRow("menu_1_6") << "menu_1_6" << "frm_欠费一览";
        QTest::newRow("menu_1_7") << "menu_1_7" << "frm_收费汇总";
        QTest::newRow("menu_5") << "menu_5" << "frm_查询";
        QTest::newRow("menu_2_1") << "menu_2_1" << "frm_档案录入";
        QTest::newRow("menu_2_2") << "menu_2_2" << "数据清理";
        QTest::newRow("menu_3") << "menu_3" << "FRM_系统设置";
        QTest::newRow("menu") << "menu" << "frmSplash";
    }
    void menuItemsOpenTheirWindows()
    {
        QFETCH(QString, item);
        QFETCH(QString, window);
        TestEstate estate;
        Frame f(estate);
        f.frame->item(item)->trigger();
        QCOMPARE(f.frame->openedWindows(), QStringList{window});
        QVERIFY(f.frame->openedWindow(window)->isVisible());
    }

    void shownAsTheWindowAsks_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("how");  // 0 child maximized, 1 child, 2 separate
        QTest::newRow("household") << "frm_档案录入" << 0;
        QTest::newRow("cleanup") << "数据清理" << 1;
        QTest::newRow("settings") << "FRM_系统设置" << 1;
        QTest::newRow("items") << "frm_项目维护" << 2;
        QTest::newRow("about") << "frmSplash" << 2;
    }
    void shownAsTheWindowAsks()
    {
        QFETCH(QString, window);
        QFETCH(int, how);
        TestEstate estate;
        Frame f(estate);
        f.frame->openWindow(window);
        QWidget* w = f.frame->openedWindow(window);
        QVERIFY(w);
        auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
        if (how == 2) {
            QVERIFY(!sub);
            QVERIFY(w->isWindow());
            QVERIFY(f.frame->mdiArea()->subWindowList().isEmpty());
        } else {
            QVERIFY(sub);
            QCOMPARE(f.frame->mdiArea()->subWindowList().size(), 1);
            QCOMPARE(sub->isMaximized(), how == 0);
        }
        if (window == QLatin1String("FRM_系统设置")) {
            QVERIFY(!(sub->windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(!(sub->windowFlags() & Qt::WindowMinimizeButtonHint));
        }
    }

    void openingTwiceGivesOneWindow_data()
    {
        QTest::addColumn<QString>("first");   // item or key
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("window");
        QTest::newRow("menu twice") << "menu_2_1" << "menu_2_1" << "frm_档案录入";
        QTest::newRow("menu then tool bar") << "menu_2_1" << "key1" << "frm_档案录入";
        QTest::newRow("tool bar twice") << "key4" << "key4" << "frm_缴费打印";
        QTest::newRow("separate window") << "menu_1_3" << "menu_1_3" << "frm_项目维护";
        QTest::newRow("about box") << "menu" << "menu" << "frmSplash";
    }
    void openingTwiceGivesOneWindow()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, window);
        TestEstate estate;
        Frame f(estate);
        const auto press = [&](const QString& what) {
            if (what.startsWith(QLatin1String("key")))
                QTest::mouseClick(f.toolWidget(what), Qt::LeftButton);
            else
                f.frame->item(what)->trigger();
        };
        press(first);
        QPointer<QWidget> w = f.frame->openedWindow(window);
        QVERIFY(w);
        // Another window in front of it, then the same window again.
        f.frame->openWindow(QStringLiteral("frm_查询"));
        press(second);
        QCOMPARE(f.frame->openedWindow(window), w.data());
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
            QCOMPARE(f.frame->mdiArea()->activeSubWindow(), sub);
        if (f.log.created.contains(window))
            QCOMPARE(f.log.created.value(window), 1);
        QCOMPARE(f.frame->findChildren<QWidget*>(window).size(), 1);
    }

    void aClosedWindowOpensAnew_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("child") << "frm_档案录入";
        QTest::newRow("separate") << "frm_项目维护";
    }
    void aClosedWindowOpensAnew()
    {
        QFETCH(QString, window);
        TestEstate estate;
        Frame f(estate);
        f.frame->openWindow(window);
        QPointer<QWidget> w = f.frame->openedWindow(window);
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
            sub->close();  // the title bar's close box
        else
            w->close();
        QTRY_VERIFY(!w);
        QCOMPARE(f.log.closed.value(window), 1);  // its closing steps ran
        QTRY_VERIFY(f.frame->mdiArea()->subWindowList().isEmpty());
        f.frame->openWindow(window);
        QCOMPARE(f.log.created.value(window), 2);
        QVERIFY(f.frame->openedWindow(window));
    }

    void aWindowClosingItselfTakesItsFrameAlong()
    {
        TestEstate estate;
        Frame f(estate);
        f.frame->openWindow(QStringLiteral("数据清理"));
        QPointer<QWidget> w = f.frame->openedWindow(QStringLiteral("数据清理"));
        w->close();  // as a window's own close button does
        QTRY_VERIFY(!w);
        QTRY_VERIFY(f.frame->mdiArea()->subWindowList().isEmpty());
    }

    void exitsEndAtOnceWithoutClosingSteps_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("menu_4") << "menu_4";
        QTest::newRow("key2") << "key2";
    }
    void exitsEndAtOnceWithoutClosingSteps()
    {
        QFETCH(QString, how);
        TestEstate estate;
        Frame f(estate);
        f.frame->applyLevel(QStringLiteral("B"));  // both stay usable for level B
        f.frame->openWindow(QStringLiteral("frm_缴费打印"));
        if (how.startsWith(QLatin1String("key")))
            QTest::mouseClick(f.toolWidget(how), Qt::LeftButton);
        else
            f.frame->item(how)->trigger();
        QCOMPARE(f.quits, 1);
        QCOMPARE(f.log.closed.value(QStringLiteral("frm_缴费打印")), 0);
        QVERIFY(estate.prompter.boxes().isEmpty());
    }

    void exitWritesPendingEditsFirst_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("writeFails");
        QTest::addColumn<bool>("endAnyway");
        QTest::newRow("key2") << "key2" << false << false;
        QTest::newRow("menu_4") << "menu_4" << false << false;
        QTest::newRow("failed, ends on Yes") << "key2" << true << true;
        QTest::newRow("failed, stays on No") << "menu_4" << true << false;
    }
    void exitWritesPendingEditsFirst()
    {
        QFETCH(QString, how);
        QFETCH(bool, writeFails);
        QFETCH(bool, endAnyway);
        TestEstate estate;
        estate.addHousehold(QStringLiteral("0101"), QStringLiteral("甲"));
        estate.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        Frame f(estate);
        estate.env().rs档案().setValue(QStringLiteral("户名"), QStringLiteral("甲改"));
        estate.env().rs项目().setValue(QStringLiteral("固定收费"), 55.0);
        if (writeFails)
            estate.refuseWrites(QStringLiteral("update"), QStringLiteral("项目"), QStringLiteral("true"),
                                QStringLiteral("磁盘已坏"));
        if (endAnyway)
            estate.prompter.yes();
        if (how.startsWith(QLatin1String("key")))
            QTest::mouseClick(f.toolWidget(how), Qt::LeftButton);
        else
            f.frame->item(how)->trigger();
        // One transaction: both edits, or neither.
        const QString name = estate.scalar(QStringLiteral("select 户名 from 档案库")).toString();
        const double fee = estate.scalar(QStringLiteral("select 固定收费 from 项目")).toDouble();
        if (!writeFails) {
            QVERIFY(estate.prompter.boxes().isEmpty());
            QCOMPARE(f.quits, 1);
            QCOMPARE(name, QStringLiteral("甲改"));
            QCOMPARE(fee, 55.0);
            return;
        }
        QCOMPARE(name, QStringLiteral("甲"));
        QCOMPARE(fee, 50.0);
        QCOMPARE(estate.prompter.boxes().size(), 1);
        QCOMPARE(estate.prompter.boxes()[0].kind, ScriptedPrompter::Kind::YesNo);
        QVERIFY(estate.prompter.texts()[0].contains(QStringLiteral("磁盘已坏")));
        QCOMPARE(f.quits, endAnyway ? 1 : 0);
        QVERIFY(estate.env().rs档案().hasPendingChanges());  // still there to be saved
    }

    void closingTheFrameClosesItsWindows()
    {
        TestEstate estate;
        Frame f(estate);
        f.frame->openWindow(QStringLiteral("frm_档案录入"));
        f.frame->openWindow(QStringLiteral("frm_项目维护"));
        QVERIFY(f.frame->close());
        QCOMPARE(f.log.closed.value(QStringLiteral("frm_档案录入")), 1);
        QCOMPARE(f.log.closed.value(QStringLiteral("frm_项目维护")), 1);
        QCOMPARE(f.quits, 0);
    }

    void windowsOpenOneAnotherThroughServices()
    {
        TestEstate estate;
        Frame f(estate);
        estate.services().openWindow(QStringLiteral("frm_查询"));
        QCOMPARE(f.frame->openedWindows(), QStringList{QStringLiteral("frm_查询")});
        delete f.frame.data();
        estate.services().openWindow(QStringLiteral("frm_查询"));  // no frame: nothing happens
    }

    void windowThatFailsToOpenIsReported()
    {
        TestEstate estate;
        WindowRegistry r;
        r.add({QStringLiteral("frm_查询"), ShowAs::ChildMaximized,
               [](Services&) -> QWidget* { throw StoreError(0, QStringLiteral("磁盘已满")); }});
        MainFrame frame(estate.services(), r);
        frame.item(QStringLiteral("menu_5"))->trigger();
        QVERIFY(frame.openedWindows().isEmpty());
        QCOMPARE(estate.prompter.boxes().size(), 1);
        QVERIFY(estate.prompter.boxes()[0].text.contains(QStringLiteral("磁盘已满")));
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
