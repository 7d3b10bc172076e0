#include "collection/receiptprinter.h"

#include "collection/documentprinter.h"

#include "common/fonts.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

namespace {

void drawCells(QPainter& painter, const QFontMetricsF& fm, double x, double baseline, double cell,
               const QString& text)
{
    int col = 0;
    for (QChar c : text) {
        const int span = ReceiptPage::cells(c);
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

}  // namespace

void ReceiptPrinter::paint(QPainter& painter, const ReceiptPage& page)
{
    installSongFontSubstitution();
    QPaintDevice* device = painter.device();
    const double dpiX = device ? device->logicalDpiX() : 96;
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    double y = 0;
    for (const ReceiptLine& line : page.lines) {
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
}

int ReceiptPrinter::pageWidthTwips(const QPrinter& printer)
{
    return qRound(printer.pageLayout().fullRectPoints().width() * 20.0);
}

namespace {

DocumentPrinter::Pages receiptPages(const ReceiptData& data)
{
    return [&data](int pageWidth) { return QList<ReceiptPage>{ReceiptPage::build(data, pageWidth)}; };
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

void ReceiptPrinter::paintPages(QPainter& painter, QPrinter& printer, const QList<ReceiptPage>& pages)
{
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer.newPage();
        paint(painter, pages[i]);
    }
}

bool ReceiptPrinter::pagesToPdf(const QList<ReceiptPage>& pages, const QString& docName, const QString& path,
                                QString* error)
{
    return DocumentPrinter::printToPdf([&pages](int) { return pages; }, docName, path, error);
}

bool ReceiptPrinter::printPages(const QList<ReceiptPage>& pages, const QString& docName, QWidget* parent,
                                Output output, QString* error)
{
    return DocumentPrinter::print([&pages](int) { return pages; }, docName, parent, output, error);
}
