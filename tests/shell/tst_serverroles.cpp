// The server's two roles as scripts/server-roles.sql makes them: the owner's first
// start builds the estate, the desks log in and work as the program role, which may
// add ledger movements and move them to a new door number but never change or delete one.
#include "estate.h"
#include "fixtures/login.h"
#include "shellfixture.h"
#include "testserver.h"

#include "charging/monthrun.h"
#include "charging/readingsheet.h"
#include "collection/collection.h"
#include "records/householdrenames.h"
#include "shell/startup.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/databasechoice.h"
#include "store/datafile.h"
#include "store/recordset.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

QString psql()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("psql"));
    if (!onPath.isEmpty())
        return onPath;
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    return versions.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin/psql").arg(versions.last());
}

// The start-up of one desk (or of the owner's first start) on the server in `folder`.
struct Run {
    Run(const QString& folder, FirstStartAnswer answer = {})
        : registry(fullRegistry(log)), startup(folder, registry, prompter, app, opener, clock)
    {
        startup.askFirstStart = [](const QString&) { return FirstStartAnswer{}; };
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
};

const QString kMonth = QStringLiteral("202407");

}  // namespace

class TestServerRoles : public QObject {
    Q_OBJECT

private:
    QString database_, owner_, program_;
    std::unique_ptr<Database> admin_;
    bool ranAgain_ = false;

    QString conninfo(const QString& role) const
    {
        return testServer() + QStringLiteral(" dbname=%1 user=%2").arg(database_, role);
    }

    // Runs the rights script on the test database as the server's superuser.
    void grantRights()
    {
        QProcess p;
        p.setStandardInputFile(QStringLiteral(FENWARY_ROLES_SQL));
        p.start(psql(), {QStringLiteral("-X"), QStringLiteral("-v"), QStringLiteral("owner=") + owner_,
                         QStringLiteral("-v"), QStringLiteral("program=") + program_, QStringLiteral("-v"),
                         QStringLiteral("schema=fenwary"), QStringLiteral("-d"), testServer() + QStringLiteral(" dbname=") + database_});
        QVERIFY2(p.waitForFinished(30000), qPrintable(psql()));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAllStandardError().constData());
    }

