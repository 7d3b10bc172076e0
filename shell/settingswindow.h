#pragma once

#include "shell/settingseditor.h"

#include <QWidget>

class Binder;
class NavBar;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct Services;

// The settings window (FRM_系统设置): receipt name and notice, and the operators
// on the window's own data control.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(Services& services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    SettingsEditor& editor() { return editor_; }
    QLineEdit* receiptNameBox() const { return receiptName_; }
    QPlainTextEdit* noticeBox() const { return notice_; }
    QLineEdit* operatorBox() const { return operator_; }
    QLineEdit* passwordBox() const { return password_; }
    QComboBox* levelBox() const { return level_; }
    NavBar* navBar() const { return nav_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* closeButton() const { return close_; }
    // Copies the data to a server database (on the file) or into a new data file
    // (on the server).
    QPushButton* moveButton() const { return move_; }

    void addOperator();
    void deleteOperator();
    void closeWindow();
    void moveData();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void unload();
    void showError(const QString& what, const QString& message);
    void updateCaption();

    Services& services_;
    SettingsEditor editor_;
    bool closedByButton_ = false;
    QLineEdit* receiptName_;
    QPlainTextEdit* notice_;
    NavBar* nav_;
    QLineEdit* operator_;
    QLineEdit* password_;
    QComboBox* level_;
    QPushButton* add_;
    QPushButton* delete_;
    QPushButton* close_;
    QPushButton* move_;
    Binder* settingsBinder_;
    Binder* operatorBinder_;
};
