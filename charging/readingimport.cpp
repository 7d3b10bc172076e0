#include "charging/readingimport.h"

#include "charging/readingsheet.h"
#include "common/gbkfile.h"
#include "common/numbers.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <unzip.h>

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void fail(const QString& path, const QString& why)
{
    throw FileError(QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(path), why));
}

QString tooLarge()
{
    return QStringLiteral("大于 %1 MB，不是抄表读数文件").arg(ReadingImport::MaxFileBytes / (1024 * 1024));
}

QString tooManyCells()
{
    return QStringLiteral("单元格超过 %1 个，不是抄表读数文件").arg(ReadingImport::MaxCells);
}

// An XLSX package opened with minizip, the zip library libxlsxwriter links too.
class Package {
public:
    explicit Package(const QString& path) : path_(path), zip_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Package()
    {
        if (zip_)
            unzClose(zip_);
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;
    bool isOpen() const { return zip_ != nullptr; }

    // The named part's bytes; empty when it is missing. A part that unpacks past
    // the limit is refused while it unpacks; a broken one is an error.
    QByteArray entry(const QString& name)
    {
        if (!zip_ || unzLocateFile(zip_, name.toUtf8().constData(), 1) != UNZ_OK)
            return {};
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
            unzOpenCurrentFile(zip_) != UNZ_OK)
            fail(path_, QStringLiteral("%1 无法解压").arg(name));
        if (info.uncompressed_size > quint64(ReadingImport::MaxFileBytes)) {
            unzCloseCurrentFile(zip_);
            fail(path_, QStringLiteral("%1 解压后%2").arg(name, tooLarge()));
        }
        QByteArray out;
        out.reserve(qsizetype(info.uncompressed_size));
        char buf[65536];
        int n = 0;
        while ((n = unzReadCurrentFile(zip_, buf, sizeof buf)) > 0) {
            // The size in the header may lie: count what really comes out.
            if (out.size() + n > ReadingImport::MaxFileBytes) {
                unzCloseCurrentFile(zip_);
                fail(path_, QStringLiteral("%1 解压后%2").arg(name, tooLarge()));
            }
            out.append(buf, n);
        }
        if (unzCloseCurrentFile(zip_) != UNZ_OK || n < 0)
            fail(path_, QStringLiteral("%1 已损坏，无法解压").arg(name));
        return out;
    }

private:
    QString path_;
    unzFile zip_;
};

constexpr int kLastColumn = 16384;  // XFD

// The 0-based column of a cell reference ("BC12" → 54, "$A$1" → 0); -1 when it
// names no column up to XFD followed by a row number.
int columnOf(QStringView ref)
{
    int c = 0, letters = 0, i = 0;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    for (; i < ref.size(); ++i) {
        const char16_t u = QChar(ref[i]).toUpper().unicode();
        if (u < u'A' || u > u'Z')
            break;
        if (++letters > 3)
            return -1;
        c = c * 26 + (u - u'A' + 1);
    }
    if (letters == 0 || c > kLastColumn)
        return -1;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    if (i >= ref.size())
        return -1;
    for (; i < ref.size(); ++i)
        if (ref[i] < u'0' || ref[i] > u'9')
            return -1;
    return c - 1;
}

// A number cell as a spreadsheet shows it: "1.5E+3" is 1500.
QString numberCell(const QString& v)
{
    bool ok = false;
    const double d = v.trimmed().toDouble(&ok);
    return ok && std::isfinite(d) ? plainNumber(d) : v;
}

// The text of a string item (<si> or <is>): every run, phonetic runs left out.
// The reader stands on the item's start element and ends on its end element.
QString stringItem(QXmlStreamReader& x)
{
    QString text;
    int phonetic = 0;
    const QString end = x.name().toString();
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (x.name() == QLatin1String("t") && phonetic == 0)
                text += x.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (t == QXmlStreamReader::EndElement) {
            if (x.name() == QLatin1String("rPh"))
                --phonetic;
            else if (x.name() == end)
                break;
        }
    }
    return text;
}

