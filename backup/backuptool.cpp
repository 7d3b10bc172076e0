#include "backuptool.h"

#include "backupprompter.h"
#include "databasefile.h"
#include "datafolder.h"
#include "store/datafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString unfinishedWrite(const QStringList& leftovers, const QString& action)
{
    return QStringLiteral("数据库上次的写入没有完成（data.dat 旁有 %1），现在不能%2。"
                          "请先启动 Tallowmere 并关闭一次，以完成恢复，然后再%2。")
        .arg(leftovers.join(QStringLiteral("、")), action);
}

QString lockUnavailable(const QString& lockPath, const QString& action)
{
    return QStringLiteral("无法建立锁文件 %1，不能%2。").arg(native(lockPath), action);
}

QString verdictText(DatabaseFile::Verdict v)
{
    using V = DatabaseFile::Verdict;
    switch (v) {
    case V::Unreadable: return QStringLiteral("无法读取");
    case V::Empty: return QStringLiteral("空文件");
    case V::BadSize: return QStringLiteral("大小不是整页");
    case V::PlainSqlite: return QStringLiteral("未加密的 SQLite 文件");
    case V::Text: return QStringLiteral("文本文件");
    case V::Blank: return QStringLiteral("开头为空白");
    case V::Ok:
    case V::Missing: break;
    }
    return QString();
}

}  // namespace

QString BackupTool::defaultProgramFolder()
{
    return DataFolder::current();
}

QStringList BackupTool::backupFiles(const QString& folder)
{
    return QDir(folder).entryList({QLatin1Char('*') + extension}, QDir::Files, QDir::Name);
}

BackupTool::BackupTool(const QString& programFolder, BackupPrompter& prompter)
    : folder_(programFolder), prompter_(prompter)
{
}

QString BackupTool::databasePath() const
{
    return QDir(folder_).filePath(DatabaseFile::fileName);
}

QString BackupTool::safetyCopyPath() const
{
    return QDir(folder_).filePath(safetyCopyName);
}

void BackupTool::inform(const QString& text)
{
    prompter_.inform(text, title);
}

bool BackupTool::refuseName(const QString& name)
{
    if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')))
        return false;
    inform(QStringLiteral("文件名不能含有“/”或“\\”。"));
    return true;
}

bool BackupTool::settle(const QString& database, const QString& action)
{
    // Tallowmere ended without closing (a crash, a power cut) leaves its last commits
    // in data.dat-wal: they are folded into data.dat before it is copied or replaced,
    // so a backup holds them and a restored file never gets them replayed into it.
    const QString journal = database + QStringLiteral("-journal");
    if (QFileInfo::exists(database + QStringLiteral("-wal")) && !QFileInfo::exists(journal)
        && DatabaseFile::inspect(database) == DatabaseFile::Verdict::Ok) {
        try {
            DataFile::settle(database);
        } catch (const StoreError& e) {
            inform(QStringLiteral("无法完成数据库上次的写入（%1），现在不能%2。").arg(e.message(), action));
            return false;
        }
    }
    if (const QStringList left = DatabaseFile::leftovers(database); !left.isEmpty()) {
        inform(unfinishedWrite(left, action));
        return false;
    }
    QFile::remove(database + QStringLiteral("-shm"));
    return true;
}

