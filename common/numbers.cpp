#include "common/numbers.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <string>

namespace {

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Decimal digits of a finite, non-negative number, split at the decimal point.
// The integer part has no leading zeros (empty for a value below 1).
struct Fixed {
    std::string intDigits;
    std::string fracDigits;
};

Fixed fixedForm(double v)
{
    // 15 significant digits: d.dddddddddddddde±x
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string text(buf, res.ptr);
    const auto ePos = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
    const int exp10 = std::stoi(text.substr(ePos + 1));

    Fixed f;
    if (digits.find_first_not_of('0') == std::string::npos)
        return f;
    if (exp10 >= 0) {
        const std::size_t intLen = std::size_t(exp10) + 1;
        if (digits.size() <= intLen) {
            f.intDigits = digits + std::string(intLen - digits.size(), '0');
        } else {
            f.intDigits = digits.substr(0, intLen);
            f.fracDigits = digits.substr(intLen);
        }
    } else {
        f.fracDigits = std::string(std::size_t(-exp10 - 1), '0') + digits;
    }
    return f;
}

// Rounds half away from zero to `decimals` places; fracDigits then has exactly that
// many digits.
void roundTo(Fixed& f, int decimals)
{
    const std::size_t keep = std::size_t(decimals);
    bool up = f.fracDigits.size() > keep && f.fracDigits[keep] >= '5';
    if (f.fracDigits.size() > keep)
        f.fracDigits.resize(keep);
    else
        f.fracDigits.append(keep - f.fracDigits.size(), '0');
    if (!up)
        return;
    std::string all = f.intDigits + f.fracDigits;
    int i = int(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[std::size_t(i)] == '9') {
            all[std::size_t(i)] = '0';
        } else {
            ++all[std::size_t(i)];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    const std::size_t intLen = all.size() - keep;
    f.intDigits = all.substr(0, intLen);
    f.fracDigits = all.substr(intLen);
    const auto nz = f.intDigits.find_first_not_of('0');
    f.intDigits = nz == std::string::npos ? std::string() : f.intDigits.substr(nz);
}

bool allZero(const Fixed& f)
{
    return f.intDigits.find_first_not_of('0') == std::string::npos
        && f.fracDigits.find_first_not_of('0') == std::string::npos;
}

struct Mask {
    QString prefix;
    QString suffix;
    int minIntDigits = 0;
    bool grouping = false;
    bool point = false;
    int minDecimals = 0;
    int maxDecimals = 0;
};

Mask parseMask(const QString& mask)
{
    Mask m;
    bool inNumber = false;
    bool afterNumber = false;
    bool afterPoint = false;
    auto literal = [&](const QString& s) {
        if (inNumber)
            afterNumber = true;
        (afterNumber ? m.suffix : m.prefix) += s;
    };
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == u'"') {
            const qsizetype end = mask.indexOf(u'"', i + 1);
            const qsizetype stop = end < 0 ? mask.size() : end;
            literal(mask.mid(i + 1, stop - i - 1));
            i = stop;
        } else if (c == u'\\' && i + 1 < mask.size()) {
            literal(QString(mask[++i]));
        } else if (!afterNumber && (c == u'#' || c == u'0' || c == u',' || c == u'.')) {
            inNumber = true;
            if (c == u'.') {
                if (afterPoint)
                    literal(QStringLiteral("."));
                m.point = true;
                afterPoint = true;
            } else if (afterPoint) {
                if (c == u'0') {
                    ++m.minDecimals;
                    ++m.maxDecimals;
                } else if (c == u'#') {
                    ++m.maxDecimals;
                }
            } else if (c == u'0') {
                ++m.minIntDigits;
            } else if (c == u',') {
                m.grouping = true;
            }
        } else {
            literal(QString(c));
        }
    }
    return m;
}

QString grouped(const std::string& digits)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u',';
        out += QChar(digits[std::size_t(i)]);
    }
    return out;
}

// Saturating accumulation of a decimal exponent.
void addExponentDigit(long long& e, int d)
{
    if (e < 100000000)
        e = e * 10 + d;
}

} // namespace

