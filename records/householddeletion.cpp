#include "records/householddeletion.h"

#include "store/dataenvironment.h"

HouseholdDeletion::Result HouseholdDeletion::deleteCurrent()
{
    RecordSet& households = env_.rs档案();
    if (!households.hasCurrent())
        return Result::NoCurrent;
    const int at = households.position();
    const RecordSet::Bookmark key = households.bookmark();
    RecordSet* related[] = {&env_.rs缴费历史(), &env_.rs收费1(), &env_.rs收费2()};

    if (key < 0) {
        // Added, never saved: no bill can belong to it yet.
        households.deleteCurrent();
    } else {
        // Pending rows of the other windows go first, so none is written after the
        // deletion for a household that no longer exists.
        for (RecordSet* rs : related)
            rs->updateBatch();
        Database& db = env_.db();
        Transaction t(db);
        const QVariant door = db.scalar(QStringLiteral("select 门牌号 from 档案库 where ID = ?"), {key});
        if (!door.isNull()) {
            db.exec(QStringLiteral("delete from 收费1 where 门牌号 = ?"), {door});
            db.exec(QStringLiteral("delete from 收费2 where 门牌号 = ?"), {door});
            db.exec(QStringLiteral("delete from 缴费历史 where 门牌号 = ?"), {door});
            db.exec(QStringLiteral("delete from 账户流水 where 门牌号 = ?"), {door});
        }
        db.exec(QStringLiteral("delete from 档案库 where ID = ?"), {key});
        t.commit();
        // The deleted row may hold an unsaved edit; it must not be written back.
        households.cancelBatch();
        households.requery();
        for (RecordSet* rs : related)
            rs->requery(true);
    }

    const int n = households.count();
    households.moveTo(n == 0 ? 0 : (at < n ? at : 0));
    return Result::Deleted;
}
