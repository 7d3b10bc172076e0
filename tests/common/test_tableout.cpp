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
    QCOMPARE(lines.at(1), QStringLiteral("1-0101,张三,3,1234.50"));
    QCOMPARE(lines.at(2), QStringLiteral("2-0'02,\"李四,\"\"小\"\"\",,-0.13"));
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
