#include "databasefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace DatabaseFile {

Verdict inspect(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return Verdict::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Verdict::Unreadable;
    const qint64 size = file.size();
    if (size == 0)
        return Verdict::Empty;

    const QByteArray page = file.read(4096);
    static const QByteArray sqliteHeader("SQLite format 3\0", 16);
    if (page.startsWith(sqliteHeader))
        return Verdict::PlainSqlite;

    // An encrypted page is noise: among 4096 random bytes control characters are
    // certain to appear. A page without any is text, whatever its length.
    bool control = false;
    for (const char c : page) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1b) || b == 0x7f) {
            control = true;
            break;
        }
    }
    if (!control)
        return Verdict::Text;
    if (size % 1024 != 0)
        return Verdict::BadSize;
    if (page.left(16) == QByteArray(16, '\0'))
        return Verdict::Blank;
    return Verdict::Ok;
}

QStringList leftovers(const QString& databasePath)
{
    QStringList found;
    for (const char* suffix : {"-journal", "-wal"}) {
        const QString name = databasePath + QLatin1String(suffix);
        if (QFileInfo::exists(name))
            found << QFileInfo(name).fileName();
    }
    return found;
}

}  // namespace DatabaseFile

DatabaseLock::DatabaseLock(const QString& programFolder)
    : path_(QDir(programFolder).filePath(DatabaseFile::lockName)), lock_(path_)
{
    // The main program holds its lock for hours: only a dead owner makes it stale.
    lock_.setStaleLockTime(0);
}

DatabaseLock::Result DatabaseLock::acquire()
{
    if (lock_.isLocked())
        return Result::Acquired;
    if (lock_.tryLock(0))
        return Result::Acquired;
    return lock_.error() == QLockFile::LockFailedError ? Result::InUse : Result::Unavailable;
}
