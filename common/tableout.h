#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A table handed to a spreadsheet: header captions, rows of typed cells and an
// optional totals row. Numbers stay numbers; their display format ("0.00", "0",
// "#,##0.00") travels with each cell.
struct OutCell {
    enum class Kind { Empty, Text, Number };
    Kind kind = Kind::Empty;
    QString text;
    double number = 0;
    QString format;

    static OutCell empty() { return {}; }
    static OutCell ofText(const QString& t) { return {Kind::Text, t, 0, {}}; }
    static OutCell ofNumber(double v, const QString& fmt = QStringLiteral("0.00"))
    {
        return {Kind::Number, {}, v, fmt};
    }
};

using OutRow = QList<OutCell>;

struct OutTable {
    QString sheetName;   // cut to what a worksheet name allows; empty gives "Sheet1"
    QStringList header;
    QList<OutRow> rows;
    OutRow totals;       // empty: no totals row
};

// Writes the table as an XLSX workbook of one sheet: bold header row frozen below
// it, numbers as numbers with their formats, text as text, column widths from the
// widest text (a Chinese character counts two), the totals row bold. Tables of
// more than constantMemoryRows rows are written row by row (libxlsxwriter's
// constant_memory mode). A text longer than a cell holds (32767 characters) is cut
// and ends with "……(已截断)". The workbook is written under a temporary name beside
// the file and renamed over it only when whole; on any failure FileError names the
// path, the previous file stays and no part of the new one is left.
void writeXlsx(const OutTable& table, const QString& path, int constantMemoryRows = 5000);

// Writes the table as CSV: UTF-8 with a byte-order mark, CR LF line ends, fields
// quoted where they hold a comma, quote or line break. A number is written with
// the decimals of its format and without grouping. A text that a spreadsheet would
// take for a formula, number, date or truth value is written as ="text", which
// Excel and WPS show as that text. FileError when the file cannot be written.
void writeCsv(const OutTable& table, const QString& path);

// A number as the CSV shows it: the decimals of the format, no grouping, rounded
// half away from zero. A format ending in "%" shows the number times 100 and "%".
QString csvNumber(double v, const QString& format);

// Writes <baseName>.xlsx and <baseName>.csv into the report folder (created when
// missing) and returns the path of the XLSX file. FileError on failure.
QString exportTableToReportFolder(const OutTable& table, const QString& baseName);

// The message after an export: names the XLSX file and the CSV beside it.
QString exportDoneMessage(const QString& xlsxPath);
