#include "store/database.h"

#include "store/server.h"
#include "store/sqlite.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <utility>
#include <QHash>
#include <QRegularExpression>

namespace {

// A full disk or a failing one is named in the operator's words; SQLite's text follows.
QString withCause(int code, const QString& message)
{
    switch (code & 0xff) {
    case SQLITE_FULL: return QStringLiteral("磁盘已满，数据没有写入（%1）").arg(message);
    case SQLITE_IOERR: return QStringLiteral("磁盘读写出错（%1）").arg(message);
    default: return message;
    }
}

}  // namespace

StoreError::StoreError(int code, const QString& message, const QString& sqlState)
    : std::runtime_error(withCause(code, message).toStdString()), code_(code), message_(withCause(code, message)),
      sqlState_(sqlState)
{
}

bool StoreError::isConstraint() const
{
    return (code_ & 0xff) == SQLITE_CONSTRAINT;
}

struct Database::Cache {
    QHash<QString, sqlite3_stmt*> statements;
};

// ---- Statement -------------------------------------------------------------

Statement::Statement(Database& db, sqlite3_stmt* stmt) : db_(&db), stmt_(stmt) {}

Statement::Statement(Database& db, ServerStatement* stmt) : db_(&db), srv_(stmt) {}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_), srv_(other.srv_)
{
    other.stmt_ = nullptr;
    other.srv_ = nullptr;
}

Statement::~Statement()
{
    if (srv_) {
        srv_->reset();
        db_->settle();
    }
    if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        db_->settle();
    }
}

Statement& Statement::bind(int index, const QVariant& v)
{
    if (srv_) {
        srv_->bind(index, v);
        return *this;
    }
    int rc;
    if (!v.isValid() || v.isNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int(stmt_, index, v.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(stmt_, index, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            // An overflowed amount (1e308 × 2.5) must not be stored as infinity; NaN
            // would silently become NULL.
            const double d = v.toDouble();
            if (!std::isfinite(d))
                throw StoreError(0, QStringLiteral("数值超出范围，不能保存"));
            rc = sqlite3_bind_double(stmt_, index, d);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob(stmt_, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QDate:
            rc = sqlite3_bind_text(stmt_, index, v.toDate().toString("yyyy-MM-dd").toUtf8().constData(), -1,
                                   SQLITE_TRANSIENT);
            break;
        default: {
            const QByteArray t = v.toString().toUtf8();
            rc = sqlite3_bind_text(stmt_, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
        }
    }
    db_->check(rc, "bind");
    return *this;
}

Statement& Statement::bindAll(const QVariantList& values)
{
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values[i]);
    return *this;
}

bool Statement::step()
{
    if (srv_) {
        if (db_->seal_ && srv_->writes && !srv_->result)
            db_->refuseForeignWrite();
        return srv_->step();
    }
    if (db_->seal_ && !sqlite3_stmt_readonly(stmt_))
        db_->refuseForeignWrite();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        db_->settle();
        return false;
    }
    sqlite3_reset(stmt_);
    db_->settle();
    db_->check(rc, "step");
    return false;
}

int Statement::columnCount() const
{
    if (srv_)
        return srv_->columnCount();
    return sqlite3_column_count(stmt_);
}

QString Statement::columnName(int i) const
{
    if (srv_)
        return srv_->columnName(i);
    return QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

QVariant Statement::value(int i) const
{
    if (srv_)
        return srv_->value(i);
    switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                                          sqlite3_column_bytes(stmt_, i)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, i)),
                                   sqlite3_column_bytes(stmt_, i)));
    default:
        return QVariant();
    }
}

QByteArray Statement::rawText(int i) const
{
    if (srv_)
        return srv_->rawText(i);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return text ? QByteArray::fromRawData(text, sqlite3_column_bytes(stmt_, i)) : QByteArray();
}

QVariantList Statement::row() const
{
    QVariantList r;
    const int n = columnCount();
    r.reserve(n);
    for (int i = 0; i < n; ++i)
        r.append(value(i));
    return r;
}

// ---- Database --------------------------------------------------------------

