#include "queries/summarywindow.h"
#include "queries/windowparts.h"

#include "common/gbkfile.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/tableout.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

using WindowParts::button;

namespace {

QComboBox* monthBox(const QString& name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumWidth(110);
    return box;
}

} // namespace

SummaryWindow::SummaryWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_收费汇总"));
    setWindowTitle(QStringLiteral("收费汇总"));

    const WindowParts::BuildingBoxes filter = WindowParts::buildingBoxes(this);
    separator_ = filter.separator;
    building_ = filter.building;
    first_ = monthBox(QStringLiteral("cbo起始月份"), this);
    last_ = monthBox(QStringLiteral("cbo截止月份"), this);
    try {
        const QStringList months = WindowParts::billedMonths(services_.data);
        first_->addItems(months);
        last_->addItems(months);
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("读取月份失败：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
    }
    // The last twelve months billed.
    last_->setCurrentIndex(last_->count() - 1);
    first_->setCurrentIndex(qMax(0, first_->count() - 12));

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
    label(QStringLiteral("月份："), first_);
    boxes->addWidget(new QLabel(QStringLiteral("至"), this));
    boxes->addWidget(last_);
    boxes->addStretch(1);

    auto* query = button(QStringLiteral("cmd汇总"), QStringLiteral("汇  总"), this);
    auto* excel = button(QStringLiteral("cmd导出Excel"), QStringLiteral("导出Excel"), this);
    auto* quit = button(QStringLiteral("cmd退出"), QStringLiteral("退   出"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {query, excel, quit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("grd汇总"));
    model_ = new QStandardItemModel(this);
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    chart_ = new QChartView(this);
    chart_->setObjectName(QStringLiteral("cht收缴率"));
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setMinimumHeight(260);

    rule_ = new QLabel(MonthSummary::rateRule(), this);
    rule_->setObjectName(QStringLiteral("lbl收缴率公式"));
    rule_->setWordWrap(true);
    auto* chartPane = new QWidget(this);
    auto* chartLayout = new QVBoxLayout(chartPane);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(chart_, 1);
    chartLayout->addWidget(rule_);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(chartPane);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(boxes);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);

    connect(query, &QPushButton::clicked, this, &SummaryWindow::refresh);
    connect(excel, &QPushButton::clicked, this, &SummaryWindow::exportExcel);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);

    resize(1000, 700);
    refresh();
}

void SummaryWindow::setRange(const QString& first, const QString& last)
{
    first_->setEditText(first);
    last_->setEditText(last);
}

void SummaryWindow::refresh()
{
    SummaryRange range;
    range.first = first_->currentText();
    range.last = last_->currentText();
    range.separator = separator_->text();
    range.building = building_->text().trimmed();
    try {
        rows_ = MonthSummary::load(services_.data.db(), range);
        households_ = MonthSummary::households(services_.data.db(), range);
    } catch (const StoreError& e) {
        services_.prompter.inform(QStringLiteral("汇总失败：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
        return;
    }
    model_->clear();
    model_->setHorizontalHeaderLabels(MonthSummary::headers());
    auto addRow = [this](const SummaryRow& r, bool bold, const QString& building) {
        QList<QStandardItem*> items;
        for (int c = 0; c < MonthSummary::headers().size(); ++c) {
            auto* it = new QStandardItem(c == 0 ? building : MonthSummary::text(r, c));
            if (c >= 2)
                it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (bold) {
                QFont f = it->font();
                f.setBold(true);
                it->setFont(f);
            }
            items << it;
        }
        model_->appendRow(items);
    };
    for (const SummaryRow& r : rows_)
        addRow(r, false, r.building);
    addRow(MonthSummary::total(rows_, households_), true, QStringLiteral("合计"));
    showChart();
}

void SummaryWindow::showChart()
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("各月收缴率"));
    chart->legend()->hide();
    auto* set = new QBarSet(QStringLiteral("收缴率"));
    set->setColor(QColor(0x15, 0x65, 0xc0));
    QStringList months;
    for (const SummaryRow& m : MonthSummary::byMonth(rows_)) {
        months << m.month;
        *set << m.rate() * 100;
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(months.size() <= 18);
    series->setLabelsFormat(QStringLiteral("@value%"));
    series->setLabelsPrecision(3);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(months);
    if (months.size() > 12)
        x->setLabelsAngle(-90);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%d%%"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    QChart* old = chart_->chart();
    chart_->setChart(chart);
    delete old;
}

void SummaryWindow::exportExcel()
{
    try {
        const QString path = exportTableToReportFolder(MonthSummary::outTable(rows_, households_), QStringLiteral("收费汇总"));
        services_.prompter.inform(exportDoneMessage(path), services_.app.appTitle);
    } catch (const FileError& e) {
        services_.prompter.inform(QStringLiteral("无法导出：%1").arg(e.message()), services_.app.appTitle,
                                  Prompter::Icon::Critical);
    }
}
