#include "collection/cmoney.h"

#include <QTest>
#include <cmath>

class TestCMoney : public QObject {
    Q_OBJECT

private slots:
    void capitalDigit_data();
    void capitalDigit();
    void capitalAmount_data();
    void capitalAmount();
    void capitalAmountOfVariant_data();
    void capitalAmountOfVariant();
};

void TestCMoney::capitalDigit_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("numeral");
    const char* const numerals[] = {"零", "壹", "贰", "叁", "肆", "伍", "陆", "柒", "捌", "玖"};
    for (int i = 0; i < 10; ++i)
        QTest::addRow("%d", i) << double(i) << QString::fromUtf8(numerals[i]);
    QTest::newRow("10") << 10.0 << "";
    QTest::newRow("1.5") << 1.5 << "";
    QTest::newRow("-1") << -1.0 << "";
}

void TestCMoney::capitalDigit()
{
    QFETCH(double, value);
    QFETCH(QString, numeral);
    QCOMPARE(CMoney::CapitalDigit(value), numeral);
}

void TestCMoney::capitalAmount_data()
{
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, double amount, const char* text) {
        QTest::newRow(name) << amount << QString::fromUtf8(text);
    };
    // The receipt's table.
    row("0", 0, " ");
    row("0.5", 0.5, "伍角");
    row("0.05", 0.05, "伍分");
    row("1", 1, "壹元");
    row("10", 10, "壹拾元");
    row("12.5", 12.5, "壹拾贰元伍角");
    row("12.05", 12.05, "壹拾贰元伍分");
    row("12.345 cut, not rounded", 12.345, "壹拾贰元叁角肆分");
    row("12.503", 12.503, "壹拾贰元伍角零分");
    row("100", 100, "壹佰元");
    row("101", 101, "壹佰零壹元");
    row("1010", 1010, "壹仟零壹拾元");
    row("1100", 1100, "壹仟壹佰元");
    row("10000", 10000, "壹万元");
    row("10001", 10001, "壹万零壹元");
    row("10500", 10500, "壹万零伍佰元");
    row("105000", 105000, "壹拾万伍仟元");
    row("1000010", 1000010, "壹佰万零壹拾元");
    row("20000.5", 20000.5, "贰万元伍角");
    row("-3.5", -3.5, "负叁元伍角");
    row("10000.05", 10000.05, "壹万元伍分");
    row("123.45", 123.45, "壹佰贰拾叁元肆角伍分");
    row("1234.5", 1234.5, "壹仟贰佰叁拾肆元伍角");
    row("1235", 1235, "壹仟贰佰叁拾伍元");
    row("0.1+0.2", 0.1 + 0.2, "叁角");
    row("0.99", 0.99, "玖角玖分");
    row("1001", 1001, "壹仟零壹元");
    row("1000001", 1000001, "壹佰万零壹元");
    row("10010000", 10010000, "壹仟零壹万元");
    row("11000000", 11000000, "壹仟壹佰万元");
    row("99999999.99", 99999999.99, "玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分");
    row("-0.05", -0.05, "负伍分");
    // 亿 and beyond.
    row("1亿", 100000000, "壹亿元");
    row("1亿零1", 100000001, "壹亿零壹元");
    row("1亿零1仟", 100001000, "壹亿零壹仟元");
    row("1亿零1佰", 100000100, "壹亿零壹佰元");
    row("1亿零1万", 100010000, "壹亿零壹万元");
    row("1亿零1佰万", 101000000, "壹亿零壹佰万元");
    row("1亿1仟万", 110000000, "壹亿壹仟万元");
    row("1亿2仟3佰4拾5万6仟7佰8拾9", 123456789, "壹亿贰仟叁佰肆拾伍万陆仟柒佰捌拾玖元");
    row("10亿零1", 1000000001, "壹拾亿零壹元");
    row("1万亿", 1e12, "壹万亿元");
    row("1亿 with cents", 100000000.5, "壹亿元伍角");
    row("-2亿", -200000000, "负贰亿元");
    row("not finite", HUGE_VAL, "");
}

void TestCMoney::capitalAmount()
{
    QFETCH(double, amount);
    QFETCH(QString, text);
    QCOMPARE(CMoney::CapitalAmount(amount), text);
}

void TestCMoney::capitalAmountOfVariant_data()
{
    QTest::addColumn<QVariant>("amount");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty text") << QVariant(QString()) << " ";
    QTest::newRow("blank text") << QVariant(QStringLiteral("  ")) << " ";
    QTest::newRow("null") << QVariant() << " ";
    QTest::newRow("number") << QVariant(12.5) << QStringLiteral("壹拾贰元伍角");
    QTest::newRow("integer") << QVariant(qlonglong(101)) << QStringLiteral("壹佰零壹元");
    QTest::newRow("numeric text") << QVariant(QStringLiteral("20000.5")) << QStringLiteral("贰万元伍角");
}

void TestCMoney::capitalAmountOfVariant()
{
    QFETCH(QVariant, amount);
    QFETCH(QString, text);
    QCOMPARE(CMoney::CapitalAmount(amount), text);
}

QTEST_GUILESS_MAIN(TestCMoney)
#include "test_cmoney.moc"
