#include "charging/itemnumbers.h"

#include "store/database.h"

namespace {

const QString kNumber = QStringLiteral("项目号");
const QString kName = QStringLiteral("项目名");

QString text(const QVariant& v)
{
    return v.isNull() || !v.isValid() ? QString() : v.toString();
}

}  // namespace

QString ItemNumbers::refusal(Database& db, const RowWrite& write)
{
    if (write.rowid != 0 && !write.writes(kNumber))
        return QString();
    const QString number = text(write.value(kNumber)).trimmed();
    QString name = text(write.value(kName));
    if (!write.writes(kName) && write.rowid != 0)
        name = text(db.scalar(QStringLiteral("select 项目名 from 项目 where rowid = ?"), {write.rowid}));
    const QString item = name.trimmed().isEmpty() ? QStringLiteral("新项目") : QStringLiteral("项目“%1”").arg(name);
    if (number.isEmpty())
        return item + QStringLiteral("没有项目号，请填写项目号。");
    const QList<QVariantList> others = db.query(
        QStringLiteral("select 项目名 from 项目 where lower(trim(项目号)) = lower(?) and rowid <> ? limit 1"),
        {number, write.rowid});
    if (others.isEmpty())
        return QString();
    return item + QStringLiteral("的项目号“%1”已是项目“%2”的项目号，请换一个项目号。")
                      .arg(number, text(others.first().value(0)));
}

void ItemNumbers::guard(Database& db, const std::shared_ptr<void>& owner)
{
    db.addRowWriteHook(QStringLiteral("项目"), [alive = std::weak_ptr<void>(owner)](Database& d, const RowWrite& w) {
        if (alive.expired())
            return;
        const QString why = refusal(d, w);
        if (!why.isEmpty())
            throw StoreError(0, why);
    });
}
