#include "records/householdwindow.h"

#include "common/tableout.h"

#include "common/dates.h"
#include "common/fileopener.h"
#include "common/gbkfile.h"
#include "common/prompter.h"
#include "records/householddefaults.h"
#include "records/householddeletion.h"
#include "records/householdexport.h"
#include "records/householdrenames.h"
#include "common/services.h"
#include "store/binder.h"
#include "store/dataenvironment.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kDuplicate = HouseholdRenames::duplicateText();
const QString kSaveFailed = QStringLiteral("记录中存在错误,请返回重输!");
const QString kDeleteQuestion =
    QStringLiteral("删除档案操作是非常危险的，将删除所以该户的历史交易和收费情况，是否确定要删除该户？");

QLabel* fieldLabel(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("lblFieldLabel"));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

HouseholdWindow::HouseholdWindow(Services& services, QWidget* parent)
    : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_档案录入"));
    setWindowTitle(QStringLiteral("frm_档案录入"));
    RecordSet& rs = services_.data.rs档案();
    HouseholdRenames::install(services_.data.db());
    auto onError = [this](const QString& m) { showError(QStringLiteral("档案未能保存"), m); };

    grid_ = new RecordSetGrid(this);
    grid_->setObjectName(QStringLiteral("DataGrid1"));
    const QList<GridColumn> cols = {
        {QStringLiteral("门牌号"), {}, {}},
        {QStringLiteral("户名"), {}, {}},
        {QStringLiteral("联系电话"), {}, {}},
        {QStringLiteral("单位"), {}, {}},
        {QStringLiteral("籍贯"), {}, {}},
        {QStringLiteral("账户余额"), {}, QStringLiteral("\"￥\"#,##0.00000")},
        {QStringLiteral("面积"), {}, {}},
        {QStringLiteral("其他信息"), {}, {}},
    };
    model_ = new RecordSetModel(rs, cols, this);
    model_->setErrorHandler(onError);
    grid_->setErrorHandler(onError);
    grid_->setRecordSetModel(model_);
    const int widths[] = {110, 90, 110, 130, 90, 130, 70};
    for (int c = 0; c < 7; ++c)
        grid_->setColumnWidth(c, widths[c]);

    binder_ = new Binder(rs, this);
    binder_->setErrorHandler(onError);
    auto* form = new QGridLayout;
    auto line = [&](const QString& name, const QString& label, const QString& column, int row, int col) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        form->addWidget(fieldLabel(label, this), row, col);
        form->addWidget(e, row, col + 1);
        binder_->bind(e, column);
        return e;
    };
    door_ = line(QStringLiteral("txt门牌号"), QStringLiteral("门牌号:"), QStringLiteral("门牌号"), 0, 0);
    line(QStringLiteral("txt户名"), QStringLiteral("户名:"), QStringLiteral("户名"), 0, 2);
    line(QStringLiteral("txt联系电话"), QStringLiteral("联系电话:"), QStringLiteral("联系电话"), 0, 4);
    line(QStringLiteral("txt单位"), QStringLiteral("单位:"), QStringLiteral("单位"), 1, 0);
    line(QStringLiteral("txt籍贯"), QStringLiteral("籍贯:"), QStringLiteral("籍贯"), 1, 2);
    line(QStringLiteral("txt账户余额"), QStringLiteral("账户余额:"), QStringLiteral("账户余额"), 1, 4);
    line(QStringLiteral("Text1"), QStringLiteral("面积(平米):"), QStringLiteral("面积"), 2, 0);
    auto* note = new QLineEdit(this);
    note->setObjectName(QStringLiteral("txt收费说明"));
    form->addWidget(fieldLabel(QStringLiteral("收费说明:"), this), 2, 2);
    form->addWidget(note, 2, 3, 1, 3);
    binder_->bind(note, QStringLiteral("收费说明"));
    other_ = new QPlainTextEdit(this);
    other_->setObjectName(QStringLiteral("txt其他信息"));
    other_->setMaximumHeight(64);
    form->addWidget(fieldLabel(QStringLiteral("其他信息:"), this), 3, 0, Qt::AlignRight | Qt::AlignTop);
    form->addWidget(other_, 3, 1, 1, 5);
    binder_->bind(other_, QStringLiteral("其他信息"));
    for (int c : {1, 3, 5})
        form->setColumnStretch(c, 1);

    add_ = button(QStringLiteral("Command1"), QStringLiteral("新增记录"), this);
    delete_ = button(QStringLiteral("Command2"), QStringLiteral("删除记录"), this);
    close_ = button(QStringLiteral("Command3"), QStringLiteral("关    闭"), this);
    find_ = button(QStringLiteral("Command4"), QStringLiteral("查找记录"), this);
    export_ = button(QStringLiteral("Command5"), QStringLiteral("导出文件"), this);
    statement_ = button(QStringLiteral("Command6"), QStringLiteral("对账单"), this);
    excel_ = button(QStringLiteral("cmd导出Excel"), QStringLiteral("导出Excel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {add_, delete_, find_, export_, close_, statement_, excel_}) {
        b->setMinimumWidth(96);
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(900, 560);

    connect(add_, &QPushButton::clicked, this, &HouseholdWindow::addHousehold);
    connect(delete_, &QPushButton::clicked, this, &HouseholdWindow::deleteHousehold);
    connect(close_, &QPushButton::clicked, this, &HouseholdWindow::closeWindow);
    connect(find_, &QPushButton::clicked, this,
            [this] { services_.openWindow(QStringLiteral("frm_档案查找")); });
    connect(export_, &QPushButton::clicked, this, &HouseholdWindow::exportHouseholds);
    connect(statement_, &QPushButton::clicked, this, [this] { services_.openWindow(QStringLiteral("frm_对账单")); });
    connect(excel_, &QPushButton::clicked, this, &HouseholdWindow::exportExcel);
}

void HouseholdWindow::showError(const QString& what, const QString& message)
{
    services_.prompter.inform(what + QStringLiteral("：") + message, services_.app.appTitle,
                              Prompter::Icon::Exclamation);
}

void HouseholdWindow::addHousehold()
{
    if (!binder_->checkNumbers())
        return;
    try {
        HouseholdDefaults::addHousehold(services_.data, services_.clock.today());
        door_->setFocus();
    } catch (const StoreError&) {
        services_.prompter.inform(kDuplicate, services_.app.appTitle);
        door_->setFocus();
    }
}

void HouseholdWindow::deleteHousehold()
{
    if (!binder_->checkNumbers())
        return;
    RecordSet& rs = services_.data.rs档案();
    if (!rs.hasCurrent()) {
        services_.prompter.inform(QStringLiteral("没有选定的档案，请先选定要删除的户。"), services_.app.appTitle);
        return;
    }
    if (!services_.prompter.askYesNo(kDeleteQuestion, services_.app.appTitle, Prompter::Default::Decline))
        return;
    HouseholdDeletion deletion(services_.data);
    deletion.stampAs(services_.app.operatorName, services_.clock.now());
    try {
        deletion.deleteCurrent();
    } catch (const StoreError& e) {
        showError(QStringLiteral("删除档案失败，未删除任何数据"), e.message());
        return;
    }
    if (!deletion.rereadError().isEmpty())
        showError(QStringLiteral("档案已经删除，但打开的窗口未能重新读出数据"), deletion.rereadError());
}

void HouseholdWindow::exportHouseholds()
{
    RecordSet& rs = services_.data.rs档案();
    try {
        // The export leaves the record set after its last row, writing a pending row first.
        rs.moveTo(rs.count());
        QStringList questionMarked;
        const QString path = HouseholdExport::write(rs, &questionMarked);
        QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
        if (!folder.endsWith(QDir::separator()))
            folder += QDir::separator();
        QString message = QStringLiteral("表生成放至 ") + folder + QStringLiteral("  下面");
        if (!questionMarked.isEmpty())
            message += QLatin1Char('\n') + questionMarkNote(QStringLiteral("下列住户的档案"), questionMarked);
        services_.prompter.inform(message, services_.app.appTitle);
        services_.opener.open(path);
    } catch (const StoreError& e) {
        showError(QStringLiteral("档案未能保存，文件没有导出"), e.message());
    } catch (const FileError& e) {
        showError(QStringLiteral("文件没有导出"), e.message());
    }
}

void HouseholdWindow::exportExcel()
{
    RecordSet& rs = services_.data.rs档案();
    try {
        // A pending edit is saved first, so that the file holds what the grid shows.
        rs.updateBatch();
        const QString path = exportTableToReportFolder(HouseholdExport::outTable(rs), HouseholdExport::spreadsheetName());
        services_.prompter.inform(exportDoneMessage(path), services_.app.appTitle);
    } catch (const StoreError& e) {
        showError(QStringLiteral("档案未能保存，文件没有导出"), e.message());
    } catch (const FileError& e) {
        showError(QStringLiteral("文件没有导出"), e.message());
    }
}

void HouseholdWindow::unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    try {
        services_.data.rs档案().updateBatch();
    } catch (const StoreError&) {
        services_.prompter.inform(kSaveFailed, services_.app.appTitle);
        door_->setFocus();
    }
}

void HouseholdWindow::closeEvent(QCloseEvent* event)
{
    // A number box holding a text that is not a number keeps the window open on it.
    if (!binder_->checkNumbers()) {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void HouseholdWindow::showEvent(QShowEvent* event)
{
    unloaded_ = false;
    QWidget::showEvent(event);
}

void HouseholdWindow::closeWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}
