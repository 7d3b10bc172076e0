// What the fuzz targets found, kept as tests.
#include "charging/readingimport.h"
#include "common/gbkfile.h"
#include "common/numbers.h"
#include "queries/queryexport.h"
#include "records/householdexport.h"
#include "store/criterion.h"

#include <QtTest>
#include <cfloat>

class TestFuzzFindings : public QObject {
    Q_OBJECT
private slots:
    void criterionPrintsAsItParses_data();
    void criterionPrintsAsItParses();
    void largestDoublesPrintWithoutExponent();
    void exportLinesHoldNoLineBreak_data();
    void exportLinesHoldNoLineBreak();
    void sheetRowInsideACell_data();
    void sheetRowInsideACell();
};

void TestFuzzFindings::criterionPrintsAsItParses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("terms");
    QTest::newRow("control character in a bracketed name") << QString::fromUtf8("[\x05x]") << 1;
    QTest::newRow("blank in a bracketed name") << QStringLiteral("[户 名] = '张三'") << 1;
    QTest::newRow("name holding a criterion") << QStringLiteral("[a = 1 and b] = true") << 1;
    QTest::newRow("empty bracketed name") << QStringLiteral("[] = 1") << 1;
    QTest::newRow("number printed with an exponent")
        << QStringLiteral("6 = 6666666000000414444004144444444446403") << 1;
    QTest::newRow("exponent typed") << QStringLiteral("a = 1e+20 and b = 2.5E-3") << 2;
}

void TestFuzzFindings::criterionPrintsAsItParses()
{
    QFETCH(QString, text);
    QFETCH(int, terms);
    const Criterion c = Criterion::parse(text);
    QCOMPARE(c.terms().size(), terms);
    const Criterion again = Criterion::parse(c.toString());
    QCOMPARE(again.toString(), c.toString());
    QCOMPARE(again.terms().size(), terms);
    for (int i = 0; i < terms; ++i) {
        QCOMPARE(again.terms()[i].column, c.terms()[i].column);
        QCOMPARE(again.terms()[i].value, c.terms()[i].value);
    }
}

void TestFuzzFindings::largestDoublesPrintWithoutExponent()
{
    // 15 significant digits of DBL_MAX round up past it: the text stays a plain number.
    for (double v : {DBL_MAX, -DBL_MAX}) {
        const QString s = plainNumber(v);
        QCOMPARE(s.size(), v < 0 ? 310 : 309);
        QVERIFY(s.startsWith(v < 0 ? QStringLiteral("-179769313486232") : QStringLiteral("179769313486232")));
        QVERIFY(!s.contains(QLatin1Char('e')));
    }
}

void TestFuzzFindings::exportLinesHoldNoLineBreak_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("CR") << QStringLiteral("前\r后");
    QTest::newRow("LF") << QStringLiteral("前\n后");
    QTest::newRow("CR LF") << QStringLiteral("前\r\n后");
}

void TestFuzzFindings::exportLinesHoldNoLineBreak()
{
    QFETCH(QString, text);
    for (int field = 0; field < 5; ++field) {
        QVariantList f{QStringLiteral("0101"), QStringLiteral("张三"), QString(), QString(), QString()};
        f[field] = text;
        const QString line = HouseholdExport::line(f[0], f[1], f[2], f[3], f[4]);
        QVERIFY2(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')), qPrintable(line));
        QVERIFY(line.contains(QStringLiteral("前 后")) || line.contains(QStringLiteral("前  后")) || field == 2);
    }
    QueryTable table({text, QStringLiteral("金额")});
    table.addRow(QueryTable::RowKind::Bill, {text, text});
    const QStringList lines = QueryExport::lines(table);
    QCOMPARE(lines.size(), 2);
    for (const QString& l : lines) {
        QVERIFY2(!l.contains(QLatin1Char('\r')) && !l.contains(QLatin1Char('\n')), qPrintable(l));
        QCOMPARE(l.size(), 60);
    }
}

void TestFuzzFindings::sheetRowInsideACell_data()
{
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<QString>("firstCell");  // of line 1
    QTest::newRow("value after the inner row") << QByteArray("<sheetData><row r=\"1\"><c r=\"A1\"><row r=\"2\"><v>5</v></row></c></row></sheetData>") << QString();
    QTest::newRow("value before it") << QByteArray("<sheetData><row r=\"1\"><c r=\"A1\"><v>7</v><row><v>5</v></row></c></row></sheetData>") << QStringLiteral("7");
}

// A row opened inside a cell leaves the cell: a value after it is in no cell (it
// was written at column -1).
void TestFuzzFindings::sheetRowInsideACell()
{
    QFETCH(QByteArray, sheet);
    QFETCH(QString, firstCell);
    const QString path = QStringLiteral("读数.xlsx");
    try {
        const QList<ReadingImport::Line> lines = ReadingImport::readSheetXml(sheet, QByteArray(), path);
        for (const ReadingImport::Line& l : lines)
            if (l.number == 1)
                QCOMPARE(l.cells.value(0), firstCell);
    } catch (const FileError& e) {
        QVERIFY2(e.message().startsWith(path), qPrintable(e.message()));
    }
}

QTEST_APPLESS_MAIN(TestFuzzFindings)
#include "test_fuzzfindings.moc"
