#include "charging/itemwindow.h"

#include "charging/itemnumbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/dataenvironment.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

ItemWindow::ItemWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_项目维护"));
    setWindowTitle(QStringLiteral("项目设置"));
    resize(567, 367);  // 8500 x 5500 twips

    RecordSet& items = services_.data.rs项目();
    items.open();
    ItemNumbers::guard(services_.data.db(), numberGuard_);
    using K = GridColumn::Kind;
    model_ = new RecordSetModel(items,
                                {{QStringLiteral("项目名"), QStringLiteral("项目名"), QString(), K::Text},
                                 {QStringLiteral("项目标志"), QStringLiteral("是否有上月数"), QString(), K::Bool},
                                 {QStringLiteral("项目号"), QStringLiteral("项目号"), QString(), K::Text},
                                 {QStringLiteral("固定收费"), QStringLiteral("固定收费(单价)"),
                                  QStringLiteral("\"￥\"#,##0.00"), K::Number},
                                 {QStringLiteral("计算标志"), QStringLiteral("是否单价计算"), QString(), K::Bool},
                                 {QStringLiteral("按面积"), QStringLiteral("是否按面积"), QString(), K::Bool}},
                                this);
    model_->setNewRowLine(true);
    const auto onError = [this](const QString& m) { report(QStringLiteral("项目未能保存"), m); };
    model_->setErrorHandler(onError);

    grid_ = new RecordSetGrid(this);
    grid_->setObjectName(QStringLiteral("DataGrid1"));
    grid_->setErrorHandler(onError);
    grid_->setRecordSetModel(model_);
    grid_->horizontalHeader()->setMinimumSectionSize(60);
    grid_->resizeColumnsToContents();

    delete_ = new QPushButton(QStringLiteral("删除项目"), this);
    delete_->setObjectName(QStringLiteral("Command2"));
    close_ = new QPushButton(QStringLiteral("关   闭"), this);
    close_->setObjectName(QStringLiteral("Command3"));
    connect(delete_, &QPushButton::clicked, this, &ItemWindow::deleteItem);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(delete_);
    buttons->addWidget(close_);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(grid_, 1);
    lay->addLayout(buttons);
}

void ItemWindow::report(const QString& what, const QString& message)
{
    services_.prompter.inform(what + QStringLiteral("：") + message, services_.app.appTitle,
                              Prompter::Icon::Critical);
}

void ItemWindow::deleteItem()
{
    services_.data.rs项目().deleteCurrent();  // without a current item: nothing
}

bool ItemWindow::unload()
{
    try {
        services_.data.rs项目().updateBatch();
        return true;
    } catch (const StoreError& e) {
        report(QStringLiteral("项目的修改未能保存，窗口保持打开，修改仍在"), e.message());
        return false;
    }
}

void ItemWindow::closeEvent(QCloseEvent* event)
{
    if (unload())
        event->accept();
    else
        event->ignore();
}
