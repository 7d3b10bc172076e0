#include "accounts/bookscheck.h"

#include "accounts/ledger.h"
#include "store/criterion.h"
#include "store/database.h"

#include <QHash>
#include <QSet>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>

namespace {

// The mark and what the triggers record since it. 核对住户 keeps a household's row as
// it was at the mark (原有 = 0: it did not exist); the first write since the mark wins.
const char* const kMarkTables = R"SQL(
CREATE TABLE IF NOT EXISTS 核对标记 (流水ID INTEGER, 住户摘要 TEXT, 起始账单ID INTEGER);
CREATE TABLE IF NOT EXISTS 核对住户 (ID INTEGER PRIMARY KEY, 原有 INTEGER, 门牌号 TEXT, 账户余额 REAL);
CREATE TABLE IF NOT EXISTS 核对门牌 (门牌号 TEXT PRIMARY KEY);
CREATE TABLE IF NOT EXISTS 核对账单 (ID BIGINT PRIMARY KEY);
)SQL";

struct TriggerText {
    const char* name;
    const char* sql;
};

// Movements above the mark are read by the check itself; an insert below the ledger's
// highest ID, and every update or delete, names its door numbers and bills. A bill counts when it
// is paid or has movements: the settlement rules read no other.
const TriggerText kTriggers[] = {
    {"核对_档案库_增", "CREATE TRIGGER 核对_档案库_增 AFTER INSERT ON 档案库 BEGIN "
                       "INSERT OR IGNORE INTO 核对住户 (ID, 原有) VALUES (NEW.ID, 0); END"},
    {"核对_档案库_删", "CREATE TRIGGER 核对_档案库_删 AFTER DELETE ON 档案库 BEGIN "
                       "INSERT OR IGNORE INTO 核对住户 VALUES (OLD.ID, 1, OLD.门牌号, OLD.账户余额); END"},
    {"核对_档案库_改", "CREATE TRIGGER 核对_档案库_改 AFTER UPDATE OF ID, 门牌号, 账户余额 ON 档案库 BEGIN "
                       "INSERT OR IGNORE INTO 核对住户 VALUES (OLD.ID, 1, OLD.门牌号, OLD.账户余额); "
                       "INSERT OR IGNORE INTO 核对住户 (ID, 原有) VALUES (NEW.ID, 0); END"},
    {"核对_账户流水_增", "CREATE TRIGGER 核对_账户流水_增 AFTER INSERT ON 账户流水 "
                         "WHEN NEW.ID < (SELECT max(ID) FROM 账户流水) BEGIN "
                         "INSERT OR IGNORE INTO 核对门牌 VALUES (NEW.门牌号); "
                         "INSERT OR IGNORE INTO 核对账单 SELECT NEW.账单ID WHERE NEW.账单ID IS NOT NULL; END"},
    {"核对_账户流水_删", "CREATE TRIGGER 核对_账户流水_删 AFTER DELETE ON 账户流水 BEGIN "
                         "INSERT OR IGNORE INTO 核对门牌 VALUES (OLD.门牌号); "
                         "INSERT OR IGNORE INTO 核对账单 SELECT OLD.账单ID WHERE OLD.账单ID IS NOT NULL; END"},
    {"核对_账户流水_改", "CREATE TRIGGER 核对_账户流水_改 AFTER UPDATE ON 账户流水 BEGIN "
                         "INSERT OR IGNORE INTO 核对门牌 VALUES (OLD.门牌号); "
                         "INSERT OR IGNORE INTO 核对门牌 VALUES (NEW.门牌号); "
                         "INSERT OR IGNORE INTO 核对账单 SELECT OLD.账单ID WHERE OLD.账单ID IS NOT NULL; "
                         "INSERT OR IGNORE INTO 核对账单 SELECT NEW.账单ID WHERE NEW.账单ID IS NOT NULL; END"},
    {"核对_缴费历史_增", "CREATE TRIGGER 核对_缴费历史_增 AFTER INSERT ON 缴费历史 "
                         "WHEN coalesce(NEW.缴费标志, 0) <> 0 OR EXISTS (SELECT 1 FROM 账户流水 WHERE 账单ID = NEW.ID) "
                         "BEGIN INSERT OR IGNORE INTO 核对账单 VALUES (NEW.ID); END"},
    {"核对_缴费历史_改", "CREATE TRIGGER 核对_缴费历史_改 AFTER UPDATE OF ID, 缴费标志, 收费金额 ON 缴费历史 "
                         "WHEN coalesce(OLD.缴费标志, 0) <> 0 OR coalesce(NEW.缴费标志, 0) <> 0 "
                         "OR EXISTS (SELECT 1 FROM 账户流水 WHERE 账单ID IN (OLD.ID, NEW.ID)) BEGIN "
                         "INSERT OR IGNORE INTO 核对账单 VALUES (OLD.ID); "
                         "INSERT OR IGNORE INTO 核对账单 VALUES (NEW.ID); END"},
};


