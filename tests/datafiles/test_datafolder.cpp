// The folder that holds data.dat: FENWARY_HOME, the program's own folder, or the
// per-user folder, chosen the same way by Tallowmere and Brisco.
#include "backup/backuptool.h"
#include "datafiles/datafolder.h"
#include "shell/startup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Restores an environment variable when it goes out of scope.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {}
    ~EnvGuard() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// Copies a built program into folder (or, with no folder, takes it where it was
// built) and starts it with the first-window probe on an empty home; returns its
// description of the first window.
QString firstWindow(const QString& program, const QString& folder, const QString& home)
{
    const QString copy = folder.isEmpty() ? program : QDir(folder).filePath(QFileInfo(program).fileName());
    if (!QFile::exists(copy) && !QFile::copy(program, copy))
        return QStringLiteral("copy failed");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FENWARY_HOME"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("FENWARY_FIRST_WINDOW"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(copy, {});
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("timed out");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString line(const QString& output, const QString& key)
{
    for (const QString& l : output.split(QLatin1Char('\n')))
        if (l.startsWith(key + QLatin1Char('=')))
            return l.mid(key.size() + 1);
    return QString();
}

}  // namespace

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("writable program folder") << QString() << true << "/opt/estate";
        QTest::newRow("program folder not usable") << QString() << false << "/home/op/Fenwary";
        QTest::newRow("FENWARY_HOME wins over a usable folder") << "/data/小区" << true << "/data/小区";
        QTest::newRow("FENWARY_HOME wins over the home folder") << "/data/小区/" << false << "/data/小区";
    }
    void choice()
    {
        QFETCH(QString, home);
        QFETCH(bool, usable);
        QFETCH(QString, expected);
        QCOMPARE(DataFolder::choose(home, QStringLiteral("/opt/estate"), usable, QStringLiteral("/home/op")), expected);
    }

    void canHoldData_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("expected");
        QTest::newRow("writable folder") << "writable" << true;
        QTest::newRow("read-only folder") << "readonly" << false;
        QTest::newRow("a bin folder, even writable") << "bin" << false;
        QTest::newRow("missing folder") << "missing" << false;
    }
    void canHoldData()
    {
        QFETCH(QString, kind);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        QString folder = dir.path();
        if (kind == QLatin1String("readonly")) {
            if (::geteuid() == 0)
                QSKIP("root may write into a read-only folder");
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else if (kind == QLatin1String("bin")) {
            folder = dir.filePath(QStringLiteral("usr/bin"));
            QVERIFY(QDir().mkpath(folder));
        } else if (kind == QLatin1String("missing")) {
            folder = dir.filePath(QStringLiteral("gone"));
        }
        QCOMPARE(DataFolder::canHoldData(folder), expected);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Inside this test program both entry points give the same folder.
    void bothProgramsAgreeInProcess()
    {
        EnvGuard guard("FENWARY_HOME");
        QTemporaryDir dir;
        qputenv("FENWARY_HOME", dir.path().toUtf8());
        QCOMPARE(Startup::programFolder(), QDir(dir.path()).absolutePath());
        QCOMPARE(BackupTool::defaultProgramFolder(), Startup::programFolder());
        qunsetenv("FENWARY_HOME");
        // The build folder is writable and not a "bin" folder: the program's own folder.
        QCOMPARE(Startup::programFolder(), QCoreApplication::applicationDirPath());
        QCOMPARE(BackupTool::defaultProgramFolder(), Startup::programFolder());
    }

    // The real programs, installed into a "bin" folder, copied into a folder of their
    // own, or started where the build put them, on an empty home: both work on one
    // data folder, which Tallowmere names in its first window.
    void installedProgramsUseTheSameUserFolder_data()
    {
        QTest::addColumn<QString>("sub");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed in usr/bin") << "usr/bin" << true;
        QTest::newRow("copied into a folder of its own") << "收费" << false;
        QTest::newRow("started from the build folder") << QString() << false;
    }
    void installedProgramsUseTheSameUserFolder()
    {
        QFETCH(QString, sub);
        QFETCH(bool, installed);
        QTemporaryDir root;
        const bool inBuild = sub.isNull();
        const QString bin = inBuild ? QString() : root.filePath(sub);
        const QString home = root.filePath(QStringLiteral("home"));
        QVERIFY(inBuild || QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(home));
        const QString built = QFileInfo(QStringLiteral(TALLOWMERE_PATH)).absolutePath();
        const QString expected =
            QDir::toNativeSeparators(installed ? home + QStringLiteral("/Fenwary") : inBuild ? built : bin);
        // A developer may have made an estate in the build folder: then the log-in shows.
        const bool hasData = inBuild && QFile::exists(QDir(built).filePath(QStringLiteral("data.dat")));

        // Started with a permissive umask, the per-user folder is still made 0700.
        const mode_t umaskBefore = ::umask(0);
        const QString main = firstWindow(QStringLiteral(TALLOWMERE_PATH), bin, home);
        ::umask(umaskBefore);
        if (installed) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(expected).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 07777), 0700);
        }
        QCOMPARE(line(main, QStringLiteral("window")), hasData ? QStringLiteral("frm_start") : QStringLiteral("FirstStartDialog"));
        QCOMPARE(line(main, QStringLiteral("folder")), expected);
        QVERIFY2(main.contains(expected), qPrintable(main));
        QVERIFY(QFileInfo(expected).isDir());

        const QString tool = firstWindow(QStringLiteral(BRISCO_PATH), bin, home);
        QCOMPARE(line(tool, QStringLiteral("window")), QStringLiteral("back_data"));
        QCOMPARE(line(tool, QStringLiteral("folder")), expected);
        if (!hasData)
            QVERIFY(!QFile::exists(QDir(QDir::fromNativeSeparators(expected)).filePath(QStringLiteral("data.dat"))));
    }
};

QTEST_MAIN(TestDataFolder)
#include "test_datafolder.moc"
