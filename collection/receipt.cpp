#include "collection/receipt.h"

#include "collection/cmoney.h"
#include "common/dates.h"
#include "common/numbers.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <algorithm>

namespace {

QString blanks(qsizetype n)
{
    return n > 0 ? QString(n, QLatin1Char(' ')) : QString();
}

bool isEmpty(const QVariant& v)
{
    return v.isNull() || !v.isValid();
}

QString text(const QVariant& v)
{
    return isEmpty(v) ? QString() : v.toString();
}

// A number without a mask; empty stays empty.
QString plain(const QVariant& v)
{
    if (isEmpty(v))
        return QString();
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return plainNumber(v.toDouble());
}

QString masked(const QVariant& v, const QString& mask)
{
    return formatMask(v, mask);  // null gives an empty text
}

QString dateText(const QVariant& v)
{
    if (isEmpty(v))
        return QString();
    const QDate d = parseStoredDate(v);
    return d.isValid() ? shortDate(d) : v.toString();
}

}  // namespace

std::optional<ReceiptData> ReceiptData::fromCurrent(DataEnvironment& data, const AppContext& app, bool paid,
                                                    const QString& remarks)
{
    RecordSet& bill = data.rs缴费历史();
    RecordSet& household = data.rs档案();
    if (!bill.hasCurrent() || !household.hasCurrent())
        return std::nullopt;
    ReceiptData r;
    r.paid = paid;
    r.remarks = remarks;
    r.receiptName = app.receiptName;
    r.noticeText = app.noticeText;
    r.month = bill.value(QStringLiteral("月份"));
    r.door = bill.value(QStringLiteral("门牌号"));
    r.paidOn = bill.value(QStringLiteral("缴费时间"));
    r.charge = bill.value(QStringLiteral("收费金额"));
    r.balance = bill.value(QStringLiteral("账户余额"));
    r.cash = bill.value(QStringLiteral("实缴金额"));
    r.name = household.value(QStringLiteral("户名"));
    r.area = household.value(QStringLiteral("面积"));

    RecordSet& metered = data.rs收费2();
    for (int i = 0; i < metered.count(); ++i)
        r.metered.append({metered.valueAt(i, QStringLiteral("项目名")), metered.valueAt(i, QStringLiteral("本月数")),
                          metered.valueAt(i, QStringLiteral("上月数")), metered.valueAt(i, QStringLiteral("单价")),
                          metered.valueAt(i, QStringLiteral("收费金额"))});
    RecordSet& fixed = data.rs收费1();
    for (int i = 0; i < fixed.count(); ++i)
        r.fixed.append({fixed.valueAt(i, QStringLiteral("项目名")), fixed.valueAt(i, QStringLiteral("收费金额"))});
    return r;
}

QString ReceiptPage::ruler()
{
    return QString(65, QChar(0x2500));
}

QString ReceiptPage::columnHeader()
{
    const QString names = QStringLiteral("收费项目") + blanks(11) + QStringLiteral("本月数") + blanks(3) +
                          QStringLiteral("上月数") + blanks(4) + QStringLiteral("单价") + blanks(8) +
                          QStringLiteral("金额");
    return names + blanks(10) + QStringLiteral("|") + names + blanks(1);
}

QString ReceiptPage::meteredSegment(const ReceiptData::Metered& m)
{
    const QString name = text(m.name);
    // The name's blanks count two columns for every character of the stored name; a
    // half-width character of the printed name (the brackets of "(按面积)") takes one,
    // and gets its second column back as a blank, so that the columns stay straight.
    const QString shown = name.trimmed();
    const auto narrow = std::count_if(shown.begin(), shown.end(), [](QChar c) { return cells(c) == 1; });
    const QString current = plain(m.current);
    const QString previous = plain(m.previous);
    const QString price = masked(m.price, QStringLiteral("#,##0.00000"));
    const QString amount = masked(m.amount, QStringLiteral("#,##0.00"));
    return shown + blanks(20 - 2 * name.size() + narrow) + current + blanks(10 - current.size()) + previous +
           blanks(10 - previous.size()) + price + blanks(10 - price.size()) + amount + blanks(14 - amount.size());
}

QString ReceiptPage::fixedSegment(const ReceiptData::Fixed& f)
{
    const QString name = text(f.name);
    const QString s = name + QStringLiteral(":") + masked(f.amount, QStringLiteral("#,##0.0000")) +
                      blanks(30 - 2 * name.size());
    return s.left(30) + blanks(4);
}

