#pragma once

#include <QDateTime>
#include <QString>

class DataEnvironment;

// Deletes the current household of the shared household record set together with
// its bills and both kinds of charge lines.
class HouseholdDeletion {
public:
    enum class Result { Deleted, NoCurrent };

    explicit HouseholdDeletion(DataEnvironment& env) : env_(env) {}

    // Who and when the closing movement names (by default nobody, now).
    void stampAs(const QString& operatorName, const QDateTime& now)
    {
        operator_ = operatorName;
        now_ = now;
    }

    // The household's bills, fixed lines, metered lines and its own row go in one
    // transaction, found by the door number the file holds for it (not by an
    // unsaved edit of the box), with a 销户 movement that brings the sum of its
    // movements to 0; the ledger keeps its history. A new row that was never saved
    // is only dropped. Afterwards the shared bill and line record sets are re-read and
    // the household record set stands on the next household, or on the first when the
    // last one was deleted (on none when no household is left).
    // Throws StoreError; nothing is deleted then. A failure after the commit is kept
    // in rereadError(): the deletion stands all the same.
    Result deleteCurrent();

    // Set when the deletion committed but a record set could not be read again.
    QString rereadError() const { return rereadError_; }

private:
    DataEnvironment& env_;
    QString operator_;
    QDateTime now_;
    QString rereadError_;
};
