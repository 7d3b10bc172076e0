#include "backupprompter.h"

void ScriptedBackupPrompter::inform(const QString& text, const QString& title, Icon icon)
{
    boxes_.append({Kind::Inform, text, title, icon});
}

bool ScriptedBackupPrompter::askOkCancel(const QString& text, const QString& title)
{
    boxes_.append({Kind::OkCancel, text, title, Icon::Information});
    return next();
}

bool ScriptedBackupPrompter::askYesNo(const QString& text, const QString& title)
{
    boxes_.append({Kind::YesNo, text, title, Icon::Information});
    return next();
}

QStringList ScriptedBackupPrompter::texts() const
{
    QStringList out;
    for (const Box& b : boxes_)
        out << b.text;
    return out;
}

bool ScriptedBackupPrompter::next()
{
    if (answers_.isEmpty()) {
        ++unanswered_;
        return false;
    }
    return answers_.takeFirst();
}
