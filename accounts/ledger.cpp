#include "accounts/ledger.h"

#include "common/numbers.h"
#include "store/database.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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
  说明 TEXT,
  电脑 TEXT,
  收款键 TEXT
);
CREATE UNIQUE INDEX 账户流水_收款键 ON 账户流水(收款键);
CREATE INDEX 账户流水_门牌号_时间 ON 账户流水(门牌号, 时间);
CREATE INDEX 账户流水_时间 ON 账户流水(时间);
CREATE INDEX 账户流水_账单ID ON 账户流水(账单ID);
CREATE TABLE 账务参数 (
  名称 TEXT PRIMARY KEY,
  值 INTEGER
);
)SQL";

// Added to a ledger made before several desks shared one database.
const char* const kDeskColumns = R"SQL(
ALTER TABLE 账户流水 ADD COLUMN 电脑 TEXT;
ALTER TABLE 账户流水 ADD COLUMN 收款键 TEXT;
CREATE UNIQUE INDEX 账户流水_收款键 ON 账户流水(收款键);
)SQL";

const QString kReceiptCounter = QStringLiteral("收据号");
const QString kStartBill = QStringLiteral("起始账单ID");

}  // namespace

Ledger::Ledger(Database& db, const QString& operatorName, const QDateTime& now)
    : db_(db), operator_(operatorName), time_(timeText(now)),
      desk_(db.deskHost().isEmpty() ? QSysInfo::machineHostName() : db.deskHost())
{
}

