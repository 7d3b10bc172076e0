#include "queries/querywindow.h"
#include "queries/windowparts.h"

#include "common/gbkfile.h"
#include "common/tableout.h"
#include "common/prompter.h"
#include "queries/allitemsquery.h"
#include "queries/itemquery.h"
#include "queries/queryexport.h"
#include "queries/queryprogress.h"
#include "queries/querytable.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using WindowParts::button;

namespace {

// Progress shown in a dialog once the work has taken half a second.
class DialogProgress : public QueryProgress {
public:
    explicit DialogProgress(QWidget* parent) : parent_(parent) { clock_.start(); }
    ~DialogProgress() override
    {
        if (dialog_)
            dialog_->deleteLater();
    }

    bool advance(qint64 done, qint64 total) override
    {
        if (!dialog_) {
            if (clock_.elapsed() < 500)
                return true;
            dialog_ = new QProgressDialog(QStringLiteral("正在查询..."), QStringLiteral("取消"), 0, 0, parent_);
            dialog_->setWindowTitle(parent_->windowTitle());
            dialog_->setWindowModality(Qt::WindowModal);
            dialog_->setMinimumDuration(0);
            dialog_->setAutoClose(false);
            dialog_->setAutoReset(false);
        }
        const int scale = total > 0 ? int(qMin<qint64>(total, 1000000)) : 0;
        if (dialog_->maximum() != scale)
            dialog_->setMaximum(scale);
        dialog_->setValue(total > 0 ? int(done * scale / total) : 0);
        return !dialog_->wasCanceled();
    }

private:
    QWidget* parent_;
    QElapsedTimer clock_;
    QProgressDialog* dialog_ = nullptr;
};

QComboBox* editableCombo(const QString& name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumWidth(130);
    return box;
}

}  // namespace

QueryWindow::QueryWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_查询"));
    setWindowTitle(QStringLiteral("综合查询"));

    building_ = new QLineEdit(this);
    building_->setObjectName(QStringLiteral("txt楼号"));
    building_->setMaximumWidth(110);
    auto* buildingLabel = new QLabel(QStringLiteral("楼号："), this);
    buildingLabel->setBuddy(building_);
    item_ = editableCombo(QStringLiteral("DataCombo1"), this);
    item_->setMinimumWidth(160);
    firstMonth_ = editableCombo(QStringLiteral("DataCombo2"), this);
    lastMonth_ = editableCombo(QStringLiteral("DataCombo3"), this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Label2"));

    list_ = new QTableView(this);
    list_->setObjectName(QStringLiteral("ListView1"));
    model_ = new QueryTableModel(this);
    list_->setModel(model_);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);

    auto* details = button(QStringLiteral("Command2"), QStringLiteral("开始查询"), this);
    auto* unpaid = button(QStringLiteral("Command1"), QStringLiteral("未缴统计"), this);
    auto* paid = button(QStringLiteral("Command4"), QStringLiteral("已缴统计"), this);
    auto* all = button(QStringLiteral("Command6"), QStringLiteral("全部项目"), this);
    auto* print = button(QStringLiteral("Command5"), QStringLiteral("出表打印"), this);
    auto* quit = button(QStringLiteral("Command3"), QStringLiteral("退   出"), this);
    auto* excel = button(QStringLiteral("cmd导出Excel"), QStringLiteral("导出Excel"), this);

    auto* boxes = new QHBoxLayout;
    boxes->addWidget(buildingLabel);
    boxes->addWidget(building_);
    boxes->addSpacing(12);
    boxes->addWidget(item_);
    boxes->addSpacing(12);
    boxes->addWidget(firstMonth_);
    boxes->addWidget(new QLabel(QStringLiteral("至"), this));
    boxes->addWidget(lastMonth_);
    boxes->addStretch(1);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {details, unpaid, paid, all, print, quit, excel})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(list_, 1);

    connect(details, &QPushButton::clicked, this, [this] { itemQuery(0); });
    connect(unpaid, &QPushButton::clicked, this, [this] { itemQuery(1); });
    connect(paid, &QPushButton::clicked, this, [this] { itemQuery(2); });
    connect(all, &QPushButton::clicked, this, [this] { allItemsQuery(QStringLiteral("C")); });
    connect(print, &QPushButton::clicked, this, &QueryWindow::exportTable);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    connect(excel, &QPushButton::clicked, this, &QueryWindow::exportExcel);

    loadItems();
    loadMonths();
    item_->setCurrentIndex(-1);
    item_->setEditText(ItemQuery::allItemsText());
    firstMonth_->setCurrentIndex(-1);
    firstMonth_->setEditText(QStringLiteral("起始日期"));
    lastMonth_->setCurrentIndex(-1);
    lastMonth_->setEditText(QStringLiteral("截止日期"));

    try {
        RecordSet& items = services_.data.rs项目();
        auto reload = [this] {
            const QString text = item_->currentText();
            loadItems();
            item_->setCurrentIndex(item_->findText(text));
            item_->setEditText(text);
        };
        connect(&items, &RecordSet::rowsReset, this, reload);
        connect(&items, &RecordSet::rowInserted, this, reload);
        connect(&items, &RecordSet::rowRemoved, this, reload);
        connect(&items, &RecordSet::valueChanged, this, reload);
    } catch (const StoreError& e) {
        showStoreError(QStringLiteral("读取收费项目"), e.message());
    }
    resize(900, 600);
}

