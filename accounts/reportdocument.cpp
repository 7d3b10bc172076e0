#include "accounts/reportdocument.h"

namespace ReportDocument {

int cells(const QString& text)
{
    int n = 0;
    for (QChar c : text)
        n += c.unicode() >= 0x80 ? 2 : 1;
    return n;
}

namespace {

QString pad(const QString& text, int width, bool right)
{
    const QString blanks(std::max(0, width - cells(text)), QLatin1Char(' '));
    return right ? blanks + text : text + blanks;
}

DocumentLine line(const QString& text, double size = 9)
{
    DocumentLine l;
    l.size = size;
    l.text = text;
    return l;
}

}  // namespace

QList<DocumentPage> pages(const QString& title, const QStringList& head, const ReportTable& table,
                         const QStringList& foot, int rowsPerPage)
{
    const int n = table.columnCount();
    QList<int> widths;
    for (int c = 0; c < n; ++c) {
        int w = cells(table.header.value(c));
        for (int r = 0; r < table.rows.size(); ++r)
            w = std::max(w, cells(table.text(r, c)));
        if (!table.totals.isEmpty())
            w = std::max(w, cells(table.text(table.totals, c)));
        widths << w;
    }
    const auto rowText = [&](const QStringList& texts) {
        QString out = QStringLiteral("  ");
        for (int c = 0; c < n; ++c)
            out += pad(texts.value(c), widths[c], table.isNumberColumn(c)) + (c + 1 < n ? QStringLiteral("  ") : QString());
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        return out;
    };
    const auto cellTexts = [&](const QVariantList& row) {
        QStringList t;
        for (int c = 0; c < n; ++c)
            t << table.text(row, c);
        return t;
    };
    int total = 2;
    for (int w : widths)
        total += w + 2;
    const QString ruler = QStringLiteral("  ") + QString((total - 2) / 2, QChar(0x2500));

    const int perPage = std::max(1, rowsPerPage);
    const int pageCount = std::max(1, int((table.rows.size() + perPage - 1) / perPage));
    QList<DocumentPage> out;
    for (int p = 0; p < pageCount; ++p) {
        DocumentPage page;
        page.lines << line(QStringLiteral("  ") + title, 14);
        for (const QString& h : head)
            page.lines << line(QStringLiteral("  ") + h, 10);
        page.lines << line(ruler) << line(rowText(table.header)) << line(ruler);
        for (int r = p * perPage; r < std::min(int(table.rows.size()), (p + 1) * perPage); ++r)
            page.lines << line(rowText(cellTexts(table.rows[r])));
        page.lines << line(ruler);
        if (p + 1 == pageCount) {
            if (!table.totals.isEmpty())
                page.lines << line(rowText(cellTexts(table.totals))) << line(ruler);
            for (const QString& f : foot)
                page.lines << line(QStringLiteral("  ") + f, 10);
        }
        page.lines << line(QStringLiteral(" "));
        page.lines << line(QStringLiteral("  第 %1 页 共 %2 页").arg(p + 1).arg(pageCount), 8);
        out << page;
    }
    return out;
}

}  // namespace ReportDocument
