#pragma once

#include "accounts/reporttable.h"
#include "documents/documentpage.h"

#include <QList>
#include <QString>
#include <QStringList>

// A table printed as pages of text lines in the receipt's way: columns built with
// blanks on a grid where a character outside ASCII takes two cells. Every page
// repeats the title, the head lines and the column captions; the last page ends
// with the totals and the foot lines; each page names its number.
namespace ReportDocument {
// Display cells of a text (two per character outside ASCII).
int cells(const QString& text);
QList<DocumentPage> pages(const QString& title, const QStringList& head, const ReportTable& table,
                         const QStringList& foot, int rowsPerPage = 48);
}  // namespace ReportDocument