quint64 fnv(quint64 h, const void* data, size_t n)
{
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ULL;
    }
    return h;
}

// One household's share of the digest; the digest is the sum of the shares, so a
// row can be taken out and put back without reading the others.
quint64 rowHash(qint64 id, const QByteArray& door, const QVariant& balance)
{
    quint64 h = 14695981039346656037ULL;
    h = fnv(h, &id, sizeof id);
    const qint64 size = door.size();
    h = fnv(h, &size, sizeof size);
    h = fnv(h, door.constData(), size_t(door.size()));
    const unsigned char isNull = balance.isNull() || !balance.isValid();
    h = fnv(h, &isNull, 1);
    double v = Ledger::number(balance);
    if (v == 0)
        v = 0;  // -0 and 0 are one balance
    h = fnv(h, &v, sizeof v);
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return h;
}

QString digestText(quint64 d)
{
    return QStringLiteral("%1").arg(d, 16, 16, QLatin1Char('0'));
}

QByteArray copied(const QByteArray& raw)
{
    return QByteArray(raw.constData(), raw.size());
}

void installTriggers(Database& db)
{
    const QHash<QString, QString> have = db.triggers();
    for (const TriggerText& t : kTriggers) {
        const QString name = QString::fromUtf8(t.name), sql = QString::fromUtf8(t.sql);
        const auto it = have.constFind(name);
        if (it != have.constEnd() && *it == sql)
            continue;
        if (it != have.constEnd())
            db.execScript(QStringLiteral("DROP TRIGGER \"%1\"").arg(name));
        db.execScript(sql);
    }
}

}  // namespace

QList<BooksCheck::Mismatch> BooksCheck::run(Database& db)
{
    QList<Mismatch> out;

    // Balances against the sums of the movements, households in their order.
    QHash<QString, double> sums;
    {
        Statement st = db.prepare(QStringLiteral("select 门牌号, sum(金额) from 账户流水 group by 门牌号"));
        while (st.step())
            sums.insert(st.value(0).toString(), st.value(1).toDouble());
    }
    {
        Statement st = db.prepare(QStringLiteral("select 门牌号, 账户余额 from 档案库 order by ID"));
        while (st.step()) {
            const QString door = st.value(0).toString();
            const double stored = Ledger::number(st.value(1));
            const auto it = sums.find(door);
            const double ledger = it == sums.end() ? 0 : it.value();
            if (it != sums.end())
                sums.erase(it);
            if (std::abs(stored - ledger) > Tolerance)
                out.append({door, QString(), stored, ledger, QStringLiteral("账户余额与流水合计不符")});
        }
    }
    // Movements of a door number that no household has.
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        if (std::abs(it.value()) > Tolerance)
            out.append({it.key(), QString(), 0, it.value(), QStringLiteral("流水的门牌号没有住户档案")});

    // Paid bills: the last of their collection, refund and reversal movements is a
    // collection. Bills paid before the ledger began have none at all.
    // Whether each bill's last such movement is a collection.
    QHash<qint64, bool> last;
    {
        const QByteArray collection = LedgerKind::collection().toUtf8();
        Statement st = db.prepare(QStringLiteral("select 账单ID, 类别 from 账户流水 where 账单ID is not null order by ID"));
        while (st.step())
            last.insert(st.value(0).toLongLong(), st.rawText(1) == collection);
    }
    const qint64 start = Ledger::startBillId(db);
    {
        Statement st = db.prepare(QStringLiteral("select b.ID, b.门牌号, b.月份, d.账户余额 from 缴费历史 b "
                                                 "left join 档案库 d on d.门牌号 = b.门牌号 "
                                                 "where coalesce(b.缴费标志, 0) <> 0 order by b.门牌号, b.月份"));
        while (st.step()) {
            const qint64 id = st.value(0).toLongLong();
            const auto it = last.constFind(id);
            if (it == last.constEnd() ? id <= start : *it)
                continue;
            const QString door = st.value(1).toString();
            const double stored = Ledger::number(st.value(3));
            out.append({door, st.value(2).toString(), stored, stored, QStringLiteral("已缴账单没有有效的收款流水")});
        }
    }
    checkSettlements(db, out);
    return out;
}

