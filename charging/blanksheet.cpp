#include "charging/blanksheet.h"

#include "charging/readingsheet.h"
#include "common/numbers.h"

#include <algorithm>

namespace {

// Display width: a CJK character takes two columns, as in the receipt's face.
int widthOf(const QString& s)
{
    int w = 0;
    for (QChar c : s)
        w += c.unicode() >= 0x2e80 ? 2 : 1;
    return w;
}

QString pad(const QString& s, int width, bool right = false)
{
    const QString fill(std::max(0, width - widthOf(s)), QLatin1Char(' '));
    return right ? fill + s : s + fill;
}

QString line(const QString& door, const QString& name, const QString& item, const QString& previous,
             const QString& reading)
{
    return pad(door, 14) + pad(name, 12) + pad(item, 14) + pad(previous, 12, true) + QStringLiteral("  ") + reading;
}

}  // namespace

namespace BlankSheet {

QStringList header()
{
    return {QStringLiteral("门牌号"), QStringLiteral("户名"), QStringLiteral("项目"), QStringLiteral("上月数"),
            QStringLiteral("本月读数")};
}

OutTable table(const ReadingSheet& sheet)
{
    OutTable t;
    t.sheetName = QStringLiteral("抄表单") + sheet.month();
    t.header = header();
    t.rows.reserve(sheet.rows().size());
    for (int i = 0; i < sheet.rows().size(); ++i) {
        const SheetRow& r = sheet.row(i);
        const BillItem& item = sheet.itemOf(i);
        t.rows.append({OutCell::ofText(r.door), OutCell::ofText(r.name), OutCell::ofText(item.name),
                       item.metered ? OutCell::ofNumber(r.previous, QStringLiteral("0.00")) : OutCell::empty(),
                       OutCell::empty()});
    }
    return t;
}

QList<DocumentPage> pages(const ReadingSheet& sheet, int pageWidthTwips, int linesPerPage)
{
    QList<DocumentPage> out;
    const int n = int(sheet.rows().size());
    const int perPage = std::max(1, linesPerPage);
    const int count = std::max(1, (n + perPage - 1) / perPage);
    for (int p = 0; p < count; ++p) {
        DocumentPage page;
        page.lines.append({QStringLiteral("宋体"), 16, false, pageWidthTwips / 10,
                           QStringLiteral("抄表单  %1").arg(sheet.month())});
        page.lines.append({QStringLiteral("宋体"), 10, false, 0,
                           QStringLiteral("第 %1 页 / 共 %2 页").arg(p + 1).arg(count)});
        const QStringList h = header();
        page.lines.append({QStringLiteral("宋体"), 10, false, 0, line(h[0], h[1], h[2], h[3], h[4])});
        page.lines.append({QStringLiteral("宋体"), 10, false, 0, QString(65, QChar(0x2500))});
        for (int i = p * perPage; i < std::min(n, (p + 1) * perPage); ++i) {
            const SheetRow& r = sheet.row(i);
            const BillItem& item = sheet.itemOf(i);
            page.lines.append({QStringLiteral("宋体"), 10, false, 0,
                               line(r.door, r.name, item.name, item.metered ? plainNumber(r.previous) : QString(),
                                    QStringLiteral("________"))});
        }
        out.append(page);
    }
    return out;
}

}  // namespace BlankSheet
