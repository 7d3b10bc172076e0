#include "queries/queryexport.h"

#include "common/tableout.h"

#include "common/fileopener.h"
#include "common/gbkfile.h"
#include "common/prompter.h"
#include "common/reportfolder.h"
#include "queries/querycells.h"

#include <QDir>

namespace {

QString field(QString text, int width)
{
    // A line break inside a cell would split its row.
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString cut = leftChars(text, width);
    return cut + spaces(width - int(cut.size()));
}

}  // namespace

namespace {

// The export's lines one at a time: the header, then every row that is not blank.
class ExportLines {
public:
    explicit ExportLines(const QueryTable& table) : table_(table), columns_(table.columnCount()) {}

    // The next line and the table row it shows (-1: the header); false after the last.
    bool next(QString& line, int& row)
    {
        if (row_ < 0) {
            line.clear();
            for (const QString& caption : table_.headers())
                line += field(caption, 30);
            row = row_++;
            return true;
        }
        while (row_ < table_.rowCount()) {
            const int r = row_++;
            line = field(table_.cell(r, 0), 30);
            for (int c = 1; c < columns_; ++c)
                line += spaces(4) + field(table_.cell(r, c), 26);
            if (!QueryCells::trimBlanks(line).isEmpty()) {
                row = r;
                return true;
            }
        }
        return false;
    }

private:
    const QueryTable& table_;
    const int columns_;
    int row_ = -1;
};

}  // namespace

QStringList QueryExport::lines(const QueryTable& table, QList<int>* sourceRows)
{
    QStringList out;
    out.reserve(table.rowCount() + 1);
    if (sourceRows)
        sourceRows->clear();
    ExportLines lines(table);
    QString line;
    int row = 0;
    while (lines.next(line, row)) {
        out << line;
        if (sourceRows)
            *sourceRows << row;
    }
    return out;
}

QString QueryExport::write(const QueryTable& table, QStringList* questionMarked)
{
    const QString path = QDir(ensureReportFolder()).filePath(fileName());
    QList<int> sourceRows;
    ExportLines lines(table);
    const QList<int> replaced = writeGbkLinesFrom(path, [&](QString& line) {
        int row = 0;
        if (!lines.next(line, row))
            return false;
        sourceRows << row;
        return true;
    });
    if (questionMarked) {
        questionMarked->clear();
        for (int n : replaced) {
            const int r = sourceRows.value(n, -1);
            const QString cell = r < 0 ? QString() : QueryCells::trimBlanks(table.cell(r, 0));
            *questionMarked << (cell.isEmpty() ? QStringLiteral("第 %1 行").arg(n + 1)
                                               : QStringLiteral("第 %1 行（%2）").arg(n + 1).arg(cell));
        }
    }
    return path;
}

QString QueryExport::doneMessage()
{
    return QStringLiteral("表生成放至 ") + reportFolderForMessage() + QStringLiteral(" 下面");
}

void QueryExport::run(const QueryTable& table, Prompter& prompter, const QString& title, FileOpener& opener)
{
    QStringList questionMarked;
    const QString path = write(table, &questionMarked);
    QString message = doneMessage();
    if (!questionMarked.isEmpty())
        message += QLatin1Char('\n') + questionMarkNote(QStringLiteral("下列行"), questionMarked);
    prompter.inform(message, title, Prompter::Icon::Information);
    opener.open(path);
}

namespace {

// The display format of a numeric column, or empty for a text column.
QString columnFormat(const QString& caption)
{
    if (caption == QStringLiteral("单价"))
        return QStringLiteral("0.00000");
    if (caption == QStringLiteral("上月数") || caption == QStringLiteral("本月数"))
        return QStringLiteral("General");
    if (caption == QStringLiteral("金额") || caption == QStringLiteral("收费金额") ||
        caption == QStringLiteral("实缴金额") || caption == QStringLiteral("账户余额"))
        return QStringLiteral("#,##0.00");
    return QString();
}

}  // namespace

OutTable QueryExport::outTable(const QueryTable& table)
{
    OutTable t;
    t.sheetName = spreadsheetName();
    t.header = table.headers();
    QStringList formats;
    for (const QString& h : table.headers())
        formats << columnFormat(h);
    t.rows.reserve(table.rowCount());
    for (const QueryTable::Row& row : table.rows()) {
        if (row.kind == QueryTable::RowKind::Separator)
            continue;
        OutRow out;
        out.reserve(t.header.size());
        for (int c = 0; c < t.header.size(); ++c) {
            const QString text = row.cells.value(c);
            if (text.isEmpty()) {
                out << OutCell::empty();
                continue;
            }
            if (!formats.at(c).isEmpty()) {
                // Cells hold plain numbers; the totals row groups thousands.
                bool ok = false;
                QString digits = text;
                digits.remove(u',');
                const double v = digits.toDouble(&ok);
                if (ok) {
                    out << OutCell::ofNumber(v, formats.at(c));
                    continue;
                }
            }
            out << OutCell::ofText(text.trimmed());
        }
        if (row.kind == QueryTable::RowKind::Totals)
            t.totals = out;
        else
            t.rows << out;
    }
    return t;
}
