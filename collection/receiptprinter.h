#pragma once

#include "collection/receipt.h"

#include <QList>
#include <QString>

class QPainter;
class QPrinter;
class QWidget;

// Paints receipt pages. "宋体" is the Song face (Noto Sans Mono CJK SC where SimSun
// is missing: a Chinese character as wide as two Latin ones). Columns are laid on a
// grid of half-width cells: a character outside ASCII takes two cells, as the
// blank-built columns of the receipt expect, so they line up even in a face whose
// glyph widths differ.
class ReceiptPrinter {
public:
    enum class Output { DefaultPrinter, Preview };

    // Paints the lines from the top left of the painter's device; each line moves
    // down by the height of its font. A text with line breaks prints as several lines.
    static void paint(QPainter& painter, const ReceiptPage& page);
    // The printer's page width in twips.
    static int pageWidthTwips(const QPrinter& printer);

    // Writes a one-page PDF. False with a message in `error` when the file cannot be written.
    static bool printToPdf(const ReceiptData& data, const QString& path, QString* error = nullptr);
    // Prints on the default printer; where none is installed, or with Output::Preview,
    // opens a print preview from which the receipt is printed or saved as PDF.
    // False with a message in `error` when printing failed.
    static bool print(const ReceiptData& data, QWidget* parent, Output output = Output::DefaultPrinter,
                      QString* error = nullptr);

    // Documents of several pages (the day's takings, statements) go the same way:
    // each page model is painted by paint(), a new sheet between pages.
    static void paintPages(QPainter& painter, QPrinter& printer, const QList<ReceiptPage>& pages);
    static bool pagesToPdf(const QList<ReceiptPage>& pages, const QString& docName, const QString& path,
                           QString* error = nullptr);
    static bool printPages(const QList<ReceiptPage>& pages, const QString& docName, QWidget* parent,
                           Output output = Output::DefaultPrinter, QString* error = nullptr);
};
