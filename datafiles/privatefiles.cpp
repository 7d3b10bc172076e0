#include "privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace PrivateFiles {

bool makeFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    if (!QDir().mkdir(path))
        return QFileInfo(path).isDir();  // made by someone else meanwhile
    // The mode is set, not requested: the umask does not take part.
    QFile::setPermissions(path, folderMode);
    return true;
}

void restrict(const QString& file)
{
    QFile::setPermissions(file, fileMode);
}

}  // namespace PrivateFiles
