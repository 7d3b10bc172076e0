#include "common/gbkfile.h"
#include "common/tableout.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Debian's python3-openpyxl belongs to the system's python3, not to one that PATH
// may put first.
QString python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                              : QStringLiteral("python3");
}

// Reads an XLSX back with openpyxl, which shares nothing with libxlsxwriter:
// every cell's type, value, number format and boldness, the frozen cell and the
// column widths.
QJsonObject readBack(const QString& path)
{
    static const char* script = R"PY(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
cells = []
for row in ws.iter_rows():
    cells.append([{"t": c.data_type, "v": c.value, "f": c.number_format, "b": bool(c.font and c.font.b)} for c in row])
widths = {k: v.width for k, v in ws.column_dimensions.items()}
print(json.dumps({"title": ws.title, "freeze": ws.freeze_panes, "cells": cells, "widths": widths}, ensure_ascii=False))
)PY";
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

OutTable sampleTable()
{
    OutTable t;
    t.sheetName = QStringLiteral("欠费一览");
    t.header = {QStringLiteral("门牌号"), QStringLiteral("户名"), QStringLiteral("欠费月数"),
                QStringLiteral("欠费金额")};
    t.rows << OutRow{OutCell::ofText(QStringLiteral("1-0101")), OutCell::ofText(QStringLiteral("张三")),
                     OutCell::ofNumber(3, QStringLiteral("0")), OutCell::ofNumber(1234.5)};
    t.rows << OutRow{OutCell::ofText(QStringLiteral("2-0'02")), OutCell::ofText(QStringLiteral("李四,\"小\"")),
                     OutCell::empty(), OutCell::ofNumber(-0.125, QStringLiteral("#,##0.00"))};
    t.totals = OutRow{OutCell::ofText(QStringLiteral("合计")), OutCell::empty(),
                      OutCell::ofNumber(3, QStringLiteral("0")), OutCell::ofNumber(1234.375)};
    return t;
}

} // namespace

class TestTableOut : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void xlsxReadsBack_data();
    void xlsxReadsBack();
    void csvReadsBack();
    void csvNumbers_data();
    void csvNumbers();
    void unwritablePathIsRefused();
    void textStaysTextWhenOpened_data();
    void textStaysTextWhenOpened();
    void failedXlsxLeavesThePreviousFile_data();
    void failedXlsxLeavesThePreviousFile();
    void exportWritesBothFilesIntoReportFolder();

private:
    QTemporaryDir dir_;
};

void TestTableOut::initTestCase()
{
    QVERIFY(dir_.isValid());
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    QVERIFY2(p.waitForFinished(30000) && p.exitCode() == 0, "python3-openpyxl is needed to read XLSX back");
}

void TestTableOut::xlsxReadsBack_data()
{
    QTest::addColumn<int>("constantMemoryRows");
    QTest::newRow("in memory") << 5000;
    QTest::newRow("constant memory") << 0;
}

