#include "charging/continuousentry.h"

#include "common/prompter.h"
#include "common/services.h"
#include "store/database.h"
#include "store/recordset.h"

ContinuousEntry::ContinuousEntry(SingleEntry& single, Prompter& prompter, AppContext& app)
    : single_(single), prompter_(prompter), app_(app)
{
}

bool ContinuousEntry::noteCheck(RecordSet& households, const QString& month)
{
    const QVariant v = households.hasCurrent() ? households.value(QStringLiteral("收费说明")) : QVariant();
    const QString note = v.isNull() ? QString() : v.toString();
    if (!SingleEntry::noteReminds(note, month))
        return false;
    prompter_.inform(SingleEntry::reminderText(note), QString(), Prompter::Icon::None);
    return true;
}

ContinuousEntry::Result ContinuousEntry::run(RecordSet& households, const QString& door, const QString& month)
{
    Result r;
    QString next = door;
    for (;;) {
        ++r.runs;
        const SingleEntry::Result one = single_.run(households, next, month);
        if (one.outcome == SingleEntry::Outcome::Failed) {
            r.outcome = Outcome::Failed;
            r.error = one.error;
            return r;
        }
        if (noteCheck(households, month)) {
            r.outcome = Outcome::Reminded;
            return r;
        }
        if (!households.hasCurrent() || households.position() + 1 >= households.count()) {
            r.outcome = Outcome::LastHousehold;
            return r;
        }
        try {
            households.moveNext();
        } catch (const StoreError& e) {
            r.outcome = Outcome::Failed;
            r.error = e.message();
            return r;
        }
        const QVariant d = households.value(QStringLiteral("门牌号"));
        next = d.isNull() ? QString() : d.toString();
        if (!prompter_.askYesNo(QStringLiteral("是否继续录入 ") + next + QStringLiteral("的收费内容?"), app_.appTitle)) {
            r.outcome = Outcome::Declined;
            return r;
        }
    }
}
