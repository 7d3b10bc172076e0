#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <stdexcept>

class Database;

// The ledger of balance movements (账户流水): one row per change of a household's
// 账户余额, never edited by normal work. For every household the balance equals
// the sum of its movements' 金额.
//
// Every change of a balance goes through post() (or, for a balance that a record
// set is about to write, journalWrite()), inside the caller's transaction.
namespace LedgerKind {
inline QString collection() { return QStringLiteral("收款"); }
inline QString refund() { return QStringLiteral("退回"); }
inline QString adjustment() { return QStringLiteral("调整"); }
inline QString opening() { return QStringLiteral("期初"); }
inline QString reversal() { return QStringLiteral("冲正"); }
inline QString carried() { return QStringLiteral("结转"); }
}  // namespace LedgerKind

// A balance or bill was changed by someone else after it was read; nothing is written.
class StaleValueError : public std::runtime_error {
public:
    StaleValueError() : std::runtime_error("stale") {}
};

class Ledger {
public:
    struct Movement {
        QString door;
        QString kind;
        double amount = 0;     // the signed change of the balance
        QVariant billId;       // the bill, where there is one
        QVariant month;
        QVariant cash;         // cash taken (collection) or given back (reversal, negative)
        QVariant receiptNo;
        QString note;
        // The new balance from the stored one; by default stored + amount.
        std::function<double(double stored)> newBalance;
    };

    Ledger(Database& db, const QString& operatorName, const QDateTime& now);

    // Creates the ledger and its counters when the file has none; an older file
    // then gets one opening movement per household carrying its current balance,
    // and its bills paid so far are recorded as paid before the ledger began. The
    // opening movements are stamped `now`.
    static void ensure(Database& db, const QDateTime& now = QDateTime::currentDateTime());
    static bool exists(Database& db);

    // Reads the household's stored balance, writes the new one and the movement.
    // With `expected`, the stored balance must still be that value (null = empty),
    // else StaleValueError. Returns the new balance. Throws StoreError when the
    // household does not exist.
    double post(const Movement& m, const std::optional<QVariant>& expected = std::nullopt);

    // Records the movement of a balance that the caller's statement is about to
    // write for the household with this row id: new − stored, kind 调整.
    void journalWrite(qint64 householdId, const QString& door, const QVariant& newBalance);
    // Records a new household's opening balance.
    void journalOpening(const QString& door, const QVariant& balance);
    // The cleanup deleted movements of this household summing to `amount`: one 结转
    // movement carries them, so the sum still equals the balance (which it shows).
    void carryForward(const QString& door, double amount, const QString& note);
    // A household's door number changed: its movements follow it.
    void moveDoor(const QString& from, const QString& to);

    // The next receipt number: one more than the greatest of the file's counter and
    // the high-water mark kept in `folder`; the counter is advanced in the caller's
    // transaction. Call rememberReceiptNumber() after the commit.
    qint64 nextReceiptNumber(const QString& folder);
    static void rememberReceiptNumber(const QString& folder, qint64 number);
    static qint64 receiptHighWater(const QString& folder);
    static QString highWaterFileName() { return QStringLiteral("收据号.txt"); }

    // The greatest bill id that was already in the file when the ledger began: paid
    // bills up to it need no 收款 movement.
    static qint64 startBillId(Database& db);

    static QString timeText(const QDateTime& t);
    // A stored amount as a number: empty counts as 0, a text is read as typed.
    static double number(const QVariant& v);
    static bool sameValue(const QVariant& a, const QVariant& b);

private:
    void insert(const Movement& m, double amount, double balanceAfter);

    Database& db_;
    QString operator_;
    QString time_;
};
