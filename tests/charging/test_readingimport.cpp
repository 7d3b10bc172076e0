#include "charging/blanksheet.h"
#include "charging/readingimport.h"
#include "charging/readingsheet.h"
#include "common/gbkfile.h"
#include "common/tableout.h"
#include "estate.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Problem = ReadingImport::Problem;

namespace {

void fill(TestEstate& e)
{
    e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
    e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
    e.addItem(QStringLiteral("03"), QStringLiteral("车位"), 3.0, true, false);
    for (int b = 1; b <= 2; ++b)
        for (int r = 1; r <= 3; ++r)
            e.addHousehold(QStringLiteral("%1-10%2").arg(b).arg(r), QStringLiteral("住户"), 80);
}

}  // namespace

class TestReadingImport : public QObject {
    Q_OBJECT
private slots:
    void filesFromOtherPrograms_data();
    void filesFromOtherPrograms();
    void csvFields_data();
    void csvFields();
    void unreadableFileIsReported();
    void blankSheetPages();
    void blankSheetFilledInComesBack();
};

void TestReadingImport::filesFromOtherPrograms_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("last");
    QTest::newRow("CSV in UTF-8 with a byte-order mark") << QStringLiteral("readings-utf8.csv") << 1020.0;
    QTest::newRow("CSV in GBK") << QStringLiteral("readings-gbk.csv") << 1020.0;
    QTest::newRow("XLSX written by openpyxl") << QStringLiteral("readings.xlsx") << 1020.25;
}

void TestReadingImport::filesFromOtherPrograms()
{
    QFETCH(QString, file);
    QFETCH(double, last);
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + file);
    QVERIFY(!path.isEmpty());
    TestEstate e;
    fill(e);
    ReadingSheet sheet(e.db(), e.env().rs项目());
    sheet.load(QStringLiteral("202406"));
    const ReadingImport im(sheet, ReadingImport::readFile(path));
    QCOMPARE(im.matched(), 4);
    QList<QPair<int, Problem>> problems;
    for (const ReadingImport::Row& r : im.problems())
        problems << qMakePair(r.line, r.problem);
    const QList<QPair<int, Problem>> want = {{5, Problem::NoHousehold}, {6, Problem::NoItem}, {7, Problem::NoNumber},
                                             {8, Problem::NoNumber}};
    QCOMPARE(problems, want);
    QCOMPARE(im.problems().value(0).door, QStringLiteral("9-999"));
    QCOMPARE(im.problems().value(2).text, QStringLiteral("五百"));
    // Nothing is in the draft before the operator confirms.
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 0);
    QVERIFY(!sheet.row(0).reading);

    im.apply(sheet);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 4);
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("02"))).reading, std::optional<double>(530));
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("03"))).reading, std::optional<double>(2));
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-102"), QStringLiteral("02"))).reading, std::optional<double>(541.5));
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("2-102"), QStringLiteral("02"))).reading, std::optional<double>(last));
}

void TestReadingImport::csvFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("cells");
    QTest::newRow("quoted comma and quote") << QByteArray("a,\"b,\"\"c\"\"\",1\n")
                                            << QList<QStringList>{{"a", "b,\"c\"", "1"}};
    QTest::newRow("line end in quotes, CR LF") << QByteArray("\"x\ny\",2\r\nz,3")
                                               << QList<QStringList>{{"x\ny", "2"}, {"z", "3"}};
    QTest::newRow("tabs from a spreadsheet") << QByteArray("1-101\t水费\t5\n") << QList<QStringList>{{"1-101", "水费", "5"}};
    QTest::newRow("empty fields kept") << QByteArray(",,\n") << QList<QStringList>{{"", "", ""}};
}

void TestReadingImport::csvFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, cells);
    QCOMPARE(ReadingImport::readCsv(bytes), cells);
}

