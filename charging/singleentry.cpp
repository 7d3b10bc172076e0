#include "charging/singleentry.h"

#include "charging/billlines.h"
#include "accounts/accounts.h"

#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/criterion.h"
#include "store/dataenvironment.h"

namespace {

const QString kDoor = QStringLiteral("门牌号");

QString text(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

// The operator answers each item's boxes.
class PromptedAnswers : public BillAnswers {
public:
    PromptedAnswers(Prompter& prompter, const QString& title, const QString& name)
        : prompter_(prompter), title_(title), name_(name)
    {
    }
    double reading(const BillItem& item, double previous) override
    {
        return typedNumber(prompter_.input(ask(item) + QStringLiteral("本月数，默认值为上月数"), title_, plainNumber(previous)));
    }
    double correctedPrevious(const BillItem&, double previous) override
    {
        return typedNumber(
            prompter_.input(QStringLiteral("您录入的本月数小于上月数,请重新录入上月数。"), title_, plainNumber(previous)));
    }
    double quantity(const BillItem& item) override
    {
        return typedNumber(prompter_.input(ask(item) + QStringLiteral("本月数"), title_, QStringLiteral("0")));
    }
    double price(const BillItem& item) override
    {
        return typedNumber(prompter_.input(ask(item) + QStringLiteral("单价"), title_, offeredFixed(item.fixed)));
    }
    double amount(const BillItem& item) override
    {
        return typedNumber(prompter_.input(ask(item) + QStringLiteral("金额"), title_, offeredFixed(item.fixed)));
    }

private:
    QString ask(const BillItem& item) const
    {
        return QStringLiteral("请录入 ") + name_ + QStringLiteral(" 的 '") + item.name + QStringLiteral("' 的");
    }
    Prompter& prompter_;
    QString title_;
    QString name_;
};

}  // namespace

SingleEntry::SingleEntry(DataEnvironment& data, Prompter& prompter, AppContext& app, Clock& clock)
    : data_(data), prompter_(prompter), app_(app), clock_(clock)
{
}

SingleEntry::SingleEntry(Services& services)
    : SingleEntry(services.data, services.prompter, services.app, services.clock)
{
}

bool SingleEntry::noteReminds(const QString& note, const QString& month)
{
    const int p = note.indexOf(QStringLiteral("年"));  // 0-based
    if (p < 4)
        return false;  // no "年" at all, or no four-character year before it
    const QString cut = note.mid(p - 4, 8);
    const QString monthText = month.left(4) + QStringLiteral("年") + month.mid(4, 2) + QStringLiteral("月");
    return QString::compare(cut, monthText, Qt::CaseSensitive) <= 0;
}

QString SingleEntry::staleText()
{
    return QStringLiteral("此账单在提问之后已被改动（例如在另一个窗口中），本次录入没有进行，请重新录入。");
}

QString SingleEntry::reminderText(const QString& note)
{
    return QStringLiteral("请注意：") + note + QStringLiteral("，有变动及时更改住户的档案信息！");
}

SingleEntry::Result SingleEntry::run(RecordSet& households, const QString& door, const QString& month)
{
    Result r;
    try {
        enter(households, door, month, r);
    } catch (const StoreError& e) {
        r.outcome = Outcome::Failed;
        r.error = e.message();
    }
    if ((r.outcome == Outcome::Done || r.outcome == Outcome::Failed) && showBill_) {
        try {
            showBill_();
        } catch (const StoreError& e) {
            if (r.outcome == Outcome::Done) {
                r.outcome = Outcome::Failed;
                r.error = e.message();
            }
        }
    }
    return r;
}

void SingleEntry::enter(RecordSet& households, const QString& typedDoor, const QString& month, Result& result)
{
    Database& db = data_.db();
    const QString title = app_.appTitle;

    // 1. The household. Finding ignores letter case; from here on the door number is
    // the household's own, so that "a-101" bills the household "A-101".
    if (!households.find(Criterion::equals(kDoor, typedDoor), RecordSet::Direction::Forward,
                         RecordSet::Start::First)) {
        prompter_.inform(QStringLiteral("门牌号有误！"), title, Prompter::Icon::Information);
        result.outcome = Outcome::NotFound;
        return;
    }
    const QString door = text(households.value(kDoor));
    const QString name = text(households.value(QStringLiteral("户名")));
    const QString note = text(households.value(QStringLiteral("收费说明")));
    const double area = storedNumber(households.value(QStringLiteral("面积")));

    // 2. The bill of the month.
    const QList<QVariantList> bills = db.query(
        QStringLiteral("select ID, 缴费标志, 收费金额 from 缴费历史 where 门牌号 = ? and 月份 = ? order by ID limit 1"),
        {door, month});
    qint64 billId = 0;
    if (!bills.isEmpty()) {
        billId = bills.first().value(0).toLongLong();
        if (Criterion::valueIsTrue(bills.first().value(1))) {
            if (!prompter_.askYesNo(QStringLiteral("此账户已经缴过费了，是否确定要修改此户已缴费的内容？"
                                                   "（此操作将改变有预存金额用户预存的金额）"),
                                    title)) {
                result.outcome = Outcome::Stopped;
                return;
            }
            // The charge goes back to the balance and the bill is unpaid again in one
            // transaction, against the bill and balance as the file holds them: a
            // bill left paid with its charge already refunded would be refunded twice
            // by the next entry, and a window's copy of the balance may be old.
            households.update();  // an edit of the household row is written first
            Ledger ledger = Accounts::ledger(db, app_, clock_);
            Transaction t(db);
            db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0 where ID = ? and coalesce(缴费标志, 0) <> 0 "
                                   "and 收费金额 is ?"),
                    {billId, bills.first().value(2)});
            if (db.changes() != 1) {
                prompter_.inform(staleText(), title, Prompter::Icon::Exclamation);
                result.outcome = Outcome::Stopped;
                return;
            }
            Ledger::Movement m;
            m.door = door;
            m.kind = LedgerKind::refund();
            m.amount = storedNumber(bills.first().value(2));
            m.billId = billId;
            m.month = month;
            m.note = QStringLiteral("已缴账单重新录入");
            ledger.post(m);
            t.commit();
            // The caller's household set shows the balance the file now holds.
            households.requery(true);
        }
    }

    // 3. The charge-note reminder.
    if (noteReminds(note, month)) {
        prompter_.inform(reminderText(note), QString(), Prompter::Icon::None);
        result.reminded = true;
    }

    // 4-7. The bill unpaid, a line per item in 项目号 order, the total of the saved lines.
    PromptedAnswers answers(prompter_, title, name);
    writeBill(db, door, month, note, area, billId, chargeItems(data_.rs项目()), answers);
    result.outcome = Outcome::Done;
}
