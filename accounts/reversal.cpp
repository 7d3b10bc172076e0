#include "accounts/reversal.h"

#include "accounts/accounts.h"
#include "common/dates.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/database.h"

Reversal::Reversal(Database& db, const AppContext& app, const Clock& clock, Prompter& prompter)
    : db_(db), app_(app), clock_(clock), prompter_(prompter)
{
}

QString Reversal::confirmText(qint64 receiptNo, const QString& door, const QString& month, double charge,
                              double cash, double balance, double newBalance, const QString& reason)
{
    const QString m = QStringLiteral("#,##0.00");
    return QStringLiteral("冲正收据号 %1（门牌号 %2，月份 %3，收费金额 %4，实收现金 %5）：\n"
                          "账单改为未缴，实缴金额改为 0，缴费时间和账单的账户余额清空；\n"
                          "住户账户余额由 %6 改为 %7。\n冲正原因：%8\n是否确认冲正?")
        .arg(receiptNo)
        .arg(door, month, formatMask(charge, m), formatMask(cash, m), formatMask(balance, m),
             formatMask(newBalance, m), reason);
}

qint64 Reversal::latestMovement(const QString& door)
{
    return db_.scalar(QStringLiteral("select coalesce(max(ID), 0) from 账户流水 where 门牌号 = ?"), {door}).toLongLong();
}

Reversal::Result Reversal::run(qint64 billId)
{
    const QString title = app_.appTitle;
    Result r;
    if (app_.operatorLevel != QLatin1String("A")) {
        prompter_.inform(levelText(), title, Prompter::Icon::Exclamation);
        return r;
    }
    const QList<QVariantList> bills = db_.query(
        QStringLiteral("select 门牌号, 月份, 收费金额, 缴费标志, 其他说明 from 缴费历史 where ID = ?"), {billId});
    if (bills.isEmpty() || Ledger::number(bills.first().value(3)) == 0) {
        prompter_.inform(notPaidText(), title, Prompter::Icon::Information);
        return r;
    }
    const QString door = bills.first().value(0).toString();
    const QString month = bills.first().value(1).toString();
    const QString remarks = bills.first().value(4).toString();
    const QList<QVariantList> last = db_.query(
        QStringLiteral("select 类别, 金额, 实收现金, 收据号, 说明, ID, 余额 from 账户流水 where 账单ID = ? "
                       "and 类别 in (?, ?, ?) order by ID desc limit 1"),
        {billId, LedgerKind::collection(), LedgerKind::refund(), LedgerKind::reversal()});
    if (last.isEmpty() || last.first().value(0).toString() != LedgerKind::collection()) {
        prompter_.inform(noCollectionText(), title, Prompter::Icon::Information);
        return r;
    }
    const double amount = last.first().value(1).toDouble();
    const double cash = last.first().value(2).toDouble();
    const qint64 receiptNo = last.first().value(3).toLongLong();
    const QString appended = last.first().value(4).toString();
    const qint64 collectionId = last.first().value(5).toLongLong();
    const QVariant balanceAfterCollection = last.first().value(6);

    const std::optional<QString> reason = prompter_.input(reasonPrompt(), title, QString());
    if (!reason) {
        r.outcome = Outcome::Cancelled;
        return r;
    }
    if (reason->trimmed().isEmpty()) {
        prompter_.inform(reasonRequiredText(), title, Prompter::Icon::Exclamation);
        r.outcome = Outcome::Cancelled;
        return r;
    }
    const QVariant stored = db_.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {door});
    const double balance = Ledger::number(stored);
    // While nothing has moved the balance since the collection, the balance recorded
    // before it (the one the collection settled from) comes back exactly; otherwise
    // the collection's own amount is taken off.
    const qint64 latestId = latestMovement(door);
    std::optional<double> before;
    if (latestId == collectionId && Ledger::sameValue(stored, balanceAfterCollection)) {
        const QList<QVariantList> previous = db_.query(
            QStringLiteral("select 余额 from 账户流水 where 门牌号 = ? and ID < ? order by ID desc limit 1"),
            {door, collectionId});
        const double charge = Ledger::number(bills.first().value(2));
        if (!previous.isEmpty() &&
            (Ledger::number(previous.first().value(0)) + cash) - charge == Ledger::number(balanceAfterCollection))
            before = Ledger::number(previous.first().value(0));
    }
    const double newBalance = before ? *before : balance - amount;
    if (!prompter_.askYesNo(confirmText(receiptNo, door, month, cash - amount, cash, balance, newBalance,
                                        reason->trimmed()),
                            title)) {
        r.outcome = Outcome::Cancelled;
        return r;
    }

    // The remarks lose the shortfall line the collection appended to them.
    QString restored = remarks;
    if (!appended.isEmpty() && restored.endsWith(appended))
        restored.chop(appended.size());
    try {
        Ledger ledger = Accounts::ledger(db_, app_, clock_);
        Transaction t(db_);
        db_.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0, 实缴金额 = 0, 缴费时间 = null, 账户余额 = null, "
                                "其他说明 = ? where ID = ? and coalesce(缴费标志, 0) <> 0 and 其他说明 is ?"),
                 {restored, billId, bills.first().value(4)});
        if (db_.changes() != 1)
            throw StaleValueError();
        db_.exec(QStringLiteral("update 收费1 set 缴费时间 = null where 门牌号 = ? and 月份 = ?"), {door, month});
        db_.exec(QStringLiteral("update 收费2 set 缴费时间 = null where 门牌号 = ? and 月份 = ?"), {door, month});
        if (latestMovement(door) != latestId)
            throw StaleValueError();
        Ledger::Movement m;
        m.door = door;
        m.kind = LedgerKind::reversal();
        m.amount = before ? newBalance - balance : -amount;
        if (before)
            m.newBalance = [newBalance](double) { return newBalance; };
        m.billId = billId;
        m.month = month;
        m.cash = -cash;
        m.receiptNo = receiptNo;
        m.note = reason->trimmed();
        ledger.post(m, stored);
        t.commit();
    } catch (const StaleValueError&) {
        prompter_.inform(staleText(), title, Prompter::Icon::Exclamation);
        r.outcome = Outcome::Stale;
        return r;
    }
    r.outcome = Outcome::Reversed;
    r.receiptNo = receiptNo;
    prompter_.inform(doneText(receiptNo), title, Prompter::Icon::Information);
    return r;
}