void TestReadingImport::unreadableFileIsReported()
{
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("坏.xlsx"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a zip");
    f.close();
    for (const QString& p : {bad, dir.filePath(QStringLiteral("none.csv"))}) {
        bool thrown = false;
        try {
            ReadingImport::readFile(p);
        } catch (const FileError& e) {
            thrown = e.message().contains(p);
        }
        QVERIFY2(thrown, qPrintable(p));
    }
}

void TestReadingImport::blankSheetPages()
{
    TestEstate e;
    fill(e);
    ReadingSheet sheet(e.db(), e.env().rs项目());
    sheet.load(QStringLiteral("202406"));
    const QList<DocumentPage> pages = BlankSheet::pages(sheet, DocumentPage::A4WidthTwips, 5);
    QCOMPARE(pages.size(), 3);  // 12 rows, 5 a page
    QCOMPARE(pages[0].lines.size(), 4 + 5);
    QCOMPARE(pages[2].lines.size(), 4 + 2);
    QCOMPARE(pages[1].lines[1].text, QStringLiteral("第 2 页 / 共 3 页"));
    // Columns line up in a face where a Chinese character is two wide.
    const QString header = pages[0].lines[2].text;
    const QString first = pages[0].lines[4].text;
    auto columns = [](const QString& s) {
        int w = 0;
        for (QChar c : s)
            w += c.unicode() >= 0x2e80 ? 2 : 1;
        return w;
    };
    QCOMPARE(columns(header.left(header.indexOf(QStringLiteral("本月读数")))),
             columns(first.left(first.indexOf(QStringLiteral("____")))));
    QVERIFY(first.startsWith(QStringLiteral("1-101         住户")));
}

// The blank sheet as the meter readers get it: openpyxl (sharing nothing with
// libxlsxwriter) reads it, fills two readings in as a reader would and saves it;
// the filled-in file comes back through the import, its header placing the columns.
void TestReadingImport::blankSheetFilledInComesBack()
{
    TestEstate e;
    fill(e);
    ReadingSheet sheet(e.db(), e.env().rs项目());
    sheet.load(QStringLiteral("202406"));
    QTemporaryDir dir;
    const QString xlsx = dir.filePath(QStringLiteral("抄表单.xlsx"));
    const QString csv = dir.filePath(QStringLiteral("抄表单.csv"));
    writeXlsx(BlankSheet::table(sheet), xlsx);
    writeCsv(BlankSheet::table(sheet), csv);

    static const char* script = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
rows = list(ws.iter_rows(values_only=True))
print(ws.title, len(rows), "|".join(rows[0]), rows[1][0], rows[1][2], rows[1][3], rows[1][4])
ws["E2"] = 523.5
ws["E3"] = "2"
wb.save(sys.argv[2])
)PY";
    const QString filled = dir.filePath(QStringLiteral("已填.xlsx"));
    QProcess p;
    p.start(QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                               : QStringLiteral("python3"),
            {QStringLiteral("-c"), QString::fromUtf8(script), xlsx, filled});
    QVERIFY2(p.waitForFinished(60000) && p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
             QStringLiteral("抄表单202406 13 门牌号|户名|项目|上月数|本月读数 1-101 水费 0 None"));

    // The CSV holds the same lines; with no reading written, every line is reported.
    const ReadingImport blank(sheet, ReadingImport::readFile(csv));
    QCOMPARE(blank.matched(), 0);
    QCOMPARE(blank.problems().size(), 12);
    QCOMPARE(blank.problems().first().problem, Problem::NoNumber);

    const ReadingImport im(sheet, ReadingImport::readFile(filled));
    QCOMPARE(im.matched(), 2);
    QCOMPARE(im.problems().size(), 10);
    im.apply(sheet);
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("02"))).reading,
             std::optional<double>(523.5));
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("03"))).reading, std::optional<double>(2));
}

QTEST_GUILESS_MAIN(TestReadingImport)
#include "test_readingimport.moc"
