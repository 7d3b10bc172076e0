// Every writing operation killed with SIGKILL at a spread of points inside it (the
// Nth write or sync that reaches a file, or the Nth block of a backup copy); the
// estate reopened afterwards keeps its invariants and is as before or as after.
#include "backup/backuptool.h"
#include "backup/backupprompter.h"
#include "estate.h"
#include "faultvfs.h"
#include "operations.h"
#include "shell/safetycopies.h"
#include "store/datafile.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kMaxPoints = 60;

// Kill points 1..events, all of them up to kMaxPoints, else a spread that keeps the
// first and the last ten (the commit).
QList<int> killPoints(int events)
{
    QList<int> out;
    if (events <= kMaxPoints) {
        for (int n = 1; n <= events; ++n)
            out << n;
        return out;
    }
    for (int n = 1; n <= 10; ++n)
        out << n;
    const int middle = kMaxPoints - 20;
    for (int k = 1; k <= middle; ++k)
        out << 10 + k * (events - 20) / (middle + 1);
    for (int n = events - 9; n <= events; ++n)
        out << n;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

struct ChildRun {
    bool killed = false;
    int exitCode = -1;
    int events = -1;
    QString output;
};

ChildRun runChild(const QString& op, const QString& folder, const QString& mode, int n)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--child"), op, folder, mode, QString::number(n)});
    ChildRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.output = QStringLiteral("child timed out");
        return r;
    }
    r.output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    r.killed = p.exitStatus() == QProcess::CrashExit;
    r.exitCode = p.exitCode();
    const qsizetype at = r.output.indexOf(QLatin1String("events="));
    if (at >= 0)
        r.events = r.output.mid(at + 7).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
    return r;
}

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The backup tool's folder: data.dat from the seed, an older backup 月底.备份 and a
// backup 新.备份 to restore, both from the plain template estate.
void prepareBackupFolder(const QString& folder)
{
    copySeed(folder);
    QFile::copy(TestEstate::templatePath(), QDir(folder).filePath(QStringLiteral("月底.备份")));
    QFile::copy(TestEstate::templatePath(), QDir(folder).filePath(QStringLiteral("新.备份")));
}

int childMain(const QString& opName, const QString& folder, const QString& mode, int n)
{
    const bool kill = mode == QLatin1String("kill");
    if (opName == QLatin1String("backup") || opName == QLatin1String("restore")) {
        ScriptedBackupPrompter prompter;
        prompter.ok();
        BackupTool tool(folder, prompter);
        int calls = 0;
        tool.copier().setBlockSize(4096);
        tool.copier().setWriteHook([&](const QString&, qint64) {
            if (++calls == n && kill)
                ::kill(::getpid(), SIGKILL);
            return true;
        });
        const BackupTool::Outcome out = opName == QLatin1String("backup")
                                            ? tool.backUp(folder, QStringLiteral("月底"))
                                            : tool.restore(folder, QStringLiteral("新.备份"));
        std::printf("outcome=%d\nevents=%d\n", int(out), calls);
        return out == BackupTool::Outcome::Done ? 0 : 3;
    }
    if (opName == QLatin1String("safetycopy")) {
        auto db = DataFile::openExisting(DataFile::path(folder));
        SafetyCopies copies(*db, folder);
        int calls = 0;
        copies.copier().setBlockSize(4096);
        copies.copier().setWriteHook([&](const QString&, qint64) {
            if (++calls == n && kill)
                ::kill(::getpid(), SIGKILL);
            return true;
        });
        const SafetyCopies::Result r =
            copies.take(QStringLiteral("登录"), QDateTime(QDate(2024, 7, 15), QTime::currentTime()));
        std::printf("outcome=%d\nevents=%d\n", r.ok ? 0 : 1, calls);
        return r.ok ? 0 : 3;
    }
    const Operation* op = findOperation(opName);
    if (!op)
        return 2;
    FaultVfs::install();
    {
        Session s(folder);
        if (op->setUp)
            op->setUp(s);
        op->run(s, [&] { FaultVfs::arm(kill ? FaultVfs::Action::Kill : FaultVfs::Action::Count, n); });
        const int events = FaultVfs::events();
        FaultVfs::disarm();
        std::printf("completed=%d\nevents=%d\n", op->completed(s) ? 1 : 0, events);
        for (const QString& t : s.prompter.texts())
            std::printf("box=%s\n", qPrintable(t));
    }
    std::fflush(stdout);
    return 0;
}

QString joined(const QStringList& faults) { return faults.join(QStringLiteral("; ")); }

}  // namespace

