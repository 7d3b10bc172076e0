#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class Database;
class ReadingSheet;

// Long work reports how far it is; returning false cancels it.
class RunProgress {
public:
    virtual ~RunProgress() = default;
    virtual bool proceed(int done, int total) = 0;
};

// The month's bills from a reading sheet, in one transaction: every household of
// the sheet gets the rows single entry writes when each box is answered with the
// sheet's value (fixed and area items: the offered 固定收费). Paid bills are never
// reopened; unpaid bills are recomputed only when asked. The run reads the
// households, bills and previous readings again inside its transaction, which it
// seals: a household changed since the sheet was read is listed and skipped, and no
// other window writes while the run waits for its progress dialog. The last run can
// be undone while everything it wrote is still as it left it.
class MonthRun {
public:
    struct Plan {
        int households = 0;
        QStringList newBills;       // door numbers
        QStringList recomputed;     // unpaid bills that will be written again
        QStringList paidSkipped;    // paid bills: never reopened
        QStringList unpaidSkipped;  // unpaid bills left as they are
        QMap<QString, double> byBuilding;  // charge of the bills to write, per building
        double total = 0;
        QList<int> blocking;        // sheet rows without a usable number
        bool canRun() const { return blocking.isEmpty() && !(newBills.isEmpty() && recomputed.isEmpty()); }
    };
    enum class Outcome { Done, Blocked, Nothing, Cancelled, Failed };
    struct Result {
        Outcome outcome = Outcome::Done;
        int newBills = 0;
        int recomputed = 0;
        QStringList reminders;  // households whose charge note reminds for the month
        // Households deleted, renamed, or with another area, note or previous reading
        // than the sheet read: skipped.
        QStringList changed;
        QString error;
    };

    MonthRun(Database& db, const ReadingSheet& sheet);

    Plan plan(bool recomputeUnpaid) const;
    // Nothing is written unless the whole run commits.
    Result run(bool recomputeUnpaid, RunProgress* progress = nullptr);

    // The tables that keep the last run for its undo.
    static void ensureUndoTables(Database& db);
    // The month of the run that can be undone, empty when there is none.
    static QString undoableMonth(Database& db);
    // The first household of the last run (in the run's order) that changed since:
    // a bill or line of the run no longer as the run left it (collected, reversed,
    // entered again, cleaned up, deleted), a line added to one of its bills, a
    // ledger movement of one of its bills, or the household gone or renamed. Empty
    // when nothing changed.
    static QString firstChangeSince(Database& db);
    // Deletes the run's new bills and lines and restores the bills it recomputed,
    // with their lines. Refuses (false) when there is no run or something of it
    // changed since. The ID counters stay where they are: no ID is given out twice.
    static bool undo(Database& db);
    // What another window is told when it writes while the run works.
    static QString busyText();

private:
    struct Target {
        int household;
        qint64 billId;  // 0: a new bill
    };
    QList<Target> targets(bool recomputeUnpaid, Plan* plan) const;

    Database& db_;
    const ReadingSheet& sheet_;
};