private slots:
    void initTestCase()
    {
        const QString id = QString::number(QCoreApplication::applicationPid());
        database_ = QStringLiteral("roles_") + id;
        owner_ = QStringLiteral("roles_owner_") + id;
        program_ = QStringLiteral("roles_desk_") + id;
        admin_ = Database::connect(testServer());
        admin_->execScript(QStringLiteral("create role %1 login; create role %2 login").arg(owner_, program_));
        admin_->execScript(QStringLiteral("create database %1 owner %2").arg(database_, owner_));
        grantRights();
        grantRights();  // a second run before the tables exist changes nothing

        const FirstStartAnswer create{FirstStartAnswer::Choice::Create,
                                     {QStringLiteral("管理员"), QStringLiteral("1234"), QStringLiteral("测试小区"), {}}, {}};
        // A desk cannot build the estate (its ledger would be the desks' own); nothing is made.
        {
            QTemporaryDir folder;
            QVERIFY(DatabaseChoice::save(folder.path(), conninfo(program_), nullptr));
            Run desk(folder.path(), create);
            QVERIFY(!desk.startup.run());
            QVERIFY2(desk.prompter.texts().join(QLatin1Char('|')).contains(QStringLiteral("所有者的连接串")),
                     qPrintable(desk.prompter.texts().join(QLatin1Char('|'))));
            QVERIFY(DataFile::holdsNoTable(*Database::connect(conninfo(owner_))));
        }

        // The owner's one first start builds the estate and logs in once.
        QTemporaryDir folder;
        QVERIFY(DatabaseChoice::save(folder.path(), conninfo(owner_), nullptr));
        Run first(folder.path(), create);
        QVERIFY2(first.startup.run(), qPrintable(first.prompter.texts().join(QLatin1Char('|'))));
        QCOMPARE(first.asked, 1);
        QVERIFY(logInThrough(first.startup, QStringLiteral("管理员"), QStringLiteral("1234")));
        // The owner opened the reading sheet too: its drafts and undo tables are the owner's.
        ReadingSheet::ensureDraftTable(first.startup.data()->db());
    }

    void cleanupTestCase()
    {
        admin_->execScript(QStringLiteral("drop database if exists %1 with (force)").arg(database_));
        admin_->execScript(QStringLiteral("drop role if exists %1; drop role if exists %2").arg(owner_, program_));
    }

    // A desk's log-in (the books check's mark, the day's safety copy), a month's run, a
    // collection and a door number's change, all as the program role.
    void deskWorksAsTheProgramRole()
    {
        QTemporaryDir folder;
        QVERIFY(DatabaseChoice::save(folder.path(), conninfo(program_), nullptr));
        {
            Run desk(folder.path());
            QVERIFY2(desk.startup.run(), qPrintable(desk.prompter.texts().join(QLatin1Char('|'))));
            QCOMPARE(desk.asked, 0);
            QVERIFY(logInThrough(desk.startup, QStringLiteral("管理员"), QStringLiteral("1234")));
            QCOMPARE(desk.prompter.texts(), QStringList());
        }

        TestEstate e(conninfo(program_));
        QCOMPARE(e.scalar(QStringLiteral("select current_user")).toString(), program_);
        HouseholdRenames::install(e.db());
        e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"), 80);
        e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"), 60);

        e.addBill(QStringLiteral("1-102"), kMonth, 10);

        // The month's run and its undo (which gives the bill it recomputed its ID back).
        for (int run = 0; run < 2; ++run) {
            ReadingSheet sheet(e.db(), e.env().rs项目());
            sheet.load(kMonth, QString());
            const MonthRun::Result r = MonthRun(e.db(), sheet).run(true);
            QCOMPARE(r.outcome, MonthRun::Outcome::Done);
            QCOMPARE(r.newBills + r.recomputed, 2);
            if (run == 0)
                QVERIFY(MonthRun::undo(e.db()));
        }

        DataEnvironment& env = e.env();
        env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("1-101")),
                          RecordSet::Direction::Forward, RecordSet::Start::First);
        env.rs缴费历史().setFilter(Criterion::equals(QStringLiteral("门牌号"), QStringLiteral("1-101")));
        env.rs缴费历史().find(Criterion::equals(QStringLiteral("月份"), kMonth), RecordSet::Direction::Forward,
                              RecordSet::Start::First);
        e.prompter.yes();
        e.prompter.type(QStringLiteral("50"));
        e.prompter.no();
        const Collection::Outcome paid = Collection(e.services()).collect(QString());
        QVERIFY2(paid.settled, qPrintable(e.prompter.texts().join(QLatin1Char('|'))));
        QCOMPARE(paid.receiptNo, 1);

        env.rs档案().setValue(QStringLiteral("门牌号"), QStringLiteral("1-101甲"));
        env.rs档案().update();
        QCOMPARE(e.scalar(QStringLiteral("select count(*) from 账户流水 where 门牌号 = '1-101'")).toInt(), 0);
        QVERIFY(e.scalar(QStringLiteral("select count(*) from 账户流水 where 门牌号 = '1-101甲'")).toInt() > 0);

        // What the program made for itself the owner reads too (its copies to a file).
        const auto owner = Database::connect(conninfo(owner_));
        QCOMPARE(owner->scalar(QStringLiteral("select count(*) from 账单撤销_住户")).toInt(), 2);
    }

    // As the event trigger left them when the owner made the ledger, then again after
    // the rights script ran once more on the existing tables.
    void ledgerRights_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("again");
        const QList<std::pair<const char*, QString>> allowed = {
            {"new movement", QStringLiteral("insert into 账户流水 (门牌号, 金额) values ('9-9', 1)")},
            {"door number", QStringLiteral("update 账户流水 set 门牌号 = 门牌号 || '新'")},
            {"bills stay writable", QStringLiteral("delete from 缴费历史")},
        };
        const QList<std::pair<const char*, QString>> refused = {
            {"amount", QStringLiteral("update 账户流水 set 金额 = 0")},
            {"door number and note", QStringLiteral("update 账户流水 set 门牌号 = 门牌号, 说明 = ''")},
            {"delete", QStringLiteral("delete from 账户流水")},
            {"truncate", QStringLiteral("truncate 账户流水")},
            {"alter", QStringLiteral("alter table 账户流水 add 备注 text")},
        };
        for (const bool again : {false, true}) {
            for (const auto& [name, sql] : allowed)
                QTest::addRow("%s%s", name, again ? ", run again" : "") << sql << true << again;
            for (const auto& [name, sql] : refused)
                QTest::addRow("%s%s", name, again ? ", run again" : "") << sql << false << again;
        }
    }
    void ledgerRights()
    {
        QFETCH(QString, sql);
        QFETCH(bool, allowed);
        QFETCH(bool, again);
        if (again && !ranAgain_) {
            grantRights();
            ranAgain_ = true;
        }
        const auto desk = Database::connect(conninfo(program_));
        Transaction t(*desk);  // rolled back
        QString refused;
        try {
            desk->execScript(sql);
        } catch (const StoreError& e) {
            refused = e.sqlState() + QLatin1Char(' ') + e.message();
        }
        if (allowed)
            QVERIFY2(refused.isEmpty(), qPrintable(refused));
        else
            QVERIFY2(refused.startsWith(QLatin1String("42501")), qPrintable(refused));
    }
};

QTEST_MAIN(TestServerRoles)
#include "tst_serverroles.moc"
