#pragma once

#include <QString>
#include <QStringList>

class RecordSet;

// The log-in rule over the operator record set: the typed password must equal the
// chosen operator's stored one exactly, or verify against it when it is stored
// hashed. On a server a password still in clear is hashed at a successful log-in.
class Login {
public:
    enum class Outcome { NoOperator, WrongPassword, Accepted };
    struct Result {
        Outcome outcome = Outcome::NoOperator;
        QString level;  // 操作级别 of the accepted operator
    };

    explicit Login(RecordSet& operators) : operators_(operators) {}

    // Operator names in the order of the record set (sorted by name).
    QStringList names() const;
    // `row` is the index of the chosen operator, -1 when none is chosen. On
    // success the record set is moved to the operator's row.
    Result check(int row, const QString& password);

    // Only the exact level "B" is restricted.
    static bool isRestricted(const QString& level) { return level == QLatin1String("B"); }

    static QString wrongPasswordText() { return QStringLiteral("密码有误!"); }
    static QString noOperatorText() { return QStringLiteral("请先选择操作员!"); }

private:
    RecordSet& operators_;
};
