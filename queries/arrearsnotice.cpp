#include "queries/arrearsnotice.h"

#include "common/dates.h"
#include "common/numbers.h"

namespace {

const QString Money = QStringLiteral("#,##0.00");

QString padRight(const QString& s, int columns)
{
    int w = 0;
    for (QChar c : s)
        w += c.unicode() >= 0x80 ? 2 : 1;
    return w >= columns ? s : s + QString(columns - w, u' ');
}

QString padLeft(const QString& s, int columns)
{
    int w = 0;
    for (QChar c : s)
        w += c.unicode() >= 0x80 ? 2 : 1;
    return w >= columns ? s : QString(columns - w, u' ') + s;
}

QString monthText(const QString& month)
{
    if (month.size() != 6)
        return month;
    return month.left(4) + QStringLiteral("年") + month.right(2) + QStringLiteral("月");
}

} // namespace

double NoticeData::unpaid() const
{
    double sum = 0;
    for (const ArrearsBoard::Month& m : months)
        sum += m.charge;
    return sum;
}

NoticeData NoticeData::forRow(Database& db, const ArrearsRow& row, const QString& receiptName,
                              const QString& noticeText, const QDate& date)
{
    NoticeData n;
    n.receiptName = receiptName;
    n.noticeText = noticeText;
    n.date = date;
    n.door = row.door;
    n.name = row.name;
    n.balance = row.balance;
    n.months = ArrearsBoard::unpaidMonths(db, row.door);
    return n;
}

QString NoticePage::title()
{
    return QStringLiteral("催缴通知单");
}

QString NoticePage::monthHeader()
{
    return padRight(QStringLiteral("月份"), 16) + padLeft(QStringLiteral("应收金额"), 16);
}

QString NoticePage::monthLine(const ArrearsBoard::Month& m)
{
    return padRight(monthText(m.month), 16) + padLeft(formatMask(m.charge, Money), 16);
}

DocumentPage NoticePage::build(const NoticeData& d, int pageWidth)
{
    DocumentPage page;
    auto line = [&](const QString& text, double size = 10, int x = 0) {
        DocumentLine l;
        l.size = size;
        l.x = x;
        l.text = text;
        page.lines << l;
    };
    const QString two = QStringLiteral("  ");
    // The heading stands where the receipt's title stands.
    line(d.receiptName, 18, pageWidth / 10 - int(d.receiptName.size()));
    line(title(), 14, pageWidth / 10 - int(d.receiptName.size()));
    line(QStringLiteral(" "), 10);
    line(two + QStringLiteral("门牌号:") + d.door + QStringLiteral("    户名: ") + d.name);
    line(QStringLiteral(" "), 10);
    line(two + QStringLiteral("截至") + chineseDate(d.date) + QStringLiteral("，您户尚有下列费用未缴:"));
    line(two + QString(40, QChar(0x2500)), 8);
    line(two + monthHeader());
    for (const ArrearsBoard::Month& m : d.months)
        line(two + monthLine(m));
    line(two + QString(40, QChar(0x2500)), 8);
    line(two + padRight(QStringLiteral("未缴合计:"), 16) + padLeft(formatMask(d.unpaid(), Money), 16));
    line(two + padRight(QStringLiteral("账户余额:"), 16) + padLeft(formatMask(d.balance, Money), 16));
    line(two + padRight(QStringLiteral("应缴总额:"), 16) + padLeft(formatMask(d.owed(), Money), 16));
    line(QStringLiteral(" "), 10);
    if (!d.noticeText.trimmed().isEmpty())
        line(two + d.noticeText);
    line(QStringLiteral(" "), 10);
    line(two + QString(40, u' ') + d.receiptName);
    line(two + QString(40, u' ') + chineseDate(d.date));
    return page;
}
