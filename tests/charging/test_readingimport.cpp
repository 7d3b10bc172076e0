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
    void malformedFilesEndInATableOrAnError_data();
    void malformedFilesEndInATableOrAnError();
    void everyLineIsAccountedFor();
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
    QTest::addColumn<QList<int>>("stray");  // lines marked for a stray quote
    QTest::newRow("quoted comma and quote") << QByteArray("a,\"b,\"\"c\"\"\",1\n")
                                            << QList<QStringList>{{"a", "b,\"c\"", "1"}} << QList<int>{};
    QTest::newRow("line end in quotes, CR LF") << QByteArray("\"x\ny\",2\r\nz,3")
                                               << QList<QStringList>{{"x\ny", "2"}, {"z", "3"}} << QList<int>{};
    QTest::newRow("tabs from a spreadsheet") << QByteArray("1-101\t水费\t5\n") << QList<QStringList>{{"1-101", "水费", "5"}}
                                             << QList<int>{};
    QTest::newRow("empty fields kept") << QByteArray(",,\n") << QList<QStringList>{{"", "", ""}} << QList<int>{};
    QTest::newRow("quote inside an unquoted field") << QByteArray("1-101,水\"费,5\n1-102,水费,6\n")
                                                    << QList<QStringList>{{"1-101", "水\"费", "5"}, {"1-102", "水费", "6"}}
                                                    << QList<int>{1};
    QTest::newRow("quote never closed") << QByteArray("1-101,\"水费,5\n1-102,水费,6\n")
                                        << QList<QStringList>{{"1-101", "\"水费", "5"}, {"1-102", "水费", "6"}}
                                        << QList<int>{1};
    QTest::newRow("text after a closing quote") << QByteArray("\"1-101\"x,水费,5\n")
                                                << QList<QStringList>{{"1-101x", "水费", "5"}} << QList<int>{1};
    QTest::newRow("lone quote at the end") << QByteArray("a,\"") << QList<QStringList>{{"a", "\""}} << QList<int>{1};
}

void TestReadingImport::csvFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, cells);
    QFETCH(QList<int>, stray);
    QList<QStringList> got;
    QList<int> marked;
    for (const ReadingImport::Line& l : ReadingImport::readCsv(bytes)) {
        got << l.cells;
        if (l.strayQuote)
            marked << l.number;
    }
    QCOMPARE(got, cells);
    QCOMPARE(marked, stray);
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

namespace {

const QByteArray kSheetHead = "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
const QByteArray kSheetTail = "</sheetData></worksheet>";
QByteArray sheetOf(const QByteArray& rows)
{
    return kSheetHead + rows + kSheetTail;
}
QByteArray sharedOf(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + items +
           "</sst>";
}

// A package like a spreadsheet program's, zipped by Python: the workbook, its
// relationship to the sheet, the sheet and (when given) the shared strings. "HUGE"
// as the sheet gives a part that unpacks to 65 MB.
bool writePackage(const QString& dir, const QString& path, const QByteArray& sheet, const QByteArray& shared)
{
    auto put = [&dir](const QString& name, const QByteArray& bytes) {
        QFile f(dir + u'/' + name);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    if (!put(QStringLiteral("sheet.xml"), sheet) || !put(QStringLiteral("shared.xml"), shared))
        return false;
    static const char* script = R"PY(
import sys, zipfile
d, out, has_shared = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
sheet = open(d + "/sheet.xml", "rb").read()
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("xl/workbook.xml", '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>')
    z.writestr("xl/_rels/workbook.xml.rels", '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
    if sheet == b"HUGE":
        with z.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as f:
            f.write(b"<worksheet><sheetData>")
            for _ in range(65):
                f.write(b" " * (1 << 20))
            f.write(b"</sheetData></worksheet>")
    else:
        z.writestr("xl/worksheets/sheet1.xml", sheet)
    if has_shared:
        z.writestr("xl/sharedStrings.xml", open(d + "/shared.xml", "rb").read())
)PY";
    QProcess p;
    p.start(QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3"),
            {QStringLiteral("-c"), QString::fromUtf8(script), dir, path, shared.isNull() ? QStringLiteral("0") : QStringLiteral("1")});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// Lines as "number:cell|cell", joined by ";".
QString shown(const QList<ReadingImport::Line>& lines)
{
    QStringList out;
    for (const ReadingImport::Line& l : lines)
        out << QString::number(l.number) + u':' + l.cells.join(u'|');
    return out.join(u';');
}

}  // namespace

// Every malformed file ends in lines or in an error that names the file (and the
// cell where one is to blame); nothing is read or written out of bounds (the
// sanitizer build runs this table too).
void TestReadingImport::malformedFilesEndInATableOrAnError_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("sheet");   // the sheet part, or the CSV's bytes
    QTest::addColumn<QByteArray>("shared");  // null: the package has no shared strings
    QTest::addColumn<QString>("want");       // the lines, or "!" and a part of the error
    const QByteArray strings = sharedOf("<si><t>1-101</t></si>");
    QTest::newRow("reference without letters") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"5\"><v>1</v></c></row>")
                                               << strings << "!单元格“5”";
    QTest::newRow("absolute reference") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"$B$1\"><v>7</v></c></row>") << strings
                                        << "1:|7";
    QTest::newRow("column past XFD") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>") << strings
                                     << "!单元格“XFE1”";
    QTest::newRow("last column XFD") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"XFD1\"><v>1</v></c></row>") << strings
                                     << "1:" + QString(16383, u'|') + "1";
    QTest::newRow("row 2^31-1, a gap stays a gap")
        << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2147483647\"><c r=\"A2147483647\"><v>2</v></c></row>")
        << strings << "1:1;2147483647:2";
    QTest::newRow("row past 2^31-1") << "a.xlsx" << sheetOf("<row r=\"2147483648\"><c><v>1</v></c></row>") << strings
                                     << "!行号“2147483648”";
    QTest::newRow("negative row") << "a.xlsx" << sheetOf("<row r=\"-3\"><c r=\"A1\"><v>1</v></c></row>") << strings
                                  << "!行号“-3”";
    QTest::newRow("shared string out of range")
        << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c></row>") << strings << "!A1 引用的共享字符串 5";
    QTest::newRow("shared strings missing") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>")
                                            << QByteArray() << "!A1 引用的共享字符串 0";
    QTest::newRow("shared strings cut short") << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>")
                                              << QByteArray("<sst><si><t>1-1") << "!xl/sharedStrings.xml";
    QTest::newRow("rich text: every run, no phonetic run")
        << "a.xlsx" << sheetOf("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>")
        << sharedOf("<si><r><t>1-</t></r><r><rPr><b/></rPr><t>101</t></r><rPh><t>x</t></rPh></si>") << "1:1-101";
    QTest::newRow("inline rich string") << "a.xlsx"
                                        << sheetOf("<row r=\"1\"><c r=\"B1\" t=\"inlineStr\"><is><r><t>水</t></r><r><t>费</t></r></is></c></row>")
                                        << strings << "1:|水费";
    QTest::newRow("number with an exponent") << "a.xlsx" << sheetOf("<row r=\"2\"><c r=\"C2\"><v>1.5E+3</v></c></row>")
                                             << strings << "2:||1500";
    QTest::newRow("value outside any cell") << "a.xlsx" << sheetOf("<row r=\"1\"><v>1</v><c r=\"A1\"><v>2</v></c><is><t>x</t></is></row>")
                                            << strings << "1:2";
    QTest::newRow("sheet is not XML") << "a.xlsx" << QByteArray("\x01\x02 not xml <<") << strings << "!第一张工作表不完整";
    QTest::newRow("sheet cut short") << "a.xlsx" << QByteArray(kSheetHead + "<row r=\"1\"><c r=\"A1\"><v>1") << strings
                                     << "!第一张工作表不完整";
    QTest::newRow("part unpacks past 64 MB") << "a.xlsx" << QByteArray("HUGE") << strings << "!解压后大于 64 MB";
    QTest::newRow("not a zip") << "a.xlsx" << QByteArray("RAW") << strings << "!不是可以读取的 XLSX 文件";
    QTest::newRow("CSV past 64 MB") << "a.csv" << QByteArray("HUGE") << QByteArray() << "!大于 64 MB";
}

