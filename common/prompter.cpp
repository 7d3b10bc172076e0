#include "prompter.h"

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const Box& b : boxes_)
        out << b.text;
    return out;
}

ScriptedPrompter::Answer ScriptedPrompter::next()
{
    if (answers_.isEmpty()) {
        ++unanswered_;
        return {false, std::nullopt};
    }
    return answers_.takeFirst();
}

void ScriptedPrompter::inform(const QString& text, const QString& title, Icon icon)
{
    boxes_.append({Kind::Inform, text, title, QString(), icon, Default::Accept});
}

bool ScriptedPrompter::askYesNo(const QString& text, const QString& title, Default preset, Icon icon)
{
    boxes_.append({Kind::YesNo, text, title, QString(), icon, preset});
    return next().accept;
}

bool ScriptedPrompter::askOkCancel(const QString& text, const QString& title, Default preset, Icon icon)
{
    boxes_.append({Kind::OkCancel, text, title, QString(), icon, preset});
    return next().accept;
}

std::optional<QString> ScriptedPrompter::input(const QString& prompt, const QString& title,
                                               const QString& offered)
{
    boxes_.append({Kind::Input, prompt, title, offered, Icon::Information, Default::Accept});
    Answer a = next();
    if (!a.accept)
        return std::nullopt;
    return a.text.value_or(QString());
}