double typedNumber(const QString& answer)
{
    std::string mantissa;    // digits only, with the point placed by pointPos
    bool negative = false;
    bool seenDigit = false;
    bool seenPoint = false;
    long long leadingFracZeros = 0;  // zeros after the point before the first non-zero digit
    long long intSignificant = 0;    // integer digits from the first non-zero one
    std::string intPart, fracPart;
    long long exponent = 0;
    bool negativeExponent = false;

    qsizetype i = 0;
    const qsizetype n = answer.size();
    auto skip = [&] {
        while (i < n && isSkipped(answer[i]))
            ++i;
    };

    skip();
    if (i < n && (answer[i] == u'-' || answer[i] == u'+')) {
        negative = answer[i] == u'-';
        ++i;
    }
    for (;;) {
        skip();
        if (i >= n)
            break;
        const QChar c = answer[i];
        if (isAsciiDigit(c)) {
            seenDigit = true;
            (seenPoint ? fracPart : intPart) += char(c.unicode());
            ++i;
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            ++i;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;

    // Exponent: only when digits follow the letter (and its sign).
    if (i < n) {
        const QChar c = answer[i];
        if (c == u'e' || c == u'E' || c == u'd' || c == u'D') {
            qsizetype j = i + 1;
            auto skipAt = [&] {
                while (j < n && isSkipped(answer[j]))
                    ++j;
            };
            skipAt();
            bool neg = false;
            if (j < n && (answer[j] == u'-' || answer[j] == u'+')) {
                neg = answer[j] == u'-';
                ++j;
            }
            long long e = 0;
            bool any = false;
            for (;;) {
                skipAt();
                if (j < n && isAsciiDigit(answer[j])) {
                    addExponentDigit(e, answer[j].unicode() - u'0');
                    any = true;
                    ++j;
                } else {
                    break;
                }
            }
            if (any) {
                exponent = e;
                negativeExponent = neg;
            }
        }
    }

    const auto intNz = intPart.find_first_not_of('0');
    intSignificant = intNz == std::string::npos ? 0 : (long long)(intPart.size() - intNz);
    const auto fracNz = fracPart.find_first_not_of('0');
    if (intSignificant == 0 && fracNz == std::string::npos)
        return 0.0;
    leadingFracZeros = fracNz == std::string::npos ? 0 : (long long)fracNz;

    // Decimal magnitude of the first significant digit, to tell overflow from underflow.
    const long long e = negativeExponent ? -exponent : exponent;
    const long long magnitude = (intSignificant > 0 ? intSignificant - 1 : -(leadingFracZeros + 1)) + e;
    if (magnitude > 308 + 1) {
        return negative ? -DBL_MAX : DBL_MAX;
    }
    if (magnitude < -400)
        return 0.0;

    mantissa = (intPart.empty() ? std::string("0") : intPart);
    if (!fracPart.empty())
        mantissa += "." + fracPart;
    mantissa += "e" + std::to_string(e);
    double value = 0.0;
    const auto res = std::from_chars(mantissa.data(), mantissa.data() + mantissa.size(), value);
    if (res.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? DBL_MAX : 0.0;
    if (!std::isfinite(value))
        value = DBL_MAX;
    if (value == 0.0)
        return 0.0;
    return negative ? -value : value;
}

double typedNumber(const std::optional<QString>& answer)
{
    return answer ? typedNumber(*answer) : 0.0;
}

double storedNumber(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return 0.0;
    if (v.typeId() == QMetaType::QString)
        return typedNumber(v.toString());
    return v.toDouble();
}

QString formatMask(double v, const QString& mask)
{
    if (!std::isfinite(v))
        return QString();
    const Mask m = parseMask(mask);
    Fixed f = fixedForm(std::fabs(v));
    roundTo(f, m.maxDecimals);
    const bool negative = v < 0 && !allZero(f);

    // Optional decimals ("#" after the point) drop their trailing zeros.
    while (int(f.fracDigits.size()) > m.minDecimals && !f.fracDigits.empty()
           && f.fracDigits.back() == '0')
        f.fracDigits.pop_back();

    std::string intDigits = f.intDigits;
    if (int(intDigits.size()) < m.minIntDigits)
        intDigits.insert(0, std::size_t(m.minIntDigits) - intDigits.size(), '0');

    QString out;
    if (negative)
        out += u'-';
    out += m.prefix;
    out += m.grouping ? grouped(intDigits) : QString::fromLatin1(intDigits);
    if (m.point) {
        out += u'.';
        out += QString::fromLatin1(f.fracDigits);
    }
    out += m.suffix;
    return out;
}

QString formatMask(const QVariant& v, const QString& mask)
{
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok ? formatMask(d, mask) : v.toString();
    }
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? formatMask(d, mask) : v.toString();
}

namespace {

// Nine decimals are far below any amount, price or reading the office writes, and
// above the noise of binary arithmetic.
double roundedToNine(double v)
{
    if (!std::isfinite(v))
        return v;
    // The exact binary value rounded to nine decimals, read back.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 9);
    double out = v;
    std::from_chars(buf, res.ptr, out);
    return out;
}

}  // namespace

QString plainNumber(double v)
{
    if (!std::isfinite(v))
        return QString();
    v = roundedToNine(v);
    Fixed f = fixedForm(std::fabs(v));
    while (!f.fracDigits.empty() && f.fracDigits.back() == '0')
        f.fracDigits.pop_back();
    if (allZero(f))
        return QStringLiteral("0");
    QString out;
    if (v < 0)
        out += u'-';
    out += f.intDigits.empty() ? QStringLiteral("0") : QString::fromLatin1(f.intDigits);
    if (!f.fracDigits.empty()) {
        out += u'.';
        out += QString::fromLatin1(f.fracDigits);
    }
    return out;
}

QString plainNumber(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("0");
    if (v.typeId() == QMetaType::QString)
        return plainNumber(typedNumber(v.toString()));
    return plainNumber(v.toDouble());
}

QString narrowDigits(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19)  // ０-９
            c = QChar(u'0' + (u - 0xFF10));
        else if (u == 0xFF0E)  // ．
            c = QLatin1Char('.');
        else if (u == 0xFF0D || u == 0x2212)  // － and the minus sign
            c = QLatin1Char('-');
        else if (u == 0xFF0B)  // ＋
            c = QLatin1Char('+');
        else if (u == 0x3000)  // ideographic blank
            c = QLatin1Char(' ');
    }
    return out;
}

std::optional<double> boxNumber(const QString& text)
{
    const QString t = narrowDigits(text).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Only a plain decimal form; QString::toDouble would also take "inf" and "nan".
    for (const QChar c : t)
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'+' && c != u'e' && c != u'E')
            return std::nullopt;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d == 0 ? 0.0 : d;
}

QString notANumberText(const QString& caption, const QString& text)
{
    return QStringLiteral("%1：“%2”不是数字，原来的值没有改动，请重新输入。").arg(caption, text);
}
