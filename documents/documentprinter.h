#pragma once

#include "documents/documentpage.h"

#include <QList>
#include <QString>
#include <functional>

class QPainter;
class QPrinter;
class QWidget;

// Prints documents made of pages of text lines in one job, a sheet per page model.
// "宋体" is the Song face (Noto Sans Mono CJK SC where SimSun is missing: a Chinese
// character as wide as two Latin ones). Columns are laid on a grid of half-width
// cells: a character outside ASCII takes two cells, as the blank-built columns
// expect, so they line up even in a face whose glyph widths differ.
class DocumentPrinter {
public:
    enum class Output { DefaultPrinter, Preview };
    // The pages for a printer page width in twips.
    using Pages = std::function<QList<DocumentPage>(int pageWidthTwips)>;

    // Paints the lines from the top left of the painter's device; each line moves
    // down by the height of its font. Returns the height painted, in device pixels.
    static double paint(QPainter& painter, const DocumentPage& page);
    // The printer's page width in twips.
    static int pageWidthTwips(const QPrinter& printer);

    // Paints every page on `printer`, a new sheet for each; on failure puts the
    // message for a printer that did not start or did not finish in `error`.
    static bool paintOn(QPrinter& printer, const Pages& pages, const QString& startFailure,
                        const QString& endFailure, QString* error);
    // Writes one PDF of A4 pages. False with a message in `error` when the file cannot be written.
    static bool printToPdf(const Pages& pages, const QString& docName, const QString& path,
                           QString* error = nullptr);
    // Prints on the default printer in one job; where none is installed, or with
    // Output::Preview, opens a print preview from which the document is printed or
    // saved as PDF. False with a message in `error` when printing failed.
    static bool print(const Pages& pages, const QString& docName, QWidget* parent,
                      Output output = Output::DefaultPrinter, QString* error = nullptr);

    // The same for pages laid out once, whatever the printer's width.
    static bool pagesToPdf(const QList<DocumentPage>& pages, const QString& docName, const QString& path,
                           QString* error = nullptr);
    static bool printPages(const QList<DocumentPage>& pages, const QString& docName, QWidget* parent,
                           Output output = Output::DefaultPrinter, QString* error = nullptr);
};
