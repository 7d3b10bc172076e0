#include "store/datafile.h"

#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

DataLock::DataLock(const QString& folder) : lock_(lockPath(folder))
{
    lock_.setStaleLockTime(0);
}

QString DataLock::lockPath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("data.dat.lock"));
}

bool DataLock::tryLock()
{
    return lock_.tryLock(0);
}

namespace DataFile {

void removeWithLogs(const QString& file)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

void settle(const QString& path)
{
    {
        std::unique_ptr<Database> db = Database::open(path, Database::Mode::OpenExisting);
        db->checkpoint();
    }
    // Closing the only connection removes the emptied -wal; a -shm of another tool
    // means nothing without it.
    if (QFileInfo::exists(path + QStringLiteral("-wal")))
        throw StoreError(0, QStringLiteral("%1-wal 无法并入数据库").arg(path));
    QFile::remove(path + QStringLiteral("-shm"));
}

QString path(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("data.dat"));
}

namespace {

// Refuses a database without the tables and columns of this system.
void checkTables(Database& db, const QString& name)
{
    QStringList missing;
    for (const QString& t : Schema::tables()) {
        const QStringList have = Schema::columns(db, t);
        if (have.isEmpty()) {
            missing << QStringLiteral("数据表 %1").arg(t);
            continue;
        }
        for (const QString& c : Schema::requiredColumns(t))
            if (!have.contains(c, Qt::CaseInsensitive))
                missing << QStringLiteral("%1.%2").arg(t, c);
    }
    if (!missing.isEmpty())
        throw StoreError(0, QStringLiteral("%1 不是本系统的数据库: 缺少 %2").arg(name, missing.join(QStringLiteral("、"))));
}

}  // namespace

std::unique_ptr<Database> openExisting(const QString& path)
{
    std::unique_ptr<Database> db = Database::open(path, Database::Mode::OpenExisting);
    checkTables(*db, path);
    db->useWriteAheadLog();
    Schema::upgrade(*db);
    return db;
}

std::unique_ptr<Database> createWith(const QString& path, const std::function<void(Database&)>& fill)
{
    if (QFileInfo::exists(path))
        throw StoreError(0, QStringLiteral("数据库文件已存在: %1").arg(path));
    const QString tmp = path + QStringLiteral(".new");
    removeWithLogs(tmp);
    try {
        std::unique_ptr<Database> db = Database::open(tmp, Database::Mode::Create);
        // Opening created the file, still empty: it is the owner's alone before any
        // data goes in, whatever the umask; its journals take the same mode.
        QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        Schema::create(*db);
        {
            Transaction t(*db);
            fill(*db);
            t.commit();
        }
    } catch (...) {
        removeWithLogs(tmp);
        throw;
    }
    if (!QFile::rename(tmp, path)) {
        QFile::remove(tmp);
        throw StoreError(0, QStringLiteral("无法建立数据库文件: %1").arg(path));
    }
    return openExisting(path);
}

std::unique_ptr<Database> create(const QString& path, const NewEstate& estate)
{
    return createWith(path, [&](Database& db) { fillNew(db, estate); });
}

std::unique_ptr<Database> openServer(const QString& conninfo, const QString& password)
{
    std::unique_ptr<Database> db = Database::connect(conninfo, password);
    checkServer(*db);
    return db;
}

void checkServer(Database& db)
{
    checkTables(db, QStringLiteral("数据库服务器上的 %1").arg(db.path()));
    Schema::upgrade(db);
}

bool holdsNoTable(Database& db)
{
    for (const QString& t : Schema::tables())
        if (db.hasTable(t))
            return false;
    return true;
}

void createOn(Database& db, const std::function<void(Database&)>& fill)
{
    if (!holdsNoTable(db))
        throw StoreError(0, QStringLiteral("数据库 %1 已有本系统的数据表").arg(db.path()));
    Transaction t(db);
    Schema::create(db);
    fill(db);
    t.commit();
}

void fillNew(Database& db, const NewEstate& estate)
{
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, 'A')"),
            {estate.operatorName, estate.password});
    db.exec(QStringLiteral("insert into 广告 (收据名称, 广告) values (?, ?)"), {estate.receiptName, estate.notice});
}

}  // namespace DataFile
