#pragma once

#include "store/database.h"

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

// The lock beside data.dat that the main program holds for its whole run; the
// backup tool takes the same lock.
class DataLock {
public:
    explicit DataLock(const QString& folder);
    static QString lockPath(const QString& folder);
    // False when another live process holds it.
    bool tryLock();
    bool isLocked() const { return lock_.isLocked(); }
    void unlock() { lock_.unlock(); }

private:
    QLockFile lock_;
};

struct NewEstate {
    QString operatorName;
    QString password;
    QString receiptName;
    QString notice;
};

namespace DataFile {
QString path(const QString& folder);
// Opens an existing data file: keys it, checks that it holds the tables of this
// system, and upgrades an older file. A file that fails these checks is left
// exactly as it was and a StoreError names the failure.
std::unique_ptr<Database> openExisting(const QString& path);
// Folds the commits that a run ended without closing left in data.dat-wal into
// data.dat and removes the -wal (and a -shm), so that the file alone holds every
// committed transaction and can be copied byte for byte. The file must not be open.
// Throws StoreError.
void settle(const QString& path);
// Removes a file with its rollback journal, -wal and -shm: a log left beside a name
// would be replayed into the next file built there.
void removeWithLogs(const QString& file);
// Creates a new file with the first operator (level "A") and the settings row.
// It is built under a temporary name and renamed into place when complete.
std::unique_ptr<Database> create(const QString& path, const NewEstate& estate);
// Creates a file, fills it with `fill` and renames it into place when complete.
std::unique_ptr<Database> createWith(const QString& path, const std::function<void(Database&)>& fill);
// Connects to a server database and checks and upgrades its tables as openExisting
// does a file's.
std::unique_ptr<Database> openServer(const QString& conninfo, const QString& password = QString());
// The checks and upgrade of openServer on a database already connected.
void checkServer(Database& db);
// True when the database holds none of this system's tables (a first start).
bool holdsNoTable(Database& db);
// Builds the tables in an empty server database and fills them with `fill`, in one
// transaction; refused when the database already holds a table of this system.
void createOn(Database& db, const std::function<void(Database&)>& fill);
// The first operator (level "A") and the settings row of a new estate.
void fillNew(Database& db, const NewEstate& estate);
}  // namespace DataFile
