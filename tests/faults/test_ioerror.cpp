// Every writing operation with its Nth write, sync or journal deletion failing
// (SQLITE_IOERR, SQLITE_FULL), N stepping forward until the operation completes:
// each failure reaches the operator as a message that names it, never as success,
// and the reopened estate keeps its invariants.
#include "backup/backupprompter.h"
#include "backup/backuptool.h"
#include "estate.h"
#include "faultvfs.h"
#include "operations.h"
#include "store/datafile.h"
#include "store/sqlite.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kMaxPoints = 400;

QString joined(const QStringList& l) { return l.join(QStringLiteral("; ")); }

// The message of a failed write: a warning that says the action failed and why.
bool namesTheFailure(const ScriptedPrompter& p, int from, QString* text)
{
    for (int i = from; i < p.boxes().size(); ++i) {
        const ScriptedPrompter::Box& b = p.boxes()[i];
        // A notice with a warning icon, or a question that names the failure (the exits).
        if (b.kind == ScriptedPrompter::Kind::Inform ? b.icon == Prompter::Icon::Information
                                                      : b.kind != ScriptedPrompter::Kind::YesNo)
            continue;
        *text = b.text;
        const bool failed = b.text.contains(QStringLiteral("失败")) || b.text.contains(QStringLiteral("出错")) ||
                            b.text.contains(QStringLiteral("未能")) || b.text.contains(QStringLiteral("未完成"));
        const bool why = b.text.contains(QStringLiteral("磁盘"));
        if (failed && why)
            return true;
    }
    return false;
}

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

}  // namespace

class TestIoError : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void failedWriteIsReportedAndLosesNothing_data();
    void failedWriteIsReportedAndLosesNothing();
    void failedBackupCopyIsReportedAndLeavesWholeFiles_data();
    void failedBackupCopyIsReportedAndLeavesWholeFiles();

private:
    Snapshot before_;
};

void TestIoError::initTestCase()
{
    FaultVfs::install();
    QTemporaryDir dir;
    copySeed(dir.path());
    auto db = DataFile::openExisting(DataFile::path(dir.path()));
    before_ = snapshot(*db);
}

void TestIoError::failedWriteIsReportedAndLosesNothing_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("code");
    for (const Operation& op : databaseOperations()) {
        QTest::addRow("%s, I/O error", qPrintable(op.name)) << op.name << int(SQLITE_IOERR);
        QTest::addRow("%s, disk full", qPrintable(op.name)) << op.name << int(SQLITE_FULL);
    }
}

void TestIoError::failedWriteIsReportedAndLosesNothing()
{
    QFETCH(QString, op);
    QFETCH(int, code);
    const Operation* operation = findOperation(op);
    QVERIFY(operation);
    const Snapshot before = operation->setUp ? snapshotBefore(*operation) : before_;
    const bool balances = op != QLatin1String("cleanup") && op != QLatin1String("household balance");

    Snapshot after;
    {
        QTemporaryDir dir;
        copySeed(dir.path());
        {
            Session s(dir.path());
            if (operation->setUp)
                operation->setUp(s);
            operation->run(s, [] { FaultVfs::arm(FaultVfs::Action::Count); });
            QVERIFY(operation->completed(s));
        }
        after = snapshot(*DataFile::openExisting(DataFile::path(dir.path())));
    }

    int n = 1;
    int asBefore = 0, asAfter = 0;
    for (;; ++n) {
        QVERIFY2(n <= kMaxPoints, "the operation never completed");
        QTemporaryDir dir;
        copySeed(dir.path());
        bool fired = false, completed = false;
        QString failure;
        QStringList shown;
        {
            Session s(dir.path());
            if (operation->setUp)
                operation->setUp(s);
            int from = 0;
            operation->run(s, [&] {
                from = int(s.prompter.boxes().size());
                FaultVfs::arm(FaultVfs::Action::Fail, n, code);
            });
            fired = FaultVfs::fired();
            FaultVfs::disarm();
            for (int i = from; i < s.prompter.boxes().size(); ++i)
                shown << s.prompter.boxes()[i].text;
            if (fired) {
                QVERIFY2(namesTheFailure(s.prompter, from, &failure),
                         qPrintable(QStringLiteral("failure %1 not reported: %2").arg(n).arg(joined(shown))));
                for (const QString& success : operation->successTexts)
                    QVERIFY2(!shown.contains(success),
                             qPrintable(QStringLiteral("failure %1 reported as success: %2").arg(n).arg(joined(shown))));
            }
            completed = operation->completed(s);
        }
        std::unique_ptr<Database> db;
        try {
            db = DataFile::openExisting(DataFile::path(dir.path()));
        } catch (const StoreError& e) {
            QFAIL(qPrintable(QStringLiteral("failure %1: reopening failed: %2").arg(n).arg(e.message())));
        }
        const QStringList faults = invariantFaults(*db, balances);
        QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("failure %1: %2").arg(n).arg(joined(faults))));
        if (op == QLatin1String("collection")) {
            const QStringList c = collectionFaults(*db);
            QVERIFY2(c.isEmpty(), qPrintable(QStringLiteral("failure %1: %2").arg(n).arg(joined(c))));
        }
        const Snapshot now = snapshot(*db);
        switch (operation->atomicity) {
        case Atomicity::Whole:
            QVERIFY2(now == before || now == after, qPrintable(QStringLiteral("failure %1: half written").arg(n)));
            break;
        case Atomicity::PerTable:
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                QVERIFY2(it.value() == before.value(it.key()) || it.value() == after.value(it.key()),
                         qPrintable(QStringLiteral("failure %1: table %2 half written").arg(n).arg(it.key())));
            break;
        case Atomicity::Steps: break;
        }
        if (!fired) {
            // Past the last write: the operation ran whole.
            QVERIFY2(completed, qPrintable(joined(shown)));
            QCOMPARE(now, after);
            break;
        }
        // A failure reported to the operator is a failure on disk too: nothing of a
        // one-transaction operation is kept, and one of several transactions is missing.
        if (operation->atomicity == Atomicity::Whole)
            QVERIFY2(now == before,
                     qPrintable(QStringLiteral("failure %1 reported, but the change was kept: %2").arg(n).arg(failure)));
        if (operation->atomicity == Atomicity::PerTable)
            QVERIFY2(now != after,
                     qPrintable(QStringLiteral("failure %1 reported, but all was written: %2").arg(n).arg(failure)));
        now == before ? ++asBefore : now == after ? ++asAfter : 0;
    }
    qInfo("%s: %d failure points (%d left the estate as before, %d as after)", qPrintable(op), n - 1, asBefore,
          asAfter);
}

