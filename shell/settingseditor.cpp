#include "shell/settingseditor.h"

#include "shell/appsettings.h"
#include "shell/passwordhash.h"
#include "common/services.h"
#include "store/dataenvironment.h"

SettingsEditor::SettingsEditor(DataEnvironment& data, AppContext& app)
    : data_(data), app_(app), operators_(std::make_unique<RecordSet>(data.db(), QStringLiteral("操作员")))
{
    operators_->open();
    RecordSet& rs = settings();
    if (rs.count() == 0) {
        rs.addNew();
        rs.setValue(QStringLiteral("收据名称"), QString());
        rs.setValue(QStringLiteral("广告"), QString());
    } else if (!rs.hasCurrent()) {
        rs.moveFirst();
    }
}

SettingsEditor::~SettingsEditor() = default;

RecordSet& SettingsEditor::settings()
{
    RecordSet& rs = data_.rs广告();
    rs.open();
    return rs;
}

void SettingsEditor::addOperator()
{
    operators_->addNew();
}

SettingsEditor::Deletion SettingsEditor::deleteOperator()
{
    RecordSet& ops = *operators_;
    if (!ops.hasCurrent())
        return Deletion::NoCurrent;
    // A row added in this window has no row in the table yet (negative bookmark).
    const RecordSet::Bookmark key = ops.bookmark();
    if (key > 0) {
        const int others =
            data_.scratchValue(QStringLiteral("select count(*) from 操作员 where rowid <> ?"), {key}).toInt();
        if (others == 0)
            return Deletion::LastOperator;
    }
    ops.deleteCurrent();
    try {
        ops.updateBatch();
    } catch (...) {
        ops.cancelBatch();  // shows the table as it is
        throw;
    }
    if (!ops.hasCurrent() && !ops.eof())
        ops.moveNext();
    return Deletion::Deleted;
}

SettingsEditor::Closing SettingsEditor::close(const QString& name, const QString& password, const QString& level)
{
    settings().updateBatch();
    const QVariant stored = operators_->hasCurrent() ? operators_->value(QStringLiteral("密码")) : QVariant();
    const bool hidden = password.isEmpty() && !stored.toString().isEmpty() && shownPassword(stored).isEmpty();
    if (name.trimmed().isEmpty() || (password.trimmed().isEmpty() && !hidden) || level.trimmed().isEmpty())
        return Closing::Incomplete;
    operators_->update();
    ShellSettings::read(data_, app_);
    return Closing::Closed;
}

void SettingsEditor::discard()
{
    RecordSet& rs = settings();
    if (rs.hasPendingChanges())
        rs.cancelBatch();
}

bool SettingsEditor::onServer() const
{
    return data_.db().engine() == Database::Engine::Server;
}

QString SettingsEditor::shownPassword(const QVariant& stored) const
{
    if (onServer() || PasswordHash::isHash(stored))
        return QString();
    return stored.toString();
}

QVariant SettingsEditor::storedPassword(const QString& typed) const
{
    if (!onServer() || typed.isEmpty())
        return typed;
    return PasswordHash::hash(typed);
}
