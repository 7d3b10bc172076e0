#include "shell/login.h"

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
    if (stored != password)
        return {Outcome::WrongPassword, {}};
    // The level is read from the chosen row itself, so two operators sharing a
    // name cannot borrow each other's level.
    operators_.moveTo(row);
    return {Outcome::Accepted, operators_.value(QStringLiteral("操作级别")).toString()};
}
