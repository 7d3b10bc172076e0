#include "records/householddeletion.h"

#include "accounts/ledger.h"
#include "store/dataenvironment.h"

HouseholdDeletion::Result HouseholdDeletion::deleteCurrent()
{
    rereadError_.clear();
    RecordSet& households = env_.rs档案();
    if (!households.hasCurrent())
        return Result::NoCurrent;
    const int at = households.position();
    const RecordSet::Bookmark key = households.bookmark();
    RecordSet* related[] = {&env_.rs缴费历史(), &env_.rs收费1(), &env_.rs收费2()};
    auto standOnTheNext = [&] {
        const int n = households.count();
        households.moveTo(n == 0 ? 0 : (at < n ? at : 0));
    };

    if (key < 0) {
        // Added, never saved: no bill can belong to it yet.
        households.deleteCurrent();
        standOnTheNext();
    } else {
        // Pending rows of the other windows go first, so none is written after the
        // deletion for a household that no longer exists.
        for (RecordSet* rs : related)
            rs->updateBatch();
        Database& db = env_.db();
        Transaction t(db);
        const QList<QVariantList> stored =
            db.query(QStringLiteral("select 门牌号, 户名 from 档案库 where ID = ?"), {key});
        const QVariant door = stored.isEmpty() ? QVariant() : stored.first().value(0);
        if (!door.isNull()) {
            db.exec(QStringLiteral("delete from 收费1 where 门牌号 = ?"), {door});
            db.exec(QStringLiteral("delete from 收费2 where 门牌号 = ?"), {door});
            db.exec(QStringLiteral("delete from 缴费历史 where 门牌号 = ?"), {door});
            Ledger(db, operator_, now_.isValid() ? now_ : QDateTime::currentDateTime())
                .closeAccount(door.toString(), stored.first().value(1).toString());
        }
        db.exec(QStringLiteral("delete from 档案库 where ID = ?"), {key});
        t.commit();

        // The deletion stands from here on; a set that cannot be read again says so
        // without turning the deletion into a failure.
        try {
            // The deleted row may hold an unsaved edit; it must not be written back.
            households.cancelBatch();
            households.requery();
            for (RecordSet* rs : related)
                rs->requery(true);
            standOnTheNext();
        } catch (const StoreError& e) {
            rereadError_ = e.message();
        }
    }
    return Result::Deleted;
}
