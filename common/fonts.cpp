#include "common/fonts.h"

#include <QFont>
#include <QString>

void installSongFontSubstitution()
{
    const QString song = QStringLiteral("Noto Serif CJK SC");
    QFont::insertSubstitution(QStringLiteral("宋体"), song);
    QFont::insertSubstitution(QStringLiteral("SimSun"), song);
}