namespace {

// A DELETE without a condition would empty the table without visiting its rows
// (and without telling the update hook); ignoring the action makes SQLite delete
// row by row instead. DROP TABLE asks for the same action on the table it drops,
// where ignoring it would cancel the drop: that one is allowed.
int authorize(void* arg, int action, const char* table, const char*, const char*, const char*)
{
    auto* dropping = static_cast<QByteArray*>(arg);
    if (action == SQLITE_DROP_TABLE || action == SQLITE_DROP_TEMP_TABLE) {
        *dropping = table;
        return SQLITE_OK;
    }
    if (action == SQLITE_DELETE && table && qstrnicmp(table, "sqlite_", 7) != 0) {
        if (!dropping->isEmpty() && qstricmp(table, dropping->constData()) == 0) {
            dropping->clear();
            return SQLITE_OK;
        }
        return SQLITE_IGNORE;
    }
    return SQLITE_OK;
}

}  // namespace

Database::Database(sqlite3* db, const QString& path) : db_(db), path_(path), cache_(new Cache)
{
    sqlite3_update_hook(db_, &Database::onUpdate, this);
    sqlite3_set_authorizer(db_, &authorize, &dropping_);
}

Database::Database(pg_conn* pg, const QString& name)
    : pg_(pg), server_(new Server), path_(name), cache_(new Cache)
{
}

bool Database::engineInTransaction() const
{
    if (pg_) {
        const PGTransactionStatusType st = PQtransactionStatus(pg_);
        return st == PQTRANS_INTRANS || st == PQTRANS_INERROR || st == PQTRANS_ACTIVE;
    }
    return !sqlite3_get_autocommit(db_);
}

void Database::rollbackEngine(int level)
{
    // A failed COMMIT may already have ended the transaction; rollback errors are moot then.
    if (level == 0) {
        if (!engineInTransaction())
            return;
        if (pg_)
            PQclear(PQexec(pg_, "ROLLBACK"));
        else
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    const QByteArray sp = QStringLiteral("sp%1").arg(level).toUtf8();
    const QByteArray sql = "ROLLBACK TO SAVEPOINT " + sp + "; RELEASE SAVEPOINT " + sp;
    if (pg_)
        PQclear(PQexec(pg_, sql.constData()));
    else
        sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr);
}

void Database::onUpdate(void* self, int, const char*, const char* table, long long)
{
    auto* d = static_cast<Database*>(self);
    // Rows of one statement come one after another: the table is named once.
    if (d->lastWriter_ == d->writer_ && !d->lastTable_.isEmpty() && d->lastTable_ == table)
        return;
    d->lastTable_ = table;
    d->lastWriter_ = d->writer_;
    d->written_[QString::fromUtf8(table).toLower()].insert(d->writer_);
}

void Database::settle()
{
    if (pg_)
        hearNotices();
    if (written_.isEmpty() || depth_ > 0 || engineInTransaction())
        return;
    ChangeNotice notice{std::exchange(written_, {})};
    lastTable_.clear();
    if (pg_ && !std::exchange(server_->announced, false))
        announce(notice.tables.keys());  // a write outside a transaction
    tell(notice);
}

void Database::tell(const ChangeNotice& notice)
{
    // A listener may remove others (a window closed by what it was told).
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) {
        const bool alive = std::any_of(listeners_.cbegin(), listeners_.cend(),
                                       [id = id](const auto& l) { return l.first == id; });
        if (alive)
            listener(notice);
    }
}

void Database::dropWritten()
{
    written_.clear();
    lastTable_.clear();
    if (server_)
        server_->announced = false;
}

int Database::addChangeListener(ChangeListener listener)
{
    const int id = nextListener_++;
    listeners_.append({id, std::move(listener)});
    return id;
}

void Database::removeChangeListener(int id)
{
    listeners_.removeIf([id](const auto& l) { return l.first == id; });
}

bool ChangeNotice::touches(const QString& table, const void* self) const
{
    const auto it = tables.constFind(table.toLower());
    if (it == tables.constEnd())
        return false;
    return it->size() > 1 || !it->contains(self);
}

Database::~Database()
{
    if (pg_) {
        for (ServerStatement* s : std::as_const(server_->statements))
            delete s;
        PQfinish(pg_);
        return;
    }
    for (sqlite3_stmt* s : std::as_const(cache_->statements))
        sqlite3_finalize(s);
    sqlite3_close(db_);
}

void Database::check(int rc, const char* what) const
{
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
    if (msg.isEmpty() || msg == QLatin1String("not an error"))
        msg = QString::fromUtf8(sqlite3_errstr(rc));
    if (what)
        msg = QStringLiteral("%1 (%2)").arg(msg, QString::fromLatin1(what));
    throw StoreError(sqlite3_extended_errcode(db_) ? sqlite3_extended_errcode(db_) : rc, msg);
}

