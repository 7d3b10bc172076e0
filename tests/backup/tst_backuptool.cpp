#include "backupfixture.h"
#include "backupprompter.h"
#include "backuptool.h"
#include "databasefile.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// Started as a second process: holds the main program's lock until stdin closes.
int holdLock(const QString& path)
{
    QLockFile lock(path);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return 2;
    std::puts("locked");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

}  // namespace

class BackupToolTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    QString p_;   // program folder
    QString f_;   // backup folder
    QByteArray db_;
    ScriptedBackupPrompter prompter_;

    QString database() const { return p_ + "/data.dat"; }
    QString safetyCopy() const { return p_ + "/data_bf.备份"; }

private slots:
    void init()
    {
        QVERIFY(home_.isValid());
        QDir root(home_.path());
        for (const QString& e : allEntries(root.path()))
            QVERIFY(QFileInfo(root.filePath(e)).isDir() ? QDir(root.filePath(e)).removeRecursively()
                                                        : QFile::remove(root.filePath(e)));
        QVERIFY(root.mkpath("收费"));
        QVERIFY(root.mkpath("备份"));
        p_ = root.filePath("收费");
        f_ = root.filePath("备份");
        db_ = fakeDatabase(1);
        QVERIFY(writeFile(database(), db_));
        prompter_.clear();
    }

    void backupToChineseFolder()
    {
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.backUp(f_, "  2024年1月 "), BackupTool::Outcome::Done);
        QCOMPARE(readFile(f_ + "/2024年1月.备份"), db_);
        QCOMPARE(prompter_.texts(), QStringList{"备份完成"});
        QCOMPARE(prompter_.boxes().first().title, QString("Brisco"));
        QCOMPARE(BackupTool::backupFiles(f_), QStringList{"2024年1月.备份"});
        QCOMPARE(allEntries(f_), QStringList{"2024年1月.备份"});
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});  // lock released
    }

    void overwriteQuestion_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK replaces") << true;
        QTest::newRow("Cancel keeps") << false;
    }
    void overwriteQuestion()
    {
        QFETCH(bool, ok);
        const QByteArray old = fakeDatabase(2);
        QVERIFY(writeFile(f_ + "/2024年1月.备份", old));
        ok ? prompter_.ok() : prompter_.cancel();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.backUp(f_, "2024年1月"), ok ? BackupTool::Outcome::Done : BackupTool::Outcome::Stopped);
        QCOMPARE(prompter_.boxes().first().kind, ScriptedBackupPrompter::Kind::OkCancel);
        QCOMPARE(prompter_.boxes().first().preset, BackupPrompter::Default::Decline);
        QCOMPARE(prompter_.texts(), ok ? QStringList({"是否覆盖此数据库？", "备份完成"})
                                       : QStringList{"是否覆盖此数据库？"});
        QCOMPARE(readFile(f_ + "/2024年1月.备份"), ok ? db_ : old);
        QCOMPARE(allEntries(f_), QStringList{"2024年1月.备份"});
    }

    void backupAfterClickDoublesExtension()
    {
        QVERIFY(writeFile(f_ + "/2024年1月.备份", fakeDatabase(2)));
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.backUp(f_, "2024年1月.备份"), BackupTool::Outcome::Done);
        QCOMPARE(readFile(f_ + "/2024年1月.备份.备份"), db_);
        QCOMPARE(prompter_.texts(), QStringList{"备份完成"});
    }

    void emptyName_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("backup empty") << false << "" << "请输入备份文件名";
        QTest::newRow("backup blanks") << false << "   " << "请输入备份文件名";
        QTest::newRow("restore empty") << true << "" << "请选要恢复的数据库";
        QTest::newRow("restore blanks") << true << " \t" << "请选要恢复的数据库";
    }
    void emptyName()
    {
        QFETCH(bool, restore);
        QFETCH(QString, text);
        QFETCH(QString, message);
        prompter_.ok();
        BackupTool tool(p_, prompter_);
        const auto outcome = restore ? tool.restore(f_, text) : tool.backUp(f_, text);
        QCOMPARE(outcome, BackupTool::Outcome::Stopped);
        QCOMPARE(prompter_.texts(), QStringList{message});
        QCOMPARE(prompter_.boxes().first().kind, ScriptedBackupPrompter::Kind::Inform);
        QCOMPARE(allEntries(f_), QStringList());
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});
    }

    void nameWithSeparatorRefused()
    {
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.backUp(f_, "../外面"), BackupTool::Outcome::Refused);
        QCOMPARE(allEntries(home_.path()), QStringList({"备份", "收费"}));
    }

    void restoreMakesSafetyCopy_data()
    {
        QTest::addColumn<bool>("earlierSafetyCopy");
        QTest::newRow("first restore") << false;
        QTest::newRow("replaces earlier safety copy") << true;
    }
    void restoreMakesSafetyCopy()
    {
        QFETCH(bool, earlierSafetyCopy);
        if (earlierSafetyCopy)
            QVERIFY(writeFile(safetyCopy(), fakeDatabase(9)));
        const QByteArray backup = fakeDatabase(3, 5);
        QVERIFY(writeFile(f_ + "/2024年1月.备份", backup));
        prompter_.ok();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.restore(f_, "2024年1月.备份"), BackupTool::Outcome::Done);
        QCOMPARE(prompter_.texts(), QStringList({"恢复数据将覆盖目前的所有数据，请慎重，是否恢复数据库？",
                                                 "数据还原完毕，原数据库备份为data_bf.备份"}));
        QCOMPARE(readFile(database()), backup);
        QCOMPARE(readFile(safetyCopy()), db_);
        QCOMPARE(allEntries(p_), QStringList({"data.dat", "data_bf.备份"}));
        QCOMPARE(readFile(f_ + "/2024年1月.备份"), backup);
    }

    void restoreCancelChangesNothing()
    {
        QVERIFY(writeFile(f_ + "/a.备份", fakeDatabase(3)));
        prompter_.cancel();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.restore(f_, "a.备份"), BackupTool::Outcome::Stopped);
        QCOMPARE(prompter_.boxes().first().kind, ScriptedBackupPrompter::Kind::OkCancel);
        QCOMPARE(prompter_.boxes().first().preset, BackupPrompter::Default::Decline);
        QCOMPARE(readFile(database()), db_);
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});
    }

    void restoreFromSafetyCopySwapsFiles()
    {
        const QByteArray before = fakeDatabase(4);
        QVERIFY(writeFile(safetyCopy(), before));
        prompter_.ok();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.restore(p_, "data_bf.备份"), BackupTool::Outcome::Done);
        QCOMPARE(readFile(database()), before);
        QCOMPARE(readFile(safetyCopy()), db_);
    }

    void restoreWithoutDatabase()
    {
        QVERIFY(QFile::remove(database()));
        const QByteArray backup = fakeDatabase(5);
        QVERIFY(writeFile(f_ + "/a.备份", backup));
        prompter_.ok();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.restore(f_, "a.备份"), BackupTool::Outcome::Done);
        QCOMPARE(prompter_.texts().last(), QString("数据还原完毕"));
        QCOMPARE(readFile(database()), backup);
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});
    }

    void refusedWhileLockHeld_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("message");
        QTest::newRow("backup") << false << "数据库已经被打开，不能备份，请关闭程序后重新打开。";
        QTest::newRow("restore") << true << "数据库已经被打开，不能恢复，请关闭程序后重新打开。";
    }
    void refusedWhileLockHeld()
    {
        QFETCH(bool, restore);
        QFETCH(QString, message);
        const QByteArray backup = fakeDatabase(6);
        QVERIFY(writeFile(f_ + "/a.备份", backup));

        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {"--hold-lock", p_ + "/data.dat.lock"});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

        BackupTool tool(p_, prompter_);
        prompter_.ok();
        const auto outcome = restore ? tool.restore(f_, "a.备份") : tool.backUp(f_, "b");
        QCOMPARE(outcome, BackupTool::Outcome::Refused);
        QCOMPARE(prompter_.texts().last(), message);
        QCOMPARE(readFile(database()), db_);
        QCOMPARE(allEntries(f_), QStringList{"a.备份"});
        QCOMPARE(allEntries(p_), QStringList({"data.dat", "data.dat.lock"}));

        // Once the main program has ended, the same action goes through.
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(holder.exitCode(), 0);
        prompter_.clear();
        prompter_.ok();
        QCOMPARE(restore ? tool.restore(f_, "a.备份") : tool.backUp(f_, "b"), BackupTool::Outcome::Done);
        QCOMPARE(readFile(restore ? database() : f_ + "/b.备份"), restore ? backup : db_);
    }

    void lockHeldWhileCopying_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::newRow("backup") << false;
        QTest::newRow("restore") << true;
    }
    void lockHeldWhileCopying()
    {
        QFETCH(bool, restore);
        QVERIFY(writeFile(f_ + "/a.备份", fakeDatabase(6)));
        BackupTool tool(p_, prompter_);
        int probes = 0;
        tool.copier().setWriteHook([&](const QString&, qint64) {
            QLockFile other(p_ + "/data.dat.lock");
            other.setStaleLockTime(0);
            if (!other.tryLock(0))
                ++probes;
            return true;
        });
        prompter_.ok();
        QCOMPARE(restore ? tool.restore(f_, "a.备份") : tool.backUp(f_, "b"), BackupTool::Outcome::Done);
        QVERIFY(probes > 0);
        QLockFile after(p_ + "/data.dat.lock");
        QVERIFY(after.tryLock(0));
    }

    void refusedWhileWriteUnfinished_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("leftover");
        QTest::newRow("backup journal") << false << "data.dat-journal";
        QTest::newRow("restore journal") << true << "data.dat-journal";
    }
    void refusedWhileWriteUnfinished()
    {
        QFETCH(bool, restore);
        QFETCH(QString, leftover);
        QVERIFY(writeFile(p_ + "/" + leftover, fakeDatabase(7, 1)));
        QVERIFY(writeFile(f_ + "/a.备份", fakeDatabase(6)));
        BackupTool tool(p_, prompter_);
        prompter_.ok();
        const auto outcome = restore ? tool.restore(f_, "a.备份") : tool.backUp(f_, "b");
        QCOMPARE(outcome, BackupTool::Outcome::Refused);
        const QString message = prompter_.texts().last();
        QVERIFY2(message.contains(leftover) && message.contains("启动 Tallowmere 并关闭一次"), qPrintable(message));
        QCOMPARE(readFile(database()), db_);
        QCOMPARE(allEntries(f_), QStringList{"a.备份"});
        QCOMPARE(allEntries(p_), QStringList({"data.dat", leftover}));
    }

    void restoreRefusesNonDatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("verdict");
        QByteArray sqlite("SQLite format 3\0", 16);
        sqlite += fakeDatabase(8, 1).mid(16);
        QByteArray text = QString("门牌号,月份,收费金额\r\n1-101,202401,35.5\r\n").toUtf8().repeated(200).left(4096);
        using V = DatabaseFile::Verdict;
        QTest::newRow("empty") << QByteArray() << int(V::Empty);
        QTest::newRow("plain sqlite") << sqlite << int(V::PlainSqlite);
        QTest::newRow("text, whole page") << text << int(V::Text);
        QTest::newRow("text, short") << QByteArray("hello\n") << int(V::Text);
        QTest::newRow("not whole pages") << fakeDatabase(8).left(5000) << int(V::BadSize);
        QTest::newRow("zeros") << QByteArray(8192, '\0') << int(V::Blank);
        QTest::newRow("1024-byte pages accepted") << fakeDatabase(8).left(3072) << int(V::Ok);
    }
    void restoreRefusesNonDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, verdict);
        const QString source = f_ + "/a.备份";
        QVERIFY(writeFile(source, content));
        QCOMPARE(int(DatabaseFile::inspect(source)), verdict);

        prompter_.ok();
        BackupTool tool(p_, prompter_);
        const auto outcome = tool.restore(f_, "a.备份");
        if (verdict == int(DatabaseFile::Verdict::Ok)) {
            QCOMPARE(outcome, BackupTool::Outcome::Done);
            return;
        }
        QCOMPARE(outcome, BackupTool::Outcome::Refused);
        QVERIFY(prompter_.texts().last().contains("不是加密的 Fenwary 数据库文件"));
        QCOMPARE(readFile(database()), db_);
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});
    }

    void restoreRefusesMissingFile()
    {
        prompter_.ok();
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.restore(f_, "没有.备份"), BackupTool::Outcome::Refused);
        QVERIFY(prompter_.texts().last().startsWith("找不到要恢复的文件"));
        QCOMPARE(allEntries(p_), QStringList{"data.dat"});
    }

    void backupRefusesMissingOrBadDatabase_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("start");
        QTest::newRow("missing") << false << "找不到数据库文件";
        QTest::newRow("plain text") << true << QDir::toNativeSeparators(p_ + "/data.dat");
    }
    void backupRefusesMissingOrBadDatabase()
    {
        QFETCH(bool, present);
        QFETCH(QString, start);
        QVERIFY(QFile::remove(database()));
        if (present)
            QVERIFY(writeFile(database(), "not a database\n"));
        BackupTool tool(p_, prompter_);
        QCOMPARE(tool.backUp(f_, "b"), BackupTool::Outcome::Refused);
        QVERIFY2(prompter_.texts().last().startsWith(start), qPrintable(prompter_.texts().last()));
        QCOMPARE(allEntries(f_), QStringList());
    }

    void interruptedCopyLeavesOldFileWhole_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("failing");  // target whose write breaks off
        QTest::newRow("backup over older backup") << false << "backup";
        QTest::newRow("restore: new data.dat") << true << "data.dat";
        QTest::newRow("restore: safety copy") << true << "data_bf.备份";
    }
    void interruptedCopyLeavesOldFileWhole()
    {
        QFETCH(bool, restore);
        QFETCH(QString, failing);
        const QByteArray oldBackup = fakeDatabase(10);
        const QByteArray oldSafety = fakeDatabase(11);
        QVERIFY(writeFile(f_ + "/a.备份", oldBackup));
        QVERIFY(writeFile(safetyCopy(), oldSafety));
        const QString failingPath = failing == "backup" ? f_ + "/a.备份" : p_ + "/" + failing;

        BackupTool tool(p_, prompter_);
        tool.copier().setBlockSize(4096);
        tool.copier().setWriteHook([&](const QString& target, qint64 written) {
            return !(target == failingPath && written >= 4096);
        });
        prompter_.ok();
        const auto outcome = restore ? tool.restore(f_, "a.备份") : tool.backUp(f_, "a");
        QCOMPARE(outcome, BackupTool::Outcome::Failed);
        const QString message = prompter_.texts().last();
        QVERIFY2(message.startsWith(restore ? "恢复失败" : "备份失败"), qPrintable(message));
        QCOMPARE(readFile(database()), db_);
        QCOMPARE(readFile(f_ + "/a.备份"), oldBackup);
        QCOMPARE(readFile(safetyCopy()), oldSafety);
        QCOMPARE(allEntries(f_), QStringList{"a.备份"});
        QCOMPARE(allEntries(p_), QStringList({"data.dat", "data_bf.备份"}));
    }

    void programFolderFromEnvironment()
    {
        const QByteArray saved = qgetenv("FENWARY_HOME");
        qputenv("FENWARY_HOME", p_.toUtf8());
        QCOMPARE(BackupTool::defaultProgramFolder(), p_);
        qunsetenv("FENWARY_HOME");
        QCOMPARE(BackupTool::defaultProgramFolder(), QCoreApplication::applicationDirPath());
        if (!saved.isEmpty())
            qputenv("FENWARY_HOME", saved);
    }
};

int main(int argc, char* argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        QCoreApplication app(argc, argv);
        return holdLock(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    BackupToolTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backuptool.moc"
