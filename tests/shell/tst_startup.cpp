// Start-up: the lock, opening or refusing data.dat, the first start and the demo estate.
#include "estate.h"
#include "fixtures/login.h"
#include "shellfixture.h"

#include "accounts/accountstatement.h"
#include "accounts/bookscheck.h"
#include "accounts/daytakings.h"
#include "accounts/reversal.h"
#include "common/dates.h"
#include "shell/demoestate.h"
#include "shell/firststart.h"
#include "shell/firststartdialog.h"
#include "shell/loginwindow.h"
#include "shell/mainframe.h"
#include "shell/startup.h"
#include "store/database.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSysInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private:
    // One run of the program on a folder, with scripted boxes and first-start answer.
    struct Run {
        explicit Run(const QString& folder, FirstStartAnswer answer = {})
            : registry(fullRegistry(log)), startup(folder, registry, prompter, app, opener, clock)
        {
            startup.askFirstStart = [this, answer](const QString&) {
                ++asked;
                return answer;
            };
            startup.quit = [this] { ++quits; };
        }
        bool logIn(const QString& name, const QString& password) { return logInThrough(startup, name, password); }
        WindowLog log;
        WindowRegistry registry;
        ScriptedPrompter prompter;
        RecordingFileOpener opener;
        FixedClock clock{QDate(2024, 7, 15)};
        AppContext app;
        Startup startup;
        int asked = 0;
        int quits = 0;
    };

    static FirstStartAnswer createAnswer()
    {
        return {FirstStartAnswer::Choice::Create,
                {QStringLiteral("王主任"), QStringLiteral("Pa55"), QStringLiteral("幸福里小区"), QString()}, {}};
    }

