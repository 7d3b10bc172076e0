#include "collection/cmoney.h"

#include "common/numbers.h"

#include <cmath>

namespace CMoney {

namespace {

const QString kDigits[10] = {
    QStringLiteral("零"), QStringLiteral("壹"), QStringLiteral("贰"), QStringLiteral("叁"),
    QStringLiteral("肆"), QStringLiteral("伍"), QStringLiteral("陆"), QStringLiteral("柒"),
    QStringLiteral("捌"), QStringLiteral("玖"),
};
const QString kZero = QStringLiteral("零");

QString numeral(QChar digit)
{
    return kDigits[digit.unicode() - u'0'];
}

// One group of up to four digits, built from the right. A zero digit puts "零" in
// front unless the text already begins with one; a zero thousands digit does so only
// when `zeroThousands` is set. One final "零" is removed.
QString groupText(const QString& digits, bool zeroThousands)
{
    static const QString kPositions[4] = {QString(), QStringLiteral("拾"), QStringLiteral("佰"),
                                          QStringLiteral("仟")};
    const qsizetype n = digits.size();
    QString text;
    for (qsizetype k = 0; k < n && k < 4; ++k) {
        const QChar d = digits[n - 1 - k];
        if (k == 0) {
            text = numeral(d);
        } else if (d != u'0') {
            text.prepend(numeral(d) + kPositions[k]);
        } else if (!text.startsWith(kZero) && (k < 3 || zeroThousands)) {
            text.prepend(kZero);
        }
    }
    if (text.endsWith(kZero))
        text.chop(1);
    return text;
}

// Integer digits below 100 000 000: the lower group and the 万 group in front of it.
QString belowYi(const QString& digits, bool inner)
{
    const QString lower = groupText(digits.right(4), true);
    QString upper;
    if (digits.size() > 4) {
        upper = groupText(digits.left(digits.size() - 4), inner);
        if (!upper.isEmpty())
            upper += QStringLiteral("万");
    }
    QString text = upper + lower;
    // Below a 亿 group, a gap before the first digit is read as "零".
    if (inner && !text.isEmpty() && !text.startsWith(kZero)
        && (digits.size() < 8 || digits[0] == u'0'))
        text.prepend(kZero);
    return text;
}

QString integerText(const QString& digits)
{
    if (digits.size() <= 8)
        return belowYi(digits, false);
    const QString high = integerText(digits.left(digits.size() - 8));
    return high + QStringLiteral("亿") + belowYi(digits.right(8), true);
}

} // namespace

QString CapitalDigit(double digit)
{
    for (int i = 0; i < 10; ++i)
        if (digit == i)
            return kDigits[i];
    return QString();
}

QString CapitalAmount(double amount)
{
    if (!std::isfinite(amount))
        return QString();
    if (amount == 0)
        return QStringLiteral(" ");
    if (amount < 0)
        return QStringLiteral("负") + CapitalAmount(-amount);

    const QString text = plainNumber(amount).trimmed();
    const qsizetype point = text.indexOf(u'.');

    QString decimals;
    if (point >= 0) {
        const QString after = text.mid(point + 1);
        if (after.size() >= 1 && after[0] != u'0')
            decimals += numeral(after[0]) + QStringLiteral("角");
        if (after.size() >= 2)
            decimals += numeral(after[1]) + QStringLiteral("分");
    }

    const QString integer = integerText(point >= 0 ? text.left(point) : text);
    if (integer.isEmpty())
        return decimals;
    return integer + QStringLiteral("元") + decimals;
}

QString CapitalAmount(const QVariant& amount)
{
    if (amount.isNull())
        return CapitalAmount(0.0);
    if (amount.typeId() == QMetaType::QString)
        return CapitalAmount(typedNumber(amount.toString()));
    return CapitalAmount(amount.toDouble());
}

} // namespace CMoney
