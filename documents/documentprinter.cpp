#include "documents/documentprinter.h"

#include "common/fonts.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

namespace {

void drawCells(QPainter& painter, const QFontMetricsF& fm, double x, double baseline, double cell,
               const QString& text)
{
    int col = 0;
    for (QChar c : text) {
        const int span = DocumentPage::cells(c);
        if (c != QLatin1Char(' ')) {
            const double room = cell * span;
            const double advance = fm.horizontalAdvance(c);
            const double left = x + col * cell;
            if (advance > room + 0.01) {
                // A glyph wider than its cells is narrowed to fit them.
                painter.save();
                painter.translate(left, baseline);
                painter.scale(room / advance, 1.0);
                painter.drawText(QPointF(0, 0), QString(c));
                painter.restore();
            } else {
                painter.drawText(QPointF(left + (room - advance) / 2, baseline), QString(c));
            }
        }
        col += span;
    }
}

// False when the printer refused a new sheet.
bool paintPages(QPainter& painter, QPrinter& printer, const QList<DocumentPage>& pages)
{
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        DocumentPrinter::paint(painter, pages.at(i));
    }
    return true;
}

}  // namespace

double DocumentPrinter::paint(QPainter& painter, const DocumentPage& page)
{
    installSongFontSubstitution();
    QPaintDevice* device = painter.device();
    const double dpiX = device ? device->logicalDpiX() : 96;
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    double y = 0;
    for (const DocumentLine& line : page.lines) {
        QFont font(line.font);
        font.setPointSizeF(line.size);
        font.setItalic(line.italic);
        font.setWeight(QFont::Normal);
        painter.setFont(font);
        const QFontMetricsF fm(font, device);
        const double cell = fm.horizontalAdvance(QChar(0x4E2D)) / 2;
        const double x = line.x * dpiX / 1440.0;
        for (const QString& part : line.text.split(breaks)) {
            drawCells(painter, fm, x, y + fm.ascent(), cell, part);
            y += fm.height();
        }
    }
    return y;
}

int DocumentPrinter::pageWidthTwips(const QPrinter& printer)
{
    return qRound(printer.pageLayout().fullRectPoints().width() * 20.0);
}

bool DocumentPrinter::paintOn(QPrinter& printer, const Pages& pages, const QString& startFailure,
                              const QString& endFailure, QString* error)
{
    QPainter painter;
    const bool started = painter.begin(&printer);
    if (started) {
        const bool painted = paintPages(painter, printer, pages(pageWidthTwips(printer)));
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

bool DocumentPrinter::print(const Pages& pages, const QString& docName, QWidget* parent, Output output,
                            QString* error)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || output == Output::Preview) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(docName);
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("打印预览"));
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&pages](QPrinter* p) {
            QPainter painter(p);
            paintPages(painter, *p, pages(pageWidthTwips(*p)));
        });
        dialog.exec();
        return true;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(docName);
    return paintOn(printer, pages, QStringLiteral("无法在打印机 %1 上打印").arg(info.printerName()),
                   QStringLiteral("打印机 %1 报告打印失败").arg(info.printerName()), error);
}

bool DocumentPrinter::pagesToPdf(const QList<DocumentPage>& pages, const QString& docName, const QString& path,
                                 QString* error)
{
    return printToPdf([&pages](int) { return pages; }, docName, path, error);
}

bool DocumentPrinter::printPages(const QList<DocumentPage>& pages, const QString& docName, QWidget* parent,
                                 Output output, QString* error)
{
    return print([&pages](int) { return pages; }, docName, parent, output, error);
}
