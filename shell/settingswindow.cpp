#include "shell/settingswindow.h"

#include "common/prompter.h"
#include "common/dates.h"
#include "common/services.h"
#include "shell/datamoves.h"
#include "shell/serverlogin.h"
#include "store/binder.h"
#include "store/databasechoice.h"
#include "store/dataenvironment.h"
#include "store/database.h"
#include "store/navbar.h"
#include "store/recordset.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
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
    password_ = new QLineEdit(this);  // a file's passwords are shown in clear
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

    const bool onServer = services_.data.db().engine() == Database::Engine::Server;
    auto* store = new QGroupBox(QStringLiteral("数据库"), this);
    auto* where = new QLabel(onServer ? QStringLiteral("数据库服务器 %1").arg(DatabaseChoice::describe(services_.data.db().conninfo()))
                                      : QDir::toNativeSeparators(services_.data.db().path()),
                             store);
    where->setObjectName(QStringLiteral("lbl数据库"));
    where->setWordWrap(true);
    move_ = new QPushButton(onServer ? QStringLiteral("复制为数据文件...") : QStringLiteral("复制到数据库服务器..."), store);
    move_->setObjectName(QStringLiteral("cmd复制数据"));
    auto* sl = new QHBoxLayout(store);
    sl->addWidget(where, 1);
    sl->addWidget(move_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    buttons->addWidget(close_);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(receipt);
    lay->addWidget(ops);
    lay->addWidget(store);
    lay->addLayout(buttons);

    const auto onError = [this](const QString& m) { showError(QStringLiteral("保存操作员时出错"), m); };
    settingsBinder_ = new Binder(editor_.settings(), this);
    settingsBinder_->setErrorHandler(onError);
    settingsBinder_->bind(receiptName_, QStringLiteral("收据名称"));
    settingsBinder_->bind(notice_, QStringLiteral("广告"));
    operatorBinder_ = new Binder(editor_.operators(), this);
    operatorBinder_->setErrorHandler(onError);
    operatorBinder_->bind(operator_, QStringLiteral("操作员"));
    operatorBinder_->bindSecret(
        password_, QStringLiteral("密码"), [this](const QVariant& v) { return editor_.shownPassword(v); },
        [this](const QString& typed) { return editor_.storedPassword(typed); });
    operatorBinder_->bind(level_, QStringLiteral("操作级别"));
    nav_->setErrorHandler(onError);

    connect(&editor_.operators(), &RecordSet::currentChanged, this, &SettingsWindow::updateCaption);
    connect(&editor_.operators(), &RecordSet::rowsReset, this, &SettingsWindow::updateCaption);
    connect(add_, &QPushButton::clicked, this, &SettingsWindow::addOperator);
    connect(delete_, &QPushButton::clicked, this, &SettingsWindow::deleteOperator);
    connect(close_, &QPushButton::clicked, this, &SettingsWindow::closeWindow);
    connect(move_, &QPushButton::clicked, this, &SettingsWindow::moveData);
    updateCaption();

    // 5600 twips.
    resize(QSize(400, sizeHint().height()).expandedTo(minimumSizeHint()));
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::moveData()
{
    Prompter& prompter = services_.prompter;
    const QString title = services_.app.appTitle;
    Database& db = services_.data.db();
    const QString folder = services_.data.folder();
    QString report;
    if (db.engine() == Database::Engine::File) {
        const std::optional<QString> typed = prompter.input(
            QStringLiteral("把本机的数据复制到数据库服务器上的一个空数据库。\n数据库服务器的连接串:"), title,
            DatabaseChoice::conninfo(QString(), QStringLiteral("5432"), QStringLiteral("fenwary"), QStringLiteral("fenwary")));
        if (!typed || typed->trimmed().isEmpty())
            return;
        try {
            const std::unique_ptr<Database> server = ServerLogin::connect(*typed, prompter, title);
            if (!server)
                return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            report = DataMoves::toServer(db, *server);
            QApplication::restoreOverrideCursor();
        } catch (const StoreError& e) {
            QApplication::restoreOverrideCursor();
            prompter.inform(QStringLiteral("复制到数据库服务器没有完成,数据库服务器上没有留下数据:\n%1").arg(e.message()), title,
                            Prompter::Icon::Critical);
            return;
        }
        if (!prompter.askYesNo(report + QStringLiteral("\n\n以后本机使用数据库服务器上的数据吗? (重新启动程序后生效)"), title,
                               Prompter::Default::Decline))
            return;
        QString problem;
        prompter.inform(DatabaseChoice::save(folder, *typed, &problem)
                            ? QStringLiteral("已设置。请关闭程序再启动,以后本机使用数据库服务器上的数据。\n"
                                             "data.dat 留在原处不再改动,可以作为备份保存。")
                            : QStringLiteral("设置没有保存: %1").arg(problem),
                        title);
        return;
    }
    const std::optional<QString> typed = prompter.input(
        QStringLiteral("把数据库服务器上的数据写成一个新的数据文件。\n文件的位置和名字:"), title,
        QDir::toNativeSeparators(QDir(folder).filePath(
            QStringLiteral("data-%1.dat").arg(services_.clock.today().toString(QStringLiteral("yyyyMMdd"))))));
    if (!typed || typed->trimmed().isEmpty())
        return;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        report = DataMoves::toFile(db, QDir::fromNativeSeparators(typed->trimmed()));
        QApplication::restoreOverrideCursor();
    } catch (const StoreError& e) {
        QApplication::restoreOverrideCursor();
        prompter.inform(QStringLiteral("数据文件没有写成:\n%1").arg(e.message()), title, Prompter::Icon::Critical);
        return;
    }
    prompter.inform(report + QStringLiteral("\n\n要在一台电脑上改用这个数据文件: 关闭程序,把文件改名为 data.dat 放入数据文件夹,"
                                            "并删除那里的 %1。")
                                 .arg(DatabaseChoice::settingFileName),
                    title);
}

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
    if (!Binder::checkAll(this))
        return;
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
    if (!Binder::checkAll(this))
        return;
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