// A bill whose last movement is a collection not undone since must be paid, with the
// charge that collection settled (cash − movement).
void BooksCheck::checkSettlements(Database& db, QList<Mismatch>& out)
{
    // Stepped row by row: the settled bills of a long history do not fit in memory at once.
    Statement st = db.prepare(
        QStringLiteral("select b.门牌号, b.月份, b.缴费标志, b.收费金额, m.实收现金, m.金额, d.账户余额 "
                       "from (select 账单ID, max(ID) as 末笔 from 账户流水 where 账单ID is not null group by 账单ID) x "
                       "join 缴费历史 b on b.ID = x.账单ID join 账户流水 m on m.ID = x.末笔 "
                       "left join 档案库 d on d.门牌号 = b.门牌号 where m.类别 = ? order by b.门牌号, b.月份"));
    st.bind(1, LedgerKind::collection());
    while (st.step()) {
        const QVariantList r = st.row();
        const double stored = Ledger::number(r.value(6));
        if (!Criterion::valueIsTrue(r.value(2)))
            out.append({r.value(0).toString(), r.value(1).toString(), stored, stored,
                        QStringLiteral("有收款流水的账单未标为已缴")});
        else if (std::abs(Ledger::number(r.value(3)) - (Ledger::number(r.value(4)) - Ledger::number(r.value(5)))) >
                 Tolerance)
            out.append({r.value(0).toString(), r.value(1).toString(), stored, stored,
                        QStringLiteral("已缴账单的收费金额与收款时不符")});
    }
}

QList<BooksCheck::Mismatch> BooksCheck::runAndMark(Database& db, QString* markProblem)
{
    std::optional<Transaction> t;
    try {
        t.emplace(db);
    } catch (const StoreError&) {
        return run(db);  // another writer holds the file: no mark this time
    }
    const QList<Mismatch> found = run(db);
    try {
        if (found.isEmpty())
            writeMark(db, currentMark(db));
        else
            db.execScript(QString::fromUtf8(kMarkTables));  // the triggers' tables stay whatever else is wrong
        t->commit();
    } catch (const StoreError& e) {
        // The transaction rolls back: the earlier mark, or none, stays.
        if (markProblem)
            *markProblem = e.message();
    }
    return found;
}

QList<BooksCheck::Mismatch> BooksCheck::atLogIn(Database& db, Scope* used, QString* markProblem)
{
    if (used)
        *used = Scope::Full;
    std::optional<Transaction> t;
    try {
        t.emplace(db);
    } catch (const StoreError&) {
        return run(db);
    }
    Mark next;
    bool changed = false;
    const std::optional<QList<Mismatch>> since = sinceMark(db, &next, &changed);
    if (!since || !since->isEmpty()) {
        // No usable mark, or something to list: the full check gives the answer.
        t.reset();
        return runAndMark(db, markProblem);
    }
    if (used)
        *used = Scope::SinceMark;
    if (changed) {
        try {
            writeMark(db, next);
            t->commit();
        } catch (const StoreError& e) {
            if (markProblem)
                *markProblem = e.message();
        }
    }
    return {};
}

QString BooksCheck::markFailureText(const QString& problem)
{
    return QStringLiteral("账务核对无误，但核对标记未能写入，下次登录时将全面核对: %1").arg(problem);
}

std::optional<QList<BooksCheck::Mismatch>> BooksCheck::sinceMark(Database& db)
{
    Mark next;
    bool changed = false;
    return sinceMark(db, &next, &changed);
}

BooksCheck::Mark BooksCheck::currentMark(Database& db)
{
    Mark m;
    m.lastMovement = db.scalar(QStringLiteral("select coalesce(max(ID), 0) from 账户流水")).toLongLong();
    m.startBill = Ledger::startBillId(db);
    Statement st = db.prepare(QStringLiteral("select ID, 门牌号, 账户余额 from 档案库"));
    while (st.step())
        m.digest += rowHash(st.value(0).toLongLong(), st.rawText(1), st.value(2));
    return m;
}

void BooksCheck::writeMark(Database& db, const Mark& mark)
{
    db.execScript(QString::fromUtf8(kMarkTables));
    installTriggers(db);
    db.execScript(QStringLiteral("delete from 核对住户; delete from 核对门牌; delete from 核对账单;"));
    db.exec(QStringLiteral("delete from 核对标记"));
    db.exec(QStringLiteral("insert into 核对标记 (流水ID, 住户摘要, 起始账单ID) values (?, ?, ?)"),
            {mark.lastMovement, digestText(mark.digest), mark.startBill});
}

