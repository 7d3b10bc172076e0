#include "common/tableout.h"

#include "common/gbkfile.h"
#include "common/numbers.h"
#include "common/reportfolder.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <xlsxwriter.h>

#include <algorithm>

namespace {

// Display width of a text: a character outside Latin-1 counts two columns.
int displayWidth(const QString& s)
{
    int w = 0;
    for (const QChar c : s)
        w += c.unicode() > 0xff ? 2 : 1;
    return w;
}

QString cellShownText(const OutCell& c)
{
    switch (c.kind) {
    case OutCell::Kind::Text:
        return c.text;
    case OutCell::Kind::Number:
        return formatMask(c.number, c.format.isEmpty() ? QStringLiteral("0.00") : c.format);
    case OutCell::Kind::Empty:
        break;
    }
    return {};
}

QString sheetNameOf(const QString& wanted)
{
    QString name = wanted;
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    for (QChar& c : name)
        if (forbidden.contains(c))
            c = u'_';
    name = name.left(31);
    return name.trimmed().isEmpty() ? QStringLiteral("Sheet1") : name;
}

class Workbook {
public:
    explicit Workbook(const QString& path, bool constantMemory)
    {
        lxw_workbook_options options{};
        options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
        const QByteArray tmpDir = QDir::tempPath().toUtf8();
        options.tmpdir = const_cast<char*>(tmpDir.constData());
        const QByteArray p = QFile::encodeName(path);
        wb_ = workbook_new_opt(p.constData(), &options);
        if (!wb_)
            throw FileError(QStringLiteral("无法写入文件 %1。").arg(QDir::toNativeSeparators(path)));
    }
    ~Workbook()
    {
        if (wb_) {
            // Closing frees the workbook; an unfinished file is removed by the caller.
            workbook_close(wb_);
        }
    }
    lxw_workbook* get() const { return wb_; }
    lxw_error close()
    {
        lxw_error e = workbook_close(wb_);
        wb_ = nullptr;
        return e;
    }

    lxw_format* format(const QString& numFormat, bool bold)
    {
        const QString key = numFormat + (bold ? QStringLiteral("\x01b") : QString());
        auto it = formats_.constFind(key);
        if (it != formats_.constEnd())
            return it.value();
        lxw_format* f = workbook_add_format(wb_);
        if (!numFormat.isEmpty())
            format_set_num_format(f, numFormat.toUtf8().constData());
        if (bold)
            format_set_bold(f);
        formats_.insert(key, f);
        return f;
    }

private:
    lxw_workbook* wb_ = nullptr;
    QHash<QString, lxw_format*> formats_;
};

void writeRow(lxw_worksheet* ws, Workbook& book, lxw_row_t r, const OutRow& row, bool bold)
{
    for (int c = 0; c < row.size(); ++c) {
        const OutCell& cell = row.at(c);
        const auto col = static_cast<lxw_col_t>(c);
        switch (cell.kind) {
        case OutCell::Kind::Text:
            worksheet_write_string(ws, r, col, cell.text.toUtf8().constData(), book.format({}, bold));
            break;
        case OutCell::Kind::Number:
            worksheet_write_number(ws, r, col, cell.number,
                                   book.format(cell.format.isEmpty() ? QStringLiteral("0.00") : cell.format, bold));
            break;
        case OutCell::Kind::Empty:
            if (bold)
                worksheet_write_blank(ws, r, col, book.format({}, true));
            break;
        }
    }
}

} // namespace

