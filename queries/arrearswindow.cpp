#include "queries/arrearswindow.h"
#include "queries/windowparts.h"

#include "documents/documentprinter.h"
#include "common/dates.h"
#include "common/fileopener.h"
#include "common/gbkfile.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/reportfolder.h"
#include "common/tableout.h"
#include "queries/arrearsnotice.h"
#include "common/services.h"
#include "store/criterion.h"
#include "store/dataenvironment.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

void ArrearsModel::setRows(QList<ArrearsRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int ArrearsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ArrearsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(ArrearsBoard::ColumnCount);
}

QVariant ArrearsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == Qt::DisplayRole)
        return ArrearsBoard::text(rows_.at(index.row()), index.column());
    if (role == Qt::TextAlignmentRole && index.column() >= ArrearsBoard::Months &&
        index.column() != ArrearsBoard::First && index.column() != ArrearsBoard::Last)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ArrearsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ArrearsBoard::headers().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void ArrearsModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current row follow their households, not their places.
    const QModelIndexList before = persistentIndexList();
    QStringList doors;
    for (const QModelIndex& i : before)
        doors << rows_.at(i.row()).door;
    ArrearsBoard::sort(rows_, column, order == Qt::AscendingOrder);
    QHash<QString, int> rowOf;
    for (int r = 0; r < rows_.size(); ++r)
        rowOf.insert(rows_.at(r).door, r);
    QModelIndexList after;
    for (int k = 0; k < before.size(); ++k)
        after << index(rowOf.value(doors.at(k)), before.at(k).column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

using WindowParts::button;

namespace {

void setupGrid(QTableView* view)
{
    view->setWordWrap(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->horizontalHeader()->setHighlightSections(false);
}

} // namespace

ArrearsWindow::ArrearsWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_欠费一览"));
    setWindowTitle(QStringLiteral("欠费一览"));

    const WindowParts::BuildingBoxes filter = WindowParts::buildingBoxes(this);
    separator_ = filter.separator;
    building_ = filter.building;
    minMonths_ = new QSpinBox(this);
    minMonths_->setObjectName(QStringLiteral("spn月数"));
    minMonths_->setRange(0, 999);
    minMonths_->setSuffix(QStringLiteral(" 个月"));
    minOwed_ = new QDoubleSpinBox(this);
    minOwed_->setObjectName(QStringLiteral("spn金额"));
    minOwed_->setRange(0, 1e9);
    minOwed_->setDecimals(2);
    minOwed_->setGroupSeparatorShown(true);
    minOwed_->setMinimumWidth(120);

    auto* boxes = new QHBoxLayout;
    auto label = [&](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        boxes->addWidget(l);
        boxes->addWidget(buddy);
        boxes->addSpacing(12);
    };
    label(QStringLiteral("楼号分隔符："), separator_);
    label(QStringLiteral("楼号："), building_);
    label(QStringLiteral("欠费月数至少："), minMonths_);
    label(QStringLiteral("欠费金额至少："), minOwed_);
    boxes->addStretch(1);

    auto* query = button(QStringLiteral("cmd查询"), QStringLiteral("查  询"), this);
    auto* notices = button(QStringLiteral("cmd打印通知"), QStringLiteral("打印催缴通知单"), this);
    auto* preview = button(QStringLiteral("cmd预览通知"), QStringLiteral("预览催缴通知单"), this);
    auto* excel = button(QStringLiteral("cmd导出Excel"), QStringLiteral("导出Excel"), this);
    auto* quit = button(QStringLiteral("cmd退出"), QStringLiteral("退   出"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {query, notices, preview, excel, quit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lbl状态"));
    board_ = new QTableView(this);
    board_->setObjectName(QStringLiteral("grd欠费"));
    model_ = new ArrearsModel(this);
    board_->setModel(model_);
    setupGrid(board_);
    board_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    board_->setSortingEnabled(true);
    board_->horizontalHeader()->setSortIndicator(ArrearsBoard::Door, Qt::AscendingOrder);
    totals_ = new QTableView(this);
    totals_->setObjectName(QStringLiteral("grd合计"));
    totals_->setModel(new QStandardItemModel(this));
    setupGrid(totals_);
    totals_->setSelectionMode(QAbstractItemView::NoSelection);
    totals_->setMaximumHeight(180);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(board_, 3);
    layout->addWidget(new QLabel(QStringLiteral("按楼号合计："), this));
    layout->addWidget(totals_, 1);
    auto* rule = new QLabel(ArrearsBoard::owedRule(), this);
    rule->setObjectName(QStringLiteral("lbl欠费合计公式"));
    rule->setWordWrap(true);
    layout->addWidget(rule);

    connect(query, &QPushButton::clicked, this, &ArrearsWindow::refresh);
    connect(building_, &QLineEdit::returnPressed, this, &ArrearsWindow::refresh);
    connect(notices, &QPushButton::clicked, this, [this] { printNotices(false); });
    connect(preview, &QPushButton::clicked, this, [this] { printNotices(true); });
    connect(excel, &QPushButton::clicked, this, &ArrearsWindow::exportExcel);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    connect(board_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) { openHousehold(i.row()); });

    resize(1000, 640);
    refresh();
}

void ArrearsWindow::refresh()
{
    ArrearsFilter f;
    f.separator = separator_->text();
    f.building = building_->text().trimmed();
    f.minMonths = minMonths_->value();
    f.minOwed = minOwed_->value();
    try {
        QList<ArrearsRow> rows = ArrearsBoard::load(services_.data.db(), f);
        const QHeaderView* h = board_->horizontalHeader();
        ArrearsBoard::sort(rows, h->sortIndicatorSection(), h->sortIndicatorOrder() == Qt::AscendingOrder);
        model_->setRows(std::move(rows));
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("查询失败：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
        return;
    }
    showTotals();
}

void ArrearsWindow::showTotals()
{
    const QList<ArrearsTotal> sums = ArrearsBoard::totals(model_->rows());
    auto* m = static_cast<QStandardItemModel*>(totals_->model());
    m->clear();
    m->setHorizontalHeaderLabels({QStringLiteral("楼号"), QStringLiteral("户数"), QStringLiteral("欠费月数"),
                                  QStringLiteral("未缴金额"), QStringLiteral("账户余额"), QStringLiteral("欠费合计")});
    const QString money = QStringLiteral("#,##0.00");
    for (int i = 0; i < sums.size(); ++i) {
        const ArrearsTotal& s = sums.at(i);
        const bool all = i + 1 == sums.size();
        QList<QStandardItem*> items{new QStandardItem(all ? QStringLiteral("合计") : s.building),
                                    new QStandardItem(QString::number(s.households)),
                                    new QStandardItem(QString::number(s.unpaidMonths)),
                                    new QStandardItem(formatMask(s.unpaid, money)),
                                    new QStandardItem(formatMask(s.balance, money)),
                                    new QStandardItem(formatMask(s.owed, money))};
        for (int c = 1; c < items.size(); ++c)
            items[c]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (all)
            for (QStandardItem* it : items) {
                QFont f = it->font();
                f.setBold(true);
                it->setFont(f);
            }
        m->appendRow(items);
    }
    status_->setText(QStringLiteral("共 %1 户欠费，欠费合计 %2 元")
                         .arg(sums.last().households)
                         .arg(formatMask(sums.last().owed, money)));
}

void ArrearsWindow::openHousehold(int row)
{
    if (row < 0 || row >= model_->rows().size())
        return;
    const QString door = model_->rows().at(row).door;
    try {
        RecordSet& households = services_.data.rs档案();
        if (!households.isOpen())
            households.open();
        const Criterion c = Criterion::equals(QStringLiteral("门牌号"), door);
        if (!households.find(c, RecordSet::Direction::Forward, RecordSet::Start::First)) {
            // Another window's filter hides the household: show every household again.
            households.clearFilter();
            households.find(c, RecordSet::Direction::Forward, RecordSet::Start::First);
        }
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("查找住户失败：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
        return;
    }
    services_.openWindow(QStringLiteral("frm_缴费打印"));
}

QList<ArrearsRow> ArrearsWindow::noticeRows() const
{
    QList<int> picked;
    for (const QModelIndex& i : board_->selectionModel()->selectedRows())
        picked << i.row();
    std::sort(picked.begin(), picked.end());
    if (picked.isEmpty())
        return model_->rows();
    QList<ArrearsRow> rows;
    for (int r : picked)
        rows << model_->rows().at(r);
    return rows;
}

void ArrearsWindow::printNotices(bool preview)
{
    const QList<ArrearsRow> rows = noticeRows();
    if (rows.isEmpty()) {
        services_.prompter.inform(QStringLiteral("没有欠费住户，无需打印催缴通知单。"), services_.app.appTitle);
        return;
    }
    // Each notice as the file holds it now, not as the board read it.
    QList<NoticeData> notices;
    QStringList settled;
    try {
        const QDate today = services_.clock.today();
        for (const ArrearsRow& r : rows) {
            if (std::optional<NoticeData> n = NoticeData::read(services_.data.db(), r.door, services_.app.receiptName,
                                                               services_.app.noticeText, today))
                notices << *n;
            else
                settled << r.door;
        }
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("读取欠费月份失败：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
        return;
    }
    if (!settled.isEmpty()) {
        QString doors = settled.mid(0, 10).join(QStringLiteral("、"));
        if (settled.size() > 10)
            doors += QStringLiteral("……");
        services_.prompter.inform(QStringLiteral("%1 户自查询以来已无欠费，不打印催缴通知单：%2")
                                      .arg(settled.size())
                                      .arg(doors),
                                  services_.app.appTitle);
        if (notices.isEmpty())
            return;
    }
    const DocumentPrinter::Pages pages = [&notices](int width) {
        QList<DocumentPage> out;
        out.reserve(notices.size());
        for (const NoticeData& n : notices)
            out << NoticePage::pages(n, width);
        return out;
    };
    if (sink_) {
        sink_(pages(DocumentPage::A4WidthTwips));
        return;
    }
    QString error;
    if (!DocumentPrinter::print(pages, NoticePage::title(), this,
                                preview ? DocumentPrinter::Output::Preview : DocumentPrinter::Output::DefaultPrinter,
                                &error))
        services_.prompter.inform(error, services_.app.appTitle, Prompter::Icon::Critical);
}

void ArrearsWindow::exportExcel()
{
    try {
        const QString path = exportTableToReportFolder(ArrearsBoard::outTable(model_->rows()), QStringLiteral("欠费一览"));
        services_.prompter.inform(exportDoneMessage(path), services_.app.appTitle);
    } catch (const FileError& e) {
        services_.prompter.inform(QStringLiteral("无法导出：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
    }
}
