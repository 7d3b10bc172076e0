// "退出程序" ends at once, yet what the operator typed is in the file on the next start.
#include "road.h"

#include <QTemporaryDir>
#include <QtTest>

class TestExitKeepsEdits : public QObject {
    Q_OBJECT
private slots:
    void householdEditSurvivesTheToolBarExit();
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

QTEST_MAIN(TestExitKeepsEdits)
#include "test_exit_keeps_edits.moc"
