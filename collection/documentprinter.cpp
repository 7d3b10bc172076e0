#include "collection/documentprinter.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

// False when the printer refused a new sheet.
bool paintPages(QPainter& painter, QPrinter& printer, const QList<ReceiptPage>& pages)
{
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        ReceiptPrinter::paint(painter, pages.at(i));
    }
    return true;
}

} // namespace

bool DocumentPrinter::paintOn(QPrinter& printer, const Pages& pages, const QString& startFailure,
                              const QString& endFailure, QString* error)
{
    QPainter painter;
    const bool started = painter.begin(&printer);
    if (started) {
        const bool painted = paintPages(painter, printer, pages(ReceiptPrinter::pageWidthTwips(printer)));
        if (painter.end() && painted && printer.printerState() != QPrinter::Error)
            return true;
    }
    if (error)
        *error = started ? endFailure : startFailure;
    return false;
}

bool DocumentPrinter::printToPdf(const Pages& pages, const QString& docName, const QString& path, QString* error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(docName);
    const QString failure = QStringLiteral("无法写入文件 %1").arg(path);
    return paintOn(printer, pages, failure, failure, error);
}

bool DocumentPrinter::print(const Pages& pages, const QString& docName, QWidget* parent,
                            ReceiptPrinter::Output output, QString* error)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || output == ReceiptPrinter::Output::Preview) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(docName);
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("打印预览"));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&pages](QPrinter* p) {
            QPainter painter(p);
            paintPages(painter, *p, pages(ReceiptPrinter::pageWidthTwips(*p)));
        });
        dialog.exec();
        return true;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(docName);
    return paintOn(printer, pages, QStringLiteral("无法在打印机 %1 上打印").arg(info.printerName()),
                   QStringLiteral("打印机 %1 报告打印失败").arg(info.printerName()), error);
}
