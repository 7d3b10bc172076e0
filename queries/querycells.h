#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

// What the operator asked for: the building box and the two month boxes, as typed.
struct QueryRange {
    QString building;
    QString first;
    QString last;
};

// Which bills a listing takes.
enum class PaidState { Any, Unpaid, Paid };

namespace QueryCells {
// The household name, or "无名" when it is empty, blank or missing.
QString name(const QVariant& v);
// A number in its plain text form; `ifEmpty` when the field is empty.
QString number(const QVariant& v, const QString& ifEmpty);
// A LIKE pattern (escape '\') matching the texts that begin with `prefix` literally.
QString prefixPattern(const QString& prefix);
// The two LIKE patterns (escape '\') that take the door numbers of a building: the
// door number is the building itself, or begins with the building and the
// separator ("1" takes "1-101", not "10-101"). LIKE ignores ASCII case, as the finds
// do. Without a separator the building is a plain prefix; an empty building takes all.
QStringList buildingPatterns(const QString& building, const QString& separator);
// The condition on 缴费标志 for a paid state ("" for any), with a leading " and ".
QString paidCondition(PaidState state, const QString& column = QStringLiteral("缴费标志"));
// Trims blanks (not other white space) from both ends, as the text boxes' Trim does.
QString trimBlanks(const QString& text);
}  // namespace QueryCells

// Payment times in the system's short date form; a stored text that is no date is
// shown as it stands. Remembers what it has shown, since a listing repeats the same
// few dates many thousand times.
class DateCells {
public:
    // `ifEmpty` when the time is empty.
    QString text(const QVariant& v, const QString& ifEmpty);

private:
    QHash<QString, QString> shown_;
};
