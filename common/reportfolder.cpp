#include "common/reportfolder.h"

#include "common/gbkfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString reportFolder()
{
    const QString fromEnv = qEnvironmentVariable("FENWARY_REPORT_DIR");
    QString folder;
    if (!fromEnv.isEmpty()) {
        folder = QDir::fromNativeSeparators(fromEnv);
    } else {
#ifdef Q_OS_WIN
        folder = QStringLiteral("c:/报表");
#else
        folder = QDir::homePath() + QStringLiteral("/报表");
#endif
    }
    while (folder.size() > 1 && folder.endsWith(u'/') && !folder.endsWith(QStringLiteral(":/")))
        folder.chop(1);
    return folder;
}

QString ensureReportFolder()
{
    const QString folder = reportFolder();
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        throw FileError(QStringLiteral("无法创建文件夹 %1：已有同名文件。")
                            .arg(QDir::toNativeSeparators(folder)));
    if (info.isDir())
        return folder;
    // Made here: readable by its owner only (0700), whatever the umask. A folder that
    // already exists keeps its permissions.
    if (!QDir().mkpath(folder))
        throw FileError(QStringLiteral("无法创建文件夹 %1。").arg(QDir::toNativeSeparators(folder)));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

QString reportFolderForMessage()
{
    QString shown = QDir::toNativeSeparators(reportFolder());
    if (!shown.endsWith(QDir::separator()))
        shown += QDir::separator();
    return shown;
}
