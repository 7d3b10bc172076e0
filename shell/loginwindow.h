#pragma once

#include "shell/login.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;
struct Services;

// The log-in window (frm_start). Loading it sets the application title and reads
// the receipt name and notice; a successful log-in hands the operator's level to
// onLoggedIn (which shows the main frame) and closes the window.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoginWindow(Services& services, QWidget* parent = nullptr);

    // Called with the operator's level after a successful log-in.
    std::function<void(const QString& level)> onLoggedIn;
    // "退出": ends the program at once.
    std::function<void()> quit;

    QComboBox* operatorBox() const { return operators_; }
    QLineEdit* passwordBox() const { return password_; }
    QPushButton* enterButton() const { return enter_; }
    QPushButton* exitButton() const { return exit_; }
    QPushButton* upgradeButton() const { return upgrade_; }

    void logIn();

private:
    Services& services_;
    Login login_;
    QComboBox* operators_;
    QLineEdit* password_;
    QPushButton* enter_;
    QPushButton* exit_;
    QPushButton* upgrade_;
};
