#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class Database;

// The books check: every household's balance equals the sum of its movements, and
// every paid bill has a 收款 movement that was not undone since, and every bill whose
// last movement is such a 收款 is paid with the charge it settled. It only lists what
// it finds; it never corrects anything.
//
// A check that finds nothing leaves a mark in the database: the ledger's highest ID, a
// digest of every household's (ID, door number, balance) and the first bill of the
// ledger. Triggers installed with the mark record, for every client of the file, the
// households written since (with their row as it was), the door numbers and bills of
// old movements written since, and the bills whose settlement may have changed. The
// check at log-in then reads only those, the movements above the mark, and the
// households' rows for the digest; it gives the answer of the full check.
class BooksCheck {
public:
    struct Mismatch {
        QString door;
        QString month;       // a paid bill's month; empty for a balance
        double stored = 0;   // 账户余额 in 档案库 (empty counts as 0)
        double ledger = 0;   // the sum of the household's movements
        double difference() const { return stored - ledger; }
        QString note;
    };
    enum class Scope { Full, SinceMark };

    // Differences below this are the rounding of sums, not a mismatch.
    static constexpr double Tolerance = 0.000001;

    // The full check; reads only.
    static QList<Mismatch> run(Database& db);
    // The full check; when it finds nothing, the mark is written in the same
    // transaction. A mark that cannot be written leaves the earlier one (or none).
    // What kept the mark from being written goes to `markProblem`.
    static QList<Mismatch> runAndMark(Database& db, QString* markProblem = nullptr);
    // The check at log-in: what changed since the mark when the file holds a usable
    // one, else the full check. Anything found is listed by the full check, so the
    // answer is always the full check's. A pass moves the mark forward.
    static QList<Mismatch> atLogIn(Database& db, Scope* used = nullptr, QString* markProblem = nullptr);
    // The notice of a mark that could not be written.
    static QString markFailureText(const QString& problem);
    // What the check since the mark finds, writing nothing; nullopt when the file
    // holds no usable mark. Empty exactly when the full check finds nothing.
    static std::optional<QList<Mismatch>> sinceMark(Database& db);

    // The tables of the mark: they describe the database they are in, and a copy of
    // the data into another leaves them out.
    static QStringList markTables();

    // The sum of a household's movements.
    static double ledgerSum(Database& db, const QString& door);

private:
    struct Mark {
        qint64 lastMovement = 0;
        quint64 digest = 0;
        qint64 startBill = 0;
    };
    static void checkSettlements(Database& db, QList<Mismatch>& out);
    static std::optional<QList<Mismatch>> sinceMark(Database& db, Mark* next, bool* changed);
    static Mark currentMark(Database& db);
    // Installs the triggers, forgets the changes they recorded and writes the mark.
    static void writeMark(Database& db, const Mark& mark);
};
