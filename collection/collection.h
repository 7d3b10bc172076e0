#pragma once

#include <QString>

struct Services;

// Settles the current bill of the payment window against the household's account
// balance: asks for the cash, books cash − charge into the balance, marks the bill
// paid with today's date, stamps its charge lines and asks whether to print.
//
// Works on the shared record sets as the payment window has narrowed them: the
// current row of rs缴费历史 is the bill, the current row of rs档案 the household.
// The bill, the household and the lines are written in one transaction; a failure
// throws StoreError and leaves every row as it was.
class Collection {
public:
    struct Outcome {
        bool settled = false;       // the bill was written as paid
        bool printRequested = false;
        bool paid = false;          // the bill's paid flag as read after settlement
        QString remarks;            // the remarks text after settlement
    };

    explicit Collection(Services& services);

    // `remarks` is the current text of the remarks box (the bill's 其他说明).
    Outcome collect(const QString& remarks);

    // The remarks line appended after a shortfall.
    static QString shortfallRemark(const QString& dateText, double cash, double newBalance);

private:
    void write(qint64 billId, qint64 householdId, const QString& door, const QString& month, double cash,
               double newBalance, const QString& remarks);
    void refresh(qint64 billId);

    Services& s_;
};
