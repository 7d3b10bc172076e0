#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <stdexcept>

class Database;

// The ledger of balance movements (账户流水): one row per change of a household's
// 账户余额, never edited by normal work, with the operator and the desk (host name)
// that wrote it. For every household the balance equals
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
// Written by earlier versions' data cleanup; files that hold such movements keep them.
inline QString carried() { return QStringLiteral("结转"); }
inline QString closing() { return QStringLiteral("销户"); }
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
        QVariant key;          // the collection's key, made by the desk; unique in the ledger
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
    // The receipt number of the collection with this key, null when none was committed.
    static QVariant committedReceipt(Database& db, const QString& key);

    // Reads the household's stored balance, writes the new one and the movement.
    // With `expected`, the stored balance must still be that value (null = empty),
    // else StaleValueError. Returns the new balance. Throws StoreError when the
    // household does not exist.
    double post(const Movement& m, const std::optional<QVariant>& expected = std::nullopt);
    // Told when the balance changed under every one of the attempts to write it.
    static QString busyBalanceText(const QString& door);

    // Records the movement of a balance that the caller's statement is about to
    // write for the household with this row id: new − stored, kind 调整.
    void journalWrite(qint64 householdId, const QString& door, const QVariant& newBalance);
    // Records a new household's opening balance.
    void journalOpening(const QString& door, const QVariant& balance);
    // The household is about to be deleted: one 销户 movement brings the sum of its
    // movements to 0, so its history stays in the ledger. The note holds its name,
    // which the day's takings show for its earlier movements.
    void closeAccount(const QString& door, const QString& name);
    // A household's door number changed: its movements follow it.
    void moveDoor(const QString& from, const QString& to);

    // The next receipt number: one more than the greatest of the file's counter and
    // the high-water mark kept in `folder`; the counter is advanced in the caller's
    // transaction. A mark that is no receipt number is not used, and what is wrong
    // with it goes to `markProblem`. Call rememberReceiptNumber() after the commit.
    // Throws StoreError when the counter can go no higher.
    qint64 nextReceiptNumber(const QString& folder, QString* markProblem = nullptr);
    // Writes the mark (a temporary file, synced, renamed into place) unless it already
    // holds a number as high; returns what went wrong, empty when nothing did.
    static QString rememberReceiptNumber(const QString& folder, qint64 number);
    struct ReceiptMark {
        qint64 number = 0;  // 0 when there is no usable mark
        QString problem;    // why the mark's text was not used
    };
    static ReceiptMark receiptHighWater(const QString& folder);
    static QString highWaterFileName() { return QStringLiteral("收据号.txt"); }
    // No office reaches this many receipts in centuries; a mark above it is damage.
    static constexpr qint64 MaxReceiptNumber = 1000000000;

    // The greatest bill id that was already in the file when the ledger began: paid
    // bills up to it need no 收款 movement.
    static qint64 startBillId(Database& db);

    static QString timeText(const QDateTime& t);
    // A stored amount as a number: empty counts as 0, a text is read as typed.
    static double number(const QVariant& v);
    static bool sameValue(const QVariant& a, const QVariant& b);

private:
    // How often a conditional write is tried before it gives up.
    static constexpr int kWriteAttempts = 10;
    void insert(const Movement& m, double amount, double balanceAfter);

    Database& db_;
    QString operator_;
    QString time_;
    QString desk_;  // the host name of the desk writing
};