void writeXlsx(const OutTable& table, const QString& path, int constantMemoryRows)
{
    // Widths first: constant_memory mode writes rows as they come.
    int columns = table.header.size();
    for (const OutRow& row : table.rows)
        columns = std::max(columns, int(row.size()));
    columns = std::max(columns, int(table.totals.size()));
    QList<int> widths(columns, 0);
    auto widen = [&](int c, const QString& s) { widths[c] = std::max(widths[c], displayWidth(s)); };
    for (int c = 0; c < table.header.size(); ++c)
        widen(c, table.header.at(c));
    // A sample bounds the cost on long listings; later rows rarely hold wider cells.
    const int sample = std::min<int>(table.rows.size(), 2000);
    for (int r = 0; r < sample; ++r)
        for (int c = 0; c < table.rows.at(r).size(); ++c)
            widen(c, cellShownText(table.rows.at(r).at(c)));
    for (int c = 0; c < table.totals.size(); ++c)
        widen(c, cellShownText(table.totals.at(c)));

    QFile::remove(path);
    Workbook book(path, table.rows.size() > constantMemoryRows);
    lxw_worksheet* ws =
        workbook_add_worksheet(book.get(), sheetNameOf(table.sheetName).toUtf8().constData());
    for (int c = 0; c < columns; ++c) {
        const double w = std::clamp(widths[c] + 2, 6, 60);
        worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), w, nullptr);
    }
    worksheet_freeze_panes(ws, 1, 0);

    lxw_format* headFormat = book.format({}, true);
    for (int c = 0; c < table.header.size(); ++c)
        worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), table.header.at(c).toUtf8().constData(),
                               headFormat);
    lxw_row_t r = 1;
    for (const OutRow& row : table.rows)
        writeRow(ws, book, r++, row, false);
    if (!table.totals.isEmpty())
        writeRow(ws, book, r, table.totals, true);

    const lxw_error e = book.close();
    if (e != LXW_NO_ERROR) {
        QFile::remove(path);
        throw FileError(QStringLiteral("无法写入文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(lxw_strerror(e))));
    }
}

QString csvNumber(double v, const QString& format)
{
    if (!format.contains(u'0') && !format.contains(u'#'))
        return plainNumber(v); // "General"
    if (format.endsWith(u'%'))
        return csvNumber(v * 100, format.chopped(1)) + u'%';
    const int dot = format.indexOf(u'.');
    int decimals = 0;
    if (dot >= 0)
        for (int i = dot + 1; i < format.size() && (format.at(i) == u'0' || format.at(i) == u'#'); ++i)
            ++decimals;
    const QString mask = decimals ? QStringLiteral("0.") + QString(decimals, u'0') : QStringLiteral("0");
    return formatMask(v, mask);
}

namespace {

QString csvField(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

QString csvLine(const QList<QString>& fields)
{
    QString line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i)
            line += u',';
        line += csvField(fields.at(i));
    }
    return line + QStringLiteral("\r\n");
}

QString csvLine(const OutRow& row)
{
    QList<QString> fields;
    fields.reserve(row.size());
    for (const OutCell& c : row) {
        switch (c.kind) {
        case OutCell::Kind::Text:
            fields << c.text;
            break;
        case OutCell::Kind::Number:
            fields << csvNumber(c.number, c.format.isEmpty() ? QStringLiteral("0.00") : c.format);
            break;
        case OutCell::Kind::Empty:
            fields << QString();
            break;
        }
    }
    return csvLine(fields);
}

} // namespace

void writeCsv(const OutTable& table, const QString& path)
{
    QByteArray out("\xEF\xBB\xBF");
    out += csvLine(QList<QString>(table.header.begin(), table.header.end())).toUtf8();
    for (const OutRow& row : table.rows)
        out += csvLine(row).toUtf8();
    if (!table.totals.isEmpty())
        out += csvLine(table.totals).toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        throw FileError(QStringLiteral("无法写入文件 %1。").arg(QDir::toNativeSeparators(path)));
}

QString exportTableToReportFolder(const OutTable& table, const QString& baseName)
{
    const QString folder = ensureReportFolder();
    const QString xlsx = folder + u'/' + baseName + QStringLiteral(".xlsx");
    writeXlsx(table, xlsx);
    writeCsv(table, folder + u'/' + baseName + QStringLiteral(".csv"));
    return xlsx;
}

QString exportDoneMessage(const QString& xlsxPath)
{
    QString csv = xlsxPath;
    csv.replace(csv.size() - 5, 5, QStringLiteral(".csv"));
    return QStringLiteral("表格已导出至 %1\n(CSV 文件: %2)")
        .arg(QDir::toNativeSeparators(xlsxPath), QDir::toNativeSeparators(csv));
}
