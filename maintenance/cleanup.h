#pragma once

#include <QString>
#include <QStringList>

class DataEnvironment;

// Deletes the paid history of a range of months: the paid bills and their fixed
// and metered charge lines. Unpaid bills, their lines, households and items stay.
class Cleanup {
public:
    struct Result {
        int fixedLines = 0;
        int meteredLines = 0;
        int bills = 0;
        // Set when the deletion committed but a shared record set could not be read
        // again afterwards: the deletion stands all the same.
        QString rereadError;
    };

    explicit Cleanup(DataEnvironment& env) : env_(env) {}

    // The distinct months of the bills, in text order (the lists of both month boxes).
    QStringList months() const;

    // Both bounds are included and compared as text, as they stand (no validation;
    // a first month after the last deletes nothing). Lines go first, then the
    // bills, all in one transaction; the ledger's movements stay as they are.
    // Afterwards the shared bill and line record sets are re-read. Throws StoreError only when nothing was deleted; a failure
    // after the commit is reported in Result::rereadError.
    Result run(const QString& firstMonth, const QString& lastMonth);

private:
    DataEnvironment& env_;
};
