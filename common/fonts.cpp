#include "common/fonts.h"

#include <QFont>

QString songSubstitute()
{
    return QStringLiteral("Noto Sans Mono CJK SC");
}

void installSongFontSubstitution()
{
    const QString song = songSubstitute();
    QFont::insertSubstitution(QStringLiteral("宋体"), song);
    QFont::insertSubstitution(QStringLiteral("SimSun"), song);
}
