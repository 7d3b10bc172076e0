// The files of the office and the folders that hold them are their owner's alone,
// whatever the umask the programs were started with.
#include "backup/backupprompter.h"
#include "backup/backuptool.h"
#include "common/reportfolder.h"
#include "shell/safetycopies.h"
#include "store/datafile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

}  // namespace

class TestPrivateFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { old_ = ::umask(0); }
    void cleanupTestCase() { ::umask(old_); }

    void createdForTheOwnerOnly_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("earlierFile");  // data.dat as an earlier version made it (0644)
        QTest::addColumn<int>("mode");
        QTest::newRow("data.dat of a new estate") << "data" << false << 0600;
        QTest::newRow("safety copy") << "copy" << false << 0600;
        QTest::newRow("safety copy folder") << "copyFolder" << false << 0700;
        QTest::newRow("safety copy of an earlier version's data.dat") << "copy" << true << 0600;
        QTest::newRow("Brisco's backup") << "backup" << false << 0600;
        QTest::newRow("Brisco's data_bf.备份") << "beforeRestore" << false << 0600;
        QTest::newRow("data.dat restored by Brisco") << "restored" << true << 0600;
        QTest::newRow("reports folder") << "reports" << false << 0700;
    }
    void createdForTheOwnerOnly()
    {
        QFETCH(QString, what);
        QFETCH(bool, earlierFile);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString data = DataFile::path(folder);
        {
            auto db = DataFile::create(data, {QStringLiteral("王主任"), QStringLiteral("pw"), QString(), QString()});
            if (earlierFile)
                QVERIFY(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                        QFile::ReadOther));
            // A file of an earlier version still opens and takes writes.
            db.reset();
            db = DataFile::openExisting(data);
            db->exec(QStringLiteral("update 广告 set 广告 = ?"), {QStringLiteral("通知")});
            if (what.startsWith(QLatin1String("copy"))) {
                SafetyCopies copies(*db, folder);
                const SafetyCopies::Result r = copies.take(QStringLiteral("登录"), QDateTime(QDate(2024, 7, 15), QTime(8, 0)));
                QVERIFY2(r.ok, qPrintable(r.error));
                QCOMPARE(modeOf(what == QLatin1String("copy") ? r.path : copies.folder()), mode);
                return;
            }
        }
        QString path = data;
        ScriptedBackupPrompter prompter;
        BackupTool tool(folder, prompter);
        const QString elsewhere = dir.filePath(QStringLiteral("U盘"));
        QVERIFY(QDir().mkpath(elsewhere));
        if (what == QLatin1String("backup")) {
            QCOMPARE(tool.backUp(elsewhere, QStringLiteral("七月")), BackupTool::Outcome::Done);
            path = QDir(elsewhere).filePath(QStringLiteral("七月.备份"));
        } else if (what == QLatin1String("beforeRestore") || what == QLatin1String("restored")) {
            QVERIFY(QFile::copy(data, QDir(elsewhere).filePath(QStringLiteral("七月.备份"))));
            prompter.ok();
            QCOMPARE(tool.restore(elsewhere, QStringLiteral("七月.备份")), BackupTool::Outcome::Done);
            path = what == QLatin1String("restored") ? data : tool.safetyCopyPath();
            QVERIFY(DataFile::openExisting(data));
        } else if (what == QLatin1String("reports")) {
            path = dir.filePath(QStringLiteral("报表"));
            qputenv("FENWARY_REPORT_DIR", path.toUtf8());
            QCOMPARE(ensureReportFolder(), path);
            qunsetenv("FENWARY_REPORT_DIR");
        }
        QCOMPARE(modeOf(path), mode);
    }

private:
    mode_t old_ = 022;
};

QTEST_MAIN(TestPrivateFiles)
#include "test_privatefiles.moc"