QueryWindow::~QueryWindow() = default;

const QueryTable& QueryWindow::table() const
{
    return model_->table();
}

void QueryWindow::loadItems()
{
    item_->blockSignals(true);
    item_->clear();
    try {
        RecordSet& items = services_.data.rs项目();
        if (!items.isOpen())
            items.open();
        for (int row = 0; row < items.count(); ++row)
            item_->addItem(items.valueAt(row, QStringLiteral("项目名")).toString(),
                           items.valueAt(row, QStringLiteral("项目号")));
    } catch (const StoreError& e) {
        showStoreError(QStringLiteral("读取收费项目"), e.message());
    }
    item_->blockSignals(false);
}

void QueryWindow::loadMonths()
{
    try {
        const QStringList months = WindowParts::billedMonths(services_.data);
        firstMonth_->addItems(months);
        lastMonth_->addItems(months);
    } catch (const StoreError& e) {
        showStoreError(QStringLiteral("读取月份"), e.message());
    }
}

QueryRange QueryWindow::range() const
{
    return {building_->text(), firstMonth_->currentText(), lastMonth_->currentText()};
}

void QueryWindow::showTable(QueryTable&& table)
{
    status_->setText(table.status());
    model_->setTable(std::move(table));
}

void QueryWindow::showStoreError(const QString& what, const QString& why)
{
    services_.prompter.inform(QStringLiteral("%1失败：%2").arg(what, why), services_.app.appTitle,
                              Prompter::Icon::Critical);
}

void QueryWindow::itemQuery(int which)
{
    const auto variant = which == 1   ? ItemQuery::Variant::Unpaid
                         : which == 2 ? ItemQuery::Variant::Paid
                                      : ItemQuery::Variant::Details;
    const QString text = item_->currentText();
    if (text == ItemQuery::allItemsText()) {
        allItemsQuery(ItemQuery::modeLetter(variant));
        return;
    }
    try {
        const QVariant chosen = item_->currentIndex() >= 0 ? item_->itemData(item_->currentIndex()) : QVariant();
        const std::optional<ChargeItem> item = ItemQuery::itemNamed(services_.data.rs项目(), text, chosen);
        if (!item) {
            services_.prompter.inform(ItemQuery::unknownItemMessage(text), services_.app.appTitle,
                                      Prompter::Icon::Exclamation);
            return;
        }
        DialogProgress progress(this);
        std::optional<QueryTable> table = ItemQuery(services_.data.db()).run(variant, *item, text, range(), &progress);
        if (table)
            showTable(std::move(*table));
    } catch (const StoreError& e) {
        showStoreError(QStringLiteral("查询"), e.message());
    }
}

void QueryWindow::allItemsQuery(const QString& mode)
{
    try {
        DialogProgress progress(this);
        std::optional<QueryTable> table = AllItemsQuery(services_.data.db()).run(mode, range(), &progress);
        if (!table)
            return;
        item_->setCurrentIndex(-1);
        item_->setEditText(ItemQuery::allItemsText());
        showTable(std::move(*table));
    } catch (const StoreError& e) {
        showStoreError(QStringLiteral("查询"), e.message());
    }
}

void QueryWindow::exportTable()
{
    try {
        QueryExport::run(model_->table(), services_.prompter, services_.app.appTitle, services_.opener);
    } catch (const FileError& e) {
        services_.prompter.inform(QStringLiteral("无法生成查询明细：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
    }
}

void QueryWindow::exportExcel()
{
    try {
        const QString path =
            exportTableToReportFolder(QueryExport::outTable(model_->table()), QueryExport::spreadsheetName());
        services_.prompter.inform(exportDoneMessage(path), services_.app.appTitle);
    } catch (const FileError& e) {
        services_.prompter.inform(QStringLiteral("无法导出：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
    }
}

void QueryWindow::unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // The window reads through statements of its own and puts no filter on the
    // shared record sets, so there is none to clear: the filters other windows set
    // on them stay as they are.
    disconnect(&services_.data.rs项目(), nullptr, this, nullptr);
}

void QueryWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}
