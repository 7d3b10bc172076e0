#include "shell/passwordhash.h"

#include "store/database.h"

#include <QRegularExpression>
#include <sodium.h>

namespace {

void ready()
{
    static const int rc = sodium_init();
    if (rc < 0)
        throw StoreError(0, QStringLiteral("无法初始化密码运算库 (libsodium)"));
}

}  // namespace

QString PasswordHash::hash(const QString& password)
{
    ready();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), quint64(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw StoreError(0, QStringLiteral("计算密码的散列值时内存不足"));
    return QString::fromLatin1(out);
}

bool PasswordHash::isHash(const QString& stored)
{
    static const QRegularExpression form(
        QStringLiteral("^\\$argon2id\\$v=\\d+\\$m=\\d+,t=\\d+,p=\\d+\\$[A-Za-z0-9+/]+\\$[A-Za-z0-9+/]+$"));
    return stored.startsWith(QLatin1String("$argon2id$")) && form.match(stored).hasMatch();
}

bool PasswordHash::verify(const QString& stored, const QString& password)
{
    if (!isHash(stored))
        return false;
    ready();
    const QByteArray h = stored.toLatin1();
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

bool PasswordHash::matches(const QString& stored, const QString& password)
{
    return isHash(stored) ? verify(stored, password) : stored == password;
}

int PasswordHash::hashClearPasswords(Database& db)
{
    int n = 0;
    for (const QVariantList& r : db.query(QStringLiteral("select rowid, 密码 from 操作员"))) {
        const QString stored = r.value(1).toString();
        if (stored.isEmpty() || isHash(stored))
            continue;
        db.exec(QStringLiteral("update 操作员 set 密码 = ? where rowid = ?"), {hash(stored), r.value(0)});
        ++n;
    }
    return n;
}

void PasswordHash::hashOnCopy(Database& server, const QString& table)
{
    if (table == QStringLiteral("操作员"))
        hashClearPasswords(server);
}
