#pragma once

#include "collection/receiptprinter.h"

#include <QList>
#include <QString>
#include <functional>

class QPrinter;
class QWidget;

// Prints documents made of pages of text lines (receipts, notices) in one job,
// painted by ReceiptPrinter::paint, one page model per sheet.
class DocumentPrinter {
public:
    // The pages for a printer page width in twips.
    using Pages = std::function<QList<ReceiptPage>(int pageWidthTwips)>;

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
                      ReceiptPrinter::Output output = ReceiptPrinter::Output::DefaultPrinter,
                      QString* error = nullptr);
};