private slots:
    void firstStartCreatesADatabaseTheNextStartLogsInTo()
    {
        QTemporaryDir dir;
        {
            Run first(dir.path(), createAnswer());
            QVERIFY(first.startup.run());
            QCOMPARE(first.asked, 1);
            QVERIFY(QFile::exists(DataFile::path(dir.path())));
            QVERIFY(first.startup.loginWindow());
            QCOMPARE(first.app.receiptName, QStringLiteral("幸福里小区"));
        }
        Run next(dir.path(), createAnswer());
        QVERIFY(next.startup.run());
        QCOMPARE(next.asked, 0);
        QPointer<LoginWindow> login = next.startup.loginWindow();
        QVERIFY(!next.logIn(QStringLiteral("王主任"), QStringLiteral("pa55")));
        QVERIFY(next.logIn(QStringLiteral("王主任"), QStringLiteral("Pa55")));
        QTRY_VERIFY(!login);
        MainFrame* frame = next.startup.mainFrame();
        QVERIFY(frame->isVisible());
        QVERIFY(frame->item(QStringLiteral("menu_3"))->isEnabled());  // the first operator is level A
        QCOMPARE(next.startup.data()->scratchValue(QStringLiteral("select 操作级别 from 操作员")).toString(),
                 QStringLiteral("A"));
        // The frame's exits end the run through the start-up's quit.
        frame->item(QStringLiteral("menu_4"))->trigger();
        QCOMPARE(next.quits, 1);
    }

    void decliningTheFirstStartEnds()
    {
        QTemporaryDir dir;
        {
            Run run(dir.path());
            QVERIFY(!run.startup.run());
            QCOMPARE(run.asked, 1);
            QVERIFY(!run.startup.loginWindow());
            QVERIFY(!run.startup.holdsLock());
        }
        QVERIFY(!QFile::exists(DataFile::path(dir.path())));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void unusableFileIsReportedAndLeftUnchanged_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("another password") << "key";
        QTest::newRow("not a database") << "text";
        QTest::newRow("damaged") << "damaged";
        QTest::newRow("empty file") << "empty";
    }
    void unusableFileIsReportedAndLeftUnchanged()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = DataFile::path(dir.path());
        if (kind == QLatin1String("key")) {
            auto db = Database::open(path, Database::Mode::Create, "another-password");
            db->exec(QStringLiteral("create table 档案库 (门牌号 text)"));
        } else {
            QByteArray bytes;
            if (kind == QLatin1String("text"))
                bytes = QByteArray("门牌号,户名\r\n0001,张三\r\n").repeated(300);
            else if (kind == QLatin1String("damaged")) {
                bytes = fileBytes(TestEstate::templatePath());
                for (int i = 0; i < bytes.size(); i += 7)
                    bytes[i] = char(bytes[i] ^ 0x5a);
            }
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QByteArray before = fileBytes(path);
        const QDateTime stamp = QFileInfo(path).lastModified();
        {
            Run run(dir.path(), createAnswer());
            QVERIFY(!run.startup.run());
            QCOMPARE(run.asked, 0);  // never offered to replace it
            QVERIFY(!run.startup.loginWindow());
            QVERIFY(!run.startup.holdsLock());
            QCOMPARE(run.prompter.boxes().size(), 1);
            const auto box = run.prompter.boxes()[0];
            QVERIFY2(box.text.startsWith(QStringLiteral("无法打开数据库 ") + QDir::toNativeSeparators(path)),
                     qPrintable(box.text));
            QVERIFY(box.text.count(QLatin1Char('\n')) >= 2);  // the reason stands on its own line
            QCOMPARE(box.icon, Prompter::Icon::Critical);
            QCOMPARE(box.title, QStringLiteral("Fenwary"));
        }
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QFileInfo(path).lastModified(), stamp);
        QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
    }

    void secondInstanceIsRefusedWhileTheLockIsHeld()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(TestEstate::templatePath(), DataFile::path(dir.path())));
        auto first = std::make_unique<Run>(dir.path());
        QVERIFY(first->startup.run());
        QVERIFY(first->startup.holdsLock());
        QVERIFY(QFile::exists(DataLock::lockPath(dir.path())));
        {
            Run second(dir.path());
            QVERIFY(!second.startup.run());
            QCOMPARE(second.prompter.texts(), QStringList{Startup::lockedText(QDir(dir.path()).absolutePath())});
            QVERIFY(second.prompter.texts()[0].startsWith(QStringLiteral("数据库已经被打开")));
            QVERIFY(!second.startup.loginWindow());
        }
        // The first one goes on undisturbed, and the lock is free once it ends.
        QVERIFY(first->logIn(QStringLiteral("管理员"), QStringLiteral("1234")));
        first.reset();
        QVERIFY(!QFile::exists(DataLock::lockPath(dir.path())));
        Run third(dir.path());
        QVERIFY(third.startup.run());
    }

    void lockLeftByAnEndedRunIsTakenOver()
    {
        // "退出" ends the process at once; a lock file it leaves names a process
        // that no longer runs.
        QTemporaryDir dir;
        QVERIFY(QFile::copy(TestEstate::templatePath(), DataFile::path(dir.path())));
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QFile lock(DataLock::lockPath(dir.path()));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n" + QSysInfo::machineUniqueId() + "\n" +
                   QSysInfo::bootUniqueId() + "\n");
        lock.close();
        Run run(dir.path());
        QVERIFY2(run.startup.run(), qPrintable(run.prompter.texts().join(QLatin1Char('|'))));
        QVERIFY(run.prompter.boxes().isEmpty());
    }

    void programFolderFollowsFenwaryHome()
    {
        qputenv("FENWARY_HOME", "/srv/estate");
        QCOMPARE(Startup::programFolder(), QStringLiteral("/srv/estate"));
        qunsetenv("FENWARY_HOME");
        QCOMPARE(Startup::programFolder(), QCoreApplication::applicationDirPath());
    }

    // ---- first start ------------------------------------------------------

    void firstStartEntries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("usable");
        QTest::newRow("complete") << "管理员" << "1234" << true;
        QTest::newRow("no name") << "" << "1234" << false;
        QTest::newRow("blank name") << "  " << "1234" << false;
        QTest::newRow("no password") << "管理员" << "" << false;
        QTest::newRow("blank password") << "管理员" << "   " << false;
    }
    void firstStartEntries()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, usable);
        QCOMPARE(FirstStart::check({name, password, QString(), QString()}).isEmpty(), usable);
    }

    void firstStartDialog()
    {
        QTemporaryDir dir;
        FirstStartDialog d(dir.path());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        saveShot(&d, QStringLiteral("firststart.png"));
        QTest::mouseClick(d.createButton(), Qt::LeftButton);  // nothing entered yet
        QVERIFY(d.isVisible());
        QVERIFY(!d.problemLabel()->isHidden());
        QCOMPARE(d.answer().choice, FirstStartAnswer::Choice::Decline);
        d.operatorBox()->setText(QStringLiteral("管理员"));
        d.passwordBox()->setText(QStringLiteral("pw"));
        d.receiptNameBox()->setText(QStringLiteral("东园小区"));
        QTest::mouseClick(d.createButton(), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.answer().choice, FirstStartAnswer::Choice::Create);
        QCOMPARE(d.answer().estate.operatorName, QStringLiteral("管理员"));
        QCOMPARE(d.answer().estate.password, QStringLiteral("pw"));
        QCOMPARE(d.answer().estate.receiptName, QStringLiteral("东园小区"));
    }

    void firstStartDialogChoices_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("choice");
        QTest::newRow("demo") << "demo" << int(FirstStartAnswer::Choice::Demo);
        QTest::newRow("decline") << "decline" << int(FirstStartAnswer::Choice::Decline);
    }
    void firstStartDialogChoices()
    {
        QFETCH(QString, button);
        QFETCH(int, choice);
        FirstStartDialog d(QStringLiteral("/tmp"));
        d.show();
        QTest::mouseClick(d.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(int(d.answer().choice), choice);
    }

    // ---- demo estate -------------------------------------------------------

    void demoEstateIsConsistent()
    {
        QTemporaryDir dir;
        Run run(dir.path(), {FirstStartAnswer::Choice::Demo, {}, {}});
        QVERIFY(run.startup.run());
        QCOMPARE(run.prompter.texts(), QStringList{FirstStart::demoText(dir.path())});
        Database& db = run.startup.data()->db();
        QVERIFY(run.app.receiptName.contains(QStringLiteral("演示")));

        QVERIFY(db.scalar(QStringLiteral("select count(*) from 档案库")).toInt() >= 12);
        QCOMPARE(db.scalar(QStringLiteral("select count(distinct substr(门牌号, 1, 1)) from 档案库")).toInt(), 3);
        // Items of all three kinds: fixed, quantity x price, metered.
        QVERIFY(db.scalar(QStringLiteral("select count(*) from 项目 where not 计算标志")).toInt() > 0);
        QVERIFY(db.scalar(QStringLiteral("select count(*) from 项目 where 计算标志 and not 项目标志")).toInt() > 0);
        QVERIFY(db.scalar(QStringLiteral("select count(*) from 项目 where 计算标志 and 项目标志")).toInt() > 0);
        QCOMPARE(db.query(QStringLiteral("select distinct 月份 from 缴费历史 order by 月份")),
                 QList<QVariantList>({{"202404"}, {"202405"}, {"202406"}}));

        const int items = db.scalar(QStringLiteral("select count(*) from 项目")).toInt();
        const auto bills = db.query(QStringLiteral(
            "select 门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志 from 缴费历史 order by 门牌号, 月份"));
        int paid = 0, unpaid = 0;
        QHash<QString, double> lastBalance;
        for (const QVariantList& b : bills) {
            const QString door = b[0].toString(), month = b[1].toString();
            const auto lines = db.query(
                QStringLiteral("select 收费金额, 缴费时间 from 收费1 where 门牌号 = ?1 and 月份 = ?2 "
                               "union all select 收费金额, 缴费时间 from 收费2 where 门牌号 = ?1 and 月份 = ?2"),
                {door, month});
            QCOMPARE(int(lines.size()), items);
            double sum = 0;
            for (const QVariantList& l : lines) {
                sum += l[0].toDouble();
                QCOMPARE(l[1], b[5]);  // lines stamped with the bill's payment date (or not at all)
            }
            QVERIFY2(std::abs(sum - b[2].toDouble()) < 1e-9, qPrintable(door + month));
            if (b[6].toInt() == 1) {
                ++paid;
                const QDate on = parseStoredDate(b[5]);
                QVERIFY(on.isValid() && on <= run.clock.today());
                QVERIFY(monthKey(on) > month);
                QVERIFY(!b[4].isNull());
                if (lastBalance.contains(door))  // balance after = before + cash - charge
                    QVERIFY(std::abs(lastBalance[door] + b[3].toDouble() - b[2].toDouble() - b[4].toDouble()) < 1e-9);
                lastBalance[door] = b[4].toDouble();
            } else {
                ++unpaid;
                QVERIFY(b[5].isNull());
                QCOMPARE(b[3].toDouble(), 0.0);
            }
        }
        QVERIFY(paid > 0 && unpaid > 0);
        for (auto it = lastBalance.cbegin(); it != lastBalance.cend(); ++it)
            QCOMPARE(db.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {it.key()}).toDouble(),
                     it.value());
        // Both demo operators log in; the clerk is restricted.
        QVERIFY(run.logIn(DemoEstate::clerkName(), DemoEstate::password()));
        QVERIFY(!run.startup.mainFrame()->item(QStringLiteral("menu_3"))->isEnabled());
    }

    // The demo's payments went through the collection: each paid bill has its 收款
    // movement and receipt number, so the books agree, the day's takings and the
    // statements list them, and a payment can be reversed. Its message names the
    // folder it was built in.
    void demoEstateWorksLikeARealOne()
    {
        QTemporaryDir dir;
        Run run(dir.path(), {FirstStartAnswer::Choice::Demo, {}, {}});
        QVERIFY(run.startup.run());
        QVERIFY(run.prompter.texts().value(0).contains(QDir::toNativeSeparators(dir.path())));
        QVERIFY(!run.prompter.texts().value(0).contains(QStringLiteral("程序文件夹")));
        Database& db = run.startup.data()->db();

        const int paid = db.scalar(QStringLiteral("select count(*) from 缴费历史 where 缴费标志")).toInt();
        QVERIFY(paid > 0);
        QCOMPARE(db.scalar(QStringLiteral("select count(distinct f.收据号) from 账户流水 f join 缴费历史 b "
                                          "on b.ID = f.账单ID where f.类别 = '收款' and b.缴费标志"))
                     .toInt(),
                 paid);
        QVERIFY(BooksCheck::run(db).isEmpty());

        const QList<QVariantList> first = db.query(QStringLiteral(
            "select ID, 门牌号, 缴费时间 from 缴费历史 where 缴费标志 order by 缴费时间, ID limit 1"));
        const QDate day = parseStoredDate(first.value(0).value(2));
        const DayTakings takings = DayTakings::read(db, day);
        QVERIFY(!takings.rows.isEmpty());
        QVERIFY(takings.cashTaken > 0);
        const QString door = first.value(0).value(1).toString();
        QVERIFY(AccountStatement::read(db, door).rows.size() >= 2);  // opening and payments

        AppContext admin;
        admin.operatorName = DemoEstate::adminName();
        admin.operatorLevel = QStringLiteral("A");
        ScriptedPrompter p;
        p.type(QStringLiteral("试用冲正"));
        p.yes();
        QCOMPARE(Reversal(db, admin, run.clock, p).run(first.value(0).value(0).toLongLong()).outcome,
                 Reversal::Outcome::Reversed);
        QVERIFY(BooksCheck::run(db).isEmpty());
    }

    void demoAdministratorHasFullAccess()
    {
        QTemporaryDir dir;
        Run run(dir.path(), {FirstStartAnswer::Choice::Demo, {}, {}});
        QVERIFY(run.startup.run());
        QVERIFY(run.logIn(DemoEstate::adminName(), DemoEstate::password()));
        QVERIFY(run.startup.mainFrame()->item(QStringLiteral("menu_3"))->isEnabled());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
