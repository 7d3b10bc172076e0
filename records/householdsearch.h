#pragma once

#include <QString>

class RecordSet;

// Moves the shared household record set to a household found by door number or by
// part of its name. The search keeps no state: its position is the record set's
// current row. Each step returns the message to show, or an empty text.
// The text is literal: quotes and "%" are searched for as they stand.
// Moving may write a pending row and then throws StoreError.
class HouseholdSearch {
public:
    explicit HouseholdSearch(RecordSet& households) : rs_(households) {}

    static QString lastMessage() { return QStringLiteral("已到最后记录"); }
    static QString firstMessage() { return QStringLiteral("已到最前记录"); }

    // Exact door number from the first row, else name containing the text from the
    // first row.
    QString start(const QString& text);
    // The next / previous household whose name contains the text.
    QString next(const QString& text);
    QString previous(const QString& text);

private:
    RecordSet& rs_;
};
