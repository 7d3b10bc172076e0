#include "store/criterion.h"

#include <algorithm>
#include <cmath>

namespace {

bool isNumeric(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

// Text compares as the Jet engine compares it: ASCII letters without case.
QString foldAscii(QString s)
{
    for (QChar& c : s)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + 32);
    return s;
}

bool equalValues(const QVariant& field, const QVariant& wanted)
{
    if (field.isNull() || !field.isValid() || wanted.isNull() || !wanted.isValid())
        return false;
    if (isNumeric(wanted) || isNumeric(field)) {
        bool a = true, b = true;
        const double x = isNumeric(field) ? field.toDouble() : field.toString().toDouble(&a);
        const double y = isNumeric(wanted) ? wanted.toDouble() : wanted.toString().toDouble(&b);
        if (a && b)
            return x == y;
    }
    return foldAscii(field.toString()) == foldAscii(wanted.toString());
}

QString quoteIdent(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

class Parser {
public:
    explicit Parser(const QString& t) : s(t) {}

    Criterion run()
    {
        Criterion c;
        skip();
        if (pos >= s.size())
            return c;
        for (;;) {
            c &= term();
            skip();
            if (pos >= s.size())
                break;
            if (!keyword(QStringLiteral("and")))
                fail(QStringLiteral("expected 'and'"));
        }
        return c;
    }

private:
    const QString& s;
    int pos = 0;

    [[noreturn]] void fail(const QString& why) const
    {
        throw CriterionError(QStringLiteral("条件有误: %1 (位置 %2)").arg(why).arg(pos).toStdString());
    }
    void skip()
    {
        while (pos < s.size() && s[pos].isSpace())
            ++pos;
    }
    bool keyword(const QString& k)
    {
        skip();
        if (s.mid(pos, k.size()).compare(k, Qt::CaseInsensitive) != 0)
            return false;
        const int end = pos + int(k.size());
        if (end < s.size() && (s[end].isLetterOrNumber() || s[end] == QLatin1Char('_')))
            return false;
        pos = end;
        return true;
    }
    QString ident()
    {
        skip();
        if (pos < s.size() && s[pos] == QLatin1Char('[')) {
            const int end = int(s.indexOf(QLatin1Char(']'), pos));
            if (end < 0)
                fail(QStringLiteral("unclosed ["));
            QString name = s.mid(pos + 1, end - pos - 1);
            pos = end + 1;
            return name;
        }
        const int start = pos;
        while (pos < s.size() && (s[pos].isLetterOrNumber() || s[pos] == QLatin1Char('_')))
            ++pos;
        if (pos == start)
            fail(QStringLiteral("expected a column name"));
        return s.mid(start, pos - start);
    }
    QString quoted()
    {
        skip();
        if (pos >= s.size() || s[pos] != QLatin1Char('\''))
            fail(QStringLiteral("expected a quoted value"));
        ++pos;
        QString out;
        for (;;) {
            if (pos >= s.size())
                fail(QStringLiteral("unclosed quote"));
            if (s[pos] == QLatin1Char('\'')) {
                if (pos + 1 < s.size() && s[pos + 1] == QLatin1Char('\'')) {
                    out += QLatin1Char('\'');
                    pos += 2;
                    continue;
                }
                ++pos;
                return out;
            }
            out += s[pos++];
        }
    }
    Criterion term()
    {
        const QString col = ident();
        skip();
        if (pos < s.size() && s[pos] == QLatin1Char('=')) {
            ++pos;
            skip();
            if (pos < s.size() && s[pos] == QLatin1Char('\''))
                return Criterion::equals(col, quoted());
            if (keyword(QStringLiteral("true")))
                return Criterion::isTrue(col);
            if (keyword(QStringLiteral("false")))
                return Criterion::isFalse(col);
            const int start = pos;
            while (pos < s.size() && (s[pos].isDigit() || s[pos] == QLatin1Char('.') || s[pos] == QLatin1Char('-')))
                ++pos;
            // An exponent, as large and small numbers print ("1e+20").
            if (pos > start && pos < s.size() && (s[pos] == QLatin1Char('e') || s[pos] == QLatin1Char('E'))) {
                int e = pos + 1;
                if (e < s.size() && (s[e] == QLatin1Char('+') || s[e] == QLatin1Char('-')))
                    ++e;
                if (e < s.size() && s[e].isDigit()) {
                    while (e < s.size() && s[e].isDigit())
                        ++e;
                    pos = e;
                }
            }
            bool ok = false;
            const double v = s.mid(start, pos - start).toDouble(&ok);
            if (!ok)
                fail(QStringLiteral("expected a value"));
            return Criterion::equals(col, v);
        }
        if (keyword(QStringLiteral("like"))) {
            const QString pattern = quoted();
            // '%text%' without further wildcards is a plain containment test.
            if (pattern.size() >= 2 && pattern.startsWith(QLatin1Char('%')) && pattern.endsWith(QLatin1Char('%'))) {
                const QString inner = pattern.mid(1, pattern.size() - 2);
                if (!inner.contains(QLatin1Char('%')) && !inner.contains(QLatin1Char('_')))
                    return Criterion::contains(col, inner);
            }
            return Criterion::like(col, pattern);
        }
        return Criterion::isTrue(col);
    }
};

}  // namespace

Criterion Criterion::equals(const QString& column, const QVariant& value)
{
    Criterion c;
    c.terms_.append({column, Op::Equals, value});
    return c;
}

Criterion Criterion::contains(const QString& column, const QString& text)
{
    Criterion c;
    c.terms_.append({column, Op::Contains, text});
    return c;
}

Criterion Criterion::isTrue(const QString& column)
{
    Criterion c;
    c.terms_.append({column, Op::IsTrue, QVariant()});
    return c;
}

Criterion Criterion::isFalse(const QString& column)
{
    Criterion c;
    c.terms_.append({column, Op::IsFalse, QVariant()});
    return c;
}

Criterion& Criterion::andEquals(const QString& column, const QVariant& value)
{
    return *this &= equals(column, value);
}
Criterion& Criterion::andContains(const QString& column, const QString& text)
{
    return *this &= contains(column, text);
}
Criterion& Criterion::andTrue(const QString& column)
{
    return *this &= isTrue(column);
}
Criterion& Criterion::andFalse(const QString& column)
{
    return *this &= isFalse(column);
}

Criterion& Criterion::operator&=(const Criterion& other)
{
    terms_.append(other.terms_);
    return *this;
}

Criterion Criterion::like(const QString& column, const QString& pattern)
{
    Criterion c;
    c.terms_.append({column, Op::Like, pattern});
    return c;
}

Criterion Criterion::parse(const QString& text)
{
    return Parser(text).run();
}

bool Criterion::valueIsTrue(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString t = v.toString().trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double d = t.toDouble(&ok);
        return ok && d != 0;
    }
    return v.toDouble() != 0;
}

