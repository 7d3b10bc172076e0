#include "backupprompter.h"

void ScriptedBackupPrompter::inform(const QString& text, const QString& title)
{
    boxes_.append({Kind::Inform, text, title, Default::Accept});
}

bool ScriptedBackupPrompter::askOkCancel(const QString& text, const QString& title, Default preset)
{
    boxes_.append({Kind::OkCancel, text, title, preset});
    return next();
}

bool ScriptedBackupPrompter::askYesNo(const QString& text, const QString& title, Default preset)
{
    boxes_.append({Kind::YesNo, text, title, preset});
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
