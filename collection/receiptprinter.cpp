#include "collection/receiptprinter.h"

namespace {

DocumentPrinter::Pages receiptPages(const ReceiptData& data)
{
    return [&data](int pageWidth) { return QList<DocumentPage>{ReceiptPage::build(data, pageWidth)}; };
}

}  // namespace

bool ReceiptPrinter::printToPdf(const ReceiptData& data, const QString& path, QString* error)
{
    return DocumentPrinter::printToPdf(receiptPages(data), data.receiptName, path, error);
}

bool ReceiptPrinter::print(const ReceiptData& data, QWidget* parent, Output output, QString* error)
{
    return DocumentPrinter::print(receiptPages(data), data.receiptName, parent, output, error);
}
