#pragma once

#include "backupprompter.h"

class QWidget;

// Message boxes shown with QMessageBox over a parent window.
class QtBackupPrompter : public BackupPrompter {
public:
    explicit QtBackupPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void inform(const QString& text, const QString& title, Icon icon = Icon::Information) override;
    bool askOkCancel(const QString& text, const QString& title) override;
    bool askYesNo(const QString& text, const QString& title) override;

private:
    QWidget* parent_;
};
