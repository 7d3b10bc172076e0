#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <stdexcept>

class CriterionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A filter or find criterion: terms joined by "and".
//   col = 'text' | col = number | col = true | col = false | bare col (true)
//   col like 'pattern'  (% any run, _ one character)
// Built in code (values are data, never syntax) or parsed from the text form, in
// which a quote inside a value is written twice.
class Criterion {
public:
    enum class Op { Equals, Contains, Like, IsTrue, IsFalse };
    struct Term {
        QString column;
        Op op;
        QVariant value;
    };

    Criterion() = default;
    static Criterion equals(const QString& column, const QVariant& value);
    static Criterion contains(const QString& column, const QString& text);
    static Criterion isTrue(const QString& column);
    static Criterion isFalse(const QString& column);
    static Criterion like(const QString& column, const QString& pattern);
    static Criterion parse(const QString& text);  // throws CriterionError

    Criterion& andEquals(const QString& column, const QVariant& value);
    Criterion& andContains(const QString& column, const QString& text);
    Criterion& andTrue(const QString& column);
    Criterion& andFalse(const QString& column);
    Criterion& operator&=(const Criterion& other);

    bool isEmpty() const { return terms_.isEmpty(); }
    const QList<Term>& terms() const { return terms_; }

    // Evaluates against one row; `field` gives a column's value by name. Text is
    // compared as Jet compares it, ASCII letters without case ("a-101" = "A-101");
    // sql() keeps "=" exact so that it runs through the indexes ("like" ignores
    // ASCII case there too).
    bool matches(const std::function<QVariant(const QString&)>& field) const;
    // A where-clause with ? placeholders; values are appended to `binds`.
    // Column names are checked against `known` (case-insensitive) and quoted. On the
    // server `server` is true: the same tests in its words.
    QString sql(QVariantList& binds, const QStringList& known, bool server = false) const;
    // A where-clause that holds for every row matches() accepts and for few others,
    // so that only the rows it selects need matches(); `types` are the columns'
    // declared types. Terms it cannot narrow are left out; empty when none can be.
    QString candidateSql(QVariantList& binds, const QStringList& known, const QStringList& types,
                         bool server = false) const;
    QString toString() const;

    static bool likeMatch(const QString& value, const QString& pattern);
    static bool valueIsTrue(const QVariant& v);

private:
    QList<Term> terms_;
};
