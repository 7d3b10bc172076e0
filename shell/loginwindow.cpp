#include "shell/loginwindow.h"

#include "common/prompter.h"
#include "shell/appsettings.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <QSysInfo>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Shows "*" for every character of a password box.
class StarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

LoginWindow::LoginWindow(Services& services, QWidget* parent)
    : QWidget(parent), services_(services), login_(services.data.rs操作员())
{
    setObjectName(QStringLiteral("frm_start"));
    setAttribute(Qt::WA_DeleteOnClose);

    // Start-up: the title, then the settings row.
    services_.app.appTitle = QStringLiteral("Fenwary");
    setWindowTitle(services_.app.appTitle);
    ShellSettings::read(services_.data, services_.app);

    operators_ = new QComboBox(this);
    operators_->setObjectName(QStringLiteral("DataCombo1"));
    operators_->addItems(login_.names());
    operators_->setPlaceholderText(QStringLiteral("请选操作员"));
    operators_->setCurrentIndex(-1);

    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("txt密码"));
    auto* star = new StarStyle;
    star->setParent(this);  // outlives the box it styles
    password_->setStyle(star);
    password_->setEchoMode(QLineEdit::Password);

    enter_ = new QPushButton(QStringLiteral("进入"), this);
    enter_->setObjectName(QStringLiteral("Command1_0"));
    exit_ = new QPushButton(QStringLiteral("退出"), this);
    exit_->setObjectName(QStringLiteral("Command1_1"));
    upgrade_ = new QPushButton(QStringLiteral("升级数据库"), this);
    upgrade_->setObjectName(QStringLiteral("Command1_2"));
    // Opening a file upgrades it already, so the button has nothing left to do.
    upgrade_->setEnabled(false);
    upgrade_->setToolTip(QStringLiteral("数据库在打开时已自动升级"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("操作员:"), this), 0, 0);
    grid->addWidget(operators_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("密  码:"), this), 1, 0);
    grid->addWidget(password_, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(12);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(enter_);
    buttons->addWidget(exit_);
    buttons->addWidget(upgrade_);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(24, 24, 24, 18);
    lay->addLayout(grid);
    lay->addStretch(1);
    lay->addLayout(buttons);

    connect(enter_, &QPushButton::clicked, this, &LoginWindow::logIn);
    connect(password_, &QLineEdit::returnPressed, this, &LoginWindow::logIn);
    connect(exit_, &QPushButton::clicked, this, [this] {
        if (quit)
            quit();
    });

    setFixedSize(QSize(320, 200).expandedTo(sizeHint()));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    operators_->setFocus();
}

void LoginWindow::logIn()
{
    const QString title = services_.app.appTitle;
    Login::Result r;
    try {
        r = login_.check(operators_->currentIndex(), password_->text());
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("读取操作员时出错: %1").arg(e.message()), title,
                                  Prompter::Icon::Critical);
        return;
    }
    switch (r.outcome) {
    case Login::Outcome::NoOperator:
        services_.prompter.inform(Login::noOperatorText(), title);
        operators_->setFocus();
        return;
    case Login::Outcome::WrongPassword:
        services_.prompter.inform(Login::wrongPasswordText(), title);
        password_->setFocus();
        return;
    case Login::Outcome::Accepted:
        break;
    }
    services_.app.operatorName = operators_->currentText();
    services_.data.db().setDesk(QSysInfo::machineHostName(), services_.app.operatorName);
    services_.app.operatorLevel = r.level;
    if (onLoggedIn)
        onLoggedIn(r.level);
    close();
}
