#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QList>
#include <QStringList>
#include <functional>
#include <QString>
#include <QVariant>
#include <memory>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;

// A failure of the store. `code` is the SQLite result code (0 for our own checks);
// a server's error carries its SQLSTATE and the nearest SQLite code.
class StoreError : public std::runtime_error {
public:
    StoreError(int code, const QString& message, const QString& sqlState = QString());
    int code() const { return code_; }
    QString message() const { return message_; }
    QString sqlState() const { return sqlState_; }
    // True for a constraint violation (duplicate door number and the like).
    bool isConstraint() const;
    // The server gave up the transaction for another's sake (serialization failure,
    // deadlock): the whole transaction may be tried again.
    bool isRetryable() const { return sqlState_ == QLatin1String("40001") || sqlState_ == QLatin1String("40P01"); }

private:
    int code_;
    QString message_;
    QString sqlState_;
};

class Database;
struct ServerStatement;

// A prepared statement with bound values; reset on destruction so the cached
// statement can be reused.
class Statement {
public:
    Statement(Database& db, sqlite3_stmt* stmt);
    Statement(Database& db, ServerStatement* stmt);
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bind(int index, const QVariant& value);  // 1-based
    Statement& bindAll(const QVariantList& values);
    bool step();  // true while a row is available
    int columnCount() const;
    QString columnName(int i) const;
    QVariant value(int i) const;
    QVariantList row() const;
    // The column's text as UTF-8 without a copy: valid until the next step() (for
    // hash look-ups over many rows); empty for NULL.
    QByteArray rawText(int i) const;

private:
    Database* db_;
    sqlite3_stmt* stmt_ = nullptr;
    ServerStatement* srv_ = nullptr;
};

// A row a record set is about to write, shown to the hooks of its table inside the
// writing transaction before the statement runs. `rowid` is 0 for an added row;
// `columns` and `values` are the columns being written and their new values.
struct RowWrite {
    QString table;
    qint64 rowid = 0;
    QStringList columns;
    QVariantList values;
    QVariant value(const QString& column) const;  // invalid when not written
    bool writes(const QString& column) const { return columns.contains(column, Qt::CaseInsensitive); }
};
// A hook may write further rows in the same transaction, or throw StoreError to
// refuse the write (the transaction then rolls back).
using RowWriteHook = std::function<void(Database&, const RowWrite&)>;

// The tables one committed transaction (or one statement outside a transaction)
// wrote, with who wrote them: the record set whose own statement it was, or null
// for every other statement.
struct ChangeNotice {
    QHash<QString, QSet<const void*>> tables;  // lower-case table name -> writers
    // True when `table` was written by anyone but `self`.
    bool touches(const QString& table, const void* self) const;
};
using ChangeListener = std::function<void(const ChangeNotice&)>;

// A record set's write, refused because the row no longer holds what the set read.
class RowConflict : public StoreError {
public:
    RowConflict(qint64 rowid, const QString& message) : StoreError(0, message), rowid_(rowid) {}
    qint64 rowid() const { return rowid_; }

private:
    qint64 rowid_;
};

class RecordSet;
class TransactionSeal;

// One connection to the office's data: an encrypted data file, or a database on a
// PostgreSQL server. Callers write one SQL for both: `?` placeholders, the types
// INTEGER, REAL and TEXT, `ID INTEGER PRIMARY KEY AUTOINCREMENT`, `rowid` as the key
// of a row; the server engine says these in its own words (see server.cpp).
class Database {
public:
    static constexpr const char* Password = "pkrudvm72tqxcb";
    enum class Mode { OpenExisting, Create };
    enum class Engine { File, Server };

