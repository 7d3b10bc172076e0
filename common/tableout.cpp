#include "common/tableout.h"

#include "common/gbkfile.h"
#include "common/numbers.h"
#include "common/reportfolder.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

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

// The longest text a cell holds; a longer one is cut and ends with the mark.
constexpr qsizetype kCellChars = 32767;
const QString kCutMark = QStringLiteral("……(已截断)");

QByteArray cellUtf8(const QString& s)
{
    if (s.size() <= kCellChars)
        return s.toUtf8();
    qsizetype keep = kCellChars - kCutMark.size();
    if (s.at(keep - 1).isHighSurrogate())
        --keep;
    return (s.left(keep) + kCutMark).toUtf8();
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
    }
    ~Workbook()
    {
        if (wb_) {
            // Closing frees the workbook; an unfinished file is removed by the caller.
            workbook_close(wb_);
        }
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;
    lxw_workbook* get() const { return wb_; }
    lxw_error close()
    {
        lxw_error e = workbook_close(wb_);
        wb_ = nullptr;
        return e;
    }
    // The first failure of a write; the file is refused when there was one.
    void check(lxw_error e)
    {
        if (e != LXW_NO_ERROR && error_ == LXW_NO_ERROR)
            error_ = e;
    }
    lxw_error error() const { return error_; }

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
    lxw_error error_ = LXW_NO_ERROR;
    QHash<QString, lxw_format*> formats_;
};

void writeRow(lxw_worksheet* ws, Workbook& book, lxw_row_t r, const OutRow& row, bool bold)
{
    for (int c = 0; c < row.size(); ++c) {
        const OutCell& cell = row.at(c);
        const auto col = static_cast<lxw_col_t>(c);
        switch (cell.kind) {
        case OutCell::Kind::Text:
            book.check(worksheet_write_string(ws, r, col, cellUtf8(cell.text).constData(), book.format({}, bold)));
            break;
        case OutCell::Kind::Number:
            book.check(worksheet_write_number(ws, r, col, cell.number,
                                              book.format(cell.format.isEmpty() ? QStringLiteral("0.00") : cell.format, bold)));
            break;
        case OutCell::Kind::Empty:
            if (bold)
                book.check(worksheet_write_blank(ws, r, col, book.format({}, true)));
            break;
        }
    }
}

// Moves the finished file over the old one in one step.
bool replaceFile(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
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

    // The workbook is written under a temporary name beside the file and takes the
    // file's name only when whole: until then the previous export stays.
    auto refuse = [&path](const QString& why) {
        return FileError(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), why));
    };
    const QFileInfo target(path);
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.completeBaseName() +
                           QStringLiteral("-XXXXXX.tmp"));
    reserve.setAutoRemove(true);
    if (!reserve.open())
        throw refuse(reserve.errorString());
    const QString tmp = reserve.fileName();
    reserve.close();
    QFile::remove(tmp);  // the workbook creates it anew, with the usual permissions

    {
        Workbook book(tmp, table.rows.size() > constantMemoryRows);
        if (!book.get())
            throw refuse(QStringLiteral("无法建立工作簿"));
        lxw_worksheet* ws = workbook_add_worksheet(book.get(), sheetNameOf(table.sheetName).toUtf8().constData());
        if (!ws)
            throw refuse(QStringLiteral("无法建立工作表"));
        for (int c = 0; c < columns; ++c) {
            const double w = std::clamp(widths[c] + 2, 6, 60);
            book.check(worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), w, nullptr));
        }
        worksheet_freeze_panes(ws, 1, 0);

        lxw_format* headFormat = book.format({}, true);
        for (int c = 0; c < table.header.size(); ++c)
            book.check(worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), cellUtf8(table.header.at(c)).constData(),
                                              headFormat));
        lxw_row_t r = 1;
        for (const OutRow& row : table.rows)
            writeRow(ws, book, r++, row, false);
        if (!table.totals.isEmpty())
            writeRow(ws, book, r, table.totals, true);

        const lxw_error written = book.error();
        const lxw_error closed = book.close();
        const lxw_error e = written != LXW_NO_ERROR ? written : closed;
        if (e != LXW_NO_ERROR)
            throw refuse(QString::fromUtf8(lxw_strerror(e)));
    }
    if (!replaceFile(tmp, path))
        throw refuse(QString::fromLocal8Bit(std::strerror(errno)));
    reserve.setAutoRemove(false);
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

// A character that may stand in a text that a spreadsheet reads as a number, a
// date or a time: ASCII, the full-width forms, the ideographic blank and the
// characters of Chinese dates and times.
bool mayFormNumberOrDate(QChar c)
{
    static const QString dateChars = QStringLiteral("年月日时分秒上下午");
    const char16_t u = c.unicode();
    return u < 0x80 || (u >= 0xFF01 && u <= 0xFF5E) || u == 0x3000 || dateChars.contains(c);
}

// Whether a spreadsheet opening the CSV would take this text for something else:
// a formula (first character =, +, -, @, a tab or a carriage return), a number (a
// door "0101" loses its zero, 18 digits turn into 1.23E+17), a date or time ("3-12",
// "2024年6月") or a truth value.
bool spreadsheetMisreads(const QString& s)
{
    if (s.isEmpty())
        return false;
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    if (formulaStart.contains(s.front()))
        return true;
    const QString t = s.trimmed();
    if (t.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
        t.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
        return true;
    bool digit = false;
    for (const QChar c : s) {
        if (!mayFormNumberOrDate(c))
            return false;
        digit = digit || c.isDigit();
    }
    return digit;
}

// Formulas hold text constants of at most 255 characters and are at most 8192 long.
constexpr qsizetype kFormulaConstant = 255;
constexpr qsizetype kFormulaLength = 8192;

// A text cell of the CSV written so that Excel and WPS show it as the text it is:
// such a text becomes the formula ="text" (long texts as ="…"&"…"), whose value is
// the text itself; a quote inside is doubled. A formula-like text too long for a
// formula starts with an apostrophe instead.
QString csvText(const QString& s)
{
    if (!spreadsheetMisreads(s))
        return s;
    QString f = QStringLiteral("=");
    for (qsizetype at = 0; at < s.size();) {
        qsizetype n = std::min(kFormulaConstant, s.size() - at);
        if (at + n < s.size() && s.at(at + n - 1).isHighSurrogate())
            --n;
        QString part = s.mid(at, n);
        part.replace(u'"', QStringLiteral("\"\""));
        if (at > 0)
            f += u'&';
        f += u'"' + part + u'"';
        at += n;
        if (f.size() > kFormulaLength)
            return u'\'' + s;
    }
    return f;
}

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
            fields << csvText(c.text);
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
    QList<QString> header;
    for (const QString& h : table.header)
        header << csvText(h);
    out += csvLine(header).toUtf8();
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
