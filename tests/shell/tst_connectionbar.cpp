// A desk whose server connection is lost: the bar at the foot of the frame says so,
// and once it is back every shared set has read what other desks wrote meanwhile.
#include "fixtures/estate.h"
#include "fixtures/testserver.h"
#include "shell/connectionbar.h"
#include "store/database.h"
#include "store/recordset.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestConnectionBar : public QObject {
    Q_OBJECT
private slots:
    void lostConnectionIsToldAndReconnectedOnTheButton();
};

void TestConnectionBar::lostConnectionIsToldAndReconnectedOnTheButton()
{
    TestEstate e;
    e.addHousehold(QStringLiteral("1'01"), QStringLiteral("张三"), 80, 0.0);
    RecordSet& households = e.env().rs档案();
    households.moveFirst();
    QCOMPARE(households.value(QStringLiteral("户名")).toString(), QStringLiteral("张三"));
    ConnectionBar bar(e.db());
    bar.resize(900, 60);
    QVERIFY(!bar.isVisible());

    // The server ends the desk's session; the desk hears it on its socket, unasked.
    const auto admin = Database::connect(e.conninfo());
    admin->exec(QStringLiteral("select pg_terminate_backend(?)"), {e.scalar(QStringLiteral("select pg_backend_pid()"))});
    QTRY_VERIFY_WITH_TIMEOUT(bar.isVisible(), 2000);
    QVERIFY(e.db().connectionLost());
    const QString text = bar.findChild<QLabel*>(QStringLiteral("lblConnection"))->text();
    QVERIFY2(text.contains(e.db().serverName()) && text.contains(e.db().lostSince().toString(QStringLiteral("HH:mm:ss"))),
             qPrintable(text));
    if (const QString dir = qEnvironmentVariable("FENWARY_SHOTS"); !dir.isEmpty()) {
        QDir().mkpath(dir);
        bar.grab().save(QDir(dir).filePath(QStringLiteral("shell_connectionbar.png")));
    }

    // Meanwhile another desk renames the household; back, the desk reads it again.
    admin->exec(QStringLiteral("update 档案库 set 户名 = '李四' where 门牌号 = ?"), {QStringLiteral("1'01")});
    bar.findChild<QPushButton*>(QStringLiteral("cmdReconnect"))->click();
    QVERIFY(!bar.isVisible());
    QVERIFY(!e.db().connectionLost());
    QTRY_COMPARE_WITH_TIMEOUT(households.value(QStringLiteral("户名")).toString(), QStringLiteral("李四"), 1000);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 档案库")).toInt(), 1);
}

QTEST_MAIN(TestConnectionBar)
#include "tst_connectionbar.moc"