    // Opens (or creates) the file, keys it and reads it once; a created file uses
    // write-ahead logging, an existing one keeps its mode. Throws StoreError:
    // a missing file in OpenExisting mode, a wrong key or a file that is not a
    // database are reported without touching the file.
    static std::unique_ptr<Database> open(const QString& path, Mode mode,
                                          const QByteArray& key = Password);
    // Connects to a server database named by a libpq connection string (a
    // postgresql:// URI or key=value words). Throws StoreError with a message for
    // the operator when the server cannot be reached or refuses the log-in (then
    // with SQLSTATE 28P01). `password`, when given, is sent with the connection
    // string's words; otherwise libpq takes it from ~/.pgpass or a service file.
    static std::unique_ptr<Database> connect(const QString& conninfo, const QString& password = QString());
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Engine engine() const { return pg_ ? Engine::Server : Engine::File; }
    // The file's path, or the server database's name for messages.
    QString path() const { return path_; }
    // The connection string a server database was opened with (empty for a file).
    QString conninfo() const;
    // The file engine's connection (null on the server).
    sqlite3* handle() const { return db_; }

    struct Column {
        QString name;
        QString type;  // INTEGER, REAL or TEXT as declared
        bool autoKey = false;  // ID INTEGER PRIMARY KEY
    };
    // A table's columns in order (the server's hidden row key left out); empty when
    // there is no such table.
    QList<Column> columns(const QString& table);
    bool hasTable(const QString& table);
    // Every table of the database in name order (SQLite's own and the server's
    // catalog left out).
    QStringList tables();
    // Every trigger of the database by name, with the text it was created from (a
    // trigger created otherwise on the server has an empty text).
    QHash<QString, QString> triggers();
    // Whether one unique index, not partial, keys the table by this column alone.
    bool isUniqueKey(const QString& table, const QString& column);

    // Prepared statements are cached by their text.
    Statement prepare(const QString& sql);
    void exec(const QString& sql, const QVariantList& binds = {});
    QList<QVariantList> query(const QString& sql, const QVariantList& binds = {});
    QVariant scalar(const QString& sql, const QVariantList& binds = {});
    // Runs several statements without values (schema scripts).
    void execScript(const QString& sql);
    qint64 lastInsertRowId() const;
    int changes() const;

    // Switches the file to write-ahead logging (a new file is created in it). Throws
    // StoreError when the file stays in another mode.
    void useWriteAheadLog();
    // Writes every committed transaction from data.dat-wal into data.dat and empties
    // the -wal, so that data.dat alone holds them all: a byte copy of the file is then
    // whole. Refused inside a transaction.
    void checkpoint();

    bool inTransaction() const { return depth_ > 0; }
    // True while an open transaction is sealed by its owner (TransactionSeal).
    bool sealed() const { return seal_ != nullptr; }

    // Hooks run, in the order added, for every row a record set writes to the table.
    // A named hook replaces an earlier one of the same name on that table.
    void addRowWriteHook(const QString& table, RowWriteHook hook, const QString& name = QString());
    void runRowWriteHooks(const RowWrite& write);
    void check(int rc, const char* what = nullptr) const;

    // After every commit the listeners hear which tables were written. On a server
    // they also hear, within a second, the tables other programs' commits wrote
    // (a burst of them told once), with no writer of this program.
    int addChangeListener(ChangeListener listener);
    void removeChangeListener(int id);

    // The server's connection: lost (a statement found it broken), since when, and
    // back. reconnect() opens a new session (statements prepared again, notices
    // heard again) and tells the change listeners that every table changed; false
    // while the server cannot be reached. The file is never lost.
    bool connectionLost() const;
    QDateTime lostSince() const;
    bool reconnect();
    // Told (true) when the connection is back and (false) when it was found lost;
    // a listener must not run statements.
    int addConnectionListener(std::function<void(bool up)> listener);
    void removeConnectionListener(int id);
    // The server's address for messages: host:port/database.
    QString serverName() const;
    // Statements run while a scope is alive count as written by `writer`.
    class WriterScope {
    public:
        WriterScope(Database& db, const void* writer) : db_(db), prev_(db.writer_) { db.writer_ = writer; }
        ~WriterScope() { db_.writer_ = prev_; }

    private:
        Database& db_;
        const void* prev_;
    };

    // The desk working on this connection (its host name) and the operator logged in,
    // as other desks are told of them.
    void setDesk(const QString& host, const QString& operatorName);
    QString deskHost() const { return deskHost_; }
    QString deskOperator() const { return deskOperator_; }

