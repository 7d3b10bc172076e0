#include "store/server.h"

#include "store/sqlite.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// ---- Errors ----------------------------------------------------------------

namespace {

int sqliteCodeOf(const QByteArray& state)
{
    if (state.startsWith("23"))
        return SQLITE_CONSTRAINT;
    if (state == "53100")
        return SQLITE_FULL;
    if (state == "58030")
        return SQLITE_IOERR;
    if (state == "40001" || state == "40P01" || state == "55P03")
        return SQLITE_BUSY;
    if (state.startsWith("08") || state.startsWith("57P"))
        return SQLITE_CANTOPEN;
    if (state.startsWith("28"))
        return SQLITE_AUTH;
    return SQLITE_ERROR;
}

}  // namespace

StoreError serverError(pg_conn* conn, const PGresult* result, const char* what)
{
    QByteArray state;
    QString msg;
    if (result) {
        state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
        msg = QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    }
    if (msg.isEmpty())
        msg = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    if (state.isEmpty() && PQstatus(conn) != CONNECTION_OK) {
        state = "08006";
        msg = QStringLiteral("与数据库服务器的连接已断开（%1）").arg(msg);
    }
    if (what)
        msg = QStringLiteral("%1 (%2)").arg(msg, QString::fromLatin1(what));
    return StoreError(sqliteCodeOf(state), msg, QString::fromLatin1(state));
}

// ---- The program's SQL in the server's words --------------------------------

