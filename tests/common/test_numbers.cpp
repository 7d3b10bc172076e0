#include "common/numbers.h"

#include <QTest>
#include <cfloat>
#include <cmath>

class TestNumbers : public QObject {
    Q_OBJECT

private slots:
    void boxNumberTakesFullWidthAndRefusesText_data();
    void boxNumberTakesFullWidthAndRefusesText();
    void typedNumberReadsLeadingValue_data();
    void typedNumberReadsLeadingValue();
    void typedNumberCancelIsZero();
    void typedNumberStaysFinite_data();
    void typedNumberStaysFinite();
    void typedNumberNeverNegativeZero();

    void formatMaskRounds_data();
    void formatMaskRounds();
    void formatMaskVariant();

    void plainNumberText_data();
    void plainNumberText();
    void plainNumberVariant();
};

void TestNumbers::typedNumberReadsLeadingValue_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks only") << "  \t " << 0.0;
    QTest::newRow("integer") << "80" << 80.0;
    QTest::newRow("decimal") << "35.5" << 35.5;
    QTest::newRow("thousands separator ends it") << "1,200" << 1.0;
    QTest::newRow("blanks inside") << " - 3 . 5" << -3.5;
    QTest::newRow("tab and line feeds") << "1\t2\n3\r\n4" << 1234.0;
    QTest::newRow("letters end it") << "12abc" << 12.0;
    QTest::newRow("letters first") << "abc12" << 0.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("double minus") << "--5" << 0.0;
    QTest::newRow("minus zero") << "-0" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("leading point") << ".25" << 0.25;
    QTest::newRow("minus leading point") << "-.5" << -0.5;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("trailing sign ignored") << "5-" << 5.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent upper case, signed") << "25E-1" << 2.5;
    QTest::newRow("VB D exponent") << "1d2" << 100.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e-x" << 7.0;
    QTest::newRow("large but finite") << "1e308" << 1e308;
    QTest::newRow("underflow") << "1e-500" << 0.0;
    QTest::newRow("full-width digits are not digits") << QString::fromUtf8("１２") << 0.0;
    QTest::newRow("full-width comma") << QString::fromUtf8("12，5") << 12.0;
    QTest::newRow("leading zeros") << "007.50" << 7.5;
}

void TestNumbers::typedNumberReadsLeadingValue()
{
    QFETCH(QString, answer);
    QFETCH(double, value);
    QCOMPARE(typedNumber(answer), value);
    QCOMPARE(typedNumber(std::optional<QString>(answer)), value);
}

void TestNumbers::typedNumberCancelIsZero()
{
    QCOMPARE(typedNumber(std::optional<QString>()), 0.0);
}

void TestNumbers::typedNumberStaysFinite_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<double>("value");
    QTest::newRow("exponent overflow") << "1e309" << DBL_MAX;
    QTest::newRow("negative overflow") << "-9e99999" << -DBL_MAX;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << DBL_MAX;
    QTest::newRow("many digits") << QString(400, u'9') << DBL_MAX;
    QTest::newRow("many digits scaled down") << QString(400, u'1') + "e-399" << 1.1111111111111111;
}

void TestNumbers::typedNumberStaysFinite()
{
    QFETCH(QString, answer);
    QFETCH(double, value);
    const double got = typedNumber(answer);
    QVERIFY(std::isfinite(got));
    QCOMPARE(got, value);
}

void TestNumbers::typedNumberNeverNegativeZero()
{
    QVERIFY(!std::signbit(typedNumber(QStringLiteral("-0"))));
    QVERIFY(!std::signbit(typedNumber(QStringLiteral("-0.000"))));
    QVERIFY(!std::signbit(typedNumber(QStringLiteral("-1e-999"))));
}

void TestNumbers::formatMaskRounds_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("text");
    const QString money = QStringLiteral("#,##0.00");
    QTest::newRow("grouped") << 1234.5 << money << "1,234.50";
    QTest::newRow("half away from zero on 15 digits") << 2.675 << money << "2.68";
    QTest::newRow("1.005") << 1.005 << money << "1.01";
    QTest::newRow("negative half") << -2.675 << money << "-2.68";
    QTest::newRow("zero") << 0.0 << money << "0.00";
    QTest::newRow("tiny negative shows no sign") << -0.001 << money << "0.00";
    QTest::newRow("negative zero") << -0.0 << money << "0.00";
    QTest::newRow("carry into new group") << 999999.995 << money << "1,000,000.00";
    QTest::newRow("millions") << -1234567.891 << money << "-1,234,567.89";
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << money << "0.30";
    QTest::newRow("large") << 1e20 << money << "100,000,000,000,000,000,000.00";
    QTest::newRow("no decimals") << 1234.5 << "#,##0" << "1,235";
    QTest::newRow("no decimals below half") << 0.4 << "#,##0" << "0";
    QTest::newRow("###0 rounds up") << 80.6 << "###0" << "81";
    QTest::newRow("###0 no grouping") << 12345.0 << "###0" << "12345";
    QTest::newRow("###0 zero") << 0.0 << "###0" << "0";
    QTest::newRow("#,### zero is empty") << 0.0 << "#,###" << "";
    QTest::newRow("#,### small rounds to empty") << 0.4 << "#,###" << "";
    QTest::newRow("#,### rounds to one") << 0.5 << "#,###" << "1";
    QTest::newRow("#,### grouped") << 1234567.0 << "#,###" << "1,234,567";
    QTest::newRow("#,###.00 zero") << 0.0 << "#,###.00" << ".00";
    QTest::newRow("#,###.00 fraction") << 0.5 << "#,###.00" << ".50";
    QTest::newRow("#,###.00 negative fraction") << -0.5 << "#,###.00" << "-.50";
    QTest::newRow("#,###.00 value") << 1234.567 << "#,###.00" << "1,234.57";
    QTest::newRow("three decimals") << 20.0 << "#,##0.000" << "20.000";
    QTest::newRow("four decimals") << 1.23456 << "#,##0.0000" << "1.2346";
    QTest::newRow("five decimals") << 0.000005 << "#,##0.00000" << "0.00001";
    QTest::newRow("currency") << 1234.5 << QStringLiteral("\"￥\"#,##0.00") << QStringLiteral("￥1,234.50");
    QTest::newRow("currency negative") << -5.0 << QStringLiteral("\"￥\"#,##0.00") << QStringLiteral("-￥5.00");
    QTest::newRow("currency zero") << 0.0 << QStringLiteral("\"￥\"#,##0.00") << QStringLiteral("￥0.00");
    QTest::newRow("optional decimals") << 1.5 << "0.##" << "1.5";
    QTest::newRow("quoted suffix") << 3.0 << "0\"元\"" << QStringLiteral("3元");
    QTest::newRow("not finite") << std::nan("") << money << "";
}

