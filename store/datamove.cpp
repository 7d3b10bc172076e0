#include "store/datamove.h"

#include "store/database.h"
#include "store/datafile.h"
#include "store/schema.h"
#include "store/server.h"

#include <QRegularExpression>

#include <algorithm>

#include <cmath>
#include <optional>

namespace {

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QStringList names(const QList<Database::Column>& columns)
{
    QStringList out;
    for (const Database::Column& c : columns)
        out << quoted(c.name);
    return out;
}

constexpr int kBatch = 200;  // rows per insert

// Copies the rows of `table` in key order, kBatch rows per statement.
void copyRows(Database& from, Database& to, const QString& table, const QList<Database::Column>& columns)
{
    const QString list = names(columns).join(QStringLiteral(", "));
    QString one = QStringLiteral("(");
    for (int i = 0; i < columns.size(); ++i)
        one += i ? QStringLiteral(", ?") : QStringLiteral("?");
    one += QLatin1Char(')');
    auto insert = [&](int rows) {
        QStringList tuples;
        for (int i = 0; i < rows; ++i)
            tuples << one;
        return QStringLiteral("insert into %1 (%2) values %3").arg(quoted(table), list, tuples.join(QStringLiteral(", ")));
    };
    // SQLite takes at most 999 values in one statement.
    const int batch = std::max(1, std::min(kBatch, 999 / int(columns.size())));
    QVariantList pending;
    int rows = 0;
    try {
        Statement st = from.prepare(QStringLiteral("select %1 from %2 order by rowid").arg(list, quoted(table)));
        while (st.step()) {
            pending += st.row();
            if (++rows == batch) {
                to.exec(insert(rows), pending);
                pending.clear();
                rows = 0;
            }
        }
        if (rows > 0)
            to.exec(insert(rows), pending);
    } catch (const StoreError& e) {
        throw StoreError(e.code(), QStringLiteral("复制数据表 %1 时出错：%2").arg(table, e.message()), e.sqlState());
    }
}

// Row count and the sum of every number column, as both engines compute them.
QVariantList figures(Database& db, const QString& table, const QList<Database::Column>& columns)
{
    QStringList parts{QStringLiteral("count(*)")};
    for (const Database::Column& c : columns)
        if (c.type == QLatin1String("REAL") || c.type == QLatin1String("INTEGER"))
            parts << QStringLiteral("coalesce(sum(%1), 0)").arg(quoted(c.name));
    QVariantList out;
    for (const QVariant& v : db.query(QStringLiteral("select %1 from %2").arg(parts.join(QStringLiteral(", ")), quoted(table))).value(0))
        out << v.toDouble();
    return out;
}

void compare(Database& a, Database& b, const QString& table, const QList<Database::Column>& columns)
{
    const QVariantList x = figures(a, table, columns), y = figures(b, table, columns);
    for (int i = 0; i < x.size(); ++i) {
        const double p = x[i].toDouble(), q = y.value(i).toDouble();
        if (std::abs(p - q) > 1e-6 * std::max(1.0, std::abs(p)))
            throw StoreError(0, QStringLiteral("复制后 %1 的行数或金额合计不符（%2 / %3），没有保存").arg(table).arg(p).arg(q));
    }
}

}  // namespace

namespace DataMove {

void toServer(Database& file, Database& server, const QStringList& leaveOut, const Progress& progress)
{
    QStringList tables = file.tables();
    for (const QString& t : leaveOut)
        tables.removeAll(t);
    const QStringList there = server.tables();
    for (const QString& t : tables)
        if (there.contains(t, Qt::CaseInsensitive))
            throw StoreError(0, QStringLiteral("数据库 %1 中已有数据表 %2，不能把数据复制进去").arg(server.path(), t));

    Transaction t(server);
    for (const QString& table : std::as_const(tables)) {
        const QString ddl = file.scalar(QStringLiteral("select sql from sqlite_master where type = 'table' and name = ?"),
                                        {table}).toString();
        server.execScript(ddl);
        for (const QVariantList& r : file.query(QStringLiteral("select sql from sqlite_master where type = 'index' "
                                                               "and tbl_name = ? and sql is not null"), {table}))
            server.execScript(r.value(0).toString());
        const QList<Database::Column> columns = file.columns(table);
        copyRows(file, server, table, columns);
        // A copy of a table keeps the keys of the rows it holds.
        if (keepsCopiedKeys(server, table))
            server.exec(QStringLiteral("update %1 set rowid = ID").arg(quoted(table)));
        compare(file, server, table, columns);
        if (progress)
            progress(table);
    }
    t.commit();
    // The planner's statistics of the new rows: without them the first large
    // statements (the books check at log-in) are planned for empty tables.
    for (const QString& table : std::as_const(tables))
        server.execScript(QStringLiteral("analyze %1").arg(quoted(table)));
}

void toFile(Database& server, const QString& path, const QStringList& leaveOut, const Progress& progress)
{
    QStringList tables = server.tables();
    for (const QString& t : leaveOut)
        tables.removeAll(t);
    // One snapshot: what other desks commit meanwhile is not in the copy.
    server.execScript(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    struct End {
        Database& db;
        ~End() { db.execScript(QStringLiteral("ROLLBACK")); }
    } end{server};
    static const QRegularExpression indexDef(
        QStringLiteral("^CREATE (UNIQUE )?INDEX (\\S+) ON (?:\\S+\\.)?(\\S+) USING btree \\((.*)\\)$"),
        QRegularExpression::UseUnicodePropertiesOption);
    DataFile::createWith(path, [&](Database& file) {
        const QStringList seven = Schema::tables();
        for (const QString& table : std::as_const(tables)) {
            const QList<Database::Column> columns = server.columns(table);
            if (!seven.contains(table)) {
                QStringList defs;
                for (const Database::Column& c : columns)
                    defs << quoted(c.name) + QLatin1Char(' ') +
                                (c.autoKey ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT") : c.type);
                file.execScript(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), defs.join(QStringLiteral(", "))));
                for (const QVariantList& r : server.query(QStringLiteral("select indexdef from pg_indexes where schemaname = "
                                                                         "current_schema() and tablename = ?"), {table})) {
                    const auto m = indexDef.match(r.value(0).toString());
                    if (!m.hasMatch() || m.captured(4).contains(QLatin1String("rowid")) ||
                        m.captured(4) == QLatin1String("id"))
                        continue;
                    const bool unique = !m.captured(1).isEmpty() || m.captured(2).endsWith(QLatin1String("_pkey"));
                    file.execScript(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                                        .arg(unique ? QStringLiteral("UNIQUE ") : QString(), m.captured(2),
                                             m.captured(3), m.captured(4)));
                }
            }
            copyRows(server, file, table, columns);
            compare(server, file, table, columns);
            if (progress)
                progress(table);
        }
    });
}

}  // namespace DataMove