namespace ServerSql {

namespace {

// The index of the ")" that closes the "(" at `open` in code without literals.
qsizetype closing(const QString& code, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < code.size(); ++i) {
        if (code[i] == QLatin1Char('('))
            ++depth;
        else if (code[i] == QLatin1Char(')') && --depth == 0)
            return i;
    }
    return -1;
}

// The positions of the commas between the arguments of the call whose "(" is at `open`.
QList<qsizetype> commas(const QString& code, qsizetype open, qsizetype close)
{
    QList<qsizetype> out;
    int depth = 0;
    for (qsizetype i = open + 1; i < close; ++i) {
        if (code[i] == QLatin1Char('('))
            ++depth;
        else if (code[i] == QLatin1Char(')'))
            --depth;
        else if (code[i] == QLatin1Char(',') && depth == 0)
            out << i;
    }
    return out;
}

// SQLite's scalar max(a, b) and min(a, b), group_concat(x), substr() with a length
// below 0 and subqueries in FROM without a name, in the server's words.
QString functionsAndSubqueries(QString code)
{
    using RE = QRegularExpression;
    static const RE call(QStringLiteral("\\b(max|min|group_concat|substr)\\s*\\(|\\b(from|join)\\s*\\("),
                         RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    static const RE named(QStringLiteral("^\\s*(as\\b|(?!(where|group|order|limit|union|except|intersect|on|"
                                         "left|join|inner|cross|having)\\b)[\\w\\x{E000}])"),
                          RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    int subqueries = 0;
    qsizetype from = 0;
    for (auto m = call.match(code, from); m.hasMatch(); m = call.match(code, from)) {
        const qsizetype open = m.capturedEnd() - 1;
        const qsizetype close = closing(code, open);
        if (close < 0)
            break;
        const QString word = (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).toLower();
        if (word == QLatin1String("from") || word == QLatin1String("join")) {
            if (!named.match(code.mid(close + 1)).hasMatch())
                code.insert(close + 1, QStringLiteral(" as fenwary_q%1").arg(++subqueries));
        } else if (word == QLatin1String("group_concat")) {
            const QString arg = code.mid(open + 1, close - open - 1);
            const QString with = QStringLiteral("string_agg((%1)::text, ',')").arg(arg);
            code.replace(m.capturedStart(), close + 1 - m.capturedStart(), with);
            from = m.capturedStart() + 11;  // inside, for calls within the argument
            continue;
        } else if (word == QLatin1String("substr")) {
            // A length below 0 takes the characters before the start in SQLite: from
            // the first one, none.
            const QList<qsizetype> c = commas(code, open, close);
            if (c.size() == 2) {
                code.insert(close, QLatin1Char(')'));
                code.insert(c[1] + 1, QStringLiteral(" greatest(0, "));
            }
        } else if (!commas(code, open, close).isEmpty()) {
            code.replace(m.capturedStart(1), m.capturedLength(1),
                         word == QLatin1String("max") ? QStringLiteral("greatest") : QStringLiteral("least"));
        }
        from = open + 1;
    }
    return code;
}

}  // namespace

QString foldedName(QString name)
{
    for (QChar& ch : name)
        if (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z'))
            ch = QChar(ch.unicode() + 32);
    return name;
}

QString programName(const QString& name)
{
    if (name == QLatin1String("id") || (name.endsWith(QLatin1String("id")) && name.size() > 2 && name[name.size() - 3].unicode() >= 128))
        return name.left(name.size() - 2) + QStringLiteral("ID");
    return name;
}

QString statement(const QString& sql, int* params, Conflict* conflict)
{
    // Literals and quoted names are set aside while the code is rewritten.
    QString code;
    QStringList kept;
    code.reserve(sql.size() + 16);
    int n = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype j = sql.indexOf(c, i + 1);
            while (j >= 0 && j + 1 < sql.size() && sql[j + 1] == c)
                j = sql.indexOf(c, j + 2);
            if (j < 0)
                j = sql.size() - 1;
            QString part = sql.mid(i, j - i + 1);
            if (c == QLatin1Char('"'))
                part = foldedName(part);
            kept << part;
            code += QChar(0xE000) + QString::number(kept.size() - 1) + QChar(0xE001);
            i = j;
        } else if (c == QLatin1Char('?')) {
            // ?NNN names a value by its number, as SQLite allows.
            qsizetype j = i + 1;
            while (j < sql.size() && sql[j].isDigit())
                ++j;
            const int number = j > i + 1 ? sql.mid(i + 1, j - i - 1).toInt() : ++n;
            n = std::max(n, number);
            code += QLatin1Char('$') + QString::number(number);
            i = j - 1;
        } else {
            code += c;
        }
    }
    if (params)
        *params = n;

    using RE = QRegularExpression;
    static const RE begin(QStringLiteral("^\\s*BEGIN\\s+IMMEDIATE\\s*$"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    if (begin.match(code).hasMatch())
        return QStringLiteral("BEGIN");
    // "+column" keeps SQLite from an index; the server plans by itself.
    static const RE unaryPlus(QStringLiteral("\\b(and|or|where|on|not)\\s+\\+"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(unaryPlus, QStringLiteral("\\1 "));
    // SQLite's IS compares values with NULL as a value.
    static const RE isNot(QStringLiteral("\\bis\\s+not\\s+(?!null\\b|distinct\\b)"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(isNot, QStringLiteral("is distinct from "));
    static const RE is(QStringLiteral("\\bis\\s+(?!not\\b|null\\b|distinct\\b|true\\b|false\\b)"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(is, QStringLiteral("is not distinct from "));
    static const RE instr(QStringLiteral("\\binstr\\s*\\("), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(instr, QStringLiteral("strpos("));
    // SQLite's LIKE ignores the case of ASCII letters.
    static const RE like(QStringLiteral("\\blike\\b"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(like, QStringLiteral("ilike"));
    static const RE ifnull(QStringLiteral("\\bifnull\\s*\\("), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    code.replace(ifnull, QStringLiteral("coalesce("));
    code = functionsAndSubqueries(code);
    static const RE insertOr(QStringLiteral("^(\\s*insert)\\s+or\\s+(replace|ignore)\\b"), RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption);
    if (const auto m = insertOr.match(code); m.hasMatch()) {
        if (conflict)
            *conflict = m.captured(2).compare(QLatin1String("replace"), Qt::CaseInsensitive) == 0 ? Conflict::Replace
                                                                                                 : Conflict::Ignore;
        code.replace(m.capturedStart(), m.capturedLength(), m.captured(1));
    }

    QString out;
    out.reserve(code.size() + sql.size());
    for (qsizetype i = 0; i < code.size(); ++i) {
        if (code[i] == QChar(0xE000)) {
            const qsizetype j = code.indexOf(QChar(0xE001), i);
            out += kept.value(code.mid(i + 1, j - i - 1).toInt());
            i = j;
        } else {
            out += code[i];
        }
    }
    return out;
}

namespace {

// Splits a script at the semicolons outside literals and quoted names.
QStringList splitScript(const QString& sql)
{
    QStringList parts;
    QString cur;
    QChar quote;
    bool dollar = false;  // inside a $$-quoted function body
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (quote.isNull() && c == QLatin1Char('$') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('$')) {
            dollar = !dollar;
            cur += QLatin1String("$$");
            ++i;
            continue;
        }
        if (dollar) {
            cur += c;
            continue;
        }
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char(';')) {
            // A trigger's statements end with it, at its END.
            static const QRegularExpression trigger(QStringLiteral("^\\s*CREATE\\s+TRIGGER\\b.*\\bBEGIN\\b"),
                                                    QRegularExpression::CaseInsensitiveOption |
                                                        QRegularExpression::DotMatchesEverythingOption);
            if (trigger.match(cur).hasMatch() && !cur.trimmed().endsWith(QLatin1String("END"), Qt::CaseInsensitive)) {
                cur += c;
                continue;
            }
            if (!cur.trimmed().isEmpty())
                parts << cur.trimmed();
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (!cur.trimmed().isEmpty())
        parts << cur.trimmed();
    return parts;
}

QString serverTypes(QString body)
{
    static const QRegularExpression autoKey(
        QStringLiteral("\\bINTEGER\\s+PRIMARY\\s+KEY(\\s+AUTOINCREMENT)?"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression integer(QStringLiteral("\\bINTEGER\\b"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression real(QStringLiteral("\\bREAL\\b"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    body.replace(autoKey, QStringLiteral("bigint generated by default as identity primary key"));
    body.replace(integer, QStringLiteral("bigint"));
    body.replace(real, QStringLiteral("double precision"));
    return body;
}

// A row trigger as the file says it (CREATE TRIGGER name AFTER event ON table [WHEN
// condition] BEGIN statements; END) becomes a function of the trigger's name and a
// trigger calling it; the file's text is kept as the trigger's comment, where
// Database::triggers() reads it. DROP TRIGGER drops the function and with it the trigger.
// Null for any other statement.
QString triggerStatement(const QString& st)
{
    using RE = QRegularExpression;
    const auto opts = RE::CaseInsensitiveOption | RE::UseUnicodePropertiesOption | RE::DotMatchesEverythingOption;
    static const RE drop(QStringLiteral("^DROP\\s+TRIGGER\\s+(?:IF\\s+EXISTS\\s+)?(\"(?:[^\"]|\"\")+\"|\\S+)\\s*$"), opts);
    if (const auto m = drop.match(st); m.hasMatch())
        return QStringLiteral("drop function if exists %1() cascade").arg(m.captured(1));
    static const RE create(QStringLiteral("^CREATE\\s+TRIGGER\\s+(\\S+)\\s+AFTER\\s+(INSERT|DELETE|UPDATE(?:\\s+OF\\s+.+?)?)"
                                          "\\s+ON\\s+(\\S+)\\s+(?:WHEN\\s+(.+?)\\s+)?BEGIN\\s+(.+);\\s*END\\s*$"),
                           opts);
    const auto m = create.match(st);
    if (!m.hasMatch())
        return QString();
    const QString name = m.captured(1), table = m.captured(3), when = m.captured(4);
    QStringList body;
    static const RE insertOr(QStringLiteral("^\\s*insert\\s+or\\s+ignore\\b"), opts);
    static const RE select(QStringLiteral("^\\s*select\\b"), opts);
    for (QString part : splitScript(m.captured(5))) {
        const bool ignore = insertOr.match(part).hasMatch();
        part = statement(part, nullptr, nullptr);
        part.replace(select, QStringLiteral("perform"));  // a result nobody reads
        body << (ignore ? part + QStringLiteral(" on conflict do nothing") : part);
    }
    QString code = body.join(QStringLiteral("; ")) + QLatin1Char(';');
    if (!when.isEmpty())
        code = QStringLiteral("if %1 then %2 end if;").arg(statement(when, nullptr, nullptr), code);
    QString comment = st;
    comment.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("create or replace function %1() returns trigger language plpgsql as $$ begin %2 return null; "
                          "end $$;\ncreate trigger %1 after %3 on %4 for each row execute function %1();\n"
                          "comment on trigger %1 on %4 is '%5'")
        .arg(name, code, m.captured(2), table, comment);
}

QString tableStatement(const QString& st)
{
    static const QRegularExpression pragma(QStringLiteral("^PRAGMA\\b"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (pragma.match(st).hasMatch())
        return QString();
    static const QRegularExpression createAs(
        QStringLiteral("^(CREATE\\s+TABLE\\s+.*\\bAS\\s+SELECT\\s+.*\\bWHERE\\s+)0\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::DotMatchesEverythingOption);
    if (const auto m = createAs.match(st); m.hasMatch())
        return m.captured(1) + QStringLiteral("false");
    static const QRegularExpression create(QStringLiteral("^CREATE\\s+TABLE\\s+[^(]*\\("),
                                           QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (const auto m = create.match(st); m.hasMatch() && st.endsWith(QLatin1Char(')'))) {
        QString body = st.mid(m.capturedEnd(), st.size() - m.capturedEnd() - 1);
        static const QRegularExpression hasId(QStringLiteral("\\bID\\s+INTEGER\\s+PRIMARY\\s+KEY\\b"),
                                              QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
        static const QRegularExpression idColumn(QStringLiteral("(^|,)\\s*\"?ID\"?\\s"),
                                                 QRegularExpression::CaseInsensitiveOption |
                                                     QRegularExpression::UseUnicodePropertiesOption);
        // Every table has a row key named rowid: the ID where that is the key, a
        // counter of its own where there is no ID, and in a copy of a table (an ID
        // that is no key) the key of the row copied. It is the table's last column.
        const QString key = hasId.match(body).hasMatch()      ? QStringLiteral(", rowid bigint generated always as (ID) stored unique")
                            : idColumn.match(body).hasMatch() ? QStringLiteral(", rowid bigint")
                                                              : QStringLiteral(", rowid bigint generated always as identity unique");
        return statement(st.left(m.capturedEnd()) + serverTypes(body) + key + QLatin1Char(')'), nullptr, nullptr);
    }
    if (const QString t = triggerStatement(st); !t.isNull())
        return t;
    static const QRegularExpression alter(QStringLiteral("^ALTER\\s+TABLE\\b"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (alter.match(st).hasMatch())
        return statement(serverTypes(st), nullptr, nullptr);
    return statement(st, nullptr, nullptr);
}

}  // namespace

QString script(const QString& sql)
{
    QStringList out;
    for (const QString& st : splitScript(sql)) {
        const QString s = tableStatement(st);
        if (!s.isEmpty())
            out << s;
    }
    return out.join(QStringLiteral(";\n"));
}

QString writtenTable(const QString& sql)
{
    static const QRegularExpression write(
        QStringLiteral("^\\s*(?:insert\\s+(?:or\\s+\\w+\\s+)?into|replace\\s+into|update(?:\\s+or\\s+\\w+)?|delete\\s+from)"
                       "\\s+(\"(?:[^\"]|\"\")+\"|[^\\s(]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const auto m = write.match(sql);
    if (!m.hasMatch())
        return QString();
    QString t = m.captured(1);
    if (t.startsWith(QLatin1Char('"')))
        t = t.mid(1, t.size() - 2).replace(QLatin1String("\"\""), QLatin1String("\""));
    return t.toLower();
}

bool writes(const QString& sql)
{
    static const QRegularExpression read(QStringLiteral("^\\s*(?:select|values|explain|show)\\b"),
                                         QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return !read.match(sql).hasMatch();
}

}  // namespace ServerSql

// ---- Statements -------------------------------------------------------------

ServerStatement::~ServerStatement()
{
    PQclear(result);
}

void ServerStatement::prepareOnServer()
{
    PGresult* r = PQprepare(db->pg_, name.constData(), sql.constData(), params, nullptr);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) {
        StoreError e = serverError(db->pg_, r, "prepare");
        PQclear(r);
        db->noteLost(e.sqlState());
        throw e;
    }
    PQclear(r);
    prepared = true;
}

void ServerStatement::bind(int index, const QVariant& v)
{
    if (index < 1 || index > params)
        throw StoreError(SQLITE_RANGE, QStringLiteral("column index out of range (bind)"));
    QByteArray& out = values[size_t(index - 1)];
    char& null = nulls[size_t(index - 1)];
    null = 0;
    if (!v.isValid() || v.isNull()) {
        null = 1;
        out.clear();
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        out = v.toBool() ? "1" : "0";
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        out = QByteArray::number(v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d))
            throw StoreError(0, QStringLiteral("数值超出范围，不能保存"));
        // The shortest text that reads back as the same double.
        out = QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
        break;
    }
    case QMetaType::QByteArray:
        out = "\\x" + v.toByteArray().toHex();
        break;
    case QMetaType::QDate:
        out = v.toDate().toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
        break;
    default:
        out = v.toString().toUtf8();
        // Sent as a C string, a NUL would cut the text short without a word. A write
        // is refused; a search looks for a noncharacter instead, which, like a NUL,
        // no stored text holds.
        if (out.contains('\0')) {
            if (writes)
                throw StoreError(SQLITE_CONSTRAINT, QStringLiteral("文字中含有空字符 (NUL)，数据库服务器不能保存"),
                                 QStringLiteral("22021"));
            out.replace('\0', "\xEF\xBF\xBF");
        }
    }
}

namespace {

// A write inside a transaction, in a savepoint released after it: the three go to
// the server in one round trip (a pipeline). On failure the caller rolls back to
// the savepoint.
PGresult* execInSavepoint(PGconn* conn, const char* name, int params, const char* const* values)
{
    if (PQenterPipelineMode(conn) != 1) {
        PQclear(PQexec(conn, "SAVEPOINT fenwary_statement"));
        PGresult* r = PQexecPrepared(conn, name, params, values, nullptr, nullptr, 0);
        if (PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK)
            PQclear(PQexec(conn, "RELEASE SAVEPOINT fenwary_statement"));
        return r;
    }
    PQsendQueryParams(conn, "SAVEPOINT fenwary_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQsendQueryPrepared(conn, name, params, values, nullptr, nullptr, 0);
    PQsendQueryParams(conn, "RELEASE SAVEPOINT fenwary_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQpipelineSync(conn);
    PQflush(conn);
    PGresult* out = nullptr;
    for (int query = 0; query < 3; ++query)
        while (PGresult* r = PQgetResult(conn)) {
            if (query == 1 && !out)
                out = r;
            else
                PQclear(r);
        }
    PQclear(PQgetResult(conn));  // the sync
    PQexitPipelineMode(conn);
    return out;
}

}  // namespace

bool ServerStatement::step()
{
    Database& d = *db;
    PGconn* conn = d.pg_;
    if (done)
        return false;
    if (!result) {
        if (!prepared)
            prepareOnServer();
        // Inside a transaction a failed write must leave the transaction usable, as
        // SQLite undoes just the failed statement: the write runs in a savepoint.
        const bool guard = writes && d.engineInTransaction();
        std::vector<const char*> ptrs(size_t(params), nullptr);
        for (int i = 0; i < params; ++i)
            ptrs[size_t(i)] = nulls[size_t(i)] ? nullptr : values[size_t(i)].constData();
        PGresult* r = guard ? execInSavepoint(conn, name.constData(), params, ptrs.data())
                            : PQexecPrepared(conn, name.constData(), params, ptrs.data(), nullptr, nullptr, 0);
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
            StoreError e = serverError(conn, r, "step");
            PQclear(r);
            if (guard)
                PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT fenwary_statement; RELEASE SAVEPOINT fenwary_statement"));
            done = true;
            d.noteLost(e.sqlState());
            d.settle();
            throw e;
        }
        result = r;
        row = -1;
        d.server_->changes = writes ? QByteArray(PQcmdTuples(r)).toLongLong() : d.server_->changes;
        if (insert) {
            const int n = PQntuples(r);
            if (n > 0)
                d.server_->lastRowId = QByteArray(PQgetvalue(r, n - 1, 0)).toLongLong();
        }
        if (setsIds && d.server_->changes > 0) {
            // Rows given their ID: the counter goes past them, as SQLite's does.
            QString t = table;
            t.replace(QLatin1Char('"'), QLatin1String("\"\""));
            const QString sync = QStringLiteral(
                                     "select setval(s, m) from (select pg_get_serial_sequence($1, 'id') as s, "
                                     "(select max(id) from \"%1\") as m) q where m is not null and m > coalesce("
                                     "(select last_value from pg_sequences where format('%I.%I', schemaname, "
                                     "sequencename) = s), 0)")
                                     .arg(t);
            const QByteArray quoted = QByteArray("\"") + t.toUtf8() + "\"";
            const char* args[] = {quoted.constData()};
            PGresult* s = PQexecParams(conn, sync.toUtf8().constData(), 1, nullptr, args, nullptr, nullptr, 0);
            const bool ok = PQresultStatus(s) == PGRES_TUPLES_OK;
            StoreError e = ok ? StoreError(0, QString()) : serverError(conn, s, "setval");
            PQclear(s);
            if (!ok)
                throw e;
        }
        if (writes && !table.isEmpty() && d.server_->changes > 0)
            d.written_[table].insert(d.writer_);
        if (insert) {
            done = true;
            d.settle();
            return false;
        }
    }
    if (++row < PQntuples(result))
        return true;
    done = true;
    d.settle();
    return false;
}

void ServerStatement::reset()
{
    PQclear(result);
    result = nullptr;
    row = -1;
    done = false;
    std::fill(nulls.begin(), nulls.end(), 1);
}

int ServerStatement::columnCount() const
{
    return result ? PQnfields(result) : 0;
}

QString ServerStatement::columnName(int i) const
{
    return ServerSql::programName(QString::fromUtf8(PQfname(result, i)));
}

QVariant ServerStatement::value(int i) const
{
    if (!result || row < 0 || row >= PQntuples(result) || PQgetisnull(result, row, i))
        return QVariant();
    const char* text = PQgetvalue(result, row, i);
    switch (PQftype(result, i)) {
    case 20:  // int8
    case 21:  // int2
    case 23:  // int4
        return QVariant(qlonglong(std::strtoll(text, nullptr, 10)));
    case 16:  // bool: 1 and 0, as SQLite answers a comparison
        return QVariant(qlonglong(text[0] == 't' ? 1 : 0));
    case 700:   // float4
    case 701:   // float8
        return QVariant(std::strtod(text, nullptr));
    case 1700: {  // numeric: sum() of integers stays an integer
        const QByteArray t(text);
        if (!t.contains('.') && !t.contains('e') && !t.contains('E') && t.size() < 19)
            return QVariant(t.toLongLong());
        return QVariant(std::strtod(text, nullptr));
    }
    case 17: {  // bytea, hex
        const QByteArray t(text, PQgetlength(result, row, i));
        return QVariant(QByteArray::fromHex(t.mid(2)));
    }
    default:
        return QVariant(QString::fromUtf8(text, PQgetlength(result, row, i)));
    }
}

QByteArray ServerStatement::rawText(int i) const
{
    if (!result || row < 0 || PQgetisnull(result, row, i))
        return QByteArray();
    return QByteArray::fromRawData(PQgetvalue(result, row, i), PQgetlength(result, row, i));
}

// ---- Connection -------------------------------------------------------------

namespace {

// The operator's words for a connection that failed.
QString connectionProblem(PGconn* conn)
{
    const QString raw = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const QString server = QStringLiteral("%1:%2/%3").arg(QString::fromUtf8(PQhost(conn)),
                                                          QString::fromUtf8(PQport(conn)),
                                                          QString::fromUtf8(PQdb(conn)));
    if (raw.contains(QLatin1String("password authentication failed")) ||
        raw.contains(QLatin1String("no password supplied")))
        return QStringLiteral("数据库服务器 %1 拒绝登录：用户名或密码不对（%2）").arg(server, raw);
    if ((raw.contains(QLatin1String("database \"")) || raw.contains(QLatin1String("role \""))) &&
        raw.contains(QLatin1String("does not exist")))
        return QStringLiteral("数据库服务器 %1 上没有这个数据库或用户（%2）").arg(server, raw);
    return QStringLiteral("无法连接数据库服务器 %1（%2）").arg(server, raw);
}

}  // namespace

std::unique_ptr<Database> Database::connect(const QString& conninfo, const QString& password)
{
    // Connections to another machine are encrypted and check the server's name
    // unless the connection string says otherwise.
    QString info = conninfo;
    const QByteArray utf8 = conninfo.toUtf8();
    char* err = nullptr;
    PQconninfoOption* opts = PQconninfoParse(utf8.constData(), &err);
    if (!opts) {
        const QString why = err ? QString::fromUtf8(err).trimmed() : QString();
        PQfreemem(err);
        throw StoreError(SQLITE_CANTOPEN, QStringLiteral("数据库服务器的连接串有误（%1）").arg(why), QStringLiteral("08001"));
    }
    bool sslGiven = false;
    QString host;
    for (PQconninfoOption* o = opts; o->keyword; ++o) {
        if (!o->val)
            continue;
        if (qstrcmp(o->keyword, "sslmode") == 0)
            sslGiven = true;
        if (qstrcmp(o->keyword, "host") == 0 || qstrcmp(o->keyword, "hostaddr") == 0)
            host = QString::fromUtf8(o->val);
    }
    PQconninfoFree(opts);
    const bool local = host.isEmpty() || host.startsWith(QLatin1Char('/')) || host == QLatin1String("localhost") ||
                       host == QLatin1String("127.0.0.1") || host == QLatin1String("::1");
    const bool verify = !sslGiven && qEnvironmentVariableIsEmpty("PGSSLMODE") && !local;
    const QByteArray secret = password.toUtf8();
    const char* keys[4] = {"dbname", nullptr, nullptr, nullptr};
    const char* vals[4] = {utf8.constData(), nullptr, nullptr, nullptr};
    int n = 1;
    if (verify) {
        keys[n] = "sslmode";
        vals[n++] = "verify-full";
    }
    if (!password.isEmpty()) {
        keys[n] = "password";
        vals[n++] = secret.constData();
    }
    PGconn* conn = PQconnectdbParams(keys, vals, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        const QString why = conn ? connectionProblem(conn) : QStringLiteral("无法连接数据库服务器（内存不足）");
        // 28P01: the server wants a (another) password; the caller may ask for one.
        const bool refused = conn && (PQconnectionNeedsPassword(conn) || why.contains(QStringLiteral("拒绝登录")));
        PQfinish(conn);
        throw StoreError(refused ? SQLITE_AUTH : SQLITE_CANTOPEN, why,
                         refused ? QStringLiteral("28P01") : QStringLiteral("08001"));
    }
    std::unique_ptr<Database> db(new Database(conn, QString::fromUtf8(PQdb(conn))));
    db->server_->conninfo = conninfo;
    db->listen();
    return db;
}

// ---- A session's settings, notices across programs, a lost connection ---------

namespace {
const char* const kChannel = "fenwary";
// How long a burst of notices is gathered, and the least time between two re-reads.
constexpr int kGatherMs = 30;
constexpr int kBetweenMs = 250;
}  // namespace

void Database::listen()
{
    PQsetClientEncoding(pg_, "UTF8");
    const QByteArray setup = QByteArray("set client_min_messages = warning; set extra_float_digits = 1; "
                                        "set standard_conforming_strings = on; set datestyle = 'ISO, YMD'; listen ") +
                             kChannel + "; select current_schema()";
    PGresult* r = PQexec(pg_, setup.constData());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
        StoreError e = serverError(pg_, r, nullptr);
        PQclear(r);
        throw e;
    }
    server_->schema = QByteArray(PQgetvalue(r, 0, 0));
    PQclear(r);
    server_->lostSince = QDateTime();
    // Without an event loop (a command line run) nobody waits for notices.
    if (!QCoreApplication::instance())
        return;
    server_->socket = std::make_unique<QSocketNotifier>(PQsocket(pg_), QSocketNotifier::Read);
    QObject::connect(server_->socket.get(), &QSocketNotifier::activated, [this] {
        if (PQconsumeInput(pg_) == 0 && PQstatus(pg_) == CONNECTION_BAD) {
            noteLost();
            return;
        }
        hearNotices();
    });
    server_->burst.setSingleShot(true);
    QObject::disconnect(&server_->burst, nullptr, nullptr, nullptr);
    QObject::connect(&server_->burst, &QTimer::timeout, [this] { deliverHeard(); });
}

void Database::announce(const QStringList& tables)
{
    if (tables.isEmpty() || PQtransactionStatus(pg_) == PQTRANS_INERROR)
        return;
    QStringList names = tables;
    names.sort();
    const QByteArray payload = names.join(QLatin1Char(',')).toUtf8();
    const char* values[] = {kChannel, payload.constData()};
    PQclear(PQexecParams(pg_, "select pg_notify($1, current_schema() || chr(9) || $2)", 2, nullptr, values, nullptr,
                         nullptr, 0));
}

void Database::hearNotices()
{
    const int self = PQbackendPID(pg_);
    bool any = false;
    while (PGnotify* n = PQnotifies(pg_)) {
        const QByteArray payload(n->extra);
        const int tab = payload.indexOf('\t');
        if (n->be_pid != self && tab >= 0 && payload.left(tab) == server_->schema) {
            for (const QByteArray& t : payload.mid(tab + 1).split(','))
                if (!t.isEmpty())
                    server_->heard.insert(QString::fromUtf8(t));
            any = true;
        }
        PQfreemem(n);
    }
    if (!any || server_->burst.isActive() || !QCoreApplication::instance())
        return;
    const qint64 since = server_->sinceDelivery.isValid() ? server_->sinceDelivery.elapsed() : kBetweenMs;
    server_->burst.start(int(std::max<qint64>(kGatherMs, kBetweenMs - since)));
}

void Database::deliverHeard()
{
    if (server_->heard.isEmpty())
        return;
    // Inside a transaction (a long operation handling events) the notice waits.
    if (depth_ > 0 || engineInTransaction()) {
        server_->burst.start(kBetweenMs);
        return;
    }
    ChangeNotice notice;
    for (const QString& t : std::exchange(server_->heard, {}))
        notice.tables[t].insert(nullptr);
    server_->sinceDelivery.start();
    tell(notice);
}

void Database::noteLost(const QString& sqlState)
{
    if (!pg_)
        return;
    // The server ends a session it terminates with 57P01 before libpq sees the socket close.
    const bool lost = PQstatus(pg_) == CONNECTION_BAD || sqlState.startsWith(QLatin1String("08")) ||
                      sqlState.startsWith(QLatin1String("57P"));
    if (!lost || server_->lostSince.isValid())
        return;
    server_->lostSince = QDateTime::currentDateTime();
    server_->socket.reset();
    server_->burst.stop();
    server_->heard.clear();
    const auto listeners = connectionListeners_;
    for (const auto& [id, listener] : listeners)
        listener(false);
}

bool Database::connectionLost() const
{
    if (!pg_)
        return false;
    return server_->lostSince.isValid() || PQstatus(pg_) == CONNECTION_BAD;
}

QDateTime Database::lostSince() const
{
    return server_ ? server_->lostSince : QDateTime();
}

QString Database::serverName() const
{
    if (!pg_)
        return QString();
    const QString host = QString::fromUtf8(PQhost(pg_));
    return QStringLiteral("%1:%2/%3").arg(host.startsWith(QLatin1Char('/')) ? QStringLiteral("localhost") : host,
                                          QString::fromUtf8(PQport(pg_)), QString::fromUtf8(PQdb(pg_)));
}

bool Database::reconnect()
{
    if (!pg_)
        return true;
    if (PQstatus(pg_) == CONNECTION_OK && !server_->lostSince.isValid())
        return true;
    // The work that met the loss unwinds its transaction first.
    if (depth_ > 0)
        return false;
    PQreset(pg_);
    if (PQstatus(pg_) != CONNECTION_OK)
        return false;
    // A new session: nothing of the old one's prepared statements or transaction.
    for (ServerStatement* s : std::as_const(server_->statements)) {
        s->reset();
        s->prepared = false;
    }
    dropWritten();
    const QDateTime since = server_->lostSince.isValid() ? server_->lostSince : QDateTime::currentDateTime();
    QStringList all;
    try {
        listen();
        all = tables();
    } catch (const StoreError&) {
        // Lost again at once: still lost since then, tried again later.
        server_->lostSince = since;
        server_->socket.reset();
        return false;
    }
    const auto listeners = connectionListeners_;
    for (const auto& [id, listener] : listeners)
        listener(true);
    // What the others wrote meanwhile was never heard: every table is read again.
    for (const QString& t : std::as_const(all))
        server_->heard.insert(t.toLower());
    deliverHeard();
    return true;
}

int Database::addConnectionListener(std::function<void(bool)> listener)
{
    const int id = nextListener_++;
    connectionListeners_.append({id, std::move(listener)});
    return id;
}

void Database::removeConnectionListener(int id)
{
    connectionListeners_.removeIf([id](const auto& l) { return l.first == id; });
}



bool keepsCopiedKeys(Database& db, const QString& table)
{
    return db.scalar(QStringLiteral("select count(*) from information_schema.columns where table_schema = "
                                    "current_schema() and table_name = ? and column_name = 'rowid' and "
                                    "is_generated = 'NEVER' and is_identity = 'NO'"),
                     {ServerSql::foldedName(table)})
               .toInt() > 0;
}
