#include "qtbackupprompter.h"

#include <QMessageBox>

namespace {

bool ask(QWidget* parent, const QString& text, const QString& title, BackupPrompter::Default preset,
         QMessageBox::StandardButton accept, QMessageBox::StandardButton decline)
{
    QMessageBox box(QMessageBox::Question, title, text, accept | decline, parent);
    box.setDefaultButton(preset == BackupPrompter::Default::Accept ? accept : decline);
    box.setEscapeButton(decline);
    return box.exec() == accept;
}

}  // namespace

void QtBackupPrompter::inform(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent_);
    box.exec();
}

bool QtBackupPrompter::askOkCancel(const QString& text, const QString& title, Default preset)
{
    return ask(parent_, text, title, preset, QMessageBox::Ok, QMessageBox::Cancel);
}

bool QtBackupPrompter::askYesNo(const QString& text, const QString& title, Default preset)
{
    return ask(parent_, text, title, preset, QMessageBox::Yes, QMessageBox::No);
}