// The text of a cell that the table writer wrote as ="text" (or ="…"&"…") so that a
// spreadsheet shows it as text; any other field as it stands.
QString formulaText(const QString& field)
{
    if (!field.startsWith(QLatin1String("=\"")) || !field.endsWith(u'"'))
        return field;
    QString out;
    qsizetype i = 1;
    while (i < field.size()) {
        if (field[i] != u'"')
            return field;
        for (++i;; ++i) {
            if (i >= field.size())
                return field;
            if (field[i] == u'"') {
                if (i + 1 < field.size() && field[i + 1] == u'"') {
                    out += u'"';
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            out += field[i];
        }
        if (i < field.size()) {
            if (field[i] != u'&')
                return field;
            ++i;
        }
    }
    return out;
}

}  // namespace

QList<ReadingImport::Line> ReadingImport::readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(path, f.errorString());
    if (f.size() > MaxFileBytes)
        fail(path, tooLarge());
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        f.close();
        return readXlsx(path);
    }
    try {
        return readCsv(f.read(MaxFileBytes + 1));
    } catch (const FileError& e) {
        fail(path, e.message());
    }
}

QList<ReadingImport::Line> ReadingImport::readCsv(const QByteArray& raw)
{
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        QStringDecoder gbk("GBK");
        text = gbk.decode(bytes);
    }
    // Fields split by commas (by tabs when the first line has tabs and no comma).
    // A quote at the start of a field quotes it: its commas and line ends are text,
    // "" is a quote. Any other quote is stray: it stays as text and its line is
    // marked; a quote that is never closed is stray too, and the lines after it are
    // read as lines.
    const qsizetype firstEnd = text.indexOf(QLatin1Char('\n'));
    const QString first = text.left(firstEnd < 0 ? text.size() : firstEnd);
    const QChar sep = first.contains(QLatin1Char('\t')) && !first.contains(QLatin1Char(',')) ? QLatin1Char('\t')
                                                                                                : QLatin1Char(',');
    QList<Line> out;
    Line line;
    line.number = 1;
    QString field;
    qint64 cells = 0;
    bool quoted = false, afterQuote = false, any = false;
    qsizetype quoteAt = -1;           // where the open quoted field started
    qsizetype literalQuote = -1;      // an unclosed quote, read again as text
    Line lineAtQuote;
    QString fieldAtQuote;
    auto endField = [&] {
        if (++cells > MaxCells)
            throw FileError(tooManyCells());
        line.cells << formulaText(field);
        field.clear();
        afterQuote = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                    afterQuote = true;
                }
            } else {
                field += c;
            }
            if (quoted && i + 1 >= text.size()) {
                // The end of the file inside quotes: the quote was stray.
                literalQuote = quoteAt;
                i = quoteAt - 1;
                line = lineAtQuote;
                field = fieldAtQuote;
                quoted = false;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty() && !afterQuote && i != literalQuote) {
            quoted = true;
            any = true;
            quoteAt = i;
            lineAtQuote = line;
            fieldAtQuote = field;
            if (i + 1 >= text.size()) {
                line.strayQuote = true;
                field += c;
                quoted = false;
            }
        } else if (c == sep) {
            endField();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endField();
            const int next = line.number + 1;
            out << line;
            line = Line();
            line.number = next;
            any = false;
        } else {
            if (c == QLatin1Char('"') || afterQuote)
                line.strayQuote = true;
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        endField();
        out << line;
    }
    return out;
}

QList<ReadingImport::Line> ReadingImport::readXlsx(const QString& path)
{
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.size() > MaxFileBytes)
            fail(path, tooLarge());
    }
    Package zip(path);
    if (!zip.isOpen())
        fail(path, QStringLiteral("不是可以读取的 XLSX 文件"));

    // The first sheet of the workbook, through its relationship.
    QString sheetPath = QStringLiteral("xl/worksheets/sheet1.xml");
    {
        QString rid;
        QXmlStreamReader wb(zip.entry(QStringLiteral("xl/workbook.xml")));
        while (!wb.atEnd() && rid.isEmpty())
            if (wb.readNext() == QXmlStreamReader::StartElement && wb.name() == QLatin1String("sheet"))
                for (const QXmlStreamAttribute& a : wb.attributes())
                    if (a.name() == QLatin1String("id"))
                        rid = a.value().toString();
        QXmlStreamReader rels(zip.entry(QStringLiteral("xl/_rels/workbook.xml.rels")));
        while (!rid.isEmpty() && !rels.atEnd())
            if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == QLatin1String("Relationship") &&
                rels.attributes().value(QLatin1String("Id")) == rid) {
                QString target = rels.attributes().value(QLatin1String("Target")).toString();
                sheetPath = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
                break;
            }
    }
    const QByteArray shared = zip.entry(QStringLiteral("xl/sharedStrings.xml"));
    const QByteArray sheet = zip.entry(sheetPath);
    if (sheet.isEmpty())
        fail(path, QStringLiteral("找不到第一张工作表"));
    return readSheetXml(sheet, shared, path);
}

