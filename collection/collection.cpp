#include "collection/collection.h"

#include <QUuid>

#include "accounts/accounts.h"

#include "common/dates.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/dataenvironment.h"

namespace {

const QString kDoor = QStringLiteral("门牌号");
const QString kMonth = QStringLiteral("月份");
const QString kCharge = QStringLiteral("收费金额");
const QString kBalance = QStringLiteral("账户余额");
const QString kPaid = QStringLiteral("缴费标志");

}  // namespace

Collection::Collection(Services& services) : s_(services) {}

QString Collection::shortfallRemark(const QString& dateText, double cash, double newBalance)
{
    return QStringLiteral("\r  ") + dateText + QStringLiteral("应缴费") + plainNumber(cash - newBalance) +
           QStringLiteral("元，实收") + plainNumber(cash) + QStringLiteral("元，还欠") + plainNumber(newBalance) +
           QStringLiteral("元未缴，将合并至下次共同收缴!");
}

Collection::Outcome Collection::collect(const QString& remarks)
{
    DataEnvironment& data = s_.data;
    Prompter& p = s_.prompter;
    const QString title = s_.app.appTitle;
    RecordSet& bills = data.rs缴费历史();
    RecordSet& households = data.rs档案();

    Outcome out;
    out.remarks = remarks;

    // Edits made in the window's boxes are saved first, so what is settled is what is stored.
    bills.updateBatch();
    households.updateBatch();

    // A bill is settled against its own household only.
    if (!bills.hasCurrent() || !households.hasCurrent() ||
        households.value(kDoor).toString() != bills.value(kDoor).toString()) {
        p.inform(QStringLiteral("请选择要缴费的记录"), title, Prompter::Icon::Information);
        return out;
    }
    if (Criterion::valueIsTrue(bills.value(kPaid))) {
        p.inform(QStringLiteral("本月已缴过费了"), title, Prompter::Icon::Information);
        return out;
    }

    // The prompts are computed from the bill and the balance as the file holds them,
    // not from a window's copy; the write below goes ahead only while they still
    // hold these values.
    Database& db = data.db();
    const qint64 billId = bills.bookmark();
    const qint64 householdId = households.bookmark();
    const QList<QVariantList> billRows = db.query(
        QStringLiteral("select 门牌号, 月份, 收费金额, 缴费标志 from 缴费历史 where ID = ?"), {billId});
    const QList<QVariantList> householdRows =
        db.query(QStringLiteral("select 门牌号, 账户余额 from 档案库 where ID = ?"), {householdId});
    if (billRows.isEmpty() || householdRows.isEmpty() ||
        householdRows.first().value(0).toString() != billRows.first().value(0).toString()) {
        p.inform(QStringLiteral("请选择要缴费的记录"), title, Prompter::Icon::Information);
        return out;
    }
    if (Criterion::valueIsTrue(billRows.first().value(3))) {
        p.inform(QStringLiteral("本月已缴过费了"), title, Prompter::Icon::Information);
        return out;
    }
    const QVariant storedCharge = billRows.first().value(2);
    const QVariant storedBalance = householdRows.first().value(1);

    const double charge = storedNumber(storedCharge);
    const bool confirmed = p.askYesNo(
        QStringLiteral("本次应缴费用是:") + formatMask(charge, QStringLiteral("#,##0.00")) + QStringLiteral(",是否确认?"),
        title);
    if (confirmed) {
        const double balance = storedNumber(storedBalance);  // empty counts as 0
        double cash = 0;
        if (balance > 0.5) {
            const bool useCredit = p.askYesNo(QStringLiteral("此住户有预存款:") +
                                                  formatMask(balance, QStringLiteral("#,##0")) +
                                                  QStringLiteral(" ,是否直接从账户上扣除?"),
                                              title);
            if (useCredit && balance >= charge)
                cash = 0;
            else if (useCredit)
                cash = typedNumber(p.input(QStringLiteral("请录入住户补缴现金金额"), title,
                                           formatMask(charge - balance, QStringLiteral("###0"))));
            else
                cash = typedNumber(p.input(QStringLiteral("请录入住户实缴现金金额"), title,
                                           formatMask(charge, QStringLiteral("###0"))));
        } else if (balance < -1) {
            cash = typedNumber(p.input(QStringLiteral("您的账户存在欠款 ") + plainNumber(balance) +
                                           QStringLiteral("元，合计住户实缴现金金额应为"),
                                       title, formatMask(charge - balance, QStringLiteral("###0"))));
        } else {
            cash = typedNumber(p.input(QStringLiteral("请录入住户实缴现金金额"), title,
                                       formatMask(charge, QStringLiteral("###0"))));
        }

        const double newBalance = (balance + cash) - charge;
        const QDate today = s_.clock.today();
        QString newRemarks = remarks;
        QString appended;
        if (newBalance < -1) {
            // No title of its own: the prompter shows the program's default title.
            p.inform(QStringLiteral("住户缴金额不足，目前欠费：") + plainNumber(newBalance) +
                         QStringLiteral("元，将合并至下次共同收缴！"),
                     QString(), Prompter::Icon::None);
            appended = shortfallRemark(chineseDate(today), cash, newBalance);
            newRemarks += appended;
        }

        const Settlement settlement{billId,      billRows.first().value(0).toString(),
                                    billRows.first().value(1).toString(),
                                    storedCharge, storedBalance, cash, newRemarks, appended,
                                    QUuid::createUuid().toString(QUuid::WithoutBraces)};
        QStringList notes;
        try {
            out.receiptNo = write(settlement, &notes);
        } catch (const StoreError&) {
            if (!s_.data.db().connectionLost())
                throw;
            // The commit may have reached the server or not: neither failed nor done.
            unanswered_ = Unanswered{settlement.key, settlement.door, settlement.month, cash};
            out.unanswered = true;
            p.inform(unansweredText(unanswered_), title, Prompter::Icon::Exclamation);
            return out;
        } catch (const StaleValueError&) {
            refresh(billId);
            p.inform(staleText(), title, Prompter::Icon::Exclamation);
            out.printRequested = false;
            out.paid = bills.hasCurrent() && Criterion::valueIsTrue(bills.value(kPaid));
            return out;
        }
        // The settlement is saved from here on: what fails now is said as such, and
        // the receipt is still offered.
        out.settled = true;
        out.paid = true;
        out.remarks = newRemarks;
        try {
            refresh(billId);
        } catch (const StoreError& e) {
            notes.prepend(savedButNotRereadText() + e.message());
        }
        for (const QString& note : notes)
            p.inform(note, title, Prompter::Icon::Exclamation);
    }

    out.printRequested = p.askYesNo(QStringLiteral("是否打印当前缴费单据?"), title);
    if (!out.settled)
        out.paid = bills.hasCurrent() && Criterion::valueIsTrue(bills.value(kPaid));
    return out;
}

