#pragma once

#include "queries/querytable.h"

#include <QString>
#include <QStringList>

struct OutTable;
class FileOpener;
class Prompter;

// The result table as the fixed-width text file 查询明细.txt in the report folder.
class QueryExport {
public:
    static QString fileName() { return QStringLiteral("查询明细.txt"); }

    // The header line: every caption filled or cut to 30 characters. Then one line
    // per row that is not blank: the row text in 30 characters, then for every
    // further column 4 blanks and the cell in 26 characters.
    // `sourceRows`, when given, receives the table row of every line (-1 for the header).
    static QStringList lines(const QueryTable& table, QList<int>* sourceRows = nullptr);

    // Writes the file (GBK, CR LF, replacing an old one) and returns its path.
    // `questionMarked` receives "第 n 行（row text）" for every line of the file
    // that held characters written as "?". Throws FileError.
    static QString write(const QueryTable& table, QStringList* questionMarked = nullptr);

    // "表生成放至 <folder> 下面" with the folder really used.
    static QString doneMessage();

    // The table for the spreadsheet ("查询明细.xlsx"): separator rows left out,
    // amounts, readings and prices as numbers, door numbers and months as text, the
    // totals row as totals.
    static OutTable outTable(const QueryTable& table);
    static QString spreadsheetName() { return QStringLiteral("查询明细"); }

    // write(), then the message (naming the lines written with "?"), then the file
    // opened in the viewer. Throws FileError.
    static void run(const QueryTable& table, Prompter& prompter, const QString& title, FileOpener& opener);
};
