// Automatic safety copies of data.dat: at the first log-in of a day, before the
// cleanup; named so the backup tool lists them; the newest 30 kept; a failed copy
// reported and the operation held until the operator chooses.
#include "accounts/ledger.h"
#include "estate.h"
#include "fixtures/login.h"
#include "shellfixture.h"

#include "common/dates.h"
#include "charging/readingsheetwindow.h"
#include "maintenance/cleanupwindow.h"
#include "shell/safetycopies.h"
#include "shell/startup.h"
#include "store/database.h"
#include "store/datafile.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

const QDateTime kMorning(QDate(2024, 7, 15), QTime(8, 30, 0));

// An estate with one operator and bills of 202401: two paid, one unpaid.
void fillEstate(TestEstate& e)
{
    e.addOperator(QStringLiteral("王主任"), QStringLiteral("Pa55"), QStringLiteral("A"));
    e.addHousehold(QStringLiteral("1-101"), QStringLiteral("张三"));
    e.addHousehold(QStringLiteral("1-102"), QStringLiteral("李四"));
    e.addBill(QStringLiteral("1-101"), QStringLiteral("202401"), 10, true);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202401"), 12, true);
    e.addBill(QStringLiteral("1-102"), QStringLiteral("202402"), 12, false);
    // The ledger begins with these bills, as for a file of an earlier version.
    e.db().execScript(QStringLiteral("drop table 账户流水; drop table 账务参数;"));
    Ledger::ensure(e.db());
}

// One run of the main program on a folder, with scripted boxes.
struct Run {
    explicit Run(const QString& folder, QDate day)
        : registry(fullRegistry(log)), startup(folder, registry, prompter, app, opener, clock)
    {
        clock.set(day);
        startup.quit = [this] { ++quits; };
    }
    WindowLog log;
    WindowRegistry registry;
    ScriptedPrompter prompter;
    RecordingFileOpener opener;
    FixedClock clock{QDate(2024, 7, 15)};
    AppContext app;
    Startup startup;
    int quits = 0;
};

}  // namespace