QString ReceiptPage::cashLine(const QVariant& cash)
{
    QString figure = masked(cash, QStringLiteral("#,##0.00"));
    if (figure.isEmpty() || figure.endsWith(QLatin1String(".00")))
        figure = masked(cash, QStringLiteral("#,###"));
    QString plainFigure = figure;
    plainFigure.remove(QLatin1Char(','));
    const QString capital = figure.isEmpty() ? CMoney::CapitalAmount(QVariant(QString()))
                                             : CMoney::CapitalAmount(typedNumber(plainFigure));
    return figure + QStringLiteral("  大写:") + capital;
}

QString ReceiptPage::makerCredit()
{
    return QStringLiteral("Fenwary 收费管理系统 · Fenwary 开发组制作");
}

ReceiptPage ReceiptPage::build(const ReceiptData& d, int pageWidth)
{
    ReceiptPage page;
    double size = 18;
    bool italic = false;
    auto print = [&](const QString& t, int x = 0) {
        page.lines.append({QStringLiteral("宋体"), size, italic, x, t});
    };
    const QString two = blanks(2);

    // 1-2. Title and an empty line in the title font.
    print(d.receiptName + (d.paid ? QStringLiteral("(已缴)") : QStringLiteral("(未缴)")),
          pageWidth / 10 - int(d.receiptName.size()));
    print(QString());

    // 3. Header line.
    size = 10;
    const QString month = text(d.month);
    print(two + QStringLiteral("月份:") + month.left(4) + QStringLiteral("年") + month.right(2) + QStringLiteral("月") +
          blanks(10) + QStringLiteral("门牌号:") + text(d.door) + QStringLiteral("    姓名: ") + text(d.name) +
          QStringLiteral("  住房面积:") + plain(d.area) + QStringLiteral("平米    缴费日期:") + dateText(d.paidOn));

    // 4. Rulers around the column header.
    size = 8;
    print(two + ruler());
    print(two + columnHeader());
    print(two + ruler());

    // Segments side by side, perRow to a printed row, `between` after each but the
    // row's last; a row left part-filled is printed too.
    auto printRows = [&](const QStringList& segments, int perRow, const QString& between) {
        QString row = two;
        int inRow = 0;
        for (const QString& segment : segments) {
            row += segment;
            if (++inRow < perRow) {
                row += between;
            } else {
                print(row);
                row = two;
                inRow = 0;
            }
        }
        if (inRow > 0)
            print(row);
    };

    // 5. Metered lines, two to a row.
    QStringList metered;
    for (const ReceiptData::Metered& m : d.metered)
        metered << meteredSegment(m);
    printRows(metered, 2, QStringLiteral("|"));

    // 6.
    print(two + ruler());

    // 7. Fixed lines, three to a row.
    QStringList fixed;
    for (const ReceiptData::Fixed& f : d.fixed)
        fixed << fixedSegment(f);
    printRows(fixed, 3, QString());

    // 8.
    print(two + ruler());

    // 9. Totals; the last figure is the balance before this settlement.
    size = 10;
    QVariant before;
    if (!isEmpty(d.balance) && !isEmpty(d.charge) && !isEmpty(d.cash))
        before = storedNumber(d.balance) + storedNumber(d.charge) - storedNumber(d.cash);
    print(two + QStringLiteral("应收合计：") + masked(d.charge, QStringLiteral("#,##0.00")) + blanks(10) +
          QStringLiteral("账户余额:") + masked(d.balance, QStringLiteral("#,##0.000")) + blanks(10) +
          QStringLiteral("原账户余额:") + masked(before, QStringLiteral("#,##0.000")));

    // 10. Cash in figures and in capitals: whole yuan as "#,###", cash with fractions
    // of a yuan to the fen; the capitals state the figure shown.
    print(two + QStringLiteral("实缴现金:") + cashLine(d.cash));

    // 11-13. Remarks, a blank line, the notice.
    if (!d.remarks.trimmed().isEmpty())
        print(two + d.remarks);
    print(blanks(1));
    if (!d.noticeText.trimmed().isEmpty())
        print(two + d.noticeText);

    // 14-17. Maker credit, ruler, signature fields.
    size = 8;
    italic = true;
    print(blanks(65) + makerCredit());
    italic = false;
    size = 8;
    print(two + ruler());
    print(blanks(1));
    size = 10;
    print(two + QStringLiteral("经办人:") + blanks(15) + QStringLiteral("收款人:") + blanks(25) +
          QStringLiteral("收款单位盖章"));
    return page;
}

