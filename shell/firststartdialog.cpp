#include "shell/firststartdialog.h"

#include "shell/serverdialog.h"

#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FirstStartDialog::FirstStartDialog(const QString& folder, const QString& server, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FirstStartDialog"));
    setWindowTitle(QStringLiteral("Fenwary - 建立数据库"));
    setProperty("dataFolder", QDir::toNativeSeparators(folder));

    auto* intro = new QLabel(server.isEmpty() ? FirstStart::noDatabaseText(folder) : FirstStart::noServerTablesText(server),
                             this);
    intro->setWordWrap(true);

    auto* box = new QGroupBox(QStringLiteral("新的数据库"), this);
    operator_ = new QLineEdit(box);
    operator_->setObjectName(QStringLiteral("txt操作员"));
    operator_->setPlaceholderText(QStringLiteral("例如 管理员"));
    password_ = new QLineEdit(box);
    password_->setObjectName(QStringLiteral("txt密码"));
    receiptName_ = new QLineEdit(box);
    receiptName_->setObjectName(QStringLiteral("txt收据名称"));
    receiptName_->setPlaceholderText(QStringLiteral("收据上打印的名称,例如 某某小区物业管理处"));
    auto* form = new QFormLayout(box);
    form->addRow(QStringLiteral("第一个操作员:"), operator_);
    form->addRow(QStringLiteral("密码:"), password_);
    form->addRow(QStringLiteral("收据名称:"), receiptName_);
    auto* hint = new QLabel(QStringLiteral("这个操作员的级别为 A,可以使用全部功能,以后可在“系统设置”中增加操作员。"), box);
    hint->setWordWrap(true);
    form->addRow(hint);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    problem_->hide();

    create_ = new QPushButton(QStringLiteral("建立数据库"), this);
    create_->setObjectName(QStringLiteral("create"));
    create_->setDefault(true);
    demo_ = new QPushButton(QStringLiteral("建立演示小区"), this);
    demo_->setObjectName(QStringLiteral("demo"));
    demo_->setToolTip(QStringLiteral("建立一个有住户、收费项目和账单的演示数据库,用来试用本系统"));
    decline_ = new QPushButton(QStringLiteral("退出"), this);
    decline_->setObjectName(QStringLiteral("decline"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(create_);
    buttons->addWidget(demo_);
    if (server.isEmpty()) {
        server_ = new QPushButton(QStringLiteral("连接数据库服务器..."), this);
        server_->setObjectName(QStringLiteral("server"));
        server_->setToolTip(QStringLiteral("使用办公室数据库服务器上的数据,几台电脑可以同时收费"));
        buttons->addWidget(server_);
        connect(server_, &QPushButton::clicked, this, &FirstStartDialog::chooseServer);
    }
    buttons->addStretch(1);
    buttons->addWidget(decline_);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(intro);
    lay->addWidget(box);
    lay->addWidget(problem_);
    lay->addLayout(buttons);

    connect(create_, &QPushButton::clicked, this, &FirstStartDialog::chooseCreate);
    connect(demo_, &QPushButton::clicked, this, [this] {
        answer_ = {FirstStartAnswer::Choice::Demo, {}, {}};
        accept();
    });
    connect(decline_, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { answer_ = {}; });

    resize(QSize(480, sizeHint().height()).expandedTo(minimumSizeHint()));
    operator_->setFocus();
}

void FirstStartDialog::chooseCreate()
{
    NewEstate e{operator_->text(), password_->text(), receiptName_->text(), QString()};
    const QString problem = FirstStart::check(e);
    if (!problem.isEmpty()) {
        problem_->setText(problem);
        problem_->show();
        (e.operatorName.trimmed().isEmpty() ? operator_ : password_)->setFocus();
        return;
    }
    answer_ = {FirstStartAnswer::Choice::Create, e, {}};
    accept();
}

void FirstStartDialog::chooseServer()
{
    ServerDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    answer_ = {FirstStartAnswer::Choice::Server, {}, dialog.conninfo()};
    accept();
}

FirstStartAnswer FirstStartDialog::ask(const QString& folder, const QString& server)
{
    FirstStartDialog dialog(folder, server);
    dialog.exec();
    return dialog.answer();
}
