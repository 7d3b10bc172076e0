// The program on a server database: choosing it, the first start there, refused
// log-ins, the safety copies written from the server, the copies between engines.
#include "estate.h"
#include "fixtures/login.h"
#include "shellfixture.h"
#include "shots.h"
#include "testserver.h"

#include "shell/datamoves.h"
#include "shell/firststartdialog.h"
#include "shell/passwordhash.h"
#include "shell/safetycopies.h"
#include "shell/serverdialog.h"
#include "shell/startup.h"
#include "store/database.h"
#include "store/databasechoice.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

// The row count of every table of this system.
QList<qint64> counts(Database& db)
{
    QList<qint64> out;
    for (const QString& t : Schema::tables())
        out << db.scalar(QStringLiteral("select count(*) from %1").arg(t)).toLongLong();
    return out;
}

}  // namespace

class TestServerStart : public QObject {
    Q_OBJECT

private:
    struct Run {
        Run(const QString& folder, FirstStartAnswer answer = {})
            : registry(fullRegistry(log)), startup(folder, registry, prompter, app, opener, clock)
        {
            startup.askFirstStart = [this](const QString&) {
                ++askedForFile;
                return FirstStartAnswer{};
            };
            startup.askServerFirstStart = [this, answer](const QString&, const QString&) {
                ++asked;
                return answer;
            };
            startup.quit = [] {};
        }
        WindowLog log;
        WindowRegistry registry;
        ScriptedPrompter prompter;
        RecordingFileOpener opener;
        FixedClock clock{QDate(2024, 7, 15)};
        AppContext app;
        Startup startup;
        int asked = 0;
        int askedForFile = 0;
    };

private slots:
    void firstStartOnAnEmptyServerDatabase_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::newRow("new estate") << int(FirstStartAnswer::Choice::Create) << QStringLiteral("王主任")
                                    << QStringLiteral("Pa'55");
        QTest::newRow("demo estate") << int(FirstStartAnswer::Choice::Demo) << QStringLiteral("管理员")
                                     << QStringLiteral("1234");
    }
    void firstStartOnAnEmptyServerDatabase()
    {
        QFETCH(int, choice);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QTemporaryDir folder;
        EmptySchema server(QStringLiteral("start"));
        QVERIFY(DatabaseChoice::save(folder.path(), server.conninfo, nullptr));
        const FirstStartAnswer answer{FirstStartAnswer::Choice(choice), {name, password, QStringLiteral("幸福里"), {}}, {}};
        QList<qint64> rows;
        {
            Run first(folder.path(), answer);
            QVERIFY2(first.startup.run(), qPrintable(first.prompter.texts().join(QLatin1Char('|'))));
            QCOMPARE(first.asked, 1);
            QCOMPARE(first.askedForFile, 0);
            QVERIFY2(logInThrough(first.startup, name, password), qPrintable(first.prompter.texts().join(QLatin1Char('|'))));
            Database& db = first.startup.data()->db();
            QCOMPARE(db.engine(), Database::Engine::Server);
            rows = counts(db);
            if (answer.choice == FirstStartAnswer::Choice::Demo)
                QVERIFY(rows.at(Schema::tables().indexOf(QStringLiteral("缴费历史"))) > 0);

            // The day's first log-in copied the server's data into a data file.
            const QStringList copies = first.startup.safetyCopies()->copies();
            QCOMPARE(copies.size(), 1);
            const auto copy = DataFile::openExisting(QDir(first.startup.safetyCopies()->folder()).filePath(copies.first()));
            QCOMPARE(counts(*copy), rows);
            // The server and its copies hold the password only hashed.
            const QString onServer =
                db.scalar(QStringLiteral("select 密码 from 操作员 where 操作员 = ?"), {name}).toString();
            QVERIFY2(PasswordHash::isHash(onServer) && PasswordHash::verify(onServer, password), qPrintable(onServer));
            QCOMPARE(copy->scalar(QStringLiteral("select 密码 from 操作员 where 操作员 = ?"), {name}).toString(), onServer);
        }
        // Nothing of the file engine was made in the folder; the hidden snapshot is gone.
        QVERIFY(!QFile::exists(DataFile::path(folder.path())));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".dat")), QStringList());
        QCOMPARE(QDir(folder.path() + QStringLiteral("/自动备份")).entryList(QDir::Files | QDir::Hidden).size(), 1);

        Run next(folder.path());
        QVERIFY(next.startup.run());
        QCOMPARE(next.asked, 0);
        QVERIFY(logInThrough(next.startup, name, password));
        QCOMPARE(counts(next.startup.data()->db()), rows);
    }

    // What the operator sees when the server cannot be used; nothing is left behind.
    void refusedServers_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("typed");  // passwords typed when asked; "" cancels
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("told");
        QTest::newRow("password asked") << QStringLiteral(" user=fenwary_pw") << QStringList{QStringLiteral("richtig-1")}
                                        << true << QString();
        QTest::newRow("wrong, then right")
            << QStringLiteral(" user=fenwary_pw") << QStringList{QStringLiteral("falsch"), QStringLiteral("richtig-1")}
            << true << QString();
        QTest::newRow("wrong every time")
            << QStringLiteral(" user=fenwary_pw")
            << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")} << false
            << QStringLiteral("拒绝登录：用户名或密码不对");
        QTest::newRow("cancelled") << QStringLiteral(" user=fenwary_pw") << QStringList{QString()} << false << QString();
        QTest::newRow("unreachable") << QStringLiteral(" host=/nonexistent-fenwary") << QStringList() << false
                                     << QStringLiteral("无法连接数据库服务器");
        QTest::newRow("no such database") << QStringLiteral(" dbname=fenwary_missing") << QStringList() << false
                                          << QStringLiteral("没有这个数据库或用户");
        QTest::newRow("no such user") << QStringLiteral(" user=fenwary_nobody") << QStringList() << false
                                      << QStringLiteral("没有这个数据库或用户");

    }
    void refusedServers()
    {
        QFETCH(QString, words);
        QFETCH(QStringList, typed);
        QFETCH(bool, connected);
        QFETCH(QString, told);
        qunsetenv("PGPASSWORD");
        QTemporaryDir folder;
        QVERIFY(DatabaseChoice::save(folder.path(), testServer() + words, nullptr));
        Run run(folder.path());  // declines the first start once connected
        for (const QString& t : typed)
            t.isEmpty() ? run.prompter.cancel() : run.prompter.type(t);
        QVERIFY(!run.startup.run());
        QCOMPARE(run.asked, connected ? 1 : 0);
        QCOMPARE(run.prompter.pending(), 0);
        const QStringList texts = run.prompter.texts();
        if (told.isEmpty())
            QVERIFY2(texts.filter(QStringLiteral("程序将退出")).isEmpty(), qPrintable(texts.join(QLatin1Char('|'))));
        else
            QVERIFY2(texts.last().contains(told) && texts.last().contains(QStringLiteral("程序将退出")),
                     qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(!QFile::exists(DataFile::path(folder.path())));
        QVERIFY(!run.startup.holdsLock());
    }

    void commandLineCopiesBothWays()
    {
        QTemporaryDir home, other;
        QVERIFY(QFile::copy(TestEstate::templatePath(), DataFile::path(home.path())));
        QFile(DataFile::path(home.path())).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        DataFile::openExisting(DataFile::path(home.path()))
            ->exec(QStringLiteral("insert into 档案库 (门牌号, 户名, 面积, 账户余额) values (?, ?, ?, ?)"),
                   {QStringLiteral("1-1'01"), QStringLiteral("O'Brien"), 88.5, -12.3});
        EmptySchema server(QStringLiteral("start"));
        const QString out = QDir(other.path()).filePath(QStringLiteral("copy.dat"));
        const auto run = [](const QStringList& args, const QString& folder, QString* said = nullptr) {
            QString o, e;
            QTextStream os(&o), es(&e);
            const int code = DataMoves::runCommandLine(QStringList{QStringLiteral("Tallowmere")} + args, folder, os, es);
            if (said)
                *said = o + e;
            return code;
        };
        QString said;
        QCOMPARE(run({}, home.path()), -1);
        QCOMPARE(run({QStringLiteral("--copy-to-server")}, home.path(), &said), 2);
        QVERIFY(said.contains(QStringLiteral("--copy-to-file")));
        QCOMPARE(run({QStringLiteral("--copy-to-server"), server.conninfo}, home.path(), &said), 0);
        QVERIFY2(said.contains(QStringLiteral("数据已复制到数据库服务器")), qPrintable(said));
        // The passwords arrive hashed; the copy back keeps the hash.
        const QString hashed = Database::connect(server.conninfo)->scalar(QStringLiteral("select 密码 from 操作员")).toString();
        QVERIFY2(PasswordHash::verify(hashed, QStringLiteral("1234")), qPrintable(hashed));
        // The server holds the tables now: a second copy is refused and changes nothing.
        QCOMPARE(run({QStringLiteral("--copy-to-server"), server.conninfo}, home.path(), &said), 1);
        QCOMPARE(run({QStringLiteral("--copy-to-file"), out}, other.path(), &said), 1);  // no server chosen there
        QVERIFY(said.contains(DatabaseChoice::settingFileName));
        QVERIFY(DatabaseChoice::save(other.path(), server.conninfo, nullptr));
        QCOMPARE(run({QStringLiteral("--copy-to-file"), out}, other.path(), &said), 0);
        const auto original = DataFile::openExisting(DataFile::path(home.path()));
        const auto copy = DataFile::openExisting(out);
        QCOMPARE(counts(*copy), counts(*original));
        QCOMPARE(copy->scalar(QStringLiteral("select 密码 from 操作员")).toString(), hashed);
        QCOMPARE(original->scalar(QStringLiteral("select 密码 from 操作员")).toString(), QStringLiteral("1234"));
        QCOMPARE(copy->query(QStringLiteral("select 门牌号, 户名, 面积, 账户余额 from 档案库")),
                 original->query(QStringLiteral("select 门牌号, 户名, 面积, 账户余额 from 档案库")));
    }

    void choosingTheServer_data()
    {
        QTest::addColumn<QStringList>("entries");  // host, port, database, user
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("described");
        QTest::newRow("this machine") << QStringList{QString(), QStringLiteral("5432"), QStringLiteral("fenwary"), QString()}
                                      << QString() << QStringLiteral("本机:5432/fenwary");
        QTest::newRow("quotes in names")
            << QStringList{QStringLiteral("db.office"), QString(), QStringLiteral("o'neil \\ estate"), QStringLiteral("cash desk")}
            << QString() << QStringLiteral("db.office:5432/o'neil \\ estate");
        QTest::newRow("no database") << QStringList{QStringLiteral("db"), QStringLiteral("5432"), QString(), QString()}
                                     << QStringLiteral("请输入数据库的名字。") << QString();
        QTest::newRow("bad port") << QStringList{QStringLiteral("db"), QStringLiteral("54x"), QStringLiteral("f"), QString()}
                                  << QStringLiteral("端口应为 1 到 65535 之间的数字。") << QString();
    }
    void choosingTheServer()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, problem);
        QFETCH(QString, described);
        ServerDialog dialog;
        dialog.hostBox()->setText(entries.at(0));
        dialog.portBox()->setText(entries.at(1));
        dialog.databaseBox()->setText(entries.at(2));
        dialog.userBox()->setText(entries.at(3));
        dialog.choose();
        QCOMPARE(dialog.problemLabel()->text(), problem);
        if (!problem.isEmpty())
            return;
        QCOMPARE(DatabaseChoice::describe(dialog.conninfo()), described);
        shoot(dialog, QStringLiteral("server-dialog.png"));

        // The setting keeps no password; FENWARY_DATABASE overrides it.
        QTemporaryDir folder;
        QVERIFY(DatabaseChoice::save(folder.path(), dialog.conninfo() + QStringLiteral(" password=geheim"), nullptr));
        QVERIFY(!DatabaseChoice::server(folder.path()).contains(QStringLiteral("geheim")));
        QCOMPARE(DatabaseChoice::describe(DatabaseChoice::server(folder.path())), described);
        qputenv("FENWARY_DATABASE", "dbname=elsewhere");
        QCOMPARE(DatabaseChoice::server(folder.path()), QStringLiteral("dbname=elsewhere"));
        qunsetenv("FENWARY_DATABASE");
        QVERIFY(DatabaseChoice::save(folder.path(), QString(), nullptr));
        QCOMPARE(DatabaseChoice::server(folder.path()), QString());
    }

    void firstStartDialogOffersTheServer()
    {
        QTemporaryDir folder;
        FirstStartDialog onFolder(folder.path());
        QVERIFY(onFolder.serverButton());
        onFolder.show();
        shoot(onFolder, QStringLiteral("first-start-server-choice.png"));
        FirstStartDialog onServer(folder.path(), QStringLiteral("db:5432/fenwary"));
        QVERIFY(!onServer.serverButton());
        QVERIFY(onServer.findChild<QLabel*>()->text().contains(QStringLiteral("db:5432/fenwary")));
    }
};

QTEST_MAIN(TestServerStart)
#include "tst_serverstart.moc"
