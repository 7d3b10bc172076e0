#pragma once

#include <QString>
#include <QStringList>

class Database;
class QTextStream;

// The office's data copied between the data file and a server database: from the
// settings window and from Tallowmere's command line.
namespace DataMoves {

// Copies the open data file into the empty server database; returns the report
// for the operator. Throws StoreError (the server is left as it was).
QString toServer(Database& file, Database& server);
// Writes one snapshot of the server database into a new data file at `path`;
// returns the report. Throws StoreError (nothing is left at `path`).
QString toFile(Database& server, const QString& path);

// The command line: "--copy-to-server <connection string>" copies the data
// folder's data.dat (the program must not be running there); "--copy-to-file
// <path>" writes the chosen server database (FENWARY_DATABASE or the data folder's
// setting) into a new data file. The server's password comes from PGPASSWORD,
// ~/.pgpass or a service file. -1 when `args` hold neither option, else the exit
// code; the report goes to `out`, failures to `err`.
int runCommandLine(const QStringList& args, const QString& folder, QTextStream& out, QTextStream& err);
QString usage();

}  // namespace DataMoves
