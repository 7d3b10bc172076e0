#include "shell/serverdialog.h"

#include "store/databasechoice.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ServerDialog::ServerDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ServerDialog"));
    setWindowTitle(QStringLiteral("Fenwary - 连接数据库服务器"));

    auto* intro = new QLabel(QStringLiteral("数据放在办公室的 PostgreSQL 数据库服务器上,几台电脑可以同时使用。\n"
                                            "密码在连接时输入,或者由管理员写在 ~/.pgpass 中;程序不保存密码。"),
                             this);
    intro->setWordWrap(true);
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("txt服务器"));
    host_->setPlaceholderText(QStringLiteral("空白表示本机"));
    port_ = new QLineEdit(QStringLiteral("5432"), this);
    port_->setObjectName(QStringLiteral("txt端口"));
    database_ = new QLineEdit(QStringLiteral("fenwary"), this);
    database_->setObjectName(QStringLiteral("txt数据库"));
    user_ = new QLineEdit(QStringLiteral("fenwary"), this);
    user_->setObjectName(QStringLiteral("txt用户"));
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    problem_->hide();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("服务器:"), host_);
    form->addRow(QStringLiteral("端口:"), port_);
    form->addRow(QStringLiteral("数据库:"), database_);
    form->addRow(QStringLiteral("用户:"), user_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("连接"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("connect"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ServerDialog::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(intro);
    lay->addLayout(form);
    lay->addWidget(problem_);
    lay->addWidget(buttons);
    resize(QSize(440, sizeHint().height()).expandedTo(minimumSizeHint()));
    host_->setFocus();
}

void ServerDialog::choose()
{
    const QString problem = DatabaseChoice::check(host_->text(), port_->text(), database_->text());
    if (!problem.isEmpty()) {
        problem_->setText(problem);
        problem_->show();
        return;
    }
    conninfo_ = DatabaseChoice::conninfo(host_->text(), port_->text(), database_->text(), user_->text());
    accept();
}
