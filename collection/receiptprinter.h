#pragma once

#include "collection/receipt.h"
#include "documents/documentprinter.h"

#include <QString>

class QWidget;

// Prints the receipt: one page, laid out for the printer's width, through the
// document printer.
class ReceiptPrinter {
public:
    using Output = DocumentPrinter::Output;

    // Writes a one-page PDF. False with a message in `error` when the file cannot be written.
    static bool printToPdf(const ReceiptData& data, const QString& path, QString* error = nullptr);
    // Prints on the default printer; where none is installed, or with Output::Preview,
    // opens a print preview from which the receipt is printed or saved as PDF.
    // False with a message in `error` when printing failed.
    static bool print(const ReceiptData& data, QWidget* parent, Output output = Output::DefaultPrinter,
                      QString* error = nullptr);
};
