#pragma once

#include <QString>

// Which database the program works on. FENWARY_DATABASE, when set, names a server
// database by a libpq connection string and overrides everything; otherwise the
// file "数据库服务器.txt" of the data folder names one; otherwise it is data.dat.
// The data folder keeps the settings, the safety copies and the reports either way.
namespace DatabaseChoice {

inline const QString settingFileName = QStringLiteral("数据库服务器.txt");

// The connection string chosen for `folder`; empty for the data file.
QString server(const QString& folder);
// True when FENWARY_DATABASE chooses the server.
bool fromEnvironment();
// Writes the folder's setting (no password is ever written); an empty
// connection string removes it. False with the reason on failure.
bool save(const QString& folder, const QString& conninfo, QString* error);

// libpq key=value words for a server; empty entries are left to libpq's defaults
// (an empty host is this machine's socket).
QString conninfo(const QString& host, const QString& port, const QString& database, const QString& user);
// Empty when the entries can name a server database, else the reason.
QString check(const QString& host, const QString& port, const QString& database);
// "host:port/database" for messages, without any password the string holds.
QString describe(const QString& conninfo);

}  // namespace DatabaseChoice