BackupTool::Outcome BackupTool::backUp(const QString& folder, const QString& nameText)
{
    const QString name = nameText.trimmed();
    if (name.isEmpty()) {
        inform(askName);
        return Outcome::Stopped;
    }
    if (refuseName(name))
        return Outcome::Refused;

    const QString target = QDir(folder).filePath(name + extension);
    // The old backup stays until the new one is complete and checked.
    if (QFileInfo::exists(target) && !prompter_.askOkCancel(askOverwrite, title, BackupPrompter::Default::Decline))
        return Outcome::Stopped;

    DatabaseLock lock(folder_);
    switch (lock.acquire()) {
    case DatabaseLock::Result::Acquired: break;
    case DatabaseLock::Result::InUse: inform(backupInUse); return Outcome::Refused;
    case DatabaseLock::Result::Unavailable:
        inform(lockUnavailable(lock.path(), QStringLiteral("备份")));
        return Outcome::Refused;
    }
    const QString database = databasePath();
    if (!settle(database, QStringLiteral("备份")))
        return Outcome::Refused;
    const DatabaseFile::Verdict verdict = DatabaseFile::inspect(database);
    if (verdict == DatabaseFile::Verdict::Missing) {
        inform(QStringLiteral("找不到数据库文件 %1，不能备份。").arg(native(database)));
        return Outcome::Refused;
    }
    if (verdict != DatabaseFile::Verdict::Ok) {
        inform(QStringLiteral("%1 不是加密的 Fenwary 数据库文件（%2），不能备份。")
                 .arg(native(database), verdictText(verdict)));
        return Outcome::Refused;
    }

    QString error;
    if (!copier_.copy(database, target, &error)) {
        inform(QStringLiteral("备份失败：%1。原有的文件没有改动。").arg(error));
        return Outcome::Failed;
    }
    lock.release();
    inform(backupDone);
    return Outcome::Done;
}

BackupTool::Outcome BackupTool::restore(const QString& folder, const QString& fileText)
{
    if (fileText.trimmed().isEmpty()) {
        inform(askRestoreName);
        return Outcome::Stopped;
    }
    if (!prompter_.askOkCancel(askRestore, title, BackupPrompter::Default::Decline))
        return Outcome::Stopped;
    if (refuseName(fileText))
        return Outcome::Refused;

    DatabaseLock lock(folder_);
    switch (lock.acquire()) {
    case DatabaseLock::Result::Acquired: break;
    case DatabaseLock::Result::InUse: inform(restoreInUse); return Outcome::Refused;
    case DatabaseLock::Result::Unavailable:
        inform(lockUnavailable(lock.path(), QStringLiteral("恢复")));
        return Outcome::Refused;
    }
    const QString database = databasePath();
    if (!settle(database, QStringLiteral("恢复")))
        return Outcome::Refused;
    const QString source = QDir(folder).filePath(fileText);
    const DatabaseFile::Verdict verdict = DatabaseFile::inspect(source);
    if (verdict == DatabaseFile::Verdict::Missing) {
        inform(QStringLiteral("找不到要恢复的文件 %1，数据库没有改动。").arg(native(source)));
        return Outcome::Refused;
    }
    if (verdict != DatabaseFile::Verdict::Ok) {
        inform(QStringLiteral("%1 不是加密的 Fenwary 数据库文件（%2），不能恢复，数据库没有改动。")
                 .arg(native(source), verdictText(verdict)));
        return Outcome::Refused;
    }

    // The source is read before the safety copy is written, so that restoring
    // from data_bf.备份 itself swaps the two files instead of losing one.
    QString error;
    SafeCopier::Staged staged;
    if (!copier_.stage(source, database, staged, &error)) {
        inform(QStringLiteral("恢复失败：%1。数据库没有改动。").arg(error));
        return Outcome::Failed;
    }
    const bool hadDatabase = QFileInfo(database).isFile();
    if (hadDatabase && !copier_.copy(database, safetyCopyPath(), &error)) {
        inform(QStringLiteral("恢复失败：%1。数据库没有改动。").arg(error));
        return Outcome::Failed;
    }
    if (!copier_.commit(staged, &error)) {
        inform(hadDatabase ? QStringLiteral("恢复失败：%1。原数据库备份为data_bf.备份。").arg(error)
                         : QStringLiteral("恢复失败：%1。").arg(error));
        return Outcome::Failed;
    }
    lock.release();
    inform(hadDatabase ? restoreDone : restoreDoneWithoutSafetyCopy);
    return Outcome::Done;
}