class TestSafetyCopies : public QObject {
    Q_OBJECT
private slots:
    void copyIsWholeOpensWithTheKeyAndPassesTheIntegrityCheck()
    {
        TestEstate e;
        fillEstate(e);
        SafetyCopies copies(e.db(), e.folder());
        const SafetyCopies::Result r = copies.take(QStringLiteral("数据清理"), kMorning);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(QFileInfo(r.path).fileName(), QStringLiteral("20240715-083000-数据清理.备份"));
        QCOMPARE(QFileInfo(r.path).absolutePath(), QDir(e.folder()).filePath(QStringLiteral("自动备份")));
        QCOMPARE(fileHash(r.path), fileHash(e.path()));
        auto copy = DataFile::openExisting(r.path);
        QCOMPARE(copy->scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(copy->scalar(QStringLiteral("select count(*) from 缴费历史")).toInt(), 3);
        QVERIFY(hiddenFiles(copies.folder()).isEmpty());

        // A second copy in the same second gets a name of its own.
        const SafetyCopies::Result again = copies.take(QStringLiteral("数据清理"), kMorning);
        QVERIFY(again.ok);
        QCOMPARE(QFileInfo(again.path).fileName(), QStringLiteral("20240715-083000-数据清理-2.备份"));
        QCOMPARE(copies.copies().size(), 2);
    }

    void noCopyInsideATransaction()
    {
        TestEstate e;
        fillEstate(e);
        SafetyCopies copies(e.db(), e.folder());
        {
            Transaction t(e.db());
            e.db().exec(QStringLiteral("delete from 缴费历史"));
            const SafetyCopies::Result r = copies.take(QStringLiteral("数据清理"), kMorning);
            QVERIFY(!r.ok);
            QVERIFY(!r.error.isEmpty());
        }
        QVERIFY(copies.copies().isEmpty());
    }

    // 30 copies stay: the 31st removes the oldest, and only after it is in place.
    // Files of other names in the folder are never touched.
    void theNewestThirtyStay_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("removed");
        QTest::newRow("29 before: nothing removed") << 29 << 0;
        QTest::newRow("30 before: the oldest removed") << 30 << 1;
        QTest::newRow("33 before: the four oldest removed") << 33 << 4;
    }
    void theNewestThirtyStay()
    {
        QFETCH(int, existing);
        QFETCH(int, removed);
        TestEstate e;
        fillEstate(e);
        SafetyCopies copies(e.db(), e.folder());
        QVERIFY(QDir().mkpath(copies.folder()));
        QStringList names;
        for (int i = 0; i < existing; ++i) {
            names << QDate(2024, 5, 1).addDays(i).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("-080000-登录.备份");
            QVERIFY(QFile::copy(e.path(), QDir(copies.folder()).filePath(names.last())));
        }
        QVERIFY(QFile::copy(e.path(), QDir(copies.folder()).filePath(QStringLiteral("月底.备份"))));

        const SafetyCopies::Result r = copies.take(QStringLiteral("登录"), kMorning);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.removed, names.mid(0, removed));
        const QStringList now = copies.copies();
        QCOMPARE(now.size(), std::min(existing + 1, SafetyCopies::keep));
        QCOMPARE(now.last(), QFileInfo(r.path).fileName());
        QCOMPARE(now.first(), names.at(removed));
        QVERIFY(QFile::exists(QDir(copies.folder()).filePath(QStringLiteral("月底.备份"))));
    }

    // Copies go in the order they were made, whatever the dates in their names (a clock
    // that ran ahead, several in one second); a copy of a damaged data.dat is kept
    // aside, reported and not counted, and never makes a good copy go. Three stay here.
    void copiesGoInTheOrderTheyWereMade_data()
    {
        QTest::addColumn<QStringList>("earlier");  // made by an earlier version
        QTest::addColumn<QStringList>("takes");    // yyyyMMddHHmmss of each copy taken now
        QTest::addColumn<int>("damagedFrom");      // data.dat is damaged from this copy on
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("expectedDamaged");
        const auto name = [](const char* stamp, const char* more = "") {
            return QStringLiteral("%1-%2-登录%3.备份").arg(QString::fromLatin1(stamp).left(8),
                                                       QString::fromLatin1(stamp).mid(8), QString::fromUtf8(more));
        };
        QTest::newRow("a clock that ran ahead, then was put right")
            << QStringList() << QStringList{"20300101080000", "20300102080000", "20300103080000", "20240715083000", "20240716083000"}
            << -1 << QStringList{name("20300103080000"), name("20240715083000"), name("20240716083000")} << QStringList();
        QTest::newRow("future copies of an earlier version go first")
            << QStringList{name("20300101080000"), name("20300102080000"), name("20300103080000")}
            << QStringList{"20240715083000"} << -1
            << QStringList{name("20300102080000"), name("20300103080000"), name("20240715083000")} << QStringList();
        QTest::newRow("four copies in one second")
            << QStringList() << QStringList{"20240715083000", "20240715083000", "20240715083000", "20240715083000"} << -1
            << QStringList{name("20240715083000", "-2"), name("20240715083000", "-3"), name("20240715083000", "-4")}
            << QStringList();
        QTest::newRow("an earlier version's copies in one second, -10 after -2")
            << QStringList{name("20240715083000", "-10"), name("20240715083000"), name("20240715083000", "-2")}
            << QStringList{"20240715083000"} << -1
            << QStringList{name("20240715083000", "-2"), name("20240715083000", "-10"), name("20240715083000", "-3")}
            << QStringList();
        QTest::newRow("copies of a damaged file remove no good copy")
            << QStringList() << QStringList{"20240715083000", "20240716083000", "20240717083000", "20240718083000", "20240719083000"}
            << 3 << QStringList{name("20240715083000"), name("20240716083000"), name("20240717083000")}
            << QStringList{name("20240718083000", "-损坏"), name("20240719083000", "-损坏")};
    }
    void copiesGoInTheOrderTheyWereMade()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, takes);
        QFETCH(int, damagedFrom);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, expectedDamaged);
        TestEstate e;
        fillEstate(e);
        SafetyCopies copies(e.db(), e.folder());
        copies.setKeep(3);
        QVERIFY(QDir().mkpath(copies.folder()));
        for (const QString& n : earlier)
            QVERIFY(QFile::copy(e.path(), QDir(copies.folder()).filePath(n)));
        for (int i = 0; i < takes.size(); ++i) {
            if (i == damagedFrom)
                QVERIFY(damage(e.path()));
            const SafetyCopies::Result r =
                copies.take(QStringLiteral("登录"), QDateTime::fromString(takes[i], QStringLiteral("yyyyMMddHHmmss")));
            const bool good = damagedFrom < 0 || i < damagedFrom;
            QCOMPARE(r.ok, good);
            // The copy just made is in place, whatever else went.
            QVERIFY(QFile::exists(good ? r.path : r.damaged));
            if (!good) {
                QVERIFY2(r.error.contains(QStringLiteral("完整性检查")), qPrintable(r.error));
                QVERIFY(r.removed.isEmpty());
            }
        }
        QCOMPARE(copies.copies(), expected);
        QCOMPARE(copies.damagedCopies(), expectedDamaged);
        QCOMPARE(copies.hasCopy(QDate(2024, 7, 18), QStringLiteral("登录")), false);
    }

    void firstLogInOfADayCopiesTheSecondDoesNot()
    {
        TestEstate e;
        fillEstate(e);
        e.close();
        const QString folder = e.folder();
        const QString copiesFolder = QDir(folder).filePath(QStringLiteral("自动备份"));
        const QDate day(2024, 7, 15);
        for (int run = 0; run < 2; ++run) {
            Run r(folder, day);
            QVERIFY(r.startup.run());
            QCOMPARE(QDir(copiesFolder).entryList(QDir::Files).size(), run);  // nothing before the log-in
            QVERIFY(logInThrough(r.startup, QStringLiteral("王主任"), QStringLiteral("Pa55")));
            QCOMPARE(r.prompter.boxes().size(), 0);
        }
        QStringList files = QDir(copiesFolder).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().startsWith(QStringLiteral("20240715-")) && files.first().endsWith(QStringLiteral("-登录.备份")),
                 qPrintable(files.first()));

        // The next day's first log-in copies again.
        Run next(folder, day.addDays(1));
        QVERIFY(next.startup.run());
        QVERIFY(logInThrough(next.startup, QStringLiteral("王主任"), QStringLiteral("Pa55")));
        files = QDir(copiesFolder).entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        QVERIFY(files.last().startsWith(QStringLiteral("20240716-")));
    }

    // A copy that cannot be written is reported; the log-in goes on only when the
    // operator says so, and the program ends otherwise.
    void failedLogInCopyAsksWhetherToGoOn_data()
    {
        QTest::addColumn<bool>("goOn");
        QTest::newRow("operator goes on") << true;
        QTest::newRow("operator stops") << false;
    }
    void failedLogInCopyAsksWhetherToGoOn()
    {
        QFETCH(bool, goOn);
        TestEstate e;
        fillEstate(e);
        e.close();
        // A file where the folder should be: nothing can be written into it.
        QVERIFY(writeBlocker(QDir(e.folder()).filePath(QStringLiteral("自动备份"))));
        Run r(e.folder(), QDate(2024, 7, 15));
        QVERIFY(r.startup.run());
        goOn ? r.prompter.yes() : r.prompter.no();
        QCOMPARE(logInThrough(r.startup, QStringLiteral("王主任"), QStringLiteral("Pa55")), goOn);
        QCOMPARE(r.prompter.boxes().size(), 1);
        QVERIFY2(r.prompter.boxes().first().text.startsWith(QStringLiteral("登录前的自动备份没有做成")),
                 qPrintable(r.prompter.boxes().first().text));
        QVERIFY(r.prompter.boxes().first().text.contains(QStringLiteral("自动备份")));
        QCOMPARE(r.quits, goOn ? 0 : 1);
    }

    void cleanupIsCopiedFirst()
    {
        TestEstate e;
        fillEstate(e);
        e.db().checkpoint();  // data.dat alone holds the estate
        const QByteArray before = fileHash(e.path());
        SafetyCopies copies(e.db(), e.folder());
        e.services().takeSafetyCopy = [&](const QString& why) {
            return takeSafetyCopyOrAsk(copies, e.services().prompter, e.services().app.appTitle, why, kMorning);
        };
        CleanupWindow w(e.services());
        w.firstBox()->setEditText(QStringLiteral("202401"));
        w.lastBox()->setEditText(QStringLiteral("202402"));
        e.prompter.yes();
        w.deleteButton()->click();
        QCOMPARE(e.count(QStringLiteral("缴费历史")), 1);
        QCOMPARE(copies.copies(), QStringList{QStringLiteral("20240715-083000-数据清理.备份")});
        // The copy holds the estate as it was before the deletion.
        QCOMPARE(fileHash(QDir(copies.folder()).filePath(copies.copies().first())), before);
    }

    // A failing copy (a write that fails as on a full disk, or a folder that cannot be
    // made) is reported, and the cleanup deletes nothing unless the operator goes on.
    void failedCopyHoldsTheCleanup_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("goOn");
        QTest::newRow("disk full, operator stops") << "full" << false;
        QTest::newRow("disk full, operator goes on") << "full" << true;
        QTest::newRow("folder blocked, operator stops") << "blocked" << false;
        QTest::newRow("folder blocked, operator goes on") << "blocked" << true;
    }
    void failedCopyHoldsTheCleanup()
    {
        QFETCH(QString, fault);
        QFETCH(bool, goOn);
        TestEstate e;
        fillEstate(e);
        SafetyCopies copies(e.db(), e.folder());
        if (fault == QLatin1String("full")) {
            copies.copier().setBlockSize(4096);
            copies.copier().setWriteHook([](const QString&, qint64 written) { return written < 3 * 4096; });
        } else {
            QVERIFY(writeBlocker(copies.folder()));
        }
        e.services().takeSafetyCopy = [&](const QString& why) {
            return takeSafetyCopyOrAsk(copies, e.services().prompter, e.services().app.appTitle, why, kMorning);
        };
        CleanupWindow w(e.services());
        w.firstBox()->setEditText(QStringLiteral("202401"));
        w.lastBox()->setEditText(QStringLiteral("202402"));
        e.prompter.yes();
        goOn ? e.prompter.yes() : e.prompter.no();
        w.deleteButton()->click();

        const QStringList texts = e.prompter.texts();
        QVERIFY(texts.size() >= 2);
        QVERIFY2(texts.at(1).startsWith(QStringLiteral("数据清理前的自动备份没有做成")), qPrintable(texts.at(1)));
        QCOMPARE(e.count(QStringLiteral("缴费历史")), goOn ? 1 : 3);
        QCOMPARE(texts.contains(QStringLiteral("清理完毕，请关闭程序后重新打开程序！")), goOn);
        if (fault == QLatin1String("full")) {
            QVERIFY(copies.copies().isEmpty());
            QVERIFY2(hiddenFiles(copies.folder()).isEmpty(), qPrintable(hiddenFiles(copies.folder()).join(' ')));
        }
    }

    // The month's billing run copies data.dat first; a failed copy the operator does not
    // go on from writes no bill.
    void monthRunIsCopiedFirst_data()
    {
        QTest::addColumn<bool>("copyFails");
        QTest::addColumn<bool>("goOn");
        QTest::newRow("copy made") << false << false;
        QTest::newRow("copy failed, operator stops") << true << false;
        QTest::newRow("copy failed, operator goes on") << true << true;
    }
    void monthRunIsCopiedFirst()
    {
        QFETCH(bool, copyFails);
        QFETCH(bool, goOn);
        TestEstate e;
        fillEstate(e);
        e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        SafetyCopies copies(e.db(), e.folder());
        if (copyFails)
            QVERIFY(writeBlocker(copies.folder()));
        e.services().takeSafetyCopy = [&](const QString& why) {
            return takeSafetyCopyOrAsk(copies, e.services().prompter, e.services().app.appTitle, why, kMorning);
        };
        ReadingSheetWindow w(e.services());
        w.monthBox()->setText(QStringLiteral("202403"));
        QVERIFY(w.loadSheet());
        MonthPreviewDialog* d = w.openPreview();
        QVERIFY(d);
        if (copyFails)
            goOn ? e.prompter.yes() : e.prompter.no();
        d->runButton()->click();
        const int billed = e.scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202403'")).toInt();
        QCOMPARE(billed, !copyFails || goOn ? 2 : 0);
        if (!copyFails) {
            QCOMPARE(copies.copies(), QStringList{QStringLiteral("20240715-083000-生成本月账单.备份")});
            // The copy holds the month as it was before the run.
            auto copy = DataFile::openExisting(QDir(copies.folder()).filePath(copies.copies().first()));
            QCOMPARE(copy->scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202403'")).toInt(), 0);
            QCOMPARE(copy->scalar(QStringLiteral("select count(*) from 项目")).toInt(), 1);
        } else {
            QVERIFY(e.prompter.texts().first().startsWith(QStringLiteral("生成本月账单前的自动备份没有做成")));
        }
    }

private:
    // Overwrites part of the second page: the file no longer passes the check.
    static bool damage(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadWrite) && f.seek(4096 + 512) && f.write(QByteArray(256, 'x')) == 256;
    }
    static bool writeBlocker(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    }
};

QTEST_MAIN(TestSafetyCopies)
#include "tst_safetycopies.moc"