void TestTableOut::xlsxReadsBack()
{
    QFETCH(int, constantMemoryRows);
    const QString path = dir_.filePath(QStringLiteral("t%1.xlsx").arg(constantMemoryRows));
    writeXlsx(sampleTable(), path, constantMemoryRows);
    const QJsonObject o = readBack(path);
    QVERIFY(!o.isEmpty());
    QCOMPARE(o[QStringLiteral("title")].toString(), QStringLiteral("欠费一览"));
    QCOMPARE(o[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    const QJsonArray rows = o[QStringLiteral("cells")].toArray();
    QCOMPARE(rows.size(), 4);
    auto cell = [&](int r, int c) { return rows.at(r).toArray().at(c).toObject(); };

    // Header: bold text.
    const QStringList header = sampleTable().header;
    for (int c = 0; c < header.size(); ++c) {
        QCOMPARE(cell(0, c)[QStringLiteral("t")].toString(), QStringLiteral("s"));
        QCOMPARE(cell(0, c)[QStringLiteral("v")].toString(), header.at(c));
        QVERIFY(cell(0, c)[QStringLiteral("b")].toBool());
    }
    // Body: text as text (a door number stays text), numbers as numbers with formats.
    QCOMPARE(cell(1, 0)[QStringLiteral("t")].toString(), QStringLiteral("s"));
    QCOMPARE(cell(1, 0)[QStringLiteral("v")].toString(), QStringLiteral("1-0101"));
    QCOMPARE(cell(1, 1)[QStringLiteral("v")].toString(), QStringLiteral("张三"));
    QVERIFY(!cell(1, 1)[QStringLiteral("b")].toBool());
    QCOMPARE(cell(1, 2)[QStringLiteral("t")].toString(), QStringLiteral("n"));
    QCOMPARE(cell(1, 2)[QStringLiteral("v")].toDouble(), 3.0);
    QCOMPARE(cell(1, 2)[QStringLiteral("f")].toString(), QStringLiteral("0"));
    QCOMPARE(cell(1, 3)[QStringLiteral("v")].toDouble(), 1234.5);
    QCOMPARE(cell(1, 3)[QStringLiteral("f")].toString(), QStringLiteral("0.00"));
    QCOMPARE(cell(2, 0)[QStringLiteral("v")].toString(), QStringLiteral("2-0'02"));
    QCOMPARE(cell(2, 1)[QStringLiteral("v")].toString(), QStringLiteral("李四,\"小\""));
    QVERIFY(cell(2, 2)[QStringLiteral("v")].isNull());
    QCOMPARE(cell(2, 3)[QStringLiteral("v")].toDouble(), -0.125);
    QCOMPARE(cell(2, 3)[QStringLiteral("f")].toString(), QStringLiteral("#,##0.00"));
    // Totals: bold, numbers still numbers.
    QCOMPARE(cell(3, 0)[QStringLiteral("v")].toString(), QStringLiteral("合计"));
    QVERIFY(cell(3, 0)[QStringLiteral("b")].toBool());
    QCOMPARE(cell(3, 3)[QStringLiteral("t")].toString(), QStringLiteral("n"));
    QCOMPARE(cell(3, 3)[QStringLiteral("v")].toDouble(), 1234.375);
    QVERIFY(cell(3, 3)[QStringLiteral("b")].toBool());
    // Widths follow the widest text: the Chinese captions are wider than the digits.
    const QJsonObject widths = o[QStringLiteral("widths")].toObject();
    QVERIFY(widths[QStringLiteral("A")].toDouble() >= 8);
    QVERIFY(widths[QStringLiteral("B")].toDouble() >= 11); // 李四,"小" is 10 columns wide
    QVERIFY(widths[QStringLiteral("B")].toDouble() <= 60);
}

void TestTableOut::csvReadsBack()
{
    const QString path = dir_.filePath(QStringLiteral("t.csv"));
    writeCsv(sampleTable(), path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5); // header, two rows, totals, and the empty text after the last CR LF
    QCOMPARE(lines.at(0), QStringLiteral("门牌号,户名,欠费月数,欠费金额"));
    // Door numbers are written so that a spreadsheet keeps them as text.
    QCOMPARE(lines.at(1), QStringLiteral("\"=\"\"1-0101\"\"\",张三,3,1234.50"));
    QCOMPARE(lines.at(2), QStringLiteral("\"=\"\"2-0'02\"\"\",\"李四,\"\"小\"\"\",,-0.13"));
    QCOMPARE(lines.at(3), QStringLiteral("合计,,3,1234.38"));
    QCOMPARE(lines.at(4), QString());
}

void TestTableOut::csvNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::newRow("two decimals") << 2.675 << "0.00" << "2.68";
    QTest::newRow("grouping dropped") << 1234567.891 << "#,##0.00" << "1234567.89";
    QTest::newRow("whole") << 2.5 << "0" << "3";
    QTest::newRow("negative half") << -2.5 << "0" << "-3";
    QTest::newRow("percent-free rate") << 0.8333333 << "0.0000" << "0.8333";
    QTest::newRow("zero") << 0.0 << "0.00" << "0.00";
    QTest::newRow("general") << 1234.125 << "General" << "1234.125";
    QTest::newRow("percent") << 0.83333 << "0.0%" << "83.3%";
}

void TestTableOut::csvNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, format);
    QFETCH(QString, text);
    QCOMPARE(csvNumber(value, format), text);
}

