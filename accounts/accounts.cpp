#include "accounts/accounts.h"

#include "common/dates.h"
#include "common/services.h"
#include "store/database.h"
#include "store/dataenvironment.h"

namespace Accounts {

Ledger ledger(Database& db, const AppContext& app, const Clock& clock)
{
    return Ledger(db, app.operatorName, clock.now());
}

void install(DataEnvironment& env, const AppContext& app, const Clock& clock)
{
    Database& db = env.db();
    Ledger::ensure(db, clock.now());
    db.addRowWriteHook(QStringLiteral("档案库"), [&app, &clock](Database& d, const RowWrite& w) {
        const QString kDoor = QStringLiteral("门牌号");
        const QString kBalance = QStringLiteral("账户余额");
        Ledger l = ledger(d, app, clock);
        if (w.rowid == 0) {
            l.journalOpening(w.value(kDoor).toString(), w.value(kBalance));
            return;
        }
        const QList<QVariantList> stored =
            d.query(QStringLiteral("select 门牌号 from 档案库 where ID = ?"), {w.rowid});
        if (stored.isEmpty())
            return;
        QString door = stored.first().value(0).toString();
        if (w.writes(kDoor)) {
            const QString to = w.value(kDoor).toString();
            if (to != door)
                l.moveDoor(door, to);
            door = to;
        }
        if (w.writes(kBalance))
            l.journalWrite(w.rowid, door, w.value(kBalance));
    });
}

}  // namespace Accounts
