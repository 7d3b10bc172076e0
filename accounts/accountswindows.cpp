#include "accounts/accountswindows.h"

#include "accounts/ledger.h"
#include "accounts/reportdocument.h"
#include "accounts/reporttablemodel.h"
#include "documents/documentprinter.h"
#include "common/dates.h"
#include "common/gbkfile.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kMoney = QStringLiteral("#,##0.00");
const QString kAll = QStringLiteral("全部");

}  // namespace

// ---- LedgerReportWindow -----------------------------------------------------

LedgerReportWindow::LedgerReportWindow(Services& services, QWidget* parent)
    : QWidget(parent), s_(services), model_(new ReportTableModel(this)), grid_(new QTableView(this)),
      summary_(new QLabel(this))
{
    grid_->setObjectName(QStringLiteral("DataGrid1"));
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setDefaultSectionSize(24);
    grid_->horizontalHeader()->setStretchLastSection(true);
    summary_->setObjectName(QStringLiteral("Label1"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

const ReportTable& LedgerReportWindow::table() const
{
    return model_->table();
}

QPushButton* LedgerReportWindow::button(const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    return b;
}

void LedgerReportWindow::buildReport(QLayout* boxes)
{
    QPushButton* query = button(QStringLiteral("Command1"), QStringLiteral("查询"));
    QPushButton* print = button(QStringLiteral("Command2"), QStringLiteral("打印"));
    QPushButton* preview = button(QStringLiteral("Command3"), QStringLiteral("打印预览"));
    QPushButton* close = button(QStringLiteral("Command4"), QStringLiteral("关闭"));
    QPushButton* excel = button(QStringLiteral("cmd导出Excel"), QStringLiteral("导出Excel"));
    build(boxes, {query, print, preview, close, excel});
    connect(query, &QPushButton::clicked, this, [this] { refresh(); });
    connect(print, &QPushButton::clicked, this, [this] { this->print(false); });
    connect(preview, &QPushButton::clicked, this, [this] { this->print(true); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(excel, &QPushButton::clicked, this, &LedgerReportWindow::exportExcel);
}

void LedgerReportWindow::build(QLayout* boxes, const QList<QPushButton*>& buttons)
{
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons)
        row->addWidget(b);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    if (boxes)
        layout->addLayout(boxes);
    layout->addWidget(grid_, 1);
    layout->addWidget(summary_);
    layout->addLayout(row);
    resize(900, 560);
}

void LedgerReportWindow::showTable(const ReportTable& table, const QString& summary)
{
    model_->setTable(table);
    grid_->resizeColumnsToContents();
    summary_->setText(summary);
}

void LedgerReportWindow::fail(const QString& message)
{
    s_.prompter.inform(message, s_.app.appTitle, Prompter::Icon::Critical);
}

void LedgerReportWindow::exportExcel()
{
    try {
        const QString path = exportTableToReportFolder(table().outTable(documentName()), documentName());
        s_.prompter.inform(exportDoneMessage(path), s_.app.appTitle);
    } catch (const FileError& e) {
        fail(QStringLiteral("文件没有导出：") + e.message());
    }
}

void LedgerReportWindow::print(bool preview)
{
    const QList<DocumentPage> doc = pages();
    if (sink_) {
        sink_(doc);
        return;
    }
    QString error;
    if (!DocumentPrinter::printPages(doc, documentName(), this,
                                    preview ? DocumentPrinter::Output::Preview : DocumentPrinter::Output::DefaultPrinter,
                                    &error))
        fail(QStringLiteral("打印失败: %1").arg(error));
}

// ---- DayTakingsWindow -------------------------------------------------------

DayTakingsWindow::DayTakingsWindow(Services& services, QWidget* parent) : LedgerReportWindow(services, parent)
{
    setObjectName(QStringLiteral("frm_收款日报"));
    setWindowTitle(QStringLiteral("收款日报"));
    day_ = new QDateEdit(s_.clock.today(), this);
    day_->setObjectName(QStringLiteral("DTPicker1"));
    day_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    day_->setCalendarPopup(true);
    operator_ = new QComboBox(this);
    operator_->setObjectName(QStringLiteral("Combo1"));
    operator_->addItem(kAll);
    try {
        operator_->addItems(DayTakings::operators(s_.data.db()));
    } catch (const StoreError&) {
    }
    operator_->setMinimumContentsLength(8);
    desk_ = new QComboBox(this);
    desk_->setObjectName(QStringLiteral("Combo2"));
    desk_->setMinimumContentsLength(12);
    fillDesks();
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(new QLabel(QStringLiteral("日期:"), this));
    boxes->addWidget(day_);
    boxes->addSpacing(16);
    boxes->addWidget(new QLabel(QStringLiteral("操作员:"), this));
    boxes->addWidget(operator_);
    boxes->addSpacing(16);
    boxes->addWidget(new QLabel(QStringLiteral("电脑:"), this));
    boxes->addWidget(desk_);
    boxes->addStretch();
    buildReport(boxes);
    connect(day_, &QDateEdit::dateChanged, this, [this] {
        fillDesks();
        refresh();
    });
    connect(operator_, &QComboBox::currentIndexChanged, this, &DayTakingsWindow::refresh);
    connect(desk_, &QComboBox::activated, this, &DayTakingsWindow::refresh);
    refresh();
}

// The desks of the day; the chosen one stays chosen while it is among them.
void DayTakingsWindow::fillDesks()
{
    const QString chosen = desk_->currentIndex() > 0 ? desk_->currentText() : QString();
    QSignalBlocker quiet(desk_);
    desk_->clear();
    desk_->addItem(kAll);
    try {
        desk_->addItems(DayTakings::desks(s_.data.db(), day_->date()));
    } catch (const StoreError&) {
    }
    desk_->setCurrentIndex(std::max(0, desk_->findText(chosen)));
}

void DayTakingsWindow::refresh()
{
    const QString op = operator_->currentIndex() <= 0 ? QString() : operator_->currentText();
    const QString desk = desk_->currentIndex() <= 0 ? QString() : desk_->currentText();
    try {
        takings_ = DayTakings::read(s_.data.db(), day_->date(), op, desk);
    } catch (const StoreError& e) {
        fail(QStringLiteral("无法读取收款日报: %1").arg(e.message()));
        return;
    }
    showTable(takings_.table(), takings_.totalsText());
}

QList<DocumentPage> DayTakingsWindow::pages() const
{
    const QString who = takings_.operatorName.isEmpty() ? kAll : takings_.operatorName;
    return ReportDocument::pages(s_.app.receiptName + QStringLiteral("  收款日报"),
                                 {QStringLiteral("日期: %1    操作员: %2").arg(isoDate(takings_.day), who) +
                                  (takings_.desk.isEmpty() ? QString() : QStringLiteral("    电脑: %1").arg(takings_.desk))},
                                 takings_.table(), {takings_.totalsText(), QStringLiteral(" "),
                                                    QStringLiteral("收款人:                  复核人:")});
}

// ---- StatementWindow --------------------------------------------------------

StatementWindow::StatementWindow(Services& services, QWidget* parent) : LedgerReportWindow(services, parent)
{
    setObjectName(QStringLiteral("frm_对账单"));
    setWindowTitle(QStringLiteral("对账单"));
    household_ = new QLabel(this);
    household_->setObjectName(QStringLiteral("lbl门牌号"));
    first_ = new QComboBox(this);
    first_->setObjectName(QStringLiteral("Combo1"));
    last_ = new QComboBox(this);
    last_->setObjectName(QStringLiteral("Combo2"));
    for (QComboBox* b : {first_, last_})
        b->setMinimumContentsLength(8);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(household_);
    boxes->addSpacing(16);
    boxes->addWidget(new QLabel(QStringLiteral("起始月份:"), this));
    boxes->addWidget(first_);
    boxes->addWidget(new QLabel(QStringLiteral("截止月份:"), this));
    boxes->addWidget(last_);
    boxes->addStretch();
    buildReport(boxes);
    connect(&s_.data.rs档案(), &RecordSet::currentChanged, this, &StatementWindow::householdChanged);
    householdChanged();
}

void StatementWindow::householdChanged()
{
    RecordSet& rs = s_.data.rs档案();
    const QString door = rs.hasCurrent() ? rs.value(QStringLiteral("门牌号")).toString() : QString();
    if (door == door_ && first_->count() > 0)
        return;
    door_ = door;
    QStringList months;
    try {
        months = AccountStatement::months(s_.data.db(), door_);
    } catch (const StoreError&) {
    }
    for (QComboBox* b : {first_, last_}) {
        const QSignalBlocker block(b);
        b->clear();
        b->addItem(kAll);
        b->addItems(months);
    }
    refresh();
}

void StatementWindow::refresh()
{
    const QString first = first_->currentIndex() <= 0 ? QString() : first_->currentText();
    const QString last = last_->currentIndex() <= 0 ? QString() : last_->currentText();
    try {
        statement_ = AccountStatement::read(s_.data.db(), door_, first, last);
    } catch (const StoreError& e) {
        fail(QStringLiteral("无法读取对账单: %1").arg(e.message()));
        return;
    }
    household_->setText(door_.isEmpty() ? QStringLiteral("没有选中住户")
                                        : QStringLiteral("门牌号: %1    户名: %2").arg(door_, statement_.name));
    showTable(statement_.table(),
         QStringLiteral("期初余额 %1    期末余额 %2    档案中的账户余额 %3")
             .arg(formatMask(statement_.opening, kMoney), formatMask(statement_.closing, kMoney),
                  formatMask(Ledger::number(statement_.storedBalance), kMoney)));
}

QList<DocumentPage> StatementWindow::pages() const
{
    const QString range = statement_.firstMonth.isEmpty() && statement_.lastMonth.isEmpty()
                              ? kAll
                              : QStringLiteral("%1 至 %2").arg(statement_.firstMonth.isEmpty() ? QStringLiteral("开始")
                                                                                               : statement_.firstMonth,
                                                               statement_.lastMonth.isEmpty() ? QStringLiteral("现在")
                                                                                              : statement_.lastMonth);
    return ReportDocument::pages(
        s_.app.receiptName + QStringLiteral("  对账单"),
        {QStringLiteral("门牌号: %1    户名: %2    月份: %3").arg(statement_.door, statement_.name, range),
         QStringLiteral("打印日期: %1").arg(isoDate(s_.clock.today()))},
        statement_.table(),
        {QStringLiteral("期初余额 %1    期末余额 %2")
             .arg(formatMask(statement_.opening, kMoney), formatMask(statement_.closing, kMoney))});
}

// ---- BooksCheckWindow -------------------------------------------------------

BooksCheckWindow::BooksCheckWindow(Services& services, QWidget* parent) : LedgerReportWindow(services, parent)
{
    setObjectName(QStringLiteral("frm_账务核对"));
    setWindowTitle(QStringLiteral("账务核对"));
    QPushButton* again = button(QStringLiteral("Command1"), QStringLiteral("重新核对"));
    QPushButton* print = button(QStringLiteral("Command2"), QStringLiteral("打印"));
    QPushButton* preview = button(QStringLiteral("Command3"), QStringLiteral("打印预览"));
    QPushButton* close = button(QStringLiteral("Command4"), QStringLiteral("关闭"));
    build(nullptr, {again, print, preview, close});
    connect(again, &QPushButton::clicked, this, &BooksCheckWindow::refresh);
    connect(print, &QPushButton::clicked, this, [this] { this->print(false); });
    connect(preview, &QPushButton::clicked, this, [this] { this->print(true); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    refresh();
}

QString BooksCheckWindow::allAgreeText()
{
    return QStringLiteral("账务核对无误：每户的账户余额等于其流水合计，每张已缴账单都有收款流水。");
}

void BooksCheckWindow::refresh()
{
    try {
        found_ = BooksCheck::runAndMark(s_.data.db());
    } catch (const StoreError& e) {
        fail(QStringLiteral("账务核对无法进行: %1").arg(e.message()));
        return;
    }
    ReportTable t;
    t.header = {QStringLiteral("门牌号"), QStringLiteral("月份"), QStringLiteral("账户余额"), QStringLiteral("流水合计"),
                QStringLiteral("差额"), QStringLiteral("说明")};
    t.masks = {QString(), QString(), kMoney, kMoney, kMoney, QString()};
    for (const BooksCheck::Mismatch& m : std::as_const(found_))
        t.rows.append({m.door, m.month, m.stored, m.ledger, m.difference(), m.note});
    showTable(t, found_.isEmpty() ? allAgreeText()
                             : QStringLiteral("发现 %1 处不符。程序不会自动更正，请核查后处理。").arg(found_.size()));
}

QList<DocumentPage> BooksCheckWindow::pages() const
{
    return ReportDocument::pages(s_.app.receiptName + QStringLiteral("  账务核对"),
                                 {QStringLiteral("核对日期: %1").arg(isoDate(s_.clock.today()))}, table(),
                                 {summary_->text()});
}
