#pragma once

#include <QString>
#include <QStringList>

class Database;

// The seven tables of data.dat.
//  - Booleans are INTEGER 0/1; an empty (NULL) flag counts as false.
//  - Money, readings, prices and areas are REAL, stored as computed.
//  - Months are TEXT yyyymm; dates are TEXT yyyy-MM-dd.
namespace Schema {
// Creates every table and index of a new file.
void create(Database& db);
// Brings an older file up to date (adds 档案库.收费说明 when it is missing) and
// makes sure the lookup indexes exist.
void upgrade(Database& db);
bool hasColumn(Database& db, const QString& table, const QString& column);
// Runs CREATE INDEX IF NOT EXISTS statements one by one, outside a transaction. The
// server refuses one on a table of another role even when the index exists: the
// owner's first start makes them, a desk's role goes on without an index it may not make.
void createIndexes(Database& db, const QString& script);
QStringList tables();
// The columns a file must hold for the table (档案库.收费说明 is added by upgrade()).
QStringList requiredColumns(const QString& table);
// Column names of a table as the file holds them, in order.
QStringList columns(Database& db, const QString& table);
}  // namespace Schema
