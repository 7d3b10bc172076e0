#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class Database;
struct Services;

// Settles the current bill of the payment window against the household's account
// balance: asks for the cash, books cash − charge into the balance, marks the bill
// paid with today's date, stamps its charge lines and asks whether to print.
//
// Works on the shared record sets as the payment window has narrowed them: the
// current row of rs缴费历史 is the bill, the current row of rs档案 the household.
// The prompts are computed from the bill and balance as the file holds them; the
// bill, the balance (through the ledger, with a receipt number) and the lines are
// written in one transaction, and only while the bill and balance still hold what
// the prompts showed. A failure throws StoreError and leaves every row as it was.
class Collection {
public:
    struct Outcome {
        bool settled = false;       // the bill was written as paid
        bool printRequested = false;
        bool paid = false;          // the bill's paid flag as read after settlement
        QString remarks;            // the remarks text after settlement
        qint64 receiptNo = 0;       // the receipt number of the settlement
        // The connection to the server was lost while the settlement was written:
        // whether it was committed is told by checkUnanswered() once it is back.
        bool unanswered = false;
    };
    // A collection whose commit went unanswered, by the key it was written with.
    struct Unanswered {
        QString key, door, month;
        double cash = 0;
    };

    explicit Collection(Services& services);

    // `remarks` is the current text of the remarks box (the bill's 其他说明).
    Outcome collect(const QString& remarks);

    // The remarks line appended after a shortfall.
    static QString shortfallRemark(const QString& dateText, double cash, double newBalance);

    // The collection met a lost connection (the outcome's `unanswered`); its key.
    const Unanswered& unanswered() const { return unanswered_; }
    static QString unansweredText(const Unanswered& u);
    // After the connection is back: whether the collection was committed, in the
    // operator's words. Throws StoreError while the server is still out of reach.
    static QString checkUnanswered(Database& db, const Unanswered& u);

    // Said when the bill or the balance changed between the prompts and the write.
    static QString staleText();
    // Said, with the error, when a saved settlement could not be shown again.
    static QString savedButNotRereadText();

private:
    struct Settlement {
        qint64 billId;
        QString door, month;
        QVariant charge, balance;  // as the prompts read them
        double cash;
        QString remarks;   // the bill's remarks after settlement
        QString appended;  // the shortfall line appended to them
        QString key;       // the collection's key in the ledger
    };
    // One transaction: the bill, the balance with its movement and receipt number,
    // the lines. Throws StaleValueError when the bill or balance changed since read.
    // What went wrong with the receipt mark, after the commit, goes to `notes`. A
    // transaction the server gives up (serialization failure, deadlock) is tried
    // three times in all.
    qint64 write(const Settlement& settlement, QStringList* notes);
    qint64 writeOnce(const Settlement& settlement, QStringList* notes);
    void refresh(qint64 billId);

    Services& s_;
    Unanswered unanswered_;
};
