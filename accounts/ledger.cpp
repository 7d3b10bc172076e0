#include "accounts/ledger.h"

#include "common/numbers.h"
#include "store/database.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>

namespace {

const char* const kLedger = R"SQL(
CREATE TABLE 账户流水 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  门牌号 TEXT,
  时间 TEXT,
  操作员 TEXT,
  类别 TEXT,
  金额 REAL,
  余额 REAL,
  账单ID INTEGER,
  月份 TEXT,
  实收现金 REAL,
  收据号 INTEGER,
  说明 TEXT
);
CREATE INDEX 账户流水_门牌号_时间 ON 账户流水(门牌号, 时间);
CREATE INDEX 账户流水_时间 ON 账户流水(时间);
CREATE INDEX 账户流水_账单ID ON 账户流水(账单ID);
CREATE TABLE 账务参数 (
  名称 TEXT PRIMARY KEY,
  值 INTEGER
);
)SQL";

const QString kReceiptCounter = QStringLiteral("收据号");
const QString kStartBill = QStringLiteral("起始账单ID");

}  // namespace

Ledger::Ledger(Database& db, const QString& operatorName, const QDateTime& now)
    : db_(db), operator_(operatorName), time_(timeText(now))
{
}

QString Ledger::timeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

double Ledger::number(const QVariant& v)
{
    return storedNumber(v);
}

bool Ledger::sameValue(const QVariant& a, const QVariant& b)
{
    const bool an = a.isNull() || !a.isValid();
    const bool bn = b.isNull() || !b.isValid();
    if (an || bn)
        return an == bn;
    return number(a) == number(b);
}

bool Ledger::exists(Database& db)
{
    return !Schema::columns(db, QStringLiteral("账户流水")).isEmpty();
}

void Ledger::ensure(Database& db, const QDateTime& now)
{
    if (exists(db))
        return;
    Transaction t(db);
    db.execScript(QString::fromUtf8(kLedger));
    db.exec(QStringLiteral("insert into 账务参数 (名称, 值) values (?, 0)"), {kReceiptCounter});
    db.exec(QStringLiteral("insert into 账务参数 (名称, 值) select ?, coalesce(max(ID), 0) from 缴费历史"), {kStartBill});
    db.exec(QStringLiteral("insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 说明) "
                           "select 门牌号, ?, '', ?, coalesce(账户余额, 0), coalesce(账户余额, 0), ? "
                           "from 档案库 order by ID"),
            {timeText(now), LedgerKind::opening(), QStringLiteral("建立账务流水时的账户余额")});
    t.commit();
}

qint64 Ledger::startBillId(Database& db)
{
    return db.scalar(QStringLiteral("select 值 from 账务参数 where 名称 = ?"), {kStartBill}).toLongLong();
}

void Ledger::insert(const Movement& m, double amount, double balanceAfter)
{
    db_.exec(QStringLiteral("insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 账单ID, 月份, 实收现金, 收据号, 说明) "
                            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
             {m.door, time_, operator_, m.kind, amount, balanceAfter, m.billId, m.month, m.cash, m.receiptNo, m.note});
}

double Ledger::post(const Movement& m, const std::optional<QVariant>& expected)
{
    const QList<QVariantList> rows =
        db_.query(QStringLiteral("select ID, 账户余额 from 档案库 where 门牌号 = ?"), {m.door});
    if (rows.isEmpty())
        throw StoreError(0, QStringLiteral("住户档案已不存在: %1").arg(m.door));
    const QVariant stored = rows.first().value(1);
    if (expected && !sameValue(stored, *expected))
        throw StaleValueError();
    const double before = number(stored);
    const double after = m.newBalance ? m.newBalance(before) : before + m.amount;
    db_.exec(QStringLiteral("update 档案库 set 账户余额 = ? where ID = ?"), {after, rows.first().value(0)});
    insert(m, m.amount, after);
    return after;
}

void Ledger::journalWrite(qint64 householdId, const QString& door, const QVariant& newBalance)
{
    const QVariant stored = db_.scalar(QStringLiteral("select 账户余额 from 档案库 where ID = ?"), {householdId});
    const double before = number(stored);
    const double after = number(newBalance);
    if (after == before)
        return;
    Movement m;
    m.door = door;
    m.kind = LedgerKind::adjustment();
    m.note = QStringLiteral("档案录入中修改账户余额");
    insert(m, after - before, after);
}

void Ledger::journalOpening(const QString& door, const QVariant& balance)
{
    Movement m;
    m.door = door;
    m.kind = LedgerKind::opening();
    m.note = QStringLiteral("新住户的期初余额");
    insert(m, number(balance), number(balance));
}

void Ledger::carryForward(const QString& door, double amount, const QString& note)
{
    Movement m;
    m.door = door;
    m.kind = LedgerKind::carried();
    m.note = note;
    const QVariant stored = db_.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {door});
    insert(m, amount, number(stored));
}

void Ledger::moveDoor(const QString& from, const QString& to)
{
    db_.exec(QStringLiteral("update 账户流水 set 门牌号 = ? where 门牌号 = ?"), {to, from});
}

qint64 Ledger::nextReceiptNumber(const QString& folder)
{
    const qint64 counter =
        db_.scalar(QStringLiteral("select 值 from 账务参数 where 名称 = ?"), {kReceiptCounter}).toLongLong();
    const qint64 next = std::max(counter, receiptHighWater(folder)) + 1;
    db_.exec(QStringLiteral("update 账务参数 set 值 = ? where 名称 = ?"), {next, kReceiptCounter});
    if (db_.changes() != 1)
        db_.exec(QStringLiteral("insert into 账务参数 (名称, 值) values (?, ?)"), {kReceiptCounter, next});
    return next;
}

qint64 Ledger::receiptHighWater(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    QFile f(QDir(folder).filePath(highWaterFileName()));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return QString::fromLatin1(f.readAll()).trimmed().toLongLong();
}

void Ledger::rememberReceiptNumber(const QString& folder, qint64 number)
{
    if (folder.isEmpty() || number <= receiptHighWater(folder))
        return;
    // Not synced: the file's own counter already holds the number durably; this mark
    // only has to outlive a restore of an older data.dat, which comes long after.
    // A mark torn by a crash reads as 0 and the file's counter is used.
    QFile f(QDir(folder).filePath(highWaterFileName()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    f.write(QByteArray::number(number) + "\n");
}
