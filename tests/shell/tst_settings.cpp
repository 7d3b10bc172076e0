// The settings window: receipt name and notice, operators, and the rules of "关闭".
#include "estate.h"
#include "shellfixture.h"

#include "shell/mainframe.h"
#include "shell/passwordhash.h"
#include "shell/settingseditor.h"
#include "shell/settingswindow.h"
#include "store/databasechoice.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"
#include "store/navbar.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

private:
    static void retype(QLineEdit* box, const QString& text)
    {
        box->selectAll();
        box->insert(text);  // emits textEdited, as typing does
    }
    static void retype(QComboBox* box, const QString& text) { retype(box->lineEdit(), text); }
    static QString receiptNameInTable(TestEstate& e)
    {
        return e.scalar(QStringLiteral("select 收据名称 from 广告")).toString();
    }
    // The operator's stored password is `typed`: hashed on a server, as typed in a file.
    static bool storedAs(TestEstate& e, const QString& name, const QString& typed)
    {
        const QString stored =
            e.scalar(QStringLiteral("select 密码 from 操作员 where 操作员 = ?"), {name}).toString();
        if (!TestEstate::onServer())
            return stored == typed;
        return PasswordHash::isHash(stored) && PasswordHash::verify(stored, typed);
    }

private slots:
    void closeRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("level");
        QTest::addColumn<bool>("closes");
        QTest::newRow("complete") << "管理员" << "1234" << "A" << true;
        QTest::newRow("any level text") << "管理员" << "1234" << "Z" << true;
        QTest::newRow("no name") << "" << "1234" << "A" << false;
        QTest::newRow("blank name") << "   " << "1234" << "A" << false;
        QTest::newRow("no password") << "管理员" << "" << "A" << false;
        QTest::newRow("blank password") << "管理员" << " " << "A" << false;
        QTest::newRow("no level") << "管理员" << "1234" << "" << false;
        QTest::newRow("blank level") << "管理员" << "1234" << "  " << false;
    }
    void closeRules()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, level);
        QFETCH(bool, closes);
        // A server shows no password: an empty box keeps the one stored.
        const bool kept = TestEstate::onServer() && password.isEmpty();
        closes = closes || kept;
        TestEstate estate;
        auto* w = new SettingsWindow(estate.services());
        w->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<SettingsWindow> alive(w);
        w->show();
        QCOMPARE(w->operatorBox()->text(), QStringLiteral("管理员"));
        retype(w->receiptNameBox(), QStringLiteral("新名称"));
        retype(w->operatorBox(), name);
        retype(w->passwordBox(), password);
        retype(w->levelBox(), level);
        QTest::mouseClick(w->closeButton(), Qt::LeftButton);

        // Step 1 always stores the receipt name.
        QCOMPARE(receiptNameInTable(estate), QStringLiteral("新名称"));
        if (closes) {
            QTRY_VERIFY(!alive);
            QVERIFY(estate.prompter.boxes().isEmpty());
            QCOMPARE(estate.app.receiptName, QStringLiteral("新名称"));
            QCOMPARE(estate.rows(QStringLiteral("select 操作员, 操作级别 from 操作员")),
                     QList<QVariantList>({{name, level}}));
            if (kept)
                QCOMPARE(estate.scalar(QStringLiteral("select 密码 from 操作员")).toString(), QStringLiteral("1234"));
            else
                QVERIFY(storedAs(estate, name, password));
            return;
        }
        QCOMPARE(estate.prompter.texts(), QStringList{QStringLiteral("操作员,密码,操作员级别不可为空!")});
        QCOMPARE(estate.prompter.boxes()[0].title, QStringLiteral("Fenwary"));
        QVERIFY(alive && alive->isVisible());
        QCOMPARE(estate.app.receiptName, QStringLiteral("测试小区"));  // not refreshed yet
        delete w;
    }

    void refreshedReceiptNameAndNotice()
    {
        TestEstate estate;
        SettingsWindow w(estate.services());
        w.show();
        retype(w.receiptNameBox(), QStringLiteral("阳光花园 O'Neil"));
        w.noticeBox()->setPlainText(QStringLiteral("请于25日前缴费\n谢谢"));
        QCOMPARE(estate.app.noticeText, QStringLiteral("请按时缴费"));
        w.closeWindow();
        QCOMPARE(estate.app.receiptName, QStringLiteral("阳光花园 O'Neil"));
        QCOMPARE(estate.app.noticeText, QStringLiteral("请于25日前缴费\n谢谢"));
        QCOMPARE(estate.rows(QStringLiteral("select 收据名称, 广告 from 广告")),
                 QList<QVariantList>({{QStringLiteral("阳光花园 O'Neil"), QStringLiteral("请于25日前缴费\n谢谢")}}));
    }

    void incompleteCloseKeepsOldValuesUntilASuccessfulClose()
    {
        TestEstate estate;
        SettingsWindow w(estate.services());
        w.show();
        retype(w.receiptNameBox(), QStringLiteral("第二名称"));
        retype(w.passwordBox(), QStringLiteral(" "));
        w.closeWindow();
        QCOMPARE(receiptNameInTable(estate), QStringLiteral("第二名称"));
        QCOMPARE(estate.app.receiptName, QStringLiteral("测试小区"));
        retype(w.passwordBox(), QStringLiteral("9"));
        w.closeWindow();
        QCOMPARE(estate.app.receiptName, QStringLiteral("第二名称"));
        QVERIFY(storedAs(estate, QStringLiteral("管理员"), QStringLiteral("9")));
    }

    void titleBarCloseRunsNoneOfTheSteps()
    {
        TestEstate estate;
        auto* w = new SettingsWindow(estate.services());
        w->show();
        retype(w->receiptNameBox(), QStringLiteral("未保存"));
        retype(w->passwordBox(), QStringLiteral("changed"));
        w->close();
        delete w;
        QCOMPARE(receiptNameInTable(estate), QStringLiteral("测试小区"));
        QCOMPARE(estate.app.receiptName, QStringLiteral("测试小区"));
        QCOMPARE(estate.scalar(QStringLiteral("select 密码 from 操作员")).toString(), QStringLiteral("1234"));
        // Nothing is left pending in the shared settings record set.
        QVERIFY(!estate.env().rs广告().hasPendingChanges());
        QCOMPARE(estate.env().rs广告().value(QStringLiteral("收据名称")).toString(), QStringLiteral("测试小区"));
    }

    void missingSettingsRowIsAdded()
    {
        TestEstate estate;
        estate.db().exec(QStringLiteral("delete from 广告"));
        SettingsWindow w(estate.services());
        QCOMPARE(w.receiptNameBox()->text(), QString());
        retype(w.receiptNameBox(), QStringLiteral("新小区"));
        w.closeWindow();
        QCOMPARE(estate.count(QStringLiteral("广告")), 1);
        QCOMPARE(receiptNameInTable(estate), QStringLiteral("新小区"));
        QCOMPARE(estate.app.receiptName, QStringLiteral("新小区"));
    }

    void addOperator()
    {
        TestEstate estate;
        SettingsWindow w(estate.services());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(w.addButton(), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), w.operatorBox());
        QCOMPARE(w.operatorBox()->text(), QString());
        retype(w.operatorBox(), QStringLiteral("收费员"));
        retype(w.passwordBox(), QStringLiteral("abc"));
        w.levelBox()->setCurrentIndex(1);
        QCOMPARE(w.levelBox()->currentText(), QStringLiteral("B"));
        w.closeWindow();
        QCOMPARE(estate.rows(QStringLiteral("select 操作员, 操作级别 from 操作员 order by 操作员")),
                 QList<QVariantList>({{QStringLiteral("收费员"), QStringLiteral("B")},
                                      {QStringLiteral("管理员"), QStringLiteral("A")}}));
        QVERIFY(storedAs(estate, QStringLiteral("收费员"), QStringLiteral("abc")));
        QCOMPARE(estate.scalar(QStringLiteral("select 密码 from 操作员 where 操作员 = '管理员'")).toString(),
                 QStringLiteral("1234"));  // not written again
    }

    void navigatingWritesTheOperatorLeft()
    {
        TestEstate estate;
        estate.addOperator(QStringLiteral("乙"), QStringLiteral("2"), QStringLiteral("B"));
        SettingsWindow w(estate.services());
        w.show();
        retype(w.passwordBox(), QStringLiteral("new"));
        QTest::mouseClick(w.navBar()->nextButton(), Qt::LeftButton);
        QCOMPARE(w.operatorBox()->text(), QStringLiteral("乙"));
        QVERIFY(storedAs(estate, QStringLiteral("管理员"), QStringLiteral("new")));
    }

    // The password box never shows a hash (on a server no password at all); a box
    // left empty keeps the stored password, what is typed replaces it.
    void passwordBox_data()
    {
        QTest::addColumn<bool>("hashed");
        QTest::addColumn<QString>("typed");  // "<none>": the box is not touched
        QTest::newRow("clear, untouched") << false << "<none>";
        QTest::newRow("hash, untouched") << true << "<none>";
        QTest::newRow("hash, typed and wiped") << true << "";
        QTest::newRow("hash, replaced") << true << "新密码'1";
    }
    void passwordBox()
    {
        QFETCH(bool, hashed);
        QFETCH(QString, typed);
        TestEstate estate;
        const QString hash = PasswordHash::hash(QStringLiteral("1234"));
        if (hashed)
            estate.db().exec(QStringLiteral("update 操作员 set 密码 = ?"), {hash});
        SettingsWindow w(estate.services());
        w.show();
        QCOMPARE(w.passwordBox()->text(), hashed || TestEstate::onServer() ? QString() : QStringLiteral("1234"));
        if (typed != QLatin1String("<none>")) {
            retype(w.passwordBox(), QStringLiteral("x"));
            retype(w.passwordBox(), typed);
        }
        w.closeWindow();
        QVERIFY2(estate.prompter.boxes().isEmpty(), qPrintable(estate.prompter.texts().join(QLatin1Char('|'))));
        const QString stored = estate.scalar(QStringLiteral("select 密码 from 操作员")).toString();
        if (typed.isEmpty() || typed == QLatin1String("<none>"))
            QCOMPARE(stored, hashed ? hash : QStringLiteral("1234"));
        else
            QVERIFY(storedAs(estate, QStringLiteral("管理员"), typed));
    }

    void deleteOperatorAtOnceAndShowTheNext()
    {
        TestEstate estate;
        estate.addOperator(QStringLiteral("乙"), QStringLiteral("2"), QStringLiteral("B"));
        estate.addOperator(QStringLiteral("丙"), QStringLiteral("3"), QStringLiteral("B"));
        SettingsWindow w(estate.services());
        w.show();
        QTest::mouseClick(w.deleteButton(), Qt::LeftButton);  // 管理员, the first row
        QVERIFY(estate.prompter.boxes().isEmpty());           // no question
        QCOMPARE(estate.scalar(QStringLiteral("select count(*) from 操作员 where 操作员 = '管理员'")).toInt(), 0);
        QCOMPARE(w.operatorBox()->text(), QStringLiteral("乙"));
        QTest::mouseClick(w.navBar()->lastButton(), Qt::LeftButton);
        QCOMPARE(w.operatorBox()->text(), QStringLiteral("丙"));
        QTest::mouseClick(w.deleteButton(), Qt::LeftButton);  // the last in the list
        QCOMPARE(estate.count(QStringLiteral("操作员")), 1);
        QCOMPARE(w.operatorBox()->text(), QString());  // no current operator
        w.closeWindow();
        QCOMPARE(estate.prompter.texts(), QStringList{QStringLiteral("操作员,密码,操作员级别不可为空!")});
    }

    void lastRemainingOperatorIsKept()
    {
        TestEstate estate;
        SettingsWindow w(estate.services());
        w.show();
        QTest::mouseClick(w.deleteButton(), Qt::LeftButton);
        QCOMPARE(estate.prompter.texts(), QStringList{SettingsEditor::lastOperatorText()});
        QCOMPARE(estate.count(QStringLiteral("操作员")), 1);
        QCOMPARE(w.operatorBox()->text(), QStringLiteral("管理员"));
        // A new, unsaved operator can be dropped; the saved one then still stays.
        w.addOperator();
        w.deleteOperator();
        QCOMPARE(estate.count(QStringLiteral("操作员")), 1);
        QCOMPARE(estate.prompter.boxes().size(), 1);
    }

    // On the server the window writes the data into a new file; on the file it offers
    // the copy to a server, and a cancelled connection string changes nothing.
    void copyOfTheData()
    {
        TestEstate estate;
        estate.addHousehold(QStringLiteral("1-1'01"), QStringLiteral("O'Brien"), 88.5, -12.5);
        SettingsWindow w(estate.services());
        const QString target = QDir(estate.folder()).filePath(QStringLiteral("副本.dat"));
        if (TestEstate::onServer()) {
            QCOMPARE(w.moveButton()->text(), QStringLiteral("复制为数据文件..."));
            estate.prompter.type(target);
            w.moveButton()->click();
            QVERIFY2(estate.prompter.texts().last().contains(QStringLiteral("已写入数据文件")),
                     qPrintable(estate.prompter.texts().join(QLatin1Char('|'))));
            const auto copy = DataFile::openExisting(target);
            QCOMPARE(copy->query(QStringLiteral("select 门牌号, 户名, 面积, 账户余额 from 档案库")),
                     estate.rows(QStringLiteral("select 门牌号, 户名, 面积, 账户余额 from 档案库")));
        } else {
            QCOMPARE(w.moveButton()->text(), QStringLiteral("复制到数据库服务器..."));
            estate.prompter.cancel();
            w.moveButton()->click();
            QCOMPARE(estate.prompter.boxes().size(), 1);
            QVERIFY(!QFile::exists(QDir(estate.folder()).filePath(DatabaseChoice::settingFileName)));
        }
    }

    void openedFromTheMainFrame()
    {
        TestEstate estate;
        for (int i = 1; i <= 3; ++i)
            estate.addOperator(QStringLiteral("收费员%1").arg(i), QStringLiteral("1"), QStringLiteral("B"));
        WindowLog log;
        WindowRegistry registry = fullRegistry(log);
        MainFrame frame(estate.services(), registry);
        frame.quit = [] {};
        frame.resize(900, 600);
        frame.show();
        frame.item(QStringLiteral("menu_3"))->trigger();
        auto* w = qobject_cast<SettingsWindow*>(frame.openedWindow(QStringLiteral("FRM_系统设置")));
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("系统设置"));
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        saveShot(&frame, QStringLiteral("settings.png"));
        QPointer<SettingsWindow> alive(w);
        QTest::mouseClick(w->closeButton(), Qt::LeftButton);
        QTRY_VERIFY(!alive);
        QTRY_VERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QVERIFY(frame.openedWindows().isEmpty());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