void TestIoError::failedBackupCopyIsReportedAndLeavesWholeFiles_data()
{
    QTest::addColumn<QString>("op");
    QTest::newRow("backup") << QStringLiteral("backup");
    QTest::newRow("restore") << QStringLiteral("restore");
}

void TestIoError::failedBackupCopyIsReportedAndLeavesWholeFiles()
{
    QFETCH(QString, op);
    const QByteArray seed = fileHash(seedFile());
    const QByteArray other = fileHash(TestEstate::templatePath());
    int n = 1;
    for (;; ++n) {
        QVERIFY(n <= kMaxPoints);
        QTemporaryDir dir;
        const QDir d(dir.path());
        copySeed(dir.path());
        QFile::copy(TestEstate::templatePath(), d.filePath(QStringLiteral("月底.备份")));
        QFile::copy(TestEstate::templatePath(), d.filePath(QStringLiteral("新.备份")));

        ScriptedBackupPrompter prompter;
        prompter.ok();
        BackupTool tool(dir.path(), prompter);
        tool.copier().setBlockSize(4096);
        int calls = 0;
        tool.copier().setWriteHook([&](const QString&, qint64) { return ++calls != n; });
        const BackupTool::Outcome out = op == QLatin1String("backup") ? tool.backUp(dir.path(), QStringLiteral("月底"))
                                                                      : tool.restore(dir.path(), QStringLiteral("新.备份"));
        const QStringList texts = prompter.texts();
        const QByteArray database = fileHash(d.filePath(QStringLiteral("data.dat")));
        // No temporary copy is left behind.
        const QStringList entries = d.entryList(QDir::Files | QDir::Hidden);
        if (calls < n) {
            QCOMPARE(out, BackupTool::Outcome::Done);
            QCOMPARE(database, op == QLatin1String("backup") ? seed : other);
            break;
        }
        QCOMPARE(out, BackupTool::Outcome::Failed);
        QVERIFY2(texts.size() >= 1 && texts.last().contains(QStringLiteral("失败")), qPrintable(joined(texts)));
        QVERIFY(!texts.contains(BackupTool::backupDone) && !texts.contains(BackupTool::restoreDone));
        QCOMPARE(database, seed);
        if (op == QLatin1String("backup"))
            QCOMPARE(fileHash(d.filePath(QStringLiteral("月底.备份"))), other);
        else if (d.exists(QStringLiteral("data_bf.备份")))
            QCOMPARE(fileHash(d.filePath(QStringLiteral("data_bf.备份"))), seed);
        for (const QString& e : entries)
            QVERIFY2(!e.contains(QLatin1Char('~')) && !e.endsWith(QLatin1String(".tmp")) && !e.startsWith(QLatin1Char('.')),
                     qPrintable(e));
    }
    qInfo("%s: %d failure points", qPrintable(op), n - 1);
}

QTEST_MAIN(TestIoError)
#include "test_ioerror.moc"
