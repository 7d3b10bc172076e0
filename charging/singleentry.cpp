#include "charging/singleentry.h"

#include "accounts/accounts.h"

#include "common/numbers.h"
#include "common/prompter.h"
#include "shell/services.h"
#include "store/criterion.h"
#include "store/dataenvironment.h"

namespace {

const QString kDoor = QStringLiteral("门牌号");

double number(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return 0.0;
    if (v.typeId() == QMetaType::QString)
        return typedNumber(v.toString());
    return v.toDouble();
}

QString text(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

// One item of 项目 as bill entry reads it.
struct Item {
    QVariant no;
    QString name;
    QVariant fixed;
    bool computed;
    bool metered;
    bool byArea;
};

QList<Item> itemsOf(RecordSet& rs)
{
    rs.open();
    QList<Item> items;
    const int n = rs.count();
    items.reserve(n);
    for (int i = 0; i < n; ++i) {
        items.append({rs.valueAt(i, QStringLiteral("项目号")), text(rs.valueAt(i, QStringLiteral("项目名"))),
                      rs.valueAt(i, QStringLiteral("固定收费")),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("计算标志"))),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("项目标志"))),
                      Criterion::valueIsTrue(rs.valueAt(i, QStringLiteral("按面积")))});
    }
    return items;
}

// The offered default of a price or amount prompt: the item's 固定收费, "0" when empty.
QString offeredFixed(const QVariant& fixed)
{
    return plainNumber(number(fixed));
}

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

void SingleEntry::enter(RecordSet& households, const QString& door, const QString& month, Result& result)
{
    Database& db = data_.db();
    const QString title = app_.appTitle;

    // 1. The household.
    if (!households.find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First)) {
        prompter_.inform(QStringLiteral("门牌号有误！"), title, Prompter::Icon::Information);
        result.outcome = Outcome::NotFound;
        return;
    }
    const QString name = text(households.value(QStringLiteral("户名")));
    const QString note = text(households.value(QStringLiteral("收费说明")));
    const double area = number(households.value(QStringLiteral("面积")));

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
            m.amount = number(bills.first().value(2));
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

    // 4. The bill is unpaid from here on (a new bill is saved now).
    if (billId == 0) {
        db.exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 实缴金额, 收费金额, 其他说明, 缴费标志) "
                               "values (?, ?, 0, 0, ?, 0)"),
                {door, month, note});
        billId = db.lastInsertRowId();
    } else {
        db.exec(QStringLiteral("update 缴费历史 set 缴费标志 = 0 where ID = ?"), {billId});
    }

    // 5, 6. Every item, in 项目号 order. "+项目号" keeps the lookups on the door-and-month
    // index; the item index would walk every household's lines of the item.
    double total = 0.0;
    const QList<Item> items = itemsOf(data_.rs项目());
    for (const Item& item : items) {
        const QString lineName = item.name + (item.byArea ? areaSuffix() : QString());
        const QString ask = QStringLiteral("请录入 ") + name + QStringLiteral(" 的 '") + item.name + QStringLiteral("' 的");
        qint64 lineId = 0;
        if (item.computed) {
            const QVariant existing = db.scalar(
                QStringLiteral("select ID from 收费2 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1"),
                {door, month, item.no});
            lineId = existing.isNull() ? 0 : existing.toLongLong();

            double previous = 0.0;
            if (item.metered) {
                const QVariant earlier = db.scalar(
                    QStringLiteral("select max(月份) from 收费2 where 门牌号 = ? and +项目号 = ? and 月份 < ?"),
                    {door, item.no, month});
                if (!earlier.isNull()) {
                    const QList<QVariantList> reading = db.query(
                        QStringLiteral("select 本月数 from 收费2 where 门牌号 = ? and 月份 = ? and +项目号 = ? "
                                       "order by ID limit 1"),
                        {door, earlier, item.no});
                    if (!reading.isEmpty())
                        previous = number(reading.first().value(0));
                }
            }

            double current = 0.0;
            if (item.metered) {
                current = typedNumber(prompter_.input(ask + QStringLiteral("本月数，默认值为上月数"), title,
                                                      plainNumber(previous)));
                if (current < previous)
                    previous = typedNumber(prompter_.input(QStringLiteral("您录入的本月数小于上月数,请重新录入上月数。"),
                                                           title, plainNumber(previous)));
            } else {
                current = typedNumber(prompter_.input(ask + QStringLiteral("本月数"), title, QStringLiteral("0")));
            }
            const double price = typedNumber(prompter_.input(ask + QStringLiteral("单价"), title, offeredFixed(item.fixed)));
            double amount = item.metered ? (current - previous) * price : current * price;
            if (item.byArea)
                amount *= area;

            if (lineId == 0) {
                db.exec(QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                                       "values (?, ?, ?, ?, ?, ?, ?, ?)"),
                        {door, month, item.no, lineName, previous, current, price, amount});
                lineId = db.lastInsertRowId();
            } else {
                db.exec(QStringLiteral("update 收费2 set 上月数 = ?, 本月数 = ?, 单价 = ?, 收费金额 = ? where ID = ?"),
                        {previous, current, price, amount, lineId});
            }
            total += number(db.scalar(QStringLiteral("select 收费金额 from 收费2 where ID = ?"), {lineId}));
        } else {
            const QVariant existing = db.scalar(
                QStringLiteral("select ID from 收费1 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1"),
                {door, month, item.no});
            lineId = existing.isNull() ? 0 : existing.toLongLong();

            double amount = typedNumber(prompter_.input(ask + QStringLiteral("金额"), title, offeredFixed(item.fixed)));
            if (item.byArea)
                amount *= area;

            if (lineId == 0) {
                db.exec(QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values (?, ?, ?, ?, ?)"),
                        {door, month, item.no, lineName, amount});
                lineId = db.lastInsertRowId();
            } else {
                db.exec(QStringLiteral("update 收费1 set 收费金额 = ? where ID = ?"), {amount, lineId});
            }
            total += number(db.scalar(QStringLiteral("select 收费金额 from 收费1 where ID = ?"), {lineId}));
        }
    }

    // 7. The total of the saved lines.
    db.exec(QStringLiteral("update 缴费历史 set 收费金额 = ? where ID = ?"), {total, billId});
    result.outcome = Outcome::Done;
}
