#include "datafolder.h"

#include "privatefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace DataFolder {

bool canHoldData(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable())
        return false;
    return QDir(info.absoluteFilePath()).dirName() != QLatin1String("bin");
}

QString choose(const QString& fenwaryHome, const QString& programFolder, bool programFolderUsable,
               const QString& homePath)
{
    if (!fenwaryHome.isEmpty())
        return QDir::cleanPath(QDir(fenwaryHome).absolutePath());
    if (programFolderUsable)
        return QDir::cleanPath(programFolder);
    return QDir::cleanPath(QDir(homePath).filePath(userFolderName));
}

QString current()
{
    const QString home = qEnvironmentVariable("FENWARY_HOME");
    const QString program = QCoreApplication::applicationDirPath();
    const bool usable = home.isEmpty() && canHoldData(program);
    const QString folder = choose(home, program, usable, QDir::homePath());
    if (home.isEmpty() && !usable)
        PrivateFiles::makeFolder(folder);
    return folder;
}

}  // namespace DataFolder
