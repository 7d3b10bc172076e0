#include "common/dates.h"

#include <QDateTime>
#include <QLocale>

QString chineseDate(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy年MM月dd日")) : QString();
}

QString monthKey(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyyMM")) : QString();
}

QString isoDate(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString shortDate(const QDate& d)
{
    if (!d.isValid())
        return QString();
    // A machine without a locale of its own (C / POSIX) shows dates as the
    // office's Chinese system would, not as "15 Jul 2024".
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::Chinese, QLocale::China);
    return locale.toString(d, QLocale::ShortFormat);
}

bool isValidMonthText(const QString& text)
{
    if (text.size() != 6)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    const int year = text.left(4).toInt();
    const int month = text.right(2).toInt();
    return year >= 1000 && month >= 1 && month <= 12;
}

QDate parseStoredDate(const QVariant& v)
{
    if (v.isNull())
        return QDate();
    switch (v.typeId()) {
    case QMetaType::QDate:
        return v.toDate();
    case QMetaType::QDateTime:
        return v.toDateTime().date();
    default:
        break;
    }
    const QString text = v.toString().trimmed();
    if (text.size() == 10)
        return QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (text.size() == 19 && (text[10] == u' ' || text[10] == u'T')) {
        const QDate d = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
        const QTime t = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
        return t.isValid() ? d : QDate();
    }
    return QDate();
}
