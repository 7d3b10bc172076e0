#include "maintenance/cleanupwindow.h"

#include "common/dates.h"
#include "common/prompter.h"
#include "maintenance/cleanup.h"
#include "common/services.h"
#include "store/database.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const QString kWarning = QStringLiteral(
    "删除数据请慎重，请先进行备份，一旦删除无法恢复，另外，系统只删除已缴用户的信息，不删除欠缴用户的信息！");

QComboBox* monthBox(const QString& name, const QString& initial, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setEditText(initial);
    box->setMinimumWidth(140);
    return box;
}

}  // namespace

CleanupWindow::CleanupWindow(Services& services, QWidget* parent)
    : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("数据清理"));
    setWindowTitle(QStringLiteral("数据清理"));

    first_ = monthBox(QStringLiteral("DataCombo1"), QStringLiteral("起始日期"), this);
    last_ = monthBox(QStringLiteral("DataCombo2"), QStringLiteral("截止日期"), this);
    delete_ = new QPushButton(QStringLiteral("删除数据"), this);
    delete_->setObjectName(QStringLiteral("Command1"));
    delete_->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("从"), this), 0, 0);
    layout->addWidget(first_, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("到"), this), 0, 2);
    layout->addWidget(last_, 0, 3);
    layout->addWidget(delete_, 1, 1, 1, 3, Qt::AlignCenter);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(3, 1);
    resize(420, 120);

    refreshMonths();
    first_->setEditText(QStringLiteral("起始日期"));
    last_->setEditText(QStringLiteral("截止日期"));
    connect(delete_, &QPushButton::clicked, this, &CleanupWindow::runCleanup);
}

void CleanupWindow::refreshMonths()
{
    QStringList months;
    try {
        months = Cleanup(services_.data).months();
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("月份列表未能读出：") + e.message(), services_.app.appTitle,
                                  Prompter::Icon::Exclamation);
    }
    for (QComboBox* box : {first_, last_}) {
        const QString text = box->currentText();
        box->clear();
        box->addItems(months);
        box->setEditText(text);
    }
}

void CleanupWindow::runCleanup()
{
    if (!services_.prompter.askYesNo(kWarning, QStringLiteral("警告"), Prompter::Default::Decline,
                                     Prompter::Icon::None))
        return;
    if (!services_.takeSafetyCopy(QStringLiteral("数据清理")))
        return;
    Cleanup::Result result;
    try {
        result = Cleanup(services_.data).run(first_->currentText(), last_->currentText());
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("数据清理失败，没有删除任何数据：") + e.message(),
                                  services_.app.appTitle, Prompter::Icon::Exclamation);
        return;
    }
    if (!result.rereadError.isEmpty())
        services_.prompter.inform(QStringLiteral("数据已经删除，但打开的窗口未能重新读出数据：") + result.rereadError,
                                  services_.app.appTitle, Prompter::Icon::Exclamation);
    refreshMonths();
    services_.prompter.inform(QStringLiteral("清理完毕，请关闭程序后重新打开程序！"), services_.app.appTitle,
                              Prompter::Icon::None);
}
