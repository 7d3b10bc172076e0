// Criterion::parse on any text: parsed or CriterionError, never a crash; a parsed
// criterion prints as text that parses to the same criterion, evaluates against any
// row and gives a where-clause whose values are all bound.
#include "fuzzinput.h"
#include "store/criterion.h"

#include <QVariant>

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const QString text = in.text();
    const QString cell = in.text();
    const double number = in.number();
    Criterion c;
    try {
        c = Criterion::parse(text);
    } catch (const CriterionError&) {
        return 0;
    }
    const QString printed = c.toString();
    Criterion again;
    try {
        again = Criterion::parse(printed);
    } catch (const CriterionError& e) {
        FUZZ_CHECK(false, printed + QStringLiteral(" / ") + QString::fromUtf8(e.what()));
    }
    FUZZ_CHECK(again.toString() == printed, printed + QStringLiteral(" -> ") + again.toString());
    FUZZ_CHECK(again.terms().size() == c.terms().size(), printed);

    int calls = 0;
    c.matches([&](const QString&) -> QVariant {
        switch (calls++ % 4) {
        case 0: return cell;
        case 1: return number;
        case 2: return QVariant();
        default:
            // Integer cells: only a double that fits converts without overflow.
            return std::isfinite(number) && std::fabs(number) < 9.0e18 ? qlonglong(number) : qlonglong(0);
        }
    });
    for (const Criterion::Term& t : c.terms())
        if (t.op == Criterion::Op::Like)
            Criterion::likeMatch(cell, t.value.toString());

    QStringList known;
    for (const Criterion::Term& t : c.terms())
        known << t.column;
    QVariantList binds;
    try {
        const QString where = c.sql(binds, known);
        // Values are bound: outside the quoted column names the clause holds no quote
        // and one placeholder per value; every quoted name is closed.
        QString outside;
        bool inName = false;
        for (qsizetype i = 0; i < where.size(); ++i) {
            const QChar ch = where[i];
            if (inName) {
                if (ch == QLatin1Char('"')) {
                    if (i + 1 < where.size() && where[i + 1] == QLatin1Char('"'))
                        ++i;
                    else
                        inName = false;
                }
            } else if (ch == QLatin1Char('"')) {
                inName = true;
            } else {
                outside += ch;
            }
        }
        FUZZ_CHECK(!inName, where);
        FUZZ_CHECK(!outside.contains(QLatin1Char('\'')), where);
        FUZZ_CHECK(outside.count(QLatin1Char('?')) == binds.size(), where);
    } catch (const CriterionError&) {
    }
    return 0;
}