void TestNumbers::formatMaskRounds()
{
    QFETCH(double, value);
    QFETCH(QString, mask);
    QFETCH(QString, text);
    QCOMPARE(formatMask(value, mask), text);
}

void TestNumbers::formatMaskVariant()
{
    const QString money = QStringLiteral("#,##0.00");
    QCOMPARE(formatMask(QVariant(), money), QString());
    QCOMPARE(formatMask(QVariant(QMetaType(QMetaType::Double)), money), QString());
    QCOMPARE(formatMask(QVariant(12.5), money), QStringLiteral("12.50"));
    QCOMPARE(formatMask(QVariant(qlonglong(1200)), money), QStringLiteral("1,200.00"));
    QCOMPARE(formatMask(QVariant(QStringLiteral("12.5")), money), QStringLiteral("12.50"));
    QCOMPARE(formatMask(QVariant(QStringLiteral("待定")), money), QStringLiteral("待定"));
}

void TestNumbers::plainNumberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0.3";
    QTest::newRow("negative whole") << -20.0 << "-20";
    QTest::newRow("decimal") << 35.5 << "35.5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("below one") << 0.05 << "0.05";
    QTest::newRow("negative below one") << -0.8 << "-0.8";
    QTest::newRow("no exponent large") << 1e20 << "100000000000000000000";
    QTest::newRow("no exponent small") << 1e-7 << "0.0000001";
    QTest::newRow("15 significant digits") << 1234567.891234567 << "1234567.89123457";
    QTest::newRow("rounding carries") << 0.99999999999999999 << "1";
    QTest::newRow("balance sum") << 30.0 + 40.0 - 80.0 << "-10";
    QTest::newRow("three decimals") << 12.345 << "12.345";
    QTest::newRow("not finite") << HUGE_VAL << "";
    // Rounded to nine decimals before it is written.
    QTest::newRow("balance noise") << 2.54999999999993 << "2.55";
    QTest::newRow("arrears noise") << -0.829999999999984 << "-0.83";
    QTest::newRow("sum noise") << 100.01 + 200.0 - 66.7 << "233.31";
    QTest::newRow("nine decimals kept") << 0.123456789 << "0.123456789";
    QTest::newRow("tenth decimal dropped") << 0.1234567894 << "0.123456789";
    QTest::newRow("tenth decimal rounds up") << -0.1234567896 << "-0.12345679";
    QTest::newRow("below the ninth is zero") << -4e-10 << "0";
}

void TestNumbers::plainNumberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(plainNumber(value), text);
}

void TestNumbers::plainNumberVariant()
{
    QCOMPARE(plainNumber(QVariant()), QStringLiteral("0"));
    QCOMPARE(plainNumber(QVariant(-20.0)), QStringLiteral("-20"));
    QCOMPARE(plainNumber(QVariant(qlonglong(7))), QStringLiteral("7"));
    QCOMPARE(plainNumber(QVariant(QStringLiteral("12abc"))), QStringLiteral("12"));
}

void TestNumbers::boxNumberTakesFullWidthAndRefusesText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "85.5" << true << 85.5;
    QTest::newRow("full-width digits and point") << "８５．５" << true << 85.5;
    QTest::newRow("full-width minus") << "－１２．２５" << true << -12.25;
    QTest::newRow("mixed widths, ideographic blanks") << "\u3000１2．5 " << true << 12.5;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("negative zero is zero") << "-0" << true << 0.0;
    QTest::newRow("unit after the number") << "80平米" << false << 0.0;
    QTest::newRow("commas") << "1,2,3" << false << 0.0;
    QTest::newRow("thousands separator") << "1,200" << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
    QTest::newRow("infinity") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("too large") << "1e999" << false << 0.0;
    QTest::newRow("empty") << "  " << false << 0.0;
    QTest::newRow("arabic-indic digits") << "\u0668\u0665" << false << 0.0;
}

void TestNumbers::boxNumberTakesFullWidthAndRefusesText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> d = boxNumber(text);
    QCOMPARE(d.has_value(), ok);
    if (ok) {
        QCOMPARE(*d, value);
        QVERIFY(!std::signbit(*d) || value < 0);
    }
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "test_numbers.moc"