QVariant Ledger::committedReceipt(Database& db, const QString& key)
{
    const QList<QVariantList> rows =
        db.query(QStringLiteral("select 收据号 from 账户流水 where 收款键 = ?"), {key});
    return rows.isEmpty() ? QVariant() : QVariant(rows.first().value(0).toLongLong());
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
    if (exists(db)) {
        if (!Schema::hasColumn(db, QStringLiteral("账户流水"), QStringLiteral("收款键"))) {
            Transaction t(db);
            db.execScript(QString::fromUtf8(kDeskColumns));
            t.commit();
        }
        return;
    }
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
    db_.exec(QStringLiteral("insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 账单ID, 月份, 实收现金, 收据号, 说明, "
                            "电脑, 收款键) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
             {m.door, time_, operator_, m.kind, amount, balanceAfter, m.billId, m.month, m.cash, m.receiptNo, m.note,
              desk_, m.key});
}

double Ledger::post(const Movement& m, const std::optional<QVariant>& expected)
{
    // The balance is written only where it still holds the value read: another desk's
    // write in between is read again, never overwritten.
    for (int attempt = 1;; ++attempt) {
        const QList<QVariantList> rows =
            db_.query(QStringLiteral("select ID, 账户余额 from 档案库 where 门牌号 = ?"), {m.door});
        if (rows.isEmpty())
            throw StoreError(0, QStringLiteral("住户档案已不存在: %1").arg(m.door));
        const QVariant stored = rows.first().value(1);
        if (expected && !sameValue(stored, *expected))
            throw StaleValueError();
        const double before = number(stored);
        const double after = m.newBalance ? m.newBalance(before) : before + m.amount;
        db_.exec(QStringLiteral("update 档案库 set 账户余额 = ? where ID = ? and 账户余额 is ?"),
                 {after, rows.first().value(0), stored});
        if (db_.changes() == 1) {
            insert(m, m.amount, after);
            return after;
        }
        if (attempt == kWriteAttempts)
            throw StoreError(0, busyBalanceText(m.door));
    }
}

QString Ledger::busyBalanceText(const QString& door)
{
    return QStringLiteral("住户 %1 的账户余额正被其他操作连续修改，本次没有保存，请稍后重试。").arg(door);
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

void Ledger::closeAccount(const QString& door, const QString& name)
{
    Movement m;
    m.door = door;
    m.kind = LedgerKind::closing();
    m.amount = -db_.scalar(QStringLiteral("select coalesce(sum(金额), 0) from 账户流水 where 门牌号 = ?"), {door}).toDouble();
    m.note = name.isNull() ? QStringLiteral("") : name;
    m.newBalance = [](double) { return 0.0; };
    post(m);
}

void Ledger::moveDoor(const QString& from, const QString& to)
{
    db_.exec(QStringLiteral("update 账户流水 set 门牌号 = ? where 门牌号 = ?"), {to, from});
}

qint64 Ledger::nextReceiptNumber(const QString& folder, QString* markProblem)
{
    const ReceiptMark mark = receiptHighWater(folder);
    if (markProblem)
        *markProblem = mark.problem;
    // Advanced only from the value read: a number another desk took meanwhile is
    // read again, so no two collections share one.
    for (int attempt = 1;; ++attempt) {
        const QList<QVariantList> rows = db_.query(
            QStringLiteral("select 值, 值 >= 9223372036854775807 from 账务参数 where 名称 = ?"), {kReceiptCounter});
        if (!rows.isEmpty() && rows.first().value(1).toInt() != 0)
            throw StoreError(0, QStringLiteral("收据号计数已到上限，不能再给出新的收据号"));
        const qint64 counter = rows.isEmpty() ? 0 : rows.first().value(0).toLongLong();
        const qint64 next = std::max(counter, mark.number) + 1;
        if (rows.isEmpty()) {
            db_.exec(QStringLiteral("insert into 账务参数 (名称, 值) values (?, ?)"), {kReceiptCounter, next});
            return next;
        }
        db_.exec(QStringLiteral("update 账务参数 set 值 = ? where 名称 = ? and 值 is ?"),
                 {next, kReceiptCounter, rows.first().value(0)});
        if (db_.changes() >= 1)
            return next;
        if (attempt == kWriteAttempts)
            throw StoreError(0, QStringLiteral("收据号计数正被其他操作连续修改，本次没有保存，请稍后重试。"));
    }
}

Ledger::ReceiptMark Ledger::receiptHighWater(const QString& folder)
{
    ReceiptMark mark;
    if (folder.isEmpty())
        return mark;
    const QString path = QDir(folder).filePath(highWaterFileName());
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return mark;  // no mark yet
    const QByteArray text = f.read(64).trimmed();
    const bool digits = !text.isEmpty() && text.size() <= 10 &&
                        std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits && text.toLongLong() <= MaxReceiptNumber) {
        mark.number = text.toLongLong();
        return mark;
    }
    const QString what = text.isEmpty()
                             ? QStringLiteral("是空的")
                             : QStringLiteral("的内容“%1”不是 0 到 %2 之间的整数")
                                   .arg(QString::fromUtf8(text.left(24)) + (text.size() > 24 ? QStringLiteral("…") : QString()))
                                   .arg(MaxReceiptNumber);
    mark.problem = QStringLiteral("收据号标记文件 %1 %2，没有使用；收据号按数据文件中的计数接着编号。")
                       .arg(QDir::toNativeSeparators(path), what);
    return mark;
}

QString Ledger::rememberReceiptNumber(const QString& folder, qint64 number)
{
    // The file's own counter already holds the number durably; the mark has to outlive
    // a restore of an older data.dat. It is replaced whole, so a crash leaves either
    // the old mark or the new one.
    if (folder.isEmpty() || number > MaxReceiptNumber || number <= receiptHighWater(folder).number)
        return QString();
    const QString path = QDir(folder).filePath(highWaterFileName());
    const QString tmp = path + QStringLiteral(".tmp");
    auto failed = [&](const QString& why) {
        QFile::remove(tmp);
        return QStringLiteral("收据号标记文件 %1 未能写入：%2").arg(QDir::toNativeSeparators(path), why);
    };
    QFile::remove(tmp);
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed(f.errorString());
    const QByteArray text = QByteArray::number(number) + "\n";
    if (f.write(text) != text.size() || !f.flush())
        return failed(f.errorString());
    if (::fsync(f.handle()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    f.close();
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return QString();
}
