#include "queries/arrearsnotice.h"

#include "common/dates.h"
#include "common/numbers.h"
#include "store/database.h"

#include <QRegularExpression>

#include <algorithm>

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

std::optional<NoticeData> NoticeData::read(Database& db, const QString& door, const QString& receiptName,
                                           const QString& noticeText, const QDate& date)
{
    // One transaction, so that the balance and the months are of the same moment.
    Transaction together(db);
    Statement st = db.prepare(QStringLiteral("select 户名, ifnull(账户余额, 0) from 档案库 where 门牌号 = ?1"));
    st.bind(1, door);
    if (!st.step())
        return std::nullopt;
    NoticeData n;
    n.receiptName = receiptName;
    n.noticeText = noticeText;
    n.date = date;
    n.door = door;
    n.name = st.value(0).toString();
    n.balance = st.value(1).toDouble();
    n.months = ArrearsBoard::unpaidMonths(db, door);
    together.commit();
    ArrearsRow row;
    row.unpaidMonths = int(n.months.size());
    row.unpaid = n.unpaid();
    row.balance = n.balance;
    if (!ArrearsBoard::owes(row))
        return std::nullopt;
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

QStringList NoticePage::wrap(const QString& text, int cells, int indent)
{
    QStringList out;
    QString piece;
    int used = 0;
    const int width = std::max(cells, indent + 2);
    for (QChar c : text) {
        const int w = DocumentPage::cells(c);
        if (used + w > width && used > (out.isEmpty() ? 0 : indent)) {
            out << piece;
            piece = QString(indent, u' ');
            used = indent;
        }
        piece += c;
        used += w;
    }
    out << piece;
    return out;
}

QList<DocumentPage> NoticePage::pages(const NoticeData& d, int pageWidth, int pageLines)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    // Half-width cells of 10 points across the page's printable width (the margins
    // take up to a tenth of each side).
    const int across = std::max(40, pageWidth * 8 / 10 / 100);
    const QString two = QStringLiteral("  ");
    // The heading stands where the receipt's title stands.
    const int titleX = pageWidth / 10 - int(d.receiptName.size());
    const QString ruler = two + QString(40, QChar(0x2500));

    auto line = [](QList<DocumentLine>& to, const QString& text, double size = 10, int x = 0) {
        DocumentLine l;
        l.size = size;
        l.x = x;
        l.text = text;
        to << l;
    };
    // Height in lines of 10 points.
    auto height = [](const QList<DocumentLine>& lines) {
        double h = 0;
        for (const DocumentLine& l : lines)
            h += l.size / 10.0 * (l.text.count(u'\n') + 1);
        return h;
    };

    const QString doorText = two + QStringLiteral("门牌号:") + d.door + QStringLiteral("    户名: ");
    const QStringList who = wrap(doorText + d.name, across, std::min(DocumentPage::cells(doorText), across / 2));

    QList<DocumentLine> head;
    line(head, d.receiptName, 18, titleX);
    line(head, title(), 14, titleX);
    line(head, QStringLiteral(" "));
    for (const QString& w : who)
        line(head, w);
    line(head, QStringLiteral(" "));
    line(head, two + QStringLiteral("截至") + chineseDate(d.date) + QStringLiteral("，您户尚有下列费用未缴:"));
    line(head, ruler, 8);
    line(head, two + monthHeader());

    QList<DocumentLine> nextHead;
    line(nextHead, d.receiptName, 18, titleX);
    line(nextHead, title() + QStringLiteral("（续）"), 14, titleX);
    line(nextHead, QStringLiteral(" "));
    for (const QString& w : who)
        line(nextHead, w);
    line(nextHead, ruler, 8);
    line(nextHead, two + monthHeader());

    QList<DocumentLine> foot;
    line(foot, ruler, 8);
    line(foot, two + padRight(QStringLiteral("未缴合计:"), 16) + padLeft(formatMask(d.unpaid(), Money), 16));
    line(foot, two + padRight(QStringLiteral("账户余额:"), 16) + padLeft(formatMask(d.balance, Money), 16));
    line(foot, two + padRight(QStringLiteral("应缴总额:"), 16) + padLeft(formatMask(d.owed(), Money), 16));
    line(foot, QStringLiteral(" "));
    if (!d.noticeText.trimmed().isEmpty())
        for (const QString& part : d.noticeText.split(breaks))
            for (const QString& w : wrap(two + part, across, 2))
                line(foot, w);
    line(foot, QStringLiteral(" "));
    line(foot, two + QString(40, u' ') + d.receiptName);
    line(foot, two + QString(40, u' ') + chineseDate(d.date));

    auto monthLines = [&](QList<DocumentLine>& to, qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            line(to, two + monthLine(d.months.at(i)));
    };
    QList<QList<DocumentLine>> bodies;
    const qsizetype months = d.months.size();
    if (height(head) + months + height(foot) <= pageLines) {
        QList<DocumentLine> body = head;
        monthLines(body, 0, months);
        bodies << body + foot;
    } else {
        const double numbering = 1.6;  // a blank and the page number, 8 points each
        const double goesOn = 1.8;     // the ruler and "（续下页）"
        qsizetype next = 0;
        for (;;) {
            QList<DocumentLine> body = bodies.isEmpty() ? head : nextHead;
            const qsizetype left = months - next;
            if (height(body) + left + height(foot) + numbering <= pageLines) {
                monthLines(body, next, left);
                bodies << body + foot;
                break;
            }
            // At least one month per page (progress); one stays for the totals' page.
            const auto room = qsizetype(pageLines - height(body) - goesOn - numbering);
            const qsizetype take = std::max<qsizetype>(1, std::min(left - 1, room));
            monthLines(body, next, take);
            next += take;
            line(body, ruler, 8);
            line(body, two + QStringLiteral("（续下页）"));
            bodies << body;
        }
    }

    QList<DocumentPage> out;
    for (int p = 0; p < bodies.size(); ++p) {
        DocumentPage page;
        page.lines = bodies.at(p);
        if (bodies.size() > 1) {
            line(page.lines, QStringLiteral(" "), 8);
            line(page.lines, two + QStringLiteral("第 %1 页 共 %2 页").arg(p + 1).arg(bodies.size()), 8);
        }
        out << page;
    }
    return out;
}
