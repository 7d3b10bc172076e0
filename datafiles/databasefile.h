#pragma once

#include <QLockFile>
#include <QString>
#include <QStringList>

// What the backup tool can tell about a database file without opening it: the
// main program keeps an encrypted SQLite file whose pages are 4096 (or 1024)
// bytes, so a real database is a non-empty whole number of pages of apparently
// random bytes, never a plain SQLite file and never text.
namespace DatabaseFile {

inline const QString fileName = QStringLiteral("data.dat");
inline const QString lockName = QStringLiteral("data.dat.lock");

enum class Verdict {
    Ok,
    Missing,      // no such file (or not a regular file)
    Unreadable,   // cannot be opened for reading
    Empty,        // zero bytes
    BadSize,      // not a whole number of 1024-byte pages
    PlainSqlite,  // starts with the unencrypted "SQLite format 3" header
    Text,         // the first page holds only text characters
    Blank,        // the first page begins with zero bytes where the salt should stand
};

Verdict inspect(const QString& path);

// The files that an interrupted write leaves beside the database ("data.dat-journal",
// "data.dat-wal"), as file names; empty when the database file stands alone.
QStringList leftovers(const QString& databasePath);

}  // namespace DatabaseFile

// The lock that the main program holds beside data.dat for its whole run. The
// tool takes the same lock while it copies, so the main program cannot start
// in the middle of a copy.
class DatabaseLock {
public:
    enum class Result { Acquired, InUse, Unavailable };

    explicit DatabaseLock(const QString& programFolder);
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Tries once, without waiting. InUse when a live process holds the lock;
    // Unavailable when the lock file cannot be created (for example a read-only folder).
    Result acquire();
    void release() { lock_.unlock(); }
    bool held() const { return lock_.isLocked(); }
    QString path() const { return path_; }

private:
    QString path_;
    QLockFile lock_;
};
