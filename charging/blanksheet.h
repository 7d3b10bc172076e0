#pragma once

#include "documents/documentpage.h"
#include "common/tableout.h"

#include <QList>

class ReadingSheet;

// The blank reading sheet for the meter readers: door number, name, item, previous
// reading and an empty column for this month's reading, one line per sheet row.
namespace BlankSheet {
QStringList header();
// As a table for XLSX and CSV.
OutTable table(const ReadingSheet& sheet);
// As printed pages (columns built with blanks in the receipt's face), a title and
// the column header on every page.
QList<DocumentPage> pages(const ReadingSheet& sheet, int pageWidthTwips = DocumentPage::A4WidthTwips,
                         int linesPerPage = 48);
}  // namespace BlankSheet