void TestTableOut::unwritablePathIsRefused()
{
    const QString bad = dir_.filePath(QStringLiteral("missing/folder/t"));
    QVERIFY_THROWS_EXCEPTION(FileError, writeXlsx(sampleTable(), bad + QStringLiteral(".xlsx")));
    QVERIFY_THROWS_EXCEPTION(FileError, writeCsv(sampleTable(), bad + QStringLiteral(".csv")));
}

// How a spreadsheet takes each cell: the XLSX through openpyxl, the CSV through
// Python's csv reader and the conversions Excel and WPS apply to a CSV field (a
// leading =, +, - or @ makes a formula; a number loses leading zeros and keeps 15
// digits; "3-12" or "2024年6月" becomes a date; TRUE a truth value), with ="…" (and
// ="…"&"…") a formula whose value is its text.
QJsonObject openedAs(const QString& xlsx, const QString& csv)
{
    static const char* script = R"PY(
import csv, json, re, sys, openpyxl
def excel(f):
    m = re.fullmatch(r'=("(?:[^"]|"")*")(?:&("(?:[^"]|"")*"))*', f, re.S)
    if m:
        return ["text", "".join(p[1:-1].replace('""', '"') for p in re.findall(r'"(?:[^"]|"")*"', f[1:], re.S))]
    if f[:1] in ("=", "+", "-", "@"):
        try:
            return ["number", float(f)]
        except ValueError:
            return ["formula", f]
    t = f.strip().translate({0xFF10 + i: 0x30 + i for i in range(10)})
    if t.upper() in ("TRUE", "FALSE"):
        return ["bool", t]
    try:
        v = float(t.replace(",", "").rstrip("%"))
        return ["number", v]
    except ValueError:
        pass
    if re.fullmatch(r"\d{1,4}\s*[-/年]\s*\d{1,2}\s*([-/月]\s*\d{0,4}\s*日?)?", t) or re.fullmatch(r"\d{1,2}:\d{2}(:\d{2})?", t):
        return ["date", t]
    return ["text", f]
with open(sys.argv[2], encoding="utf-8-sig", newline="") as fh:
    rows = list(csv.reader(fh))
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
x = list(ws.iter_rows(min_row=2, max_row=2))[0]
print(json.dumps({"csv": [excel(f) for f in rows[1]], "raw": rows[1],
                  "xlsx": [[c.data_type, c.value.replace("_x000D_", "\r") if isinstance(c.value, str) else c.value] for c in x]},
                 ensure_ascii=False))
)PY";
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QString::fromUtf8(script), xlsx, csv});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void TestTableOut::textStaysTextWhenOpened_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("plain");  // written as it stands, nothing to guard
    QTest::newRow("formula") << "=1+1" << false;
    QTest::newRow("phone with a plus") << "+86 138 0013 8000" << false;
    QTest::newRow("minus five") << "-5" << false;
    QTest::newRow("at sign") << "@x" << false;
    QTest::newRow("leading tab") << "\t=1" << false;
    QTest::newRow("leading carriage return") << "\r=1" << false;
    QTest::newRow("door with a leading zero") << "0101" << false;
    QTest::newRow("door like a date") << "3-12" << false;
    QTest::newRow("18 digits") << "110101199003070011" << false;
    QTest::newRow("mobile number") << "13800138000" << false;
    QTest::newRow("month") << "202406" << false;
    QTest::newRow("Chinese month") << "2024年6月" << false;
    QTest::newRow("full-width digits") << "０１０１" << false;
    QTest::newRow("truth word") << "TRUE" << false;
    QTest::newRow("quote inside a formula") << "=\"a\",b" << false;
    QTest::newRow("formula past a text constant") << QString(u'=') + QString(300, u'x') << false;
    QTest::newRow("formula past a formula") << QString(u'=') + QString(9000, u'y') << false;
    QTest::newRow("name") << "张三" << true;
    QTest::newRow("digit among Chinese") << "8户" << true;
}