    // Every record set open on this connection (shared or owned by a window).
    const QList<RecordSet*>& recordSets() const { return recordSets_; }
    void registerRecordSet(RecordSet* rs) { recordSets_.append(rs); }
    void unregisterRecordSet(RecordSet* rs) { recordSets_.removeOne(rs); }

private:
    friend class Statement;
    friend class TransactionSeal;
    // Throws the seal's refusal when a write comes from outside its owner's turn.
    void refuseForeignWrite() const;
    void runScript(const QString& sql);
    static void onUpdate(void* self, int op, const char* dbName, const char* table, long long rowid);
    // Tells the listeners once no transaction is open any more.
    void settle();
    void tell(const ChangeNotice& notice);
    void dropWritten();
    // Server: the written tables told to the other sessions (pg_notify), the notices
    // heard from them, and the connection found lost.
    void announce(const QStringList& tables);
    void listen();
    void hearNotices();
    void deliverHeard();
    void noteLost(const QString& sqlState = QString());

    explicit Database(sqlite3* db, const QString& path);
    explicit Database(pg_conn* pg, const QString& name);
    friend class Transaction;
    // True while the engine holds a transaction open (also after a failed COMMIT).
    bool engineInTransaction() const;
    void rollbackEngine(int level);
    sqlite3* db_ = nullptr;
    pg_conn* pg_ = nullptr;
    struct Server;
    std::unique_ptr<Server> server_;
    friend struct ServerStatement;
    QString path_;
    int depth_ = 0;
    struct Cache;
    std::unique_ptr<Cache> cache_;
    QHash<QString, QList<QPair<QString, RowWriteHook>>> rowWriteHooks_;  // lower-case table name
    QByteArray dropping_;  // the table a DROP TABLE being prepared drops
    const void* writer_ = nullptr;
    QHash<QString, QSet<const void*>> written_;  // since the last notice
    QByteArray lastTable_;                       // the table the update hook named last
    const void* lastWriter_ = nullptr;
    QList<QPair<int, ChangeListener>> listeners_;
    QList<QPair<int, std::function<void(bool)>>> connectionListeners_;
    int nextListener_ = 1;
    QList<RecordSet*> recordSets_;
    const TransactionSeal* seal_ = nullptr;
    const TransactionSeal* presented_ = nullptr;  // the seal whose owner is working now
    QString deskHost_, deskOperator_;
};

// The whole estate to one operation at a time (the month's run, its undo, the
// cleanup). A data file is open in one program at a time already; on a server the
// lock is the session's advisory lock, and the desk holding it is written where
// another desk that is refused can read it. Take it outside any transaction.
class EstateLock {
public:
    // Throws StoreError, naming the desk, its operator and their operation, when
    // another desk holds the lock.
    EstateLock(Database& db, const QString& operation);
    ~EstateLock();
    EstateLock(const EstateLock&) = delete;
    EstateLock& operator=(const EstateLock&) = delete;

    // The refusal's text.
    static QString refusalText(const QString& host, const QString& operatorName, const QString& theirs,
                               const QString& mine);

private:
    Database& db_;
    bool held_ = false;
    QString before_;  // the session's application_name before
};

// RAII transaction: commits on commit(), rolls back in the destructor otherwise.
// Nested transactions become savepoints of the outer one.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    int level_;
    bool done_ = false;
};

// An open transaction that only its owner writes into. Long work that lets events
// be handled inside its transaction (a progress dialog with a cancel button) seals
// it: while the seal lives, a statement that writes, a script or a new (nested)
// transaction is refused with StoreError(refusal) unless it runs inside one of the
// owner's turns. So a window reached while the work waits cannot write into the
// work's transaction, to be committed or rolled back with it.
class TransactionSeal {
public:
    TransactionSeal(Database& db, const QString& refusal);
    ~TransactionSeal();
    TransactionSeal(const TransactionSeal&) = delete;
    TransactionSeal& operator=(const TransactionSeal&) = delete;
    const QString& refusal() const { return refusal_; }

    // The owner's own steps: its writes are taken while a turn lives.
    class Turn {
    public:
        explicit Turn(const TransactionSeal& seal);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        Database& db_;
        const TransactionSeal* prev_;
    };

private:
    Database& db_;
    QString refusal_;
    const TransactionSeal* outer_;
    const TransactionSeal* outerPresented_;
};