class TestCrash : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void killedOperationKeepsTheEstate_data();
    void killedOperationKeepsTheEstate();
    void killedBackupCopyLeavesWholeFiles_data();
    void killedBackupCopyLeavesWholeFiles();
    void killedSafetyCopyLeavesNoHalfFile();

private:
    Snapshot before_;
};

void TestCrash::initTestCase()
{
    QTemporaryDir dir;
    copySeed(dir.path());
    auto db = DataFile::openExisting(DataFile::path(dir.path()));
    before_ = snapshot(*db);
    QCOMPARE(invariantFaults(*db), QStringList());
}

void TestCrash::killedOperationKeepsTheEstate_data()
{
    QTest::addColumn<QString>("op");
    for (const Operation& op : databaseOperations())
        QTest::newRow(qPrintable(op.name)) << op.name;
}

void TestCrash::killedOperationKeepsTheEstate()
{
    QFETCH(QString, op);
    const Operation* operation = findOperation(op);
    QVERIFY(operation);
    const Snapshot before = operation->setUp ? snapshotBefore(*operation) : before_;

    // A run that is not killed counts the writes and syncs and gives the state after.
    QTemporaryDir whole;
    copySeed(whole.path());
    const ChildRun counted = runChild(op, whole.path(), QStringLiteral("count"), 0);
    QVERIFY2(!counted.killed && counted.exitCode == 0, qPrintable(counted.output));
    QVERIFY2(counted.output.contains(QLatin1String("completed=1")), qPrintable(counted.output));
    QVERIFY2(counted.events > 0, qPrintable(counted.output));
    Snapshot after;
    {
        auto db = DataFile::openExisting(DataFile::path(whole.path()));
        after = snapshot(*db);
        QCOMPARE(invariantFaults(*db, op != QLatin1String("cleanup") && op != QLatin1String("household balance")), QStringList());
    }
    QVERIFY(after != before);

    const QList<int> points = killPoints(counted.events);
    int asBefore = 0, asAfter = 0, between = 0;
    for (int n : points) {
        QTemporaryDir dir;
        copySeed(dir.path());
        const ChildRun r = runChild(op, dir.path(), QStringLiteral("kill"), n);
        QVERIFY2(r.killed, qPrintable(QStringLiteral("point %1: not killed: %2").arg(n).arg(r.output)));

        std::unique_ptr<Database> db;
        try {
            db = DataFile::openExisting(DataFile::path(dir.path()));
        } catch (const StoreError& e) {
            QFAIL(qPrintable(QStringLiteral("point %1: reopening failed: %2").arg(n).arg(e.message())));
        }
        const QStringList faults = invariantFaults(*db, op != QLatin1String("cleanup") && op != QLatin1String("household balance"));
        QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("point %1 of %2: %3").arg(n).arg(counted.events).arg(joined(faults))));
        if (op == QLatin1String("collection")) {
            const QStringList c = collectionFaults(*db);
            QVERIFY2(c.isEmpty(), qPrintable(QStringLiteral("point %1: %2").arg(n).arg(joined(c))));
        }
        const Snapshot now = snapshot(*db);
        switch (operation->atomicity) {
        case Atomicity::Whole:
            QVERIFY2(now == before || now == after,
                     qPrintable(QStringLiteral("point %1 of %2: the estate is neither as before nor as after")
                                    .arg(n)
                                    .arg(counted.events)));
            break;
        case Atomicity::PerTable:
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                QVERIFY2(it.value() == before.value(it.key()) || it.value() == after.value(it.key()),
                         qPrintable(QStringLiteral("point %1: table %2 half written").arg(n).arg(it.key())));
            break;
        case Atomicity::Steps: break;
        }
        if (now == before)
            ++asBefore;
        else if (now == after)
            ++asAfter;
        else
            ++between;
    }
    qInfo("%s: %d writes, syncs and deletions, %d kill points: %d as before, %d as after, %d in between", qPrintable(op),
          counted.events, int(points.size()), asBefore, asAfter, between);
}

void TestCrash::killedBackupCopyLeavesWholeFiles_data()
{
    QTest::addColumn<QString>("op");
    QTest::newRow("backup") << QStringLiteral("backup");
    QTest::newRow("restore") << QStringLiteral("restore");
}

