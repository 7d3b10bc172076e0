#include "shell/login.h"

#include "shell/passwordhash.h"
#include "store/recordset.h"

QStringList Login::names() const
{
    operators_.open();
    QStringList list;
    const int n = operators_.count();
    list.reserve(n);
    for (int i = 0; i < n; ++i)
        list << operators_.valueAt(i, QStringLiteral("操作员")).toString();
    return list;
}

Login::Result Login::check(int row, const QString& password)
{
    operators_.open();
    if (row < 0 || row >= operators_.count())
        return {Outcome::NoOperator, {}};
    const QString stored = operators_.valueAt(row, QStringLiteral("密码")).toString();
    if (!PasswordHash::matches(stored, password))
        return {Outcome::WrongPassword, {}};
    // The level is read from the chosen row itself, so two operators sharing a
    // name cannot borrow each other's level.
    operators_.moveTo(row);
    const QString level = operators_.value(QStringLiteral("操作级别")).toString();
    Database& db = operators_.database();
    if (db.engine() == Database::Engine::Server && !stored.isEmpty() && !PasswordHash::isHash(stored)) {
        // A password the server still holds in clear is hashed now that it is known
        // to be right. Only while the row still holds it; a failure here costs the
        // operator nothing, the next log-in tries again.
        try {
            db.exec(QStringLiteral("update 操作员 set 密码 = ? where rowid = ? and 密码 = ?"),
                    {PasswordHash::hash(password), operators_.bookmark(), stored});
        } catch (const StoreError&) {
        }
    }
    return {Outcome::Accepted, level};
}
