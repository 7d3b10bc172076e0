#pragma once

#include <QList>
#include <QString>
#include <QVariant>

class Database;

// The books check: every household's balance equals the sum of its movements, and
// every paid bill has a 收款 movement that was not undone since, and every bill whose
// last movement is such a 收款 is paid with the charge it settled. It only lists what
// it finds; it never corrects anything.
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

    // Differences below this are the rounding of sums, not a mismatch.
    static constexpr double Tolerance = 0.000001;

    static QList<Mismatch> run(Database& db);
    // The sum of a household's movements.
    static double ledgerSum(Database& db, const QString& door);

private:
    static void checkSettlements(Database& db, QList<Mismatch>& out);
};
