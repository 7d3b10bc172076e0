#include "documents/documentpage.h"

QStringList DocumentPage::dump() const
{
    QStringList out;
    for (const DocumentLine& l : lines)
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(l.font, QString::number(l.size), l.italic ? QStringLiteral("italic") : QStringLiteral("regular"),
                        QString::number(l.x), l.text);
    return out;
}

int DocumentPage::cells(QChar c)
{
    return c.unicode() >= 0x80 ? 2 : 1;
}

int DocumentPage::cells(const QString& text)
{
    int n = 0;
    for (QChar c : text)
        n += cells(c);
    return n;
}
