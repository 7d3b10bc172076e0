// "退出程序" ends at once, yet what the operator typed is in the file on the next start.
#include "road.h"

#include "common/numbers.h"

#include <QTemporaryDir>
#include <QtTest>

class TestExitKeepsEdits : public QObject {
    Q_OBJECT
private slots:
    void householdEditSurvivesTheToolBarExit();
    void halfTypedNumberStopsTheExit_data();
    void halfTypedNumberStopsTheExit();
};

void TestExitKeepsEdits::householdEditSurvivesTheToolBarExit()
{
    QTemporaryDir home;
    qint64 id = 0;
    {
        Run run(home.path(), FirstStartAnswer{FirstStartAnswer::Choice::Demo, {}});
        QVERIFY(run.startup.run());
        run.prompter.clear();
        QVERIFY(run.logIn(QStringLiteral("管理员"), QStringLiteral("1234")));
        QWidget* w = run.open<QWidget>(QStringLiteral("frm_档案录入"));
        QVERIFY(w);
        auto* name = w->findChild<QLineEdit*>(QStringLiteral("txt户名"));
        auto* phone = w->findChild<QLineEdit*>(QStringLiteral("txt联系电话"));
        QVERIFY(name && phone);
        id = run.startup.data()->rs档案().value(QStringLiteral("ID")).toLongLong();
        retype(name, QStringLiteral("新户主"));
        retype(phone, QStringLiteral("13900001111"));
        QAction* exit = run.frame()->toolButton(QStringLiteral("key2"));
        QVERIFY(exit);
        exit->trigger();
        QCOMPARE(run.quits, 1);
        QVERIFY(run.prompter.boxes().isEmpty());
        // Committed before the end, not by anything that runs afterwards.
        QVERIFY(!run.db().inTransaction());
        QCOMPARE(run.dump(QStringLiteral("select 户名 from 档案库 where ID = %1").arg(id)),
                 QStringList{QStringLiteral("新户主")});
    }  // the process would end here: nothing else is written
    Run next(home.path());
    QVERIFY(next.startup.run());
    QCOMPARE(next.dump(QStringLiteral("select 户名, 联系电话 from 档案库 where ID = %1").arg(id)),
             QStringList{QStringLiteral("新户主|13900001111")});
}

void TestExitKeepsEdits::halfTypedNumberStopsTheExit_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    QTest::newRow("balance 1,200") << "txt账户余额" << "账户余额" << "账户余额" << "1,200";
    QTest::newRow("area 80平米") << "Text1" << "面积(平米)" << "面积" << "80平米";
}

void TestExitKeepsEdits::halfTypedNumberStopsTheExit()
{
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(QString, column);
    QFETCH(QString, text);
    QTemporaryDir home;
    Run run(home.path(), FirstStartAnswer{FirstStartAnswer::Choice::Demo, {}});
    QVERIFY(run.startup.run());
    run.prompter.clear();
    QVERIFY(run.logIn(QStringLiteral("管理员"), QStringLiteral("1234")));
    QWidget* w = run.open<QWidget>(QStringLiteral("frm_档案录入"));
    QVERIFY(w);
    auto* edit = w->findChild<QLineEdit*>(box);
    QVERIFY(edit);
    const qint64 id = run.startup.data()->rs档案().value(QStringLiteral("ID")).toLongLong();
    const QString sql = QStringLiteral("select %1 from 档案库 where ID = %2").arg(column).arg(id);
    const QStringList before = run.dump(sql);
    const QString movements = QStringLiteral("select count(*) from 账户流水");
    const QStringList movementsBefore = run.dump(movements);
    retype(edit, text);
    for (const QString& key : {QStringLiteral("key2"), QStringLiteral("menu_4")}) {
        run.prompter.clear();
        QAction* exit = key.startsWith(QLatin1String("key")) ? run.frame()->toolButton(key) : run.frame()->item(key);
        QVERIFY(exit);
        exit->trigger();
        QCOMPARE(run.quits, 0);
        QCOMPARE(run.prompter.texts().size(), 1);
        QVERIFY2(run.prompter.texts()[0].endsWith(notANumberText(caption, text)), qPrintable(run.prompter.texts()[0]));
        QCOMPARE(edit->text(), text);
        QCOMPARE(run.dump(sql), before);
        QCOMPARE(run.dump(movements), movementsBefore);
    }
    // Corrected, the exit goes through with the whole number.
    retype(edit, QStringLiteral("1200"));
    run.frame()->toolButton(QStringLiteral("key2"))->trigger();
    QCOMPARE(run.quits, 1);
    QCOMPARE(run.dump(sql), QStringList{QStringLiteral("1200")});
}

QTEST_MAIN(TestExitKeepsEdits)
#include "test_exit_keeps_edits.moc"
