#include "common/desktopfileopener.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopFileOpener::open(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
