#pragma once

#include "backupprompter.h"

class QWidget;

// Message boxes shown with QMessageBox over a parent window. Enter presses the
// question's preset button, Escape answers Cancel / No; the button texts are Qt's
// own, in the language of the installed translation.
class QtBackupPrompter : public BackupPrompter {
public:
    explicit QtBackupPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void inform(const QString& text, const QString& title) override;
    bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept) override;
    bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept) override;

private:
    QWidget* parent_;
};
