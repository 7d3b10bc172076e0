#include "records/householdrenames.h"

#include "store/database.h"
#include "store/sqlite.h"

namespace {

const QString kDoor = QStringLiteral("门牌号");

}  // namespace

QString HouseholdRenames::duplicateText()
{
    return QStringLiteral("记录中存在重复的门牌号,请返回重输!");
}

void HouseholdRenames::install(Database& db)
{
    db.addRowWriteHook(QStringLiteral("档案库"), &HouseholdRenames::follow, QStringLiteral("records:门牌号"));
}

void HouseholdRenames::follow(Database& db, const RowWrite& write)
{
    if (write.rowid == 0 || !write.writes(kDoor))
        return;
    const QVariant was = db.scalar(QStringLiteral("select 门牌号 from 档案库 where rowid = ?"), {write.rowid});
    const QVariant next = write.value(kDoor);
    if (was.isNull() || (!next.isNull() && was.toString() == next.toString()))
        return;
    if (!next.isNull() &&
        db.scalar(QStringLiteral("select count(*) from 档案库 where 门牌号 = ? and rowid <> ?"), {next, write.rowid})
                .toLongLong() > 0)
        throw StoreError(SQLITE_CONSTRAINT, duplicateText());
    for (const char* table : {"缴费历史", "收费1", "收费2"})
        db.exec(QStringLiteral("update %1 set 门牌号 = ? where 门牌号 = ?").arg(QString::fromUtf8(table)),
                {next, was});
}
