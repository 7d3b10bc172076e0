// The write-ahead log of data.dat: a commit costs one sync, the log is encrypted and
// private, and every copy of the file (safety copy, backup, restore) holds what a
// run that ended without closing left in data.dat-wal.
#include "backup/backupprompter.h"
#include "backup/backuptool.h"
#include "estate.h"
#include "faultvfs.h"
#include "shell/safetycopies.h"
#include "store/datafile.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

const QString kDoor = QStringLiteral("O'Neil-9号");
const QString kName = QStringLiteral("欧阳奇峰");

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a run killed right after its last commit leaves on disk: data.dat with its
// -wal (the connection of `e` still open), copied to `folder`.
void copyCrashImage(TestEstate& e, const QString& folder)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        if (QFileInfo::exists(e.path() + QLatin1String(suffix)))
            QVERIFY(QFile::copy(e.path() + QLatin1String(suffix), DataFile::path(folder) + QLatin1String(suffix)));
}

int households(const QString& file, const QString& door)
{
    QTemporaryDir dir;
    QFile::copy(file, DataFile::path(dir.path()));
    auto db = DataFile::openExisting(DataFile::path(dir.path()));
    return db->scalar(QStringLiteral("select count(*) from 档案库 where 门牌号 = ?"), {door}).toInt();
}

}  // namespace

class TestWal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FaultVfs::install(); }

    void commitSyncsOnlyTheLogOnce_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("one row") << 1;
        QTest::newRow("a household with a year of bills") << 13;
    }
    void commitSyncsOnlyTheLogOnce()
    {
        QFETCH(int, rows);
        TestEstate e;
        e.addHousehold(QStringLiteral("1-101"));
        Database& db = e.db();
        FaultVfs::arm(FaultVfs::Action::Count);
        {
            Transaction t(db);
            db.exec(QStringLiteral("update 档案库 set 其他信息 = ? where 门牌号 = ?"), {QStringLiteral("x"), "1-101"});
            for (int i = 1; i < rows; ++i)
                db.exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 收费金额) values (?, ?, ?)"),
                        {"1-101", QStringLiteral("2024%1").arg(i, 2, 10, QLatin1Char('0')), 10.0});
            t.commit();
        }
        QCOMPARE(FaultVfs::syncedFiles(), QStringList{e.path() + QStringLiteral("-wal")});
        FaultVfs::disarm();
    }

    void logIsEncryptedAndPrivate_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("-wal") << "-wal";
        QTest::newRow("-shm") << "-shm";
    }
    void logIsEncryptedAndPrivate()
    {
        QFETCH(QString, suffix);
        const mode_t old = ::umask(022);
        TestEstate e;
        e.addHousehold(kDoor, kName);
        ::umask(old);
        const QString log = e.path() + suffix;
        QVERIFY(QFileInfo(log).size() > 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(log).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        const QByteArray content = bytes(log);
        QVERIFY(!content.contains(kDoor.toUtf8()));
        QVERIFY(!content.contains(kName.toUtf8()));
        QVERIFY(!content.contains("O'Neil"));
    }

    // The row committed last sits in data.dat-wal when the run ends without closing;
    // every copy holds it, and a restore leaves no log to be replayed into the file.
    void copiesHoldTheLog_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::newRow("safety copy while open") << "safety";
        QTest::newRow("Brisco backup after a crash") << "backup";
        QTest::newRow("Brisco restore after a crash") << "restore";
    }
    void copiesHoldTheLog()
    {
        QFETCH(QString, copy);
        TestEstate e;
        e.addHousehold(kDoor, kName);
        QVERIFY(QFileInfo(e.path() + QStringLiteral("-wal")).size() > 0);
        if (copy == QLatin1String("safety")) {
            SafetyCopies copies(e.db(), e.folder());
            const SafetyCopies::Result r = copies.take(QStringLiteral("登录"), QDateTime(QDate(2024, 7, 15), QTime(8, 0)));
            QVERIFY2(r.ok, qPrintable(r.error));
            QCOMPARE(households(r.path, kDoor), 1);
            return;
        }
        QTemporaryDir crashed, saved;
        copyCrashImage(e, crashed.path());
        const QString database = DataFile::path(crashed.path());
        QVERIFY(QFileInfo::exists(database + QStringLiteral("-wal")));
        QVERIFY(QFile::copy(TestEstate::templatePath(), QDir(saved.path()).filePath(QStringLiteral("旧.备份"))));
        ScriptedBackupPrompter prompter;
        prompter.ok();
        BackupTool tool(crashed.path(), prompter);
        if (copy == QLatin1String("backup")) {
            QCOMPARE(tool.backUp(saved.path(), QStringLiteral("新")), BackupTool::Outcome::Done);
            QCOMPARE(households(QDir(saved.path()).filePath(QStringLiteral("新.备份")), kDoor), 1);
        } else {
            QCOMPARE(tool.restore(saved.path(), QStringLiteral("旧.备份")), BackupTool::Outcome::Done);
            QCOMPARE(households(tool.safetyCopyPath(), kDoor), 1);
            QCOMPARE(bytes(database), bytes(TestEstate::templatePath()));
            QCOMPARE(households(database, kDoor), 0);
        }
        QVERIFY(!QFileInfo::exists(database + QStringLiteral("-wal")));
        QVERIFY(!QFileInfo::exists(database + QStringLiteral("-shm")));
    }

    // A file of an older version (rollback journal) is switched on opening; a file the
    // program wrote is read by the sqlcipher command-line tool.
    void olderFileSwitchesAndStaysReadable()
    {
        QTemporaryDir dir;
        const QString path = DataFile::path(dir.path());
        QVERIFY(QFile::copy(TestEstate::templatePath(), path));
        Database::open(path, Database::Mode::OpenExisting)->exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        {
            auto db = DataFile::openExisting(path);
            QCOMPARE(db->scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
            db->exec(QStringLiteral("insert into 档案库 (门牌号, 户名) values (?, ?)"), {kDoor, kName});
        }
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
        const QString cli = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
        if (cli.isEmpty())
            QSKIP("no sqlcipher command-line tool");
        QProcess p;
        p.start(cli, {path});
        p.write(QStringLiteral("PRAGMA key = '%1';\nPRAGMA cipher_page_size = 4096;\n"
                               "select 户名 from 档案库 where 门牌号 = 'O''Neil-9号';\n")
                    .arg(QLatin1String(Database::Password))
                    .toUtf8());
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(QLatin1Char('\n')).last(), kName);
    }
};

QTEST_MAIN(TestWal)
#include "test_wal.moc"
