#include "charging/readingimport.h"

#include "charging/readingsheet.h"
#include "common/gbkfile.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <unzip.h>

namespace {

std::optional<double> number(const QString& text, bool* ok)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char(','));
    bool good = false;
    const double v = t.toDouble(&good);
    *ok = good;
    return good ? std::optional<double>(v) : std::nullopt;
}

[[noreturn]] void fail(const QString& path, const QString& why)
{
    throw FileError(QStringLiteral("%1：%2").arg(path, why));
}

// An XLSX package opened with minizip, the zip library libxlsxwriter links too.
class Package {
public:
    explicit Package(const QString& path) : zip_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Package()
    {
        if (zip_)
            unzClose(zip_);
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;
    bool isOpen() const { return zip_ != nullptr; }

    // The named entry's bytes; empty when it is missing or unreadable.
    QByteArray entry(const QString& name)
    {
        if (!zip_ || unzLocateFile(zip_, name.toUtf8().constData(), 1) != UNZ_OK ||
            unzOpenCurrentFile(zip_) != UNZ_OK)
            return {};
        QByteArray out;
        char buf[65536];
        int n = 0;
        while ((n = unzReadCurrentFile(zip_, buf, sizeof buf)) > 0) {
            if (out.size() + n > kMaxEntry) {  // no reading sheet is this large
                unzCloseCurrentFile(zip_);
                return {};
            }
            out.append(buf, n);
        }
        // A bad checksum or a broken stream reads as a missing entry.
        if (unzCloseCurrentFile(zip_) != UNZ_OK || n < 0)
            return {};
        return out;
    }

private:
    static constexpr qsizetype kMaxEntry = qsizetype(512) * 1024 * 1024;
    unzFile zip_;
};

// "BC12" → 54 (0-based column of a cell reference).
int columnOf(QStringView ref)
{
    int c = 0;
    for (QChar ch : ref) {
        if (!ch.isLetter())
            break;
        c = c * 26 + (ch.toUpper().unicode() - 'A' + 1);
    }
    return c - 1;
}

}  // namespace

QList<QStringList> ReadingImport::readFile(const QString& path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return readXlsx(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(path, f.errorString());
    return readCsv(f.readAll());
}

QList<QStringList> ReadingImport::readCsv(const QByteArray& raw)
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
    // Fields split by commas (by tabs when the first line has tabs and no comma);
    // quotes around a field keep its commas and line ends, "" is a quote.
    const int firstEnd = text.indexOf(QLatin1Char('\n'));
    const QString first = text.left(firstEnd < 0 ? text.size() : firstEnd);
    const QChar sep = first.contains(QLatin1Char('\t')) && !first.contains(QLatin1Char(',')) ? QLatin1Char('\t')
                                                                                                : QLatin1Char(',');
    QList<QStringList> out;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == sep) {
            row << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            row << field;
            out << row;
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        row << field;
        out << row;
    }
    return out;
}

QList<QStringList> ReadingImport::readXlsx(const QString& path)
{
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

    QStringList shared;
    {
        QXmlStreamReader x(zip.entry(QStringLiteral("xl/sharedStrings.xml")));
        QString current;
        bool inSi = false;
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::StartElement && x.name() == QLatin1String("si")) {
                inSi = true;
                current.clear();
            } else if (t == QXmlStreamReader::StartElement && x.name() == QLatin1String("t") && inSi) {
                current += x.readElementText();
            } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("si")) {
                shared << current;
                inSi = false;
            }
        }
    }

    const QByteArray sheet = zip.entry(sheetPath);
    if (sheet.isEmpty())
        fail(path, QStringLiteral("找不到第一张工作表"));
    QList<QStringList> out;
    QXmlStreamReader x(sheet);
    QStringList row;
    int rowNumber = 0;
    QString type;
    int column = 0;
    while (!x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::StartElement) {
            if (x.name() == QLatin1String("row")) {
                const int r = x.attributes().value(QLatin1String("r")).toInt();
                // Rows left out of the file are empty lines.
                while (r > 0 && rowNumber + 1 < r) {
                    out << QStringList();
                    ++rowNumber;
                }
                row.clear();
            } else if (x.name() == QLatin1String("c")) {
                const QXmlStreamAttributes attributes = x.attributes();
                type = attributes.value(QLatin1String("t")).toString();
                const QStringView ref = attributes.value(QLatin1String("r"));
                column = ref.isEmpty() ? int(row.size()) : columnOf(ref);
            } else if (x.name() == QLatin1String("v") || (x.name() == QLatin1String("t") && type == QLatin1String("inlineStr"))) {
                QString v = x.readElementText();
                if (type == QLatin1String("s"))
                    v = shared.value(v.toInt());
                while (row.size() <= column)
                    row << QString();
                row[column] = v;
            }
        } else if (t == QXmlStreamReader::EndElement && x.name() == QLatin1String("row")) {
            out << row;
            ++rowNumber;
        }
    }
    if (x.hasError())
        fail(path, x.errorString());
    return out;
}

QString ReadingImport::problemText(Problem p)
{
    switch (p) {
    case Problem::NoHousehold: return QStringLiteral("没有这个门牌号");
    case Problem::NoItem: return QStringLiteral("没有这个抄表项目");
    case Problem::NoNumber: return QStringLiteral("读数不是数字");
    case Problem::None: break;
    }
    return QString();
}

ReadingImport::ReadingImport(const ReadingSheet& sheet, const QList<QStringList>& table)
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
        const QStringList& h = table.first();
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

    for (int l = 0; l < table.size(); ++l) {
        const QStringList& cells = table[l];
        Row r;
        r.line = l + 1;
        r.door = cells.value(doorCol).trimmed();
        r.item = cells.value(itemCol).trimmed();
        r.text = cells.value(readingCol).trimmed();
        if (r.door.isEmpty() && r.item.isEmpty() && r.text.isEmpty())
            continue;  // an empty line
        bool ok = false;
        r.value = number(r.text, &ok);
        if (l == 0 && !ok && !doors.contains(r.door))
            continue;  // the header
        if (!doors.contains(r.door))
            r.problem = Problem::NoHousehold;
        else if (!itemNo.contains(r.item))
            r.problem = Problem::NoItem;
        else if (!ok)
            r.problem = Problem::NoNumber;
        else {
            r.sheetRow = sheet.rowOf(r.door, itemNo.value(r.item));
            if (r.sheetRow < 0)
                r.problem = Problem::NoItem;
            else
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