void TestReadingImport::malformedFilesEndInATableOrAnError()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, sheet);
    QFETCH(QByteArray, shared);
    QFETCH(QString, want);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name.endsWith(QLatin1String(".csv")) || sheet == "RAW") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (sheet == "HUGE")
            QVERIFY(f.resize(ReadingImport::MaxFileBytes + 1));
        else
            f.write(sheet);
    } else {
        QVERIFY(writePackage(dir.path(), path, sheet, shared));
    }
    QString got;
    try {
        got = shown(ReadingImport::readFile(path));
    } catch (const FileError& e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        got = u'!' + e.message();
    }
    if (want.startsWith(u'!'))
        QVERIFY2(got.startsWith(u'!') && got.contains(want.mid(1)), qPrintable(got.left(300)));
    else
        QCOMPARE(got, want);
}

// Duplicates name the line that counts, a stray quote costs its own line only,
// "nan", "inf" and huge numbers are refused for their line, full-width digits read.
void TestReadingImport::everyLineIsAccountedFor()
{
    TestEstate e;
    fill(e);
    ReadingSheet sheet(e.db(), e.env().rs项目());
    sheet.load(QStringLiteral("202406"));
    const QByteArray csv = "1-101,水费,500\n"     // 1: replaced by line 6
                           "1-102,水\"费,5\n"     // 2: stray quote
                           "1-103,水费,nan\n"     // 3
                           "2-101,水费,inf\n"     // 4
                           "2-102,水费,1e300\n"   // 5
                           "1-101,02,530\n"       // 6: counts
                           "2-103,水费,５４１．５\n"  // 7: full-width
                           "1-102,水费,-1e10\n";  // 8
    const ReadingImport im(sheet, ReadingImport::readCsv(csv));
    QList<QPair<int, Problem>> problems;
    for (const ReadingImport::Row& r : im.problems())
        problems << qMakePair(r.line, r.problem);
    const QList<QPair<int, Problem>> want = {{1, Problem::Duplicate}, {2, Problem::StrayQuote}, {3, Problem::NoNumber},
                                             {4, Problem::NoNumber},  {5, Problem::TooLarge},   {8, Problem::TooLarge}};
    QCOMPARE(problems, want);
    QCOMPARE(ReadingImport::reasonText(im.problems().first()), QStringLiteral("门牌号和项目重复，以第 6 行为准"));
    QCOMPARE(im.matched(), 2);
    im.apply(sheet);
    QCOMPARE(e.scalar(QStringLiteral("select count(*) from 抄表草稿")).toInt(), 2);
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("1-101"), QStringLiteral("02"))).reading, std::optional<double>(530));
    QCOMPARE(sheet.row(sheet.rowOf(QStringLiteral("2-103"), QStringLiteral("02"))).reading, std::optional<double>(541.5));
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
