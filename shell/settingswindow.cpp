#include "shell/settingswindow.h"

#include "common/prompter.h"
#include "common/services.h"
#include "store/binder.h"
#include "store/database.h"
#include "store/navbar.h"
#include "store/recordset.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* fieldLabel(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("lblFieldLabel"));
    return l;
}

}  // namespace

SettingsWindow::SettingsWindow(Services& services, QWidget* parent)
    : QWidget(parent), services_(services), editor_(services.data, services.app)
{
    setObjectName(QStringLiteral("FRM_系统设置"));
    setWindowTitle(QStringLiteral("系统设置"));
    // Inside the frame without maximize and minimize buttons.
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    receiptName_ = new QLineEdit(this);
    receiptName_->setObjectName(QStringLiteral("txt收据名称"));
    notice_ = new QPlainTextEdit(this);
    notice_->setObjectName(QStringLiteral("txt广告"));
    notice_->setTabChangesFocus(true);
    notice_->setFixedHeight(90);

    nav_ = new NavBar(this);
    nav_->setObjectName(QStringLiteral("Adodc1"));
    nav_->setRecordSet(&editor_.operators());
    operator_ = new QLineEdit(this);
    operator_->setObjectName(QStringLiteral("txt操作员"));
    password_ = new QLineEdit(this);  // shown in clear
    password_->setObjectName(QStringLiteral("txt密码"));
    level_ = new QComboBox(this);
    level_->setObjectName(QStringLiteral("Combo1"));
    level_->setEditable(true);
    level_->addItems({QStringLiteral("A"), QStringLiteral("B")});
    level_->setCurrentIndex(-1);

    add_ = new QPushButton(QStringLiteral("新增操作员"), this);
    add_->setObjectName(QStringLiteral("Command1"));
    delete_ = new QPushButton(QStringLiteral("删除操作员"), this);
    delete_->setObjectName(QStringLiteral("Command2"));
    close_ = new QPushButton(QStringLiteral("关闭"), this);
    close_->setObjectName(QStringLiteral("Command3"));

    auto* receipt = new QGroupBox(QStringLiteral("收据"), this);
    auto* rf = new QFormLayout(receipt);
    rf->addRow(fieldLabel(QStringLiteral("收据名称:"), receipt), receiptName_);
    rf->addRow(fieldLabel(QStringLiteral("公告设置:"), receipt), notice_);

    auto* ops = new QGroupBox(QStringLiteral("操作员"), this);
    auto* of = new QFormLayout(ops);
    of->addRow(fieldLabel(QStringLiteral("操作员:"), ops), operator_);
    of->addRow(fieldLabel(QStringLiteral("密码:"), ops), password_);
    of->addRow(fieldLabel(QStringLiteral("操作级别:"), ops), level_);
    of->addRow(nav_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    buttons->addWidget(close_);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(receipt);
    lay->addWidget(ops);
    lay->addLayout(buttons);

    const auto onError = [this](const QString& m) { showError(QStringLiteral("保存操作员时出错"), m); };
    settingsBinder_ = new Binder(editor_.settings(), this);
    settingsBinder_->setErrorHandler(onError);
    settingsBinder_->bind(receiptName_, QStringLiteral("收据名称"));
    settingsBinder_->bind(notice_, QStringLiteral("广告"));
    operatorBinder_ = new Binder(editor_.operators(), this);
    operatorBinder_->setErrorHandler(onError);
    operatorBinder_->bind(operator_, QStringLiteral("操作员"));
    operatorBinder_->bind(password_, QStringLiteral("密码"));
    operatorBinder_->bind(level_, QStringLiteral("操作级别"));
    nav_->setErrorHandler(onError);

    connect(&editor_.operators(), &RecordSet::currentChanged, this, &SettingsWindow::updateCaption);
    connect(&editor_.operators(), &RecordSet::rowsReset, this, &SettingsWindow::updateCaption);
    connect(add_, &QPushButton::clicked, this, &SettingsWindow::addOperator);
    connect(delete_, &QPushButton::clicked, this, &SettingsWindow::deleteOperator);
    connect(close_, &QPushButton::clicked, this, &SettingsWindow::closeWindow);
    updateCaption();

    // 5600 twips.
    resize(QSize(400, sizeHint().height()).expandedTo(minimumSizeHint()));
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::updateCaption()
{
    const RecordSet& ops = editor_.operators();
    const int n = ops.count();
    nav_->setCaption(ops.hasCurrent() ? QStringLiteral("操作员 %1 / %2").arg(ops.position() + 1).arg(n)
                                      : QStringLiteral("操作员 - / %1").arg(n));
}

void SettingsWindow::showError(const QString& what, const QString& message)
{
    services_.prompter.inform(QStringLiteral("%1: %2").arg(what, message), services_.app.appTitle,
                              Prompter::Icon::Critical);
}

void SettingsWindow::addOperator()
{
    try {
        editor_.addOperator();
    } catch (const StoreError& e) {
        showError(QStringLiteral("保存操作员时出错"), e.message());
        return;
    }
    operator_->setFocus();
}

void SettingsWindow::deleteOperator()
{
    try {
        if (editor_.deleteOperator() == SettingsEditor::Deletion::LastOperator)
            services_.prompter.inform(SettingsEditor::lastOperatorText(), services_.app.appTitle);
    } catch (const StoreError& e) {
        showError(QStringLiteral("删除操作员时出错"), e.message());
    }
}

void SettingsWindow::closeWindow()
{
    SettingsEditor::Closing result;
    try {
        result = editor_.close(operator_->text(), password_->text(), level_->currentText());
    } catch (const StoreError& e) {
        showError(QStringLiteral("保存设置时出错"), e.message());
        return;
    }
    if (result == SettingsEditor::Closing::Incomplete) {
        services_.prompter.inform(SettingsEditor::incompleteText(), services_.app.appTitle);
        return;
    }
    closedByButton_ = true;
    close();
}

void SettingsWindow::unload()
{
    // Closed by the title bar: nothing of "关闭" runs, and edits of the shared
    // settings row that were not written are dropped rather than left pending.
    if (!closedByButton_)
        editor_.discard();
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}