std::unique_ptr<Database> Database::open(const QString& path, Mode mode, const QByteArray& key)
{
    const QFileInfo info(path);
    if (mode == Mode::OpenExisting && !info.exists())
        throw StoreError(SQLITE_CANTOPEN, QStringLiteral("数据库文件不存在: %1").arg(path));
    if (mode == Mode::Create && info.exists())
        throw StoreError(SQLITE_CANTOPEN, QStringLiteral("数据库文件已存在: %1").arg(path));

    const int flags = mode == Mode::Create ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READWRITE;
    // Our files use 4096-byte pages; a file written by other tools at SQLCipher's
    // default page size (1024) is read with that size instead.
    const bool keyed = !key.isEmpty();
    const int attempts = (keyed && mode == Mode::OpenExisting) ? 2 : 1;
    std::unique_ptr<Database> db;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString msg = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(raw);
            throw StoreError(rc, QStringLiteral("无法打开数据库 %1: %2").arg(path, msg));
        }
        db.reset(new Database(raw, path));
        sqlite3_extended_result_codes(raw, 1);
        sqlite3_busy_timeout(raw, 5000);
        try {
            if (keyed) {  // an empty key opens a plain file (tests and tools only)
                db->check(sqlite3_key(raw, key.constData(), int(key.size())), "key");
                if (attempt == 0)
                    db->execScript(QStringLiteral("PRAGMA cipher_page_size = 4096;"));
            }
            // The first read proves the key; a wrong key or a foreign file fails here.
            db->scalar(QStringLiteral("select count(*) from sqlite_master"));
            break;
        } catch (const StoreError& e) {
            db.reset();
            if ((e.code() & 0xff) == SQLITE_NOTADB && attempt + 1 < attempts)
                continue;
            QString why = e.message();
            if ((e.code() & 0xff) == SQLITE_NOTADB)
                why = QStringLiteral("密码不符或文件不是本系统的数据库 (%1)").arg(e.message());
            else if ((e.code() & 0xff) == SQLITE_CORRUPT)
                why = QStringLiteral("数据库文件已损坏 (%1)").arg(e.message());
            throw StoreError(e.code(), QStringLiteral("无法打开数据库 %1: %2").arg(path, why));
        }
    }
    db->execScript(QStringLiteral("PRAGMA synchronous = FULL; PRAGMA journal_size_limit = 67108864; "
                                  "PRAGMA cache_size = -65536; PRAGMA foreign_keys = OFF;"));
    if (mode == Mode::Create)
        db->useWriteAheadLog();
    return db;
}

void Database::useWriteAheadLog()
{
    if (pg_)
        return;
    // A commit appends its pages to <file>-wal and syncs that file once; with
    // synchronous FULL the sync comes before the commit returns, so a crash loses no
    // committed transaction. A file in rollback mode is switched for good.
    execScript(QStringLiteral("PRAGMA journal_mode = WAL;"));
    const QString jm = scalar(QStringLiteral("PRAGMA journal_mode")).toString();
    if (jm.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw StoreError(0, QStringLiteral("无法设置数据库日志模式: %1").arg(jm));
}

void Database::checkpoint()
{
    if (inTransaction() || engineInTransaction())
        throw StoreError(0, QStringLiteral("数据库正在写入,不能复制"));
    if (pg_)
        return;
    int logFrames = 0;
    int copied = 0;
    const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames, &copied);
    check(rc, "checkpoint");
    if (logFrames > 0 && copied != logFrames)
        throw StoreError(SQLITE_BUSY, QStringLiteral("数据库日志没有全部写回 data.dat"));
}

