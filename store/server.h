#pragma once
// The PostgreSQL engine behind Database and Statement (inside store/ only).

#include "store/database.h"

#include <libpq-fe.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <vector>

// One statement prepared on the server, cached by its text like SQLite's.
struct ServerStatement {
    Database* db = nullptr;
    QByteArray name;        // the server's name of the prepared statement
    QByteArray sql;         // the statement in the server's words
    bool prepared = false;  // on the session now open (a new session prepares again)
    int params = 0;
    bool writes = false;    // anything but a read
    bool insert = false;    // its row keys come back through the added RETURNING
    bool setsIds = false;   // an insert that names the ID column
    QString table;          // the table a write names, lower case
    std::vector<QByteArray> values;
    std::vector<char> nulls;
    PGresult* result = nullptr;
    int row = -1;
    bool done = false;

    ~ServerStatement();
    void prepareOnServer();  // throws StoreError
    void bind(int index, const QVariant& v);  // 1-based
    bool step();
    void reset();
    int columnCount() const;
    QString columnName(int i) const;
    QVariant value(int i) const;
    QByteArray rawText(int i) const;
};

struct Database::Server {
    QString conninfo;
    QHash<QString, ServerStatement*> statements;
    int nextName = 0;
    qint64 changes = 0;
    qint64 lastRowId = 0;

    // Notices of other sessions' commits: heard on the connection's socket, handed
    // to the change listeners once the burst is over.
    std::unique_ptr<QSocketNotifier> socket;
    QTimer burst;
    QElapsedTimer sinceDelivery;
    QSet<QString> heard;   // tables other sessions wrote, lower case
    QByteArray schema;     // the estate's schema: notices of other estates are not ours
    bool announced = false;  // the written tables were announced inside the transaction

    QDateTime lostSince;  // when the connection was found lost; invalid while it is up
};

namespace ServerSql {
// A statement of the program in the server's words: `?` becomes $1, $2, ...; quoted
// ASCII identifiers are lower case (SQLite matches names in any case, the server
// folds unquoted ones to lower case); "+column", IS between values, ifnull() and
// insert or replace/ignore are said as the server says them (the conflict's key is
// added by Database::prepare, which can read the table's unique index).
// What an "insert or replace" / "insert or ignore" asks when a row breaks a unique key.
enum class Conflict { None, Replace, Ignore };
QString statement(const QString& sql, int* params, Conflict* conflict = nullptr);
// A name as the server keeps an unquoted one: its ASCII letters in lower case.
QString foldedName(QString name);
// A column name the server folded, as the program writes it ("账单id" is 账单ID).
QString programName(const QString& name);
// A script of the program (tables, indexes, pragmas) in the server's words.
QString script(const QString& sql);
// The table an insert, update or delete writes, lower case; empty for a read.
QString writtenTable(const QString& sql);
bool writes(const QString& sql);
}  // namespace ServerSql

// True when `table` is a copy of a table (made with "create table ... as select *"):
// its rowid is a plain column that keeps the keys of the rows copied into it.
bool keepsCopiedKeys(Database& db, const QString& table);

// The server's error as a StoreError: the nearest SQLite code, its SQLSTATE and a
// message for the operator.
StoreError serverError(pg_conn* conn, const PGresult* result, const char* what);
