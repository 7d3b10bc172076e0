#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Database;

// An office's data moved between the data file and a server database, every table
// with its row IDs, the receipt counter and the whole ledger.
namespace DataMove {
// Called after each table is copied (tests stop a move half-way with it).
using Progress = std::function<void(const QString& table)>;

// Copies every table of the open file into an empty server database in one
// transaction: tables and indexes as the file declares them, every row with its ID,
// the ID counters past the largest. Row counts and the sums of the number columns
// are compared table by table before the commit. Refused when the server holds a
// table of the file already. `leaveOut`: tables not to copy. Throws StoreError.
void toServer(Database& file, Database& server, const QStringList& leaveOut = {}, const Progress& progress = {});

// Writes one consistent snapshot of the server database into a new data file at
// `path` (built under a temporary name and renamed into place). Throws StoreError.
void toFile(Database& server, const QString& path, const QStringList& leaveOut = {}, const Progress& progress = {});
}  // namespace DataMove