QList<ReadingImport::Line> ReadingImport::readSheetXml(const QByteArray& sheet, const QByteArray& sharedXml,
                                                       const QString& path)
{
    qint64 cells = 0;
    QStringList shared;
    if (!sharedXml.isEmpty()) {
        QXmlStreamReader x(sharedXml);
        while (!x.atEnd()) {
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("si")) {
                if (++cells > MaxCells)
                    fail(path, tooManyCells());
                shared << stringItem(x);
            }
        }
        if (x.hasError())
            fail(path, QStringLiteral("共享字符串（xl/sharedStrings.xml）不完整或不是 XML：第 %1 行：%2")
                           .arg(x.lineNumber())
                           .arg(x.errorString()));
    }

    QList<Line> out;
    QXmlStreamReader x(sheet);
    Line line;
    bool inRow = false;
    qint64 lastRow = 0;
    QString type, ref;
    int column = -1;
    bool inCell = false;
    auto put = [&](const QString& value) {
        if (!inRow || !inCell || column < 0)
            return;  // a value outside a cell
        cells += qMax<qsizetype>(1, column + 1 - line.cells.size());
        if (cells > MaxCells)
            fail(path, tooManyCells());
        while (line.cells.size() <= column)
            line.cells << QString();
        line.cells[column] = value;
    };
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("row")) {
                // Rows left out are not lines: a gap stays a gap.
                const QString r = x.attributes().value(QLatin1String("r")).toString();
                bool ok = true;
                const qint64 n = r.isEmpty() ? lastRow + 1 : r.toLongLong(&ok);
                if (!ok || n < 1 || n > std::numeric_limits<int>::max())
                    fail(path, QStringLiteral("第一张工作表的行号“%1”不正确").arg(r.left(40)));
                lastRow = n;
                line = Line();
                line.number = int(n);
                inRow = true;
                inCell = false;  // a row that starts inside a cell leaves it
                column = -1;
            } else if (x.name() == QLatin1String("c")) {
                const QXmlStreamAttributes attributes = x.attributes();
                type = attributes.value(QLatin1String("t")).toString();
                ref = attributes.value(QLatin1String("r")).toString();
                column = ref.isEmpty() ? column + 1 : columnOf(ref);
                inCell = true;
                if (column < 0 || column >= kLastColumn)
                    fail(path, QStringLiteral("第一张工作表第 %1 行的单元格“%2”位置不正确")
                                   .arg(lastRow)
                                   .arg(ref.left(40)));
            } else if (x.name() == QLatin1String("is")) {
                put(stringItem(x));
            } else if (x.name() == QLatin1String("v")) {
                QString v = x.readElementText(QXmlStreamReader::IncludeChildElements);
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int k = v.trimmed().toInt(&ok);
                    if (!ok || k < 0 || k >= shared.size())
                        fail(path, QStringLiteral("第一张工作表的单元格 %1 引用的共享字符串 %2 不存在")
                                       .arg(ref.isEmpty() ? QString::number(column + 1) : ref.left(40), v.left(40)));
                    v = shared.at(k);
                } else if (type.isEmpty() || type == QLatin1String("n")) {
                    v = numberCell(v);
                }
                put(v);
            }
        } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("c")) {
            inCell = false;
        } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("row")) {
            out << line;
            inRow = false;
            inCell = false;
        }
    }
    if (x.hasError())
        fail(path, QStringLiteral("第一张工作表不完整或不是 XML：第 %1 行：%2").arg(x.lineNumber()).arg(x.errorString()));
    return out;
}

QString ReadingImport::problemText(Problem p)
{
    switch (p) {
    case Problem::NoHousehold: return QStringLiteral("没有这个门牌号");
    case Problem::NoItem: return QStringLiteral("没有这个抄表项目");
    case Problem::NoNumber: return QStringLiteral("读数不是数字");
    case Problem::TooLarge: return QStringLiteral("读数超出可能的范围");
    case Problem::Duplicate: return QStringLiteral("门牌号和项目重复");
    case Problem::StrayQuote: return QStringLiteral("引号不成对");
    case Problem::None: break;
    }
    return QString();
}