QString Collection::unansweredText(const Unanswered& u)
{
    return QStringLiteral("保存这笔缴费（门牌号 %1，%2 月，实收 %3 元）时与数据库服务器的连接断开了，"
                          "还不知道它是否已经保存。重新连上服务器后会立即查明并告诉您；在此之前请不要再收这笔款。")
        .arg(u.door, u.month, plainNumber(u.cash));
}

QString Collection::checkUnanswered(Database& db, const Unanswered& u)
{
    const QVariant receipt = Ledger::committedReceipt(db, u.key);
    if (receipt.isNull())
        return QStringLiteral("重新连上数据库服务器后查明：门牌号 %1 %2 月的缴费（实收 %3 元）没有保存，请重新收款。")
            .arg(u.door, u.month, plainNumber(u.cash));
    return QStringLiteral("重新连上数据库服务器后查明：门牌号 %1 %2 月的缴费（实收 %3 元）已经保存，收据号 %4。")
        .arg(u.door, u.month, plainNumber(u.cash), receipt.toString());
}

QString Collection::savedButNotRereadText()
{
    return QStringLiteral("本次缴费已经保存，但打开的窗口未能重新读出数据：");
}

QString Collection::staleText()
{
    return QStringLiteral("此账单或住户的账户余额在提示之后已被改动（例如在另一个窗口中），本次缴费没有保存，请重新缴费。");
}

qint64 Collection::write(const Settlement& st, QStringList* notes)
{
    // A transaction the server gave up for another desk's is tried again as a whole.
    for (int attempt = 1;; ++attempt) {
        try {
            return writeOnce(st, notes);
        } catch (const StoreError& e) {
            if (!e.isRetryable() || attempt == 3)
                throw;
        }
    }
}

qint64 Collection::writeOnce(const Settlement& st, QStringList* notes)
{
    Database& db = s_.data.db();
    const QString today = isoDate(s_.clock.today());
    Ledger ledger = Accounts::ledger(db, s_.app, s_.clock);
    Transaction t(db);
    // The bill must still be unpaid with the charge the prompt showed.
    db.exec(QStringLiteral("update 缴费历史 set 实缴金额 = ?, 账户余额 = ?, 缴费标志 = 1, 缴费时间 = ?, 其他说明 = ? "
                           "where ID = ? and coalesce(缴费标志, 0) = 0 and 收费金额 is ?"),
            {st.cash, 0.0, today, st.remarks, st.billId, st.charge});
    if (db.changes() != 1) {
        if (db.scalar(QStringLiteral("select count(*) from 缴费历史 where ID = ?"), {st.billId}).toInt() == 0)
            throw StoreError(0, QStringLiteral("缴费记录已不存在"));
        throw StaleValueError();
    }
    const double charge = storedNumber(st.charge);
    const double cash = st.cash;
    Ledger::Movement m;
    m.door = st.door;
    m.kind = LedgerKind::collection();
    m.amount = cash - charge;
    m.billId = st.billId;
    m.month = st.month;
    m.cash = cash;
    QString markProblem;
    m.receiptNo = ledger.nextReceiptNumber(s_.data.folder(), &markProblem);
    m.note = st.appended;
    m.key = st.key;
    m.newBalance = [cash, charge](double stored) { return (stored + cash) - charge; };
    const double newBalance = ledger.post(m, st.balance);
    db.exec(QStringLiteral("update 缴费历史 set 账户余额 = ? where ID = ?"), {newBalance, st.billId});
    db.exec(QStringLiteral("update 收费1 set 缴费时间 = ? where 门牌号 = ? and 月份 = ?"), {today, st.door, st.month});
    db.exec(QStringLiteral("update 收费2 set 缴费时间 = ? where 门牌号 = ? and 月份 = ?"), {today, st.door, st.month});
    t.commit();
    for (const QString& note : {markProblem, Ledger::rememberReceiptNumber(s_.data.folder(), m.receiptNo.toLongLong())})
        if (!note.isEmpty())
            notes->append(note);
    return m.receiptNo.toLongLong();
}

// Every window showing the shared sets sees the written rows, on the same rows as before.
void Collection::refresh(qint64 billId)
{
    DataEnvironment& data = s_.data;
    data.rs档案().requery(true);
    RecordSet& bills = data.rs缴费历史();
    bills.requery(true);
    if (bills.bookmark() != billId)
        bills.moveToBookmark(billId);
    data.rs收费1().requery(true);
    data.rs收费2().requery(true);
}
