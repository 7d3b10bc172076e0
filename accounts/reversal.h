#pragma once

#include <QString>

class Clock;
class Database;
class Prompter;
struct AppContext;

// Reversal (冲正) of a wrong collection: the bill is unpaid again (实缴金额 0, no
// payment date, no balance after), its lines lose their payment date, the balance
// goes back to what it was before the collection when nothing has moved it since
// (else by the collection's cash − charge), and a 冲正 movement names the receipt
// it reverses and the reason. The 收款 movement stays; the receipt number is never
// given again. Only an operator of level "A" may reverse.
class Reversal {
public:
    enum class Outcome { Reversed, Refused, Cancelled, Stale };
    struct Result {
        Outcome outcome = Outcome::Refused;
        qint64 receiptNo = 0;  // the receipt reversed
    };

    Reversal(Database& db, const AppContext& app, const Clock& clock, Prompter& prompter);

    // Asks for the reason (required) and shows what will change before it writes.
    Result run(qint64 billId);

    static QString levelText() { return QStringLiteral("只有A级操作员可以冲正。"); }
    static QString notPaidText() { return QStringLiteral("只能冲正已缴费的账单。"); }
    static QString noCollectionText()
    {
        return QStringLiteral("此账单没有可以冲正的收款流水（可能在启用账务流水之前缴费，或已经冲正）。");
    }
    static QString reasonPrompt() { return QStringLiteral("请输入冲正原因（必填）："); }
    static QString reasonRequiredText() { return QStringLiteral("没有填写冲正原因，没有冲正。"); }
    static QString staleText()
    {
        return QStringLiteral("此账单或住户的账户余额在提示之后已被改动（例如在另一个窗口中），没有冲正，请重新操作。");
    }
    // The question that shows what will change.
    static QString confirmText(qint64 receiptNo, const QString& door, const QString& month, double charge,
                               double cash, double balance, double newBalance, const QString& reason);
    static QString doneText(qint64 receiptNo)
    {
        return QStringLiteral("收据号 %1 已冲正，此账单可以重新缴费。").arg(receiptNo);
    }

private:
    qint64 latestMovement(const QString& door);

    Database& db_;
    const AppContext& app_;
    const Clock& clock_;
    Prompter& prompter_;
};
