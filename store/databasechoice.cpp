#include "store/databasechoice.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <libpq-fe.h>

namespace DatabaseChoice {

namespace {

QString environment()
{
    return qEnvironmentVariable("FENWARY_DATABASE").trimmed();
}

// A value as libpq's key=value syntax reads it back.
QString quoted(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    v.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

// The connection string without a password it may hold.
QString withoutPassword(const QString& conninfo)
{
    const QByteArray utf8 = conninfo.toUtf8();
    PQconninfoOption* opts = PQconninfoParse(utf8.constData(), nullptr);
    if (!opts)
        return conninfo;
    QStringList words;
    bool hadPassword = false;
    for (PQconninfoOption* o = opts; o->keyword; ++o) {
        if (!o->val)
            continue;
        if (qstrcmp(o->keyword, "password") == 0)
            hadPassword = true;
        else
            words << QString::fromUtf8(o->keyword) + QLatin1Char('=') + quoted(QString::fromUtf8(o->val));
    }
    PQconninfoFree(opts);
    return hadPassword ? words.join(QLatin1Char(' ')) : conninfo;
}

}  // namespace

bool fromEnvironment()
{
    return !environment().isEmpty();
}

QString server(const QString& folder)
{
    if (fromEnvironment())
        return environment();
    QFile f(QDir(folder).filePath(settingFileName));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('#')))
            return text;
    }
    return QString();
}

bool save(const QString& folder, const QString& conninfo, QString* error)
{
    const QString path = QDir(folder).filePath(settingFileName);
    if (conninfo.trimmed().isEmpty()) {
        if (!QFile::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = QStringLiteral("无法删除 %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QSaveFile f(path);
    const QByteArray text = QStringLiteral("# Fenwary 使用的数据库服务器 (libpq 连接串)。删除本文件后改用本文件夹中的 data.dat。\n%1\n")
                                .arg(withoutPassword(conninfo.trimmed()))
                                .toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("无法写入 %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    return true;
}

QString conninfo(const QString& host, const QString& port, const QString& database, const QString& user)
{
    QStringList words;
    const auto add = [&words](const char* key, const QString& value) {
        if (!value.trimmed().isEmpty())
            words << QLatin1String(key) + QLatin1Char('=') + quoted(value.trimmed());
    };
    add("host", host);
    add("port", port);
    add("dbname", database);
    add("user", user);
    return words.join(QLatin1Char(' '));
}

QString check(const QString& host, const QString& port, const QString& database)
{
    Q_UNUSED(host);
    if (database.trimmed().isEmpty())
        return QStringLiteral("请输入数据库的名字。");
    bool ok = true;
    const int p = port.trimmed().isEmpty() ? 5432 : port.trimmed().toInt(&ok);
    if (!ok || p < 1 || p > 65535)
        return QStringLiteral("端口应为 1 到 65535 之间的数字。");
    return QString();
}

QString describe(const QString& conninfo)
{
    const QByteArray utf8 = conninfo.toUtf8();
    PQconninfoOption* opts = PQconninfoParse(utf8.constData(), nullptr);
    if (!opts)
        return QStringLiteral("(连接串有误)");
    QString host, port, db;
    for (PQconninfoOption* o = opts; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString v = QString::fromUtf8(o->val);
        if (qstrcmp(o->keyword, "host") == 0 || (qstrcmp(o->keyword, "hostaddr") == 0 && host.isEmpty()))
            host = v;
        else if (qstrcmp(o->keyword, "port") == 0)
            port = v;
        else if (qstrcmp(o->keyword, "dbname") == 0)
            db = v;
        else if (qstrcmp(o->keyword, "service") == 0 && db.isEmpty())
            db = QStringLiteral("service=") + v;
    }
    PQconninfoFree(opts);
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')))
        host = QStringLiteral("本机");
    return QStringLiteral("%1:%2/%3").arg(host, port.isEmpty() ? QStringLiteral("5432") : port,
                                          db.isEmpty() ? QStringLiteral("(默认)") : db);
}

}  // namespace DatabaseChoice