// SQL LIKE semantics: % any run, _ one character, ASCII letters without case.
bool Criterion::likeMatch(const QString& value, const QString& pattern)
{
    const int n = int(value.size()), m = int(pattern.size());
    // Iterative matcher with back-tracking on the last %.
    int i = 0, j = 0, starJ = -1, starI = 0;
    auto same = [](QChar a, QChar b) {
        if (a.unicode() < 128 && b.unicode() < 128)
            return a.toLower() == b.toLower();
        return a == b;
    };
    while (i < n) {
        if (j < m && pattern[j] == QLatin1Char('%')) {
            starJ = j++;
            starI = i;
        } else if (j < m && (pattern[j] == QLatin1Char('_') || same(pattern[j], value[i]))) {
            ++i;
            ++j;
        } else if (starJ >= 0) {
            j = starJ + 1;
            i = ++starI;
        } else {
            return false;
        }
    }
    while (j < m && pattern[j] == QLatin1Char('%'))
        ++j;
    return j == m;
}

bool Criterion::matches(const std::function<QVariant(const QString&)>& field) const
{
    for (const Term& t : terms_) {
        const QVariant v = field(t.column);
        bool ok = false;
        switch (t.op) {
        case Op::Equals:
            ok = equalValues(v, t.value);
            break;
        case Op::Contains:
            ok = !v.isNull() && v.isValid() && foldAscii(v.toString()).contains(foldAscii(t.value.toString()));
            break;
        case Op::Like:
            ok = !v.isNull() && v.isValid() && likeMatch(v.toString(), t.value.toString());
            break;
        case Op::IsTrue:
            ok = valueIsTrue(v);
            break;
        case Op::IsFalse:
            ok = !valueIsTrue(v);
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

QString Criterion::sql(QVariantList& binds, const QStringList& known, bool server) const
{
    QStringList parts;
    for (const Term& t : terms_) {
        QString col = t.column;
        bool found = known.isEmpty();
        for (const QString& k : known) {
            if (k.compare(col, Qt::CaseInsensitive) == 0) {
                col = k;
                found = true;
                break;
            }
        }
        if (!found)
            throw CriterionError(QStringLiteral("条件中的列不存在: %1").arg(t.column).toStdString());
        const QString q = quoteIdent(col);
        switch (t.op) {
        case Op::Equals:
            parts << q + QStringLiteral(" = ?");
            binds << t.value;
            break;
        case Op::Contains:
            parts << QStringLiteral("instr(%1, ?) > 0").arg(q);
            binds << t.value.toString();
            break;
        case Op::Like:
            // SQLite's LIKE ignores ASCII case and has no escape character.
            parts << q + (server ? QStringLiteral(" ilike ? escape ''") : QStringLiteral(" like ?"));
            binds << t.value.toString();
            break;
        case Op::IsTrue:
            parts << QStringLiteral("coalesce(%1, 0) <> 0").arg(q);
            break;
        case Op::IsFalse:
            parts << QStringLiteral("coalesce(%1, 0) = 0").arg(q);
            break;
        }
    }
    return parts.join(QStringLiteral(" and "));
}

namespace {

enum class Affinity { Text, Numeric, None };

// The column affinity SQLite gives a declared type.
Affinity affinityOf(const QString& declared)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return Affinity::Numeric;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) || t.contains(QLatin1String("TEXT")))
        return Affinity::Text;
    if (t.isEmpty() || t.contains(QLatin1String("BLOB")))
        return Affinity::None;
    return Affinity::Numeric;
}

QString likeEscaped(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

}  // namespace

QString Criterion::candidateSql(QVariantList& binds, const QStringList& known, const QStringList& types,
                                bool server) const
{
    constexpr qint64 exactInDouble = qint64(1) << 53;
    QStringList parts;
    for (const Term& t : terms_) {
        int c = -1;
        for (int i = 0; i < known.size(); ++i)
            if (known[i].compare(t.column, Qt::CaseInsensitive) == 0) {
                c = i;
                break;
            }
        if (c < 0 || c >= types.size())
            continue;  // an unknown column reads as empty: left to matches()
        const Affinity a = affinityOf(types[c]);
        const QString q = quoteIdent(known[c]);
        // A value of another storage class than the column's own is left to matches().
        const QString other = a == Affinity::Text ? QStringLiteral("typeof(%1) = 'blob'").arg(q)
                                                  : QStringLiteral("typeof(%1) in ('text', 'blob')").arg(q);
        const int type = t.value.typeId();
        const bool text = type == QMetaType::QString;
        QString test;
        switch (t.op) {
        case Op::Equals:
            if (a == Affinity::Text && text) {
                // NOCASE folds the ASCII letters only, as matches() does.
                test = server ? QStringLiteral("lower(%1) = lower(?)").arg(q) : q + QStringLiteral(" = ? collate nocase");
                binds << QVariant(t.value.toString().isNull() ? QStringLiteral("") : t.value.toString());
            } else if (a == Affinity::Numeric
                       && (type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt)) {
                if (std::abs(t.value.toLongLong()) > exactInDouble)
                    continue;
                test = q + QStringLiteral(" = ?");
                binds << QVariant(t.value.toLongLong());
            } else if (a == Affinity::Numeric && type == QMetaType::Double && std::isfinite(t.value.toDouble())) {
                test = q + QStringLiteral(" = ?");
                binds << QVariant(t.value.toDouble());
            } else {
                continue;
            }
            break;
        case Op::Contains:
        case Op::Like:
            if (a != Affinity::Text)
                continue;
            // LIKE folds at least the ASCII letters. A pattern's "_" becomes "%": SQLite's
            // "_" is one character where matches() takes one UTF-16 unit.
            if (t.op == Op::Contains) {
                test = q + (server ? QStringLiteral(" ilike ? escape '\\'") : QStringLiteral(" like ? escape '\\'"));
                binds << QLatin1Char('%') + likeEscaped(t.value.toString()) + QLatin1Char('%');
            } else {
                test = q + (server ? QStringLiteral(" ilike ? escape ''") : QStringLiteral(" like ?"));
                binds << t.value.toString().replace(QLatin1Char('_'), QLatin1Char('%'));
            }
            break;
        case Op::IsTrue:
            if (a != Affinity::Numeric)
                continue;
            test = q + QStringLiteral(" <> 0");
            break;
        case Op::IsFalse:
            if (a != Affinity::Numeric)
                continue;
            test = QStringLiteral("%1 is null or %1 = 0").arg(q);
            break;
        }
        // A server column holds its own type only.
        parts << (server ? QStringLiteral("(%1)").arg(test) : QStringLiteral("(%1 or %2)").arg(test, other));
    }
    return parts.join(QStringLiteral(" and "));
}

QString Criterion::toString() const
{
    QStringList parts;
    auto lit = [](const QVariant& v) {
        if (isNumeric(v))
            return v.toString();
        QString t = v.toString();
        t.replace(QLatin1Char('\''), QLatin1String("\'\'"));
        return QLatin1Char('\'') + t + QLatin1Char('\'');
    };
    // A name that is not a plain identifier is bracketed, so the text parses back to
    // the same terms ("[a = 1 and b]" is one column, not two terms).
    auto name = [](const QString& c) {
        const bool plain = !c.isEmpty() && std::all_of(c.begin(), c.end(), [](QChar ch) {
            return ch.isLetterOrNumber() || ch == QLatin1Char('_');
        });
        return plain ? c : QLatin1Char('[') + c + QLatin1Char(']');
    };
    for (const Term& term : terms_) {
        Term t = term;
        t.column = name(term.column);
        switch (t.op) {
        case Op::Equals:
            parts << t.column + QStringLiteral(" = ") + lit(t.value);
            break;
        case Op::Contains:
            parts << t.column + QStringLiteral(" like ") + lit(QLatin1Char('%') + t.value.toString() + QLatin1Char('%'));
            break;
        case Op::Like:
            parts << t.column + QStringLiteral(" like ") + lit(t.value);
            break;
        case Op::IsTrue:
            parts << t.column + QStringLiteral(" = true");
            break;
        case Op::IsFalse:
            parts << t.column + QStringLiteral(" = false");
            break;
        }
    }
    return parts.join(QStringLiteral(" and "));
}
