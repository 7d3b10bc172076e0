#include "common/dates.h"

#include <QDateTime>
#include <QLocale>
#include <QTest>

class TestDates : public QObject {
    Q_OBJECT

private slots:
    void dateTexts();
    void invalidDateGivesEmptyTexts();
    void monthText_data();
    void monthText();
    void storedDate_data();
    void storedDate();
    void clocks();
};

void TestDates::dateTexts()
{
    const QDate d(2024, 7, 5);
    QCOMPARE(chineseDate(d), QStringLiteral("2024年07月05日"));
    QCOMPARE(monthKey(d), QStringLiteral("202407"));
    QCOMPARE(isoDate(d), QStringLiteral("2024-07-05"));
    if (QLocale::system().language() == QLocale::C)
        QCOMPARE(shortDate(d), QStringLiteral("2024/7/5"));  // no locale: the Chinese short form
    else
        QCOMPARE(shortDate(d), QLocale::system().toString(d, QLocale::ShortFormat));
    QCOMPARE(chineseDate(QDate(2023, 12, 31)), QStringLiteral("2023年12月31日"));
}

void TestDates::invalidDateGivesEmptyTexts()
{
    QVERIFY(chineseDate(QDate()).isEmpty());
    QVERIFY(monthKey(QDate()).isEmpty());
    QVERIFY(isoDate(QDate()).isEmpty());
    QVERIFY(shortDate(QDate()).isEmpty());
}

void TestDates::monthText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("June") << "202406" << true;
    QTest::newRow("January") << "202401" << true;
    QTest::newRow("December") << "202312" << true;
    QTest::newRow("month 13") << "202413" << false;
    QTest::newRow("month 00") << "202400" << false;
    QTest::newRow("letters") << "abcdef" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("five digits") << "20246" << false;
    QTest::newRow("seven digits") << "2024061" << false;
    QTest::newRow("with dash") << "2024-6" << false;
    QTest::newRow("leading blank") << " 202406" << false;
    QTest::newRow("sign") << "+20406" << false;
    QTest::newRow("year 0000") << "000006" << false;
    QTest::newRow("full-width digits") << QString::fromUtf8("２０２４０６") << false;
}

void TestDates::monthText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidMonthText(text), valid);
}

void TestDates::storedDate_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QDate>("date");
    QTest::newRow("date text") << QVariant(QStringLiteral("2024-07-05")) << QDate(2024, 7, 5);
    QTest::newRow("date and time") << QVariant(QStringLiteral("2024-07-05 13:45:00")) << QDate(2024, 7, 5);
    QTest::newRow("ISO date time") << QVariant(QStringLiteral("2024-07-05T13:45:00")) << QDate(2024, 7, 5);
    QTest::newRow("QDate") << QVariant(QDate(2020, 2, 29)) << QDate(2020, 2, 29);
    QTest::newRow("QDateTime") << QVariant(QDateTime(QDate(2020, 2, 29), QTime(8, 0))) << QDate(2020, 2, 29);
    QTest::newRow("null") << QVariant() << QDate();
    QTest::newRow("empty") << QVariant(QString()) << QDate();
    QTest::newRow("impossible day") << QVariant(QStringLiteral("2023-02-29")) << QDate();
    QTest::newRow("bad time") << QVariant(QStringLiteral("2024-07-05 25:00:00")) << QDate();
    QTest::newRow("other form") << QVariant(QStringLiteral("2024/07/05")) << QDate();
}

void TestDates::storedDate()
{
    QFETCH(QVariant, stored);
    QFETCH(QDate, date);
    QCOMPARE(parseStoredDate(stored), date);
}

void TestDates::clocks()
{
    FixedClock fixed(QDate(2024, 6, 30));
    const Clock& clock = fixed;
    QCOMPARE(clock.today(), QDate(2024, 6, 30));
    fixed.set(QDate(2024, 7, 1));
    QCOMPARE(clock.today(), QDate(2024, 7, 1));
    SystemClock system;
    QVERIFY(system.today().isValid());
}

QTEST_GUILESS_MAIN(TestDates)
#include "test_dates.moc"