void TestCrash::killedBackupCopyLeavesWholeFiles()
{
    QFETCH(QString, op);
    const QByteArray seed = fileHash(seedFile());
    const QByteArray other = fileHash(TestEstate::templatePath());
    QVERIFY(seed != other);

    QTemporaryDir whole;
    prepareBackupFolder(whole.path());
    const ChildRun counted = runChild(op, whole.path(), QStringLiteral("count"), 0);
    QVERIFY2(!counted.killed && counted.exitCode == 0 && counted.events > 1, qPrintable(counted.output));

    int points = 0;
    for (int n = 1; n <= counted.events; ++n, ++points) {
        QTemporaryDir dir;
        prepareBackupFolder(dir.path());
        const ChildRun r = runChild(op, dir.path(), QStringLiteral("kill"), n);
        QVERIFY2(r.killed, qPrintable(r.output));
        const QDir d(dir.path());
        const QByteArray database = fileHash(d.filePath(QStringLiteral("data.dat")));
        if (op == QLatin1String("backup")) {
            QCOMPARE(database, seed);
            const QByteArray target = fileHash(d.filePath(QStringLiteral("月底.备份")));
            QVERIFY2(target == other || target == seed, qPrintable(QStringLiteral("block %1: backup half written").arg(n)));
        } else {
            QVERIFY2(database == seed || database == other,
                     qPrintable(QStringLiteral("block %1: data.dat is neither the old nor the new file").arg(n)));
            if (d.exists(QStringLiteral("data_bf.备份")))
                QCOMPARE(fileHash(d.filePath(QStringLiteral("data_bf.备份"))), seed);
            try {
                auto db = DataFile::openExisting(d.filePath(QStringLiteral("data.dat")));
                QCOMPARE(db->scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            } catch (const StoreError& e) {
                QFAIL(qPrintable(e.message()));
            }
        }
        // Run again, the operation completes and takes away the killed run's
        // temporary copy.
        const ChildRun again = runChild(op, dir.path(), QStringLiteral("count"), 0);
        QVERIFY2(!again.killed && again.exitCode == 0, qPrintable(again.output));
        QCOMPARE(fileHash(d.filePath(op == QLatin1String("backup") ? QStringLiteral("月底.备份") : QStringLiteral("data.dat"))),
                 op == QLatin1String("backup") ? seed : other);
        const QStringList hidden = d.entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\.")));
        QVERIFY2(hidden.isEmpty(), qPrintable(QStringLiteral("block %1: left behind: %2").arg(n).arg(hidden.join(QLatin1Char(' ')))));
    }
    qInfo("%s: %d blocks written, %d kill points", qPrintable(op), counted.events, points);
}

// A kill at any block of an automatic safety copy leaves data.dat as it was and no
// copy in 自动备份, or none but whole ones; the next copy takes the killed run's
// temporary file away.
void TestCrash::killedSafetyCopyLeavesNoHalfFile()
{
    const QByteArray seed = fileHash(seedFile());
    QTemporaryDir whole;
    copySeed(whole.path());
    const ChildRun counted = runChild(QStringLiteral("safetycopy"), whole.path(), QStringLiteral("count"), 0);
    QVERIFY2(!counted.killed && counted.exitCode == 0 && counted.events > 1, qPrintable(counted.output));

    int points = 0;
    for (int n = 1; n <= counted.events; ++n, ++points) {
        QTemporaryDir dir;
        copySeed(dir.path());
        const QDir copies(QDir(dir.path()).filePath(SafetyCopies::folderName));
        const ChildRun r = runChild(QStringLiteral("safetycopy"), dir.path(), QStringLiteral("kill"), n);
        QVERIFY2(r.killed, qPrintable(r.output));
        QCOMPARE(fileHash(QDir(dir.path()).filePath(QStringLiteral("data.dat"))), seed);
        for (const QString& name : copies.entryList(QDir::Files))
            QVERIFY2(fileHash(copies.filePath(name)) == seed, qPrintable(QStringLiteral("block %1: %2 half written").arg(n).arg(name)));

        const ChildRun again = runChild(QStringLiteral("safetycopy"), dir.path(), QStringLiteral("count"), 0);
        QVERIFY2(!again.killed && again.exitCode == 0, qPrintable(again.output));
        const QStringList visible = copies.entryList(QDir::Files);
        QCOMPARE(visible.size(), 1);
        QCOMPARE(fileHash(copies.filePath(visible.first())), seed);
        const QStringList hidden = copies.entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\.")));
        QVERIFY2(hidden.isEmpty(), qPrintable(QStringLiteral("block %1: left behind: %2").arg(n).arg(hidden.join(QLatin1Char(' ')))));
    }
    qInfo("safety copy: %d blocks written, %d kill points", counted.events, points);
}

int main(int argc, char** argv)
{
    if (argc >= 6 && qstrcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        return childMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]).toInt());
    }
    QApplication app(argc, argv);
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_crash.moc"