void TestTableOut::textStaysTextWhenOpened()
{
    QFETCH(QString, text);
    QFETCH(bool, plain);
    OutTable t;
    t.header = {QStringLiteral("户名"), QStringLiteral("金额")};
    t.rows << OutRow{OutCell::ofText(text), OutCell::ofNumber(-5)};
    const QString xlsx = dir_.filePath(QStringLiteral("text.xlsx")), csv = dir_.filePath(QStringLiteral("text.csv"));
    writeXlsx(t, xlsx);
    writeCsv(t, csv);
    const QJsonObject o = openedAs(xlsx, csv);
    QVERIFY(!o.isEmpty());
    const QJsonArray asCsv = o[QStringLiteral("csv")].toArray(), asXlsx = o[QStringLiteral("xlsx")].toArray();
    const bool longFormula = text.size() > 8000;
    if (longFormula) {
        // Too long for a formula: an apostrophe keeps it from being one.
        QCOMPARE(o[QStringLiteral("raw")].toArray().at(0).toString(), u'\'' + text);
    } else {
        QCOMPARE(asCsv.at(0).toArray().at(0).toString(), QStringLiteral("text"));
        QCOMPARE(asCsv.at(0).toArray().at(1).toString(), text);
    }
    QCOMPARE(o[QStringLiteral("raw")].toArray().at(0).toString() == text, plain);
    QCOMPARE(asCsv.at(1).toArray(), (QJsonArray{QStringLiteral("number"), -5.0}));
    QCOMPARE(asXlsx.at(0).toArray(), (QJsonArray{QStringLiteral("s"), text}));
    QCOMPARE(asXlsx.at(1).toArray(), (QJsonArray{QStringLiteral("n"), -5}));
}

void TestTableOut::failedXlsxLeavesThePreviousFile_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("more columns than a sheet holds") << "columns";
    QTest::newRow("name taken by a folder") << "folder";
    QTest::newRow("text longer than a cell") << "long";
}

// A failed export names the file, keeps the previous one and leaves nothing
// beside it; a text longer than a cell is no failure: it is cut with a mark.
void TestTableOut::failedXlsxLeavesThePreviousFile()
{
    QFETCH(QString, cause);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("欠费一览.xlsx"));
    OutTable t = sampleTable();
    if (cause == QStringLiteral("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("欠费一览.xlsx")));
    } else {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous export");
    }
    if (cause == QStringLiteral("columns"))
        t.rows[0] = OutRow(16385, OutCell::ofNumber(1));
    if (cause == QStringLiteral("long"))
        t.rows[0][1] = OutCell::ofText(QString(40000, u'长'));
    QString error;
    try {
        writeXlsx(t, path, 0);
    } catch (const FileError& e) {
        error = e.message();
    }
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left, QStringList{QStringLiteral("欠费一览.xlsx")});
    if (cause == QStringLiteral("long")) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QJsonArray rows = readBack(path)[QStringLiteral("cells")].toArray();
        const QString cut = rows.at(1).toArray().at(1).toObject()[QStringLiteral("v")].toString();
        QCOMPARE(cut.size(), 32767);
        QVERIFY(cut.endsWith(QStringLiteral("长……(已截断)")));
        return;
    }
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    if (cause != QStringLiteral("folder")) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("previous export"));
    }
}

void TestTableOut::exportWritesBothFilesIntoReportFolder()
{
    const QString folder = dir_.filePath(QStringLiteral("报表"));
    qputenv("FENWARY_REPORT_DIR", folder.toUtf8());
    const QString xlsx = exportTableToReportFolder(sampleTable(), QStringLiteral("欠费一览"));
    QCOMPARE(xlsx, folder + QStringLiteral("/欠费一览.xlsx"));
    QVERIFY(QFile::exists(xlsx));
    QVERIFY(QFile::exists(folder + QStringLiteral("/欠费一览.csv")));
    qunsetenv("FENWARY_REPORT_DIR");
}

QTEST_GUILESS_MAIN(TestTableOut)
#include "test_tableout.moc"
