// The program killed in the middle of a writing operation on a server database:
// the server holds all of it or none. A statement trigger counts the operation's
// statements and holds the one chosen; the program is killed while it waits there.
#include "estate.h"
#include "operations.h"
#include "testserver.h"

#include "store/database.h"
#include "store/datafile.h"
#include "store/datamove.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstdio>

namespace {

const QString kApp = QStringLiteral("fenwary_kill");

// A schema holding the seed estate, with a trigger on every table that counts the
// statements once armed and holds statement number `n` (0: none) for a minute.
struct SeedOnServer : EmptySchema {
    explicit SeedOnServer(int n) : EmptySchema(QStringLiteral("kill"), QStringLiteral(" application_name=") + kApp)
    {
        auto db = Database::connect(conninfo);
        DataMove::toServer(*DataFile::openExisting(seedFile()), *db);
        const QStringList tables = db->tables();
        db->execScript(QStringLiteral(
                           "create table kill_at (n bigint, armed int); insert into kill_at values (%1, 0); "
                           "create sequence kill_events; "
                           "create function kill_point() returns trigger language plpgsql as $$ begin "
                           "if (select armed from kill_at) = 1 then "
                           "if nextval('kill_events') = (select n from kill_at) then perform pg_sleep(60); end if; "
                           "end if; return null; end $$")
                           .arg(n));
        for (const QString& t : tables)
            db->execScript(QStringLiteral("create trigger kill_point before insert or update or delete on \"%1\" "
                                          "for each statement execute function kill_point()")
                               .arg(t));
    }
    qint64 events()
    {
        const QVariantList r = admin->query(QStringLiteral("select last_value, is_called from %1.kill_events").arg(name)).value(0);
        return r.value(1).toInt() ? r.value(0).toLongLong() : 0;
    }
};

int childMain(const QString& opName, const QString& conninfo, const QString& folder)
{
    const Operation* op = findOperation(opName);
    if (!op)
        return 2;
    Session s(folder, DataFile::openServer(conninfo));
    if (op->setUp)
        op->setUp(s);
    op->run(s, [&] { s.env().db().exec(QStringLiteral("update kill_at set armed = 1")); });
    std::printf("completed=%d\n", op->completed(s) ? 1 : 0);
    std::fflush(stdout);
    return 0;
}

}  // namespace

class TestServerKill : public QObject {
    Q_OBJECT
private slots:
    void killedOperationLeavesAllOrNothing_data()
    {
        QTest::addColumn<QString>("op");
        for (const char* op : {"collection", "reversal", "month run", "month run undo", "cleanup"})
            QTest::newRow(op) << QString::fromLatin1(op);
    }
    void killedOperationLeavesAllOrNothing()
    {
        QFETCH(QString, op);
        const Operation* operation = findOperation(op);
        QVERIFY(operation);
        QTemporaryDir folder;
        const auto start = [&](QProcess& p, const SeedOnServer& seed) {
            p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), op, seed.conninfo, folder.path()});
            QVERIFY(p.waitForStarted());
        };

        Snapshot before, after;
        int events = 0;
        {
            // The estate the operation starts from (the child makes it again).
            SeedOnServer seed(0);
            Session s(folder.path(), DataFile::openServer(seed.conninfo));
            if (operation->setUp)
                operation->setUp(s);
            before = snapshot(s.env().db());
        }
        {
            SeedOnServer seed(0);
            QProcess p;
            start(p, seed);
            QVERIFY(p.waitForFinished(120000));
            const QString out = QString::fromUtf8(p.readAll() + p.readAllStandardError());
            QVERIFY2(p.exitCode() == 0 && out.contains(QLatin1String("completed=1")), qPrintable(out));
            events = int(seed.events());
            auto db = Database::connect(seed.conninfo);
            after = snapshot(*db);
            QCOMPARE(invariantFaults(*db, op != QLatin1String("cleanup")), QStringList());
        }
        QVERIFY(events > 0);
        QVERIFY(after != before);

        QList<int> points;
        for (int n = 1; n <= events; n += std::max(1, events / 12))
            points << n;
        if (points.last() != events)
            points << events;
        for (int n : points) {
            SeedOnServer seed(n);
            QProcess p;
            start(p, seed);
            QElapsedTimer waited;
            waited.start();
            while (seed.events() < n) {
                QVERIFY2(p.state() == QProcess::Running,
                         qPrintable(QStringLiteral("statement %1 of %2 never came: %3")
                                        .arg(n)
                                        .arg(events)
                                        .arg(QString::fromUtf8(p.readAll() + p.readAllStandardError()))));
                QVERIFY(waited.elapsed() < 60000);
                QThread::msleep(10);
            }
            p.kill();
            QVERIFY(p.waitForFinished());
            // The server notices the lost client at its next word to it; end the wait.
            seed.admin->exec(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where split_part(application_name, ' ', 1) = ?"),
                             {kApp});
            while (seed.admin->scalar(QStringLiteral("select count(*) from pg_stat_activity where split_part(application_name, ' ', 1) = ?"), {kApp})
                       .toInt() > 0)
                QThread::msleep(10);
            auto db = Database::connect(seed.conninfo);
            const Snapshot now = snapshot(*db);
            QVERIFY2(now == before || now == after,
                     qPrintable(QStringLiteral("statement %1 of %2: the estate is neither as before nor as after").arg(n).arg(events)));
            const QStringList faults = invariantFaults(*db, op != QLatin1String("cleanup"));
            QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("statement %1: %2").arg(n).arg(faults.join(QStringLiteral("; ")))));
        }
        qInfo("%s: %d statements, %d kill points", qPrintable(op), events, int(points.size()));
    }
};

int main(int argc, char** argv)
{
    // The seed estate is built in a data file and moved to the server.
    qunsetenv("FENWARY_TEST_ENGINE");
    if (argc == 5 && qstrcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        return childMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    }
    QApplication app(argc, argv);
    TestServerKill t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_serverkill.moc"