namespace {

// The server's words for SQLite's "insert or replace" into `table`: the row that
// holds the same unique key takes the inserted values.
QString replaceClause(Database& db, const QString& insert, const QString& table)
{
    static const QRegularExpression columns(QStringLiteral("^\\s*insert\\s+into\\s+[^(\\s]+\\s*\\(([^)]*)\\)"),
                                            QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const auto m = columns.match(insert);
    if (!m.hasMatch())
        throw StoreError(SQLITE_ERROR, QStringLiteral("insert or replace needs its columns named: %1").arg(insert));
    // The table's unique index other than the row key's.
    const QString key = db.scalar(QStringLiteral(
        "select string_agg(quote_ident(a.attname), ', ') from pg_index i "
        "cross join lateral unnest(i.indkey) k join pg_attribute a on a.attrelid = i.indrelid and a.attnum = k "
        "where i.indexrelid = (select j.indexrelid from pg_index j where j.indrelid = to_regclass(quote_ident(?)) "
        "and j.indisunique and not exists (select 1 from pg_attribute b where b.attrelid = j.indrelid "
        "and b.attnum = any(j.indkey) and b.attname in ('rowid', 'id')) order by j.indexrelid limit 1) "
        "group by i.indexrelid"), {table}).toString();
    if (key.isEmpty())
        throw StoreError(SQLITE_ERROR, QStringLiteral("%1 has no unique key for insert or replace").arg(table));
    QStringList sets;
    for (QString c : m.captured(1).split(QLatin1Char(','))) {
        c = c.trimmed();
        sets << QStringLiteral("%1 = excluded.%1").arg(c);
    }
    return QStringLiteral(" on conflict (%1) do update set %2").arg(key, sets.join(QStringLiteral(", ")));
}

// "insert into A select * from B": the server's tables end in their row key, which
// takes no value; the columns are named instead. A copy of a table (made with
// "create table ... as select *") keeps the rows' keys in a plain column.
QString namedColumns(Database& db, const QString& insert)
{
    static const QRegularExpression all(
        QStringLiteral("^\\s*insert\\s+into\\s+([^\\s(]+)\\s+select\\s+\\*\\s+from\\s+([^\\s(]+)(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption |
            QRegularExpression::DotMatchesEverythingOption);
    const auto m = all.match(insert);
    if (!m.hasMatch())
        return insert;
    auto bare = [](QString t) {
        if (t.startsWith(QLatin1Char('"')))
            t = t.mid(1, t.size() - 2);
        return t;
    };
    QStringList names;
    for (const Database::Column& c : db.columns(bare(m.captured(1))))
        names << QStringLiteral("\"%1\"").arg(ServerSql::foldedName(c.name));
    if (keepsCopiedKeys(db, bare(m.captured(1))))
        names << QStringLiteral("rowid");
    const QString list = names.join(QStringLiteral(", "));
    return QStringLiteral("insert into %1 (%2) select %2 from %3%4").arg(m.captured(1), list, m.captured(2), m.captured(3));
}

}  // namespace

Statement Database::prepare(const QString& sql)
{
    if (pg_) {
        ServerStatement* slot = server_->statements.value(sql);
        if (!slot) {
            auto st = std::make_unique<ServerStatement>();
            st->db = this;
            ServerSql::Conflict conflict = ServerSql::Conflict::None;
            QString text = ServerSql::statement(sql, &st->params, &conflict);
            st->table = ServerSql::writtenTable(sql);
            text = namedColumns(*this, text);
            if (conflict == ServerSql::Conflict::Ignore)
                text += QStringLiteral(" on conflict do nothing");
            else if (conflict == ServerSql::Conflict::Replace)
                text += replaceClause(*this, text, st->table);
            st->writes = ServerSql::writes(sql);
            static const QRegularExpression insert(QStringLiteral("^\\s*insert\\s"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
            static const QRegularExpression returning(QStringLiteral("\\breturning\\b"), QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
            static const QRegularExpression namesId(QStringLiteral("^\\s*insert\\s+into\\s+[^(\\s]+\\s*\\([^)]*\\bID\\b"),
                                                    QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
            if (insert.match(text).hasMatch() && !returning.match(text).hasMatch()) {
                // The new rows' keys, as SQLite's last_insert_rowid() tells them.
                text += QStringLiteral(" returning rowid");
                st->insert = true;
                st->setsIds = namesId.match(text).hasMatch();
            }
            st->name = "s" + QByteArray::number(++server_->nextName);
            st->sql = text.toUtf8();
            st->values.resize(size_t(st->params));
            st->nulls.assign(size_t(st->params), 1);
            st->prepareOnServer();
            slot = st.release();
            server_->statements.insert(sql, slot);
        }
        return Statement(*this, slot);
    }
    sqlite3_stmt*& slot = cache_->statements[sql];
    if (!slot) {
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(db_, text.constData(), int(text.size()), &slot, nullptr);
        if (rc != SQLITE_OK) {
            cache_->statements.remove(sql);
            check(rc, "prepare");
        }
    }
    return Statement(*this, slot);
}

void Database::exec(const QString& sql, const QVariantList& binds)
{
    Statement st = prepare(sql);
    st.bindAll(binds);
    while (st.step()) {
    }
}

QList<QVariantList> Database::query(const QString& sql, const QVariantList& binds)
{
    Statement st = prepare(sql);
    st.bindAll(binds);
    QList<QVariantList> rows;
    while (st.step())
        rows.append(st.row());
    return rows;
}

QVariant Database::scalar(const QString& sql, const QVariantList& binds)
{
    Statement st = prepare(sql);
    st.bindAll(binds);
    if (st.step())
        return st.value(0);
    return QVariant();
}

void Database::execScript(const QString& sql)
{
    refuseForeignWrite();
    runScript(sql);
}

void Database::runScript(const QString& sql)
{
    if (pg_) {
        const QString text = ServerSql::script(sql);
        if (text.isEmpty())
            return;
        PGresult* r = PQexec(pg_, text.toUtf8().constData());
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            StoreError e = serverError(pg_, r, nullptr);
            PQclear(r);
            noteLost(e.sqlState());
            settle();
            throw e;
        }
        // A COMMIT of a transaction the server had given up on answers ROLLBACK.
        const bool rolledBack = qstrcmp(PQcmdStatus(r), "ROLLBACK") == 0 &&
                                !text.trimmed().startsWith(QLatin1String("ROLLBACK"), Qt::CaseInsensitive);
        PQclear(r);
        if (rolledBack) {
            settle();
            throw StoreError(SQLITE_ABORT, QStringLiteral("事务已被数据库服务器中止，没有保存"), QStringLiteral("25P02"));
        }
        settle();
        return;
    }
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        settle();
        throw StoreError(sqlite3_extended_errcode(db_), msg);
    }
    settle();
}

qint64 Database::lastInsertRowId() const
{
    if (pg_)
        return server_->lastRowId;
    return sqlite3_last_insert_rowid(db_);
}

int Database::changes() const
{
    if (pg_)
        return int(server_->changes);
    return sqlite3_changes(db_);
}

// ---- Transaction -----------------------------------------------------------

Transaction::Transaction(Database& db) : db_(db), level_(db.depth_)
{
    db_.refuseForeignWrite();
    if (level_ == 0)
        db_.runScript(QStringLiteral("BEGIN IMMEDIATE"));
    else
        db_.runScript(QStringLiteral("SAVEPOINT sp%1").arg(level_));
    ++db_.depth_;
}

void Transaction::commit()
{
    if (done_)
        return;
    if (level_ == 0) {
        // The notice goes out once the transaction is really over.
        --db_.depth_;
        try {
            if (db_.pg_ && !db_.written_.isEmpty()) {
                // Told to the other sessions when, and only if, the commit holds.
                db_.announce(db_.written_.keys());
                db_.server_->announced = true;
            }
            db_.runScript(QStringLiteral("COMMIT"));
        } catch (...) {
            ++db_.depth_;
            throw;
        }
        done_ = true;
        return;
    }
    db_.runScript(QStringLiteral("RELEASE sp%1").arg(level_));
    done_ = true;
    --db_.depth_;
}

Transaction::~Transaction()
{
    if (done_)
        return;
    --db_.depth_;
    db_.rollbackEngine(level_);
    if (level_ == 0)
        db_.dropWritten();
}

// ---- Sealed transactions --------------------------------------------------

void Database::refuseForeignWrite() const
{
    if (seal_ && presented_ != seal_)
        throw StoreError(0, seal_->refusal());
}

TransactionSeal::TransactionSeal(Database& db, const QString& refusal)
    : db_(db), refusal_(refusal), outer_(db.seal_), outerPresented_(db.presented_)
{
    db_.seal_ = this;
    db_.presented_ = nullptr;
}

TransactionSeal::~TransactionSeal()
{
    db_.seal_ = outer_;
    db_.presented_ = outerPresented_;
}

TransactionSeal::Turn::Turn(const TransactionSeal& seal) : db_(seal.db_), prev_(seal.db_.presented_)
{
    db_.presented_ = &seal;
}

TransactionSeal::Turn::~Turn()
{
    db_.presented_ = prev_;
}

// ---- Row write hooks -------------------------------------------------------

QVariant RowWrite::value(const QString& column) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return values.value(i);
    return QVariant();
}

void Database::addRowWriteHook(const QString& table, RowWriteHook hook, const QString& name)
{
    auto& hooks = rowWriteHooks_[table.toLower()];
    if (!name.isEmpty()) {
        for (auto& h : hooks)
            if (h.first == name) {
                h.second = std::move(hook);
                return;
            }
    }
    hooks.append({name, std::move(hook)});
}

void Database::runRowWriteHooks(const RowWrite& write)
{
    const auto it = rowWriteHooks_.constFind(write.table.toLower());
    if (it == rowWriteHooks_.constEnd())
        return;
    const auto hooks = *it;  // a hook may add hooks
    for (const auto& hook : hooks)
        hook.second(*this, write);
}

// ---- Tables ----------------------------------------------------------------

QList<Database::Column> Database::columns(const QString& table)
{
    QList<Column> out;
    if (pg_) {
        const QList<QVariantList> rows = query(
            QStringLiteral("select column_name, data_type, is_identity from information_schema.columns "
                           "where table_schema = current_schema() and table_name = ? and column_name <> 'rowid' "
                           "order by ordinal_position"),
            {ServerSql::foldedName(table)});
        for (const QVariantList& r : rows) {
            Column c;
            c.name = ServerSql::programName(r.value(0).toString());
            const QString type = r.value(1).toString();
            c.type = type == QLatin1String("bigint") || type == QLatin1String("integer") ? QStringLiteral("INTEGER")
                     : type == QLatin1String("double precision")                         ? QStringLiteral("REAL")
                     : type == QLatin1String("text")                                     ? QStringLiteral("TEXT")
                                                                                         : type.toUpper();
            c.autoKey = r.value(2).toString() == QLatin1String("YES");
            out << c;
        }
        return out;
    }
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    for (const QVariantList& r : query(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted))) {
        Column c;
        c.name = r.value(1).toString();
        c.type = r.value(2).toString().toUpper();
        c.autoKey = r.value(5).toInt() == 1 && c.type == QLatin1String("INTEGER");
        out << c;
    }
    return out;
}

bool Database::hasTable(const QString& table)
{
    return !columns(table).isEmpty();
}


QStringList Database::tables()
{
    QStringList out;
    const QString sql = pg_ ? QStringLiteral("select table_name from information_schema.tables where table_schema = "
                                             "current_schema() and table_type = 'BASE TABLE' order by table_name")
                            : QStringLiteral("select name from sqlite_master where type = 'table' and name not like "
                                             "'sqlite\\_%' escape '\\' order by name");
    for (const QVariantList& r : query(sql))
        out << r.value(0).toString();
    return out;
}


QHash<QString, QString> Database::triggers()
{
    QHash<QString, QString> out;
    const QString sql =
        pg_ ? QStringLiteral("select t.tgname, coalesce(obj_description(t.oid, 'pg_trigger'), '') from pg_trigger t "
                             "join pg_class c on c.oid = t.tgrelid where not t.tgisinternal and "
                             "c.relnamespace = current_schema()::regnamespace")
            : QStringLiteral("select name, sql from sqlite_master where type = 'trigger'");
    for (const QVariantList& r : query(sql))
        out.insert(r.value(0).toString(), r.value(1).toString());
    return out;
}

bool Database::isUniqueKey(const QString& table, const QString& column)
{
    if (pg_)
        return scalar(QStringLiteral("select count(*) from pg_index i join pg_class c on c.oid = i.indrelid "
                                     "join pg_attribute a on a.attrelid = c.oid and a.attnum = i.indkey[0] "
                                     "where c.relnamespace = current_schema()::regnamespace and c.relname = ? and "
                                     "i.indisunique and i.indnatts = 1 and i.indpred is null and a.attname = ?"),
                      {ServerSql::foldedName(table), ServerSql::foldedName(column)})
                   .toInt() > 0;
    const auto quoted = [](QString name) { return QLatin1Char('"') + name.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"'); };
    // index_list: seq, name, unique, origin, partial; index_info: seqno, cid, name.
    for (const QVariantList& index : query(QStringLiteral("PRAGMA index_list(%1)").arg(quoted(table)))) {
        if (index.value(2).toInt() == 0 || index.value(4).toInt() != 0)
            continue;
        const QList<QVariantList> cols = query(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(index.value(1).toString())));
        if (cols.size() == 1 && cols.first().value(2).toString().compare(column, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void Database::setDesk(const QString& host, const QString& operatorName)
{
    deskHost_ = host;
    deskOperator_ = operatorName;
}

namespace {

// The advisory lock's key: "Fenwary" in ASCII, mixed with the schema, so that every
// estate of a server database has its own.
const qlonglong kEstateLockSeed = 0x46656e77617279LL;
const QString kEstateLockKey = QStringLiteral("hashtextextended(current_schema(), ?)");

// Who holds the lock travels in the session's application_name, which every desk can
// read; the server keeps only printable ASCII there, so the words go base64-coded.
// The session's own name stays in front (what comes before its first space).
const QString kHolderPrefix = QStringLiteral("fenwary:");

// Kept after the session's own name (what comes before the first space stays), cut to
// the server's 63 bytes.
QString holderName(const QString& own, const QString& host, const QString& operatorName, const QString& operation)
{
    const QByteArray head = own.section(QLatin1Char(' '), 0, 0).toLatin1().left(20);
    const QByteArray lead = head.isEmpty() ? kHolderPrefix.toLatin1() : head + ' ' + kHolderPrefix.toLatin1();
    const int room = (63 - int(lead.size())) * 3 / 4;  // bytes that fit once coded
    const QByteArray rest = (QLatin1Char('\x1f') + operatorName + QLatin1Char('\x1f') + operation).toUtf8();
    QByteArray who = host.toUtf8().left(std::max(0, room - int(rest.size())));
    while (!who.isEmpty() && QString::fromUtf8(who).contains(QChar::ReplacementCharacter))
        who.chop(1);  // no character cut in two
    return QString::fromLatin1(lead + (who + rest).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

}  // namespace

EstateLock::EstateLock(Database& db, const QString& operation) : db_(db)
{
    if (db.engine() != Database::Engine::Server)
        return;
    if (db.scalar(QStringLiteral("select pg_try_advisory_lock(%1)").arg(kEstateLockKey), {kEstateLockSeed}).toInt() == 0) {
        const QString name =
            db.scalar(QStringLiteral("select application_name from pg_stat_activity where pid in (select pid from "
                                     "pg_locks where locktype = 'advisory' and granted and "
                                     "((classid::bigint << 32) | objid::bigint) = %1) limit 1")
                          .arg(kEstateLockKey),
                      {kEstateLockSeed})
                .toString();
        QStringList h;
        if (const qsizetype at = name.indexOf(kHolderPrefix); at >= 0)
            h = QString::fromUtf8(QByteArray::fromBase64(name.mid(at + kHolderPrefix.size()).toLatin1(),
                                                         QByteArray::Base64UrlEncoding))
                    .split(QLatin1Char('\x1f'));
        if (h.size() != 3)
            h = QStringList{QStringLiteral("另一台电脑"), QString(), QString()};
        throw StoreError(0, refusalText(h[0], h[1], h[2], operation));
    }
    held_ = true;
    before_ = db.scalar(QStringLiteral("select current_setting('application_name')")).toString();
    db.scalar(QStringLiteral("select set_config('application_name', ?, false)"),
              {holderName(before_, db.deskHost(), db.deskOperator(), operation)});
}

EstateLock::~EstateLock()
{
    if (!held_)
        return;
    try {
        db_.scalar(QStringLiteral("select pg_advisory_unlock(%1)").arg(kEstateLockKey), {kEstateLockSeed});
        db_.scalar(QStringLiteral("select set_config('application_name', ?, false)"), {before_});
    } catch (const StoreError&) {
        // A lost connection has given the lock up with the session.
    }
}

QString EstateLock::refusalText(const QString& host, const QString& operatorName, const QString& theirs,
                                const QString& mine)
{
    const QString who = operatorName.isEmpty() ? host : QStringLiteral("%1 上的操作员 %2").arg(host, operatorName);
    const QString what = theirs.isEmpty() ? QStringLiteral("整体操作") : QStringLiteral("“%1”").arg(theirs);
    return QStringLiteral("%1 正在进行%2，现在不能进行“%3”。请等它结束后再试。").arg(who, what, mine);
}

QString Database::conninfo() const
{
    return server_ ? server_->conninfo : QString();
}
