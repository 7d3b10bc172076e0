#include "common/gbkfile.h"
#include "common/reportfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestGbkFile : public QObject {
    Q_OBJECT

private slots:
    void gbkBytes_data();
    void gbkBytes();
    void writesLinesWithCrLf();
    void writesEmptyFile();
    void writesQuestionMarkForUnencodableCharacter();
    void questionMarkNote_data();
    void questionMarkNote();
    void reportsUnwritablePath();
    void textHelpers_data();
    void textHelpers();
    void reportFolderFollowsEnvironment();
    void ensureReportFolderRefusesFile();
};

void TestGbkFile::gbkBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::newRow("ascii") << "A-101" << QByteArray("A-101") << true;
    QTest::newRow("hanzi") << QStringLiteral("报表") << QByteArray::fromHex("b1a8b1ed") << true;
    QTest::newRow("full-width sign") << QStringLiteral("￥") << QByteArray::fromHex("a3a4") << true;
    QTest::newRow("box drawing") << QStringLiteral("─") << QByteArray::fromHex("a9a4") << true;
    QTest::newRow("empty") << "" << QByteArray() << true;
    QTest::newRow("emoji") << QStringLiteral("a😀") << QByteArray("a?") << false;
    QTest::newRow("won sign") << QStringLiteral("₩") << QByteArray("?") << false;
    QTest::newRow("lone surrogate inside") << QStringLiteral("a") + QChar(0xd800) + QStringLiteral("b") << QByteArray("a?b") << false;
    QTest::newRow("lone surrogate at the end") << QStringLiteral("a") + QChar(0xd800) << QByteArray("a?") << false;
}

void TestGbkFile::gbkBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    bool got = !ok;
    QCOMPARE(toGbk(text, &got), bytes);
    QCOMPARE(got, ok);
}

static QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

void TestGbkFile::writesLinesWithCrLf()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("档案明细.txt"));
    writeGbkLines(path, {QStringLiteral("门牌号"), QString(), QStringLiteral("1-101  20.5")});
    QCOMPARE(readAll(path), QByteArray::fromHex("c3c5c5c6bac5") + "\r\n\r\n1-101  20.5\r\n");

    // A second export replaces the first as a whole.
    writeGbkLines(path, {QStringLiteral("x")});
    QCOMPARE(readAll(path), QByteArray("x\r\n"));
}

void TestGbkFile::writesEmptyFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.txt"));
    writeGbkLines(path, {});
    QVERIFY(QFile::exists(path));
    QCOMPARE(readAll(path), QByteArray());
}

void TestGbkFile::writesQuestionMarkForUnencodableCharacter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("查询明细.txt"));
    writeGbkLines(path, {QStringLiteral("old")});
    const QList<int> replaced = writeGbkLines(
        path, {QStringLiteral("ok"), QStringLiteral("bad 😀 line"), QStringLiteral("门"), QStringLiteral("₩₩")});
    QCOMPARE(replaced, (QList<int>{1, 3}));
    QCOMPARE(readAll(path), "ok\r\nbad ? line\r\n" + QByteArray::fromHex("c3c5") + "\r\n??\r\n");
    QCOMPARE(writeGbkLines(path, {QStringLiteral("门牌号")}), QList<int>());
}

void TestGbkFile::questionMarkNote_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("note");
    const QString lead = QStringLiteral("下列住户含有 GBK 无法表示的字符，文件中已写成“?”：");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("one") << QStringList{"A-101"} << lead + "A-101";
    QStringList ten, twelve;
    for (int i = 1; i <= 12; ++i)
        (i <= 10 ? ten : twelve) << QString::number(i);
    QTest::newRow("ten named") << ten << lead + ten.join(QStringLiteral("、"));
    QTest::newRow("twelve, ten named") << ten + twelve << lead + ten.join(QStringLiteral("、")) + " 等共 12 处";
}

void TestGbkFile::questionMarkNote()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, note);
    QCOMPARE(::questionMarkNote(QStringLiteral("下列住户"), entries), note);
}

void TestGbkFile::reportsUnwritablePath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/x.txt"));
    try {
        writeGbkLines(path, {QStringLiteral("x")});
        QFAIL("no FileError");
    } catch (const FileError& e) {
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(path)), qPrintable(e.message()));
        QVERIFY(!QString::fromUtf8(e.what()).isEmpty());
    }
}

void TestGbkFile::textHelpers_data()
{
    QTest::addColumn<QString>("got");
    QTest::addColumn<QString>("expected");
    QTest::newRow("spaces") << spaces(3) << "   ";
    QTest::newRow("no spaces") << spaces(0) << "";
    QTest::newRow("negative spaces") << spaces(-2) << "";
    QTest::newRow("left") << leftChars(QStringLiteral("门牌号码"), 2) << QStringLiteral("门牌");
    QTest::newRow("left beyond") << leftChars(QStringLiteral("ab"), 5) << "ab";
    QTest::newRow("left negative") << leftChars(QStringLiteral("ab"), -1) << "";
    QTest::newRow("right") << rightChars(QStringLiteral("     12.5"), 6) << "  12.5";
    QTest::newRow("right beyond") << rightChars(QStringLiteral("ab"), 5) << "ab";
    QTest::newRow("right zero") << rightChars(QStringLiteral("ab"), 0) << "";
}

void TestGbkFile::textHelpers()
{
    QFETCH(QString, got);
    QFETCH(QString, expected);
    QCOMPARE(got, expected);
}

void TestGbkFile::reportFolderFollowsEnvironment()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("报表"));
    qputenv("FENWARY_REPORT_DIR", (folder + "/").toUtf8());
    QCOMPARE(reportFolder(), folder);
    QCOMPARE(reportFolderForMessage(), QDir::toNativeSeparators(folder) + QDir::separator());
    QVERIFY(!QFileInfo::exists(folder));
    QCOMPARE(ensureReportFolder(), folder);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(ensureReportFolder(), folder);  // already there

    qunsetenv("FENWARY_REPORT_DIR");
#ifdef Q_OS_WIN
    QCOMPARE(reportFolder(), QStringLiteral("c:/报表"));
#else
    QCOMPARE(reportFolder(), QDir::homePath() + QStringLiteral("/报表"));
#endif
}

void TestGbkFile::ensureReportFolderRefusesFile()
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("报表"));
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("FENWARY_REPORT_DIR", blocker.toUtf8());
    QVERIFY_THROWS_EXCEPTION(FileError, ensureReportFolder());
    qunsetenv("FENWARY_REPORT_DIR");
}

QTEST_GUILESS_MAIN(TestGbkFile)
#include "test_gbkfile.moc"