std::optional<QList<BooksCheck::Mismatch>> BooksCheck::sinceMark(Database& db, Mark* next, bool* changed)
{
    // The triggers, the unique door numbers and the mark must be as this program
    // wrote them; a trigger it does not know could hide a write.
    Mark mark;
    {
        // Door numbers key the ledger's sums: without a unique index two households could share one.
        if (!db.isUniqueKey(QStringLiteral("档案库"), QStringLiteral("门牌号")) || !db.hasTable(QStringLiteral("核对标记")))
            return std::nullopt;
        const QHash<QString, QString> triggers = db.triggers();
        if (triggers.size() != qsizetype(std::size(kTriggers)))
            return std::nullopt;
        for (const TriggerText& t : kTriggers)
            if (triggers.value(QString::fromUtf8(t.name)) != QString::fromUtf8(t.sql))
                return std::nullopt;
        const QList<QVariantList> rows = db.query(QStringLiteral("select 流水ID, 住户摘要, 起始账单ID from 核对标记"));
        if (rows.size() != 1)
            return std::nullopt;
        const QVariantList& r = rows.first();
        const QString digest = r.value(1).toString();
        bool ok = false;
        mark.digest = digest.toULongLong(&ok, 16);
        if (r.value(0).typeId() != QMetaType::LongLong || r.value(1).typeId() != QMetaType::QString ||
            r.value(2).typeId() != QMetaType::LongLong || digest.size() != 16 || !ok)
            return std::nullopt;
        mark.lastMovement = r.value(0).toLongLong();
        mark.startBill = r.value(2).toLongLong();
    }
    next->startBill = Ledger::startBillId(db);
    next->lastMovement = db.scalar(QStringLiteral("select coalesce(max(ID), 0) from 账户流水")).toLongLong();
    if (next->startBill != mark.startBill || next->lastMovement < mark.lastMovement)
        return std::nullopt;

    // Households written since the mark, as they were at the mark.
    struct Before {
        bool existed = false;
        QByteArray door;
        QVariant balance;
    };
    QHash<qint64, Before> before;
    {
        Statement st = db.prepare(QStringLiteral("select ID, 原有, 门牌号, 账户余额 from 核对住户"));
        while (st.step())
            before.insert(st.value(0).toLongLong(), {st.value(1).toInt() != 0, copied(st.rawText(2)), st.value(3)});
    }
    // Door numbers whose movements up to the mark were written since: their sums are
    // read whole. Every other door's sum is its balance at the mark and the
    // movements above it.
    QSet<QByteArray> wholeSum, touched;
    QSet<qint64> bills;
    QHash<QByteArray, double> delta;
    {
        Statement st = db.prepare(QStringLiteral("select 门牌号 from 核对门牌"));
        while (st.step()) {
            if (st.value(0).isNull())
                return std::nullopt;
            wholeSum.insert(copied(st.rawText(0)));
        }
    }
    {
        Statement st = db.prepare(QStringLiteral("select ID from 核对账单"));
        while (st.step()) {
            const QVariant id = st.value(0);
            if (id.typeId() != QMetaType::LongLong)
                return std::nullopt;
            bills.insert(id.toLongLong());
        }
    }
    {
        // One pass over the ID range: grouped or distinct in SQL, the planner walks a whole
        // index of the ledger for the order instead.
        Statement st = db.prepare(
            QStringLiteral("select 门牌号, 金额, 账单ID from 账户流水 where ID > ? order by ID"));
        st.bind(1, mark.lastMovement);
        while (st.step()) {
            if (st.value(0).isNull())
                return std::nullopt;
            delta[copied(st.rawText(0))] += st.value(1).toDouble();
            if (!st.value(2).isNull())
                bills.insert(st.value(2).toLongLong());
        }
    }
    touched = wholeSum;
    for (auto it = delta.cbegin(); it != delta.cend(); ++it)
        touched.insert(it.key());
    for (const Before& b : std::as_const(before))
        if (b.existed)
            touched.insert(b.door);

    // Every household for the digest; the written ones and those of touched doors
    // are checked.
    struct Row {
        qint64 id;
        QByteArray door;
        QVariant balance;
    };
    QList<Row> rows;
    QSet<QByteArray> present;
    quint64 expected = 0, now = 0;
    {
        Statement st = db.prepare(QStringLiteral("select ID, 门牌号, 账户余额 from 档案库"));
        while (st.step()) {
            const qint64 id = st.value(0).toLongLong();
            const QByteArray door = st.rawText(1);
            const QVariant balance = st.value(2);
            const quint64 h = rowHash(id, door, balance);
            now += h;
            const bool written = before.contains(id);
            if (!written)
                expected += h;
            if (written || touched.contains(door)) {
                rows.append({id, copied(door), balance});
                present.insert(rows.last().door);
            }
        }
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (it->existed)
            expected += rowHash(it.key(), it->door, it->balance);
    if (expected != mark.digest)
        return std::nullopt;  // a household changed without leaving its trace
    next->digest = now;
    *changed = !before.isEmpty() || !wholeSum.isEmpty() || !bills.isEmpty() ||
               next->lastMovement != mark.lastMovement || now != mark.digest;

    QList<Mismatch> out;
    for (const Row& r : std::as_const(rows)) {
        const QString door = QString::fromUtf8(r.door);
        const auto b = before.constFind(r.id);
        double ledger = 0;
        if (wholeSum.contains(r.door) || (b != before.cend() && (!b->existed || b->door != r.door)))
            ledger = ledgerSum(db, door);
        else
            ledger = Ledger::number(b != before.cend() ? b->balance : r.balance) + delta.value(r.door);
        const double stored = Ledger::number(r.balance);
        if (std::abs(stored - ledger) > Tolerance)
            out.append({door, QString(), stored, ledger, QStringLiteral("账户余额与流水合计不符")});
    }
    for (const QByteArray& d : std::as_const(touched)) {
        if (present.contains(d))
            continue;
        const QString door = QString::fromUtf8(d);
        const double sum = ledgerSum(db, door);
        if (std::abs(sum) > Tolerance)
            out.append({door, QString(), 0, sum, QStringLiteral("流水的门牌号没有住户档案")});
    }

    // The settlement rules for every bill that may have changed: its row and its last
    // movement, read a few hundred bills to a statement.
    QHash<qint64, QVariantList> billRows, lastMovements;
    const QList<qint64> ids(bills.cbegin(), bills.cend());
    for (qsizetype at = 0; at < ids.size(); at += 400) {
        const QList<qint64> part = ids.mid(at, 400);
        const QString marks = QStringList(part.size(), QStringLiteral("?")).join(QLatin1String(", "));
        const QVariantList values(part.cbegin(), part.cend());
        QVariantList lastIds;
        for (const QVariantList& r : db.query(
                 QStringLiteral("select ID, coalesce(缴费标志, 0) <> 0, 缴费标志, 收费金额, 门牌号, 月份, "
                                "(select max(ID) from 账户流水 where 账单ID = b.ID) from 缴费历史 b where ID in (%1)")
                     .arg(marks),
                 values)) {
            billRows.insert(r.value(0).toLongLong(), r);
            if (!r.value(6).isNull())
                lastIds << r.value(6);
        }
        if (lastIds.isEmpty())
            continue;
        for (const QVariantList& r : db.query(
                 QStringLiteral("select 账单ID, 类别, 实收现金, 金额 from 账户流水 where ID in (%1)")
                     .arg(QStringList(lastIds.size(), QStringLiteral("?")).join(QLatin1String(", "))),
                 lastIds))
            lastMovements.insert(r.value(0).toLongLong(), r);
    }
    for (const qint64 id : std::as_const(bills)) {
        const auto found = billRows.constFind(id);
        if (found == billRows.cend())
            continue;
        const QVariantList& b = *found;
        const auto last = lastMovements.constFind(id);
        const bool collected = last != lastMovements.cend() && last->value(1).toString() == LedgerKind::collection();
        const QString door = b.value(4).toString(), month = b.value(5).toString();
        if (b.value(1).toInt() != 0 && !(last == lastMovements.cend() ? id <= next->startBill : collected))
            out.append({door, month, 0, 0, QStringLiteral("已缴账单没有有效的收款流水")});
        if (!collected)
            continue;
        if (!Criterion::valueIsTrue(b.value(2)))
            out.append({door, month, 0, 0, QStringLiteral("有收款流水的账单未标为已缴")});
        else if (std::abs(Ledger::number(b.value(3)) - (Ledger::number(last->value(2)) - Ledger::number(last->value(3)))) >
                 Tolerance)
            out.append({door, month, 0, 0, QStringLiteral("已缴账单的收费金额与收款时不符")});
    }
    return out;
}

QStringList BooksCheck::markTables()
{
    return {QStringLiteral("核对标记"), QStringLiteral("核对住户"), QStringLiteral("核对门牌"), QStringLiteral("核对账单")};
}

double BooksCheck::ledgerSum(Database& db, const QString& door)
{
    return db.scalar(QStringLiteral("select coalesce(sum(金额), 0) from 账户流水 where 门牌号 = ?"), {door}).toDouble();
}