QString ReadingImport::reasonText(const Row& r)
{
    if (r.problem == Problem::Duplicate)
        return QStringLiteral("门牌号和项目重复，以第 %1 行为准").arg(r.countedLine);
    return problemText(r.problem);
}

ReadingImport::ReadingImport(const ReadingSheet& sheet, const QList<Line>& table)
{
    // Items by number and by name; only the items of the sheet take a reading.
    QHash<QString, QString> itemNo;
    for (const BillItem& item : sheet.items())
        if (item.needsNumber()) {
            itemNo.insert(item.no.toString(), item.no.toString());
            if (!itemNo.contains(item.name))
                itemNo.insert(item.name, item.no.toString());
        }
    QHash<QString, int> doors;
    for (int i = 0; i < sheet.households().size(); ++i)
        doors.insert(sheet.households()[i].door, i);

    // Columns door, item, reading; a header that names them (as the blank sheet's
    // does: 门牌号, 户名, 项目, 上月数, 本月读数) places them instead.
    int doorCol = 0, itemCol = 1, readingCol = 2;
    if (!table.isEmpty()) {
        const QStringList& h = table.first().cells;
        auto find = [&h](std::initializer_list<const char16_t*> names) {
            for (int c = 0; c < h.size(); ++c)
                for (const char16_t* n : names)
                    if (h[c].trimmed() == QString::fromUtf16(n))
                        return c;
            return -1;
        };
        const int d = find({u"门牌号"}), i = find({u"项目", u"项目名", u"项目号"}),
                  v = find({u"本月读数", u"本月数", u"读数"});
        if (d >= 0 && i >= 0 && v >= 0) {
            doorCol = d;
            itemCol = i;
            readingCol = v;
        }
    }

    QHash<int, int> bySheetRow;  // sheet row → index in rows_ of the line that counts
    for (int l = 0; l < table.size(); ++l) {
        const QStringList& cells = table[l].cells;
        Row r;
        r.line = table[l].number;
        r.door = cells.value(doorCol).trimmed();
        r.item = cells.value(itemCol).trimmed();
        r.text = cells.value(readingCol).trimmed();
        if (r.door.isEmpty() && r.item.isEmpty() && r.text.isEmpty() && !table[l].strayQuote)
            continue;  // an empty line
        const ReadingText n = readingNumber(r.text);
        if (n.kind == ReadingText::Kind::Number || n.kind == ReadingText::Kind::TooLarge)
            r.value = n.value;
        if (l == 0 && n.kind != ReadingText::Kind::Number && !doors.contains(r.door))
            continue;  // the header
        if (table[l].strayQuote)
            r.problem = Problem::StrayQuote;
        else if (!doors.contains(r.door))
            r.problem = Problem::NoHousehold;
        else if (!itemNo.contains(r.item))
            r.problem = Problem::NoItem;
        else if (n.kind == ReadingText::Kind::TooLarge)
            r.problem = Problem::TooLarge;
        else if (n.kind != ReadingText::Kind::Number)
            r.problem = Problem::NoNumber;
        else {
            r.sheetRow = sheet.rowOf(r.door, itemNo.value(r.item));
            if (r.sheetRow < 0)
                r.problem = Problem::NoItem;
        }
        if (r.problem == Problem::None) {
            // The later line counts; the earlier one is reported as its duplicate.
            const auto earlier = bySheetRow.constFind(r.sheetRow);
            if (earlier != bySheetRow.constEnd()) {
                Row& e = rows_[earlier.value()];
                e.problem = Problem::Duplicate;
                e.countedLine = r.line;
                --matched_;
            }
            bySheetRow.insert(r.sheetRow, int(rows_.size()));
            ++matched_;
        }
        rows_ << r;
    }
}

QList<ReadingImport::Row> ReadingImport::problems() const
{
    QList<Row> out;
    for (const Row& r : rows_)
        if (r.problem != Problem::None)
            out << r;
    return out;
}

void ReadingImport::apply(ReadingSheet& sheet) const
{
    QList<int> rows;
    QList<std::optional<double>> values;
    for (const Row& r : rows_)
        if (r.problem == Problem::None) {
            rows << r.sheetRow;
            values << r.value;
        }
    sheet.setReadingsAt(rows, values);
}
