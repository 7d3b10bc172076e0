#include "charging/readingsheetwindow.h"

#include "charging/blanksheet.h"
#include "charging/monthrun.h"
#include "documents/documentprinter.h"
#include "common/fileopener.h"
#include "common/reportfolder.h"
#include "charging/readingimport.h"
#include "charging/readingsheet.h"
#include "charging/readingsheetmodel.h"
#include "common/dates.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/database.h"
#include "store/dataenvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QTableWidget>
#include "common/gbkfile.h"
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString list(const QStringList& doors, int most = 20)
{
    if (doors.isEmpty())
        return QStringLiteral("无");
    QString s = doors.mid(0, most).join(QStringLiteral("、"));
    if (doors.size() > most)
        s += QStringLiteral(" 等 %1 户").arg(doors.size());
    return s;
}

// The progress dialog as the run's progress.
class DialogProgress : public RunProgress {
public:
    explicit DialogProgress(QProgressDialog& d) : d_(d) {}
    bool proceed(int done, int total) override
    {
        d_.setMaximum(total);
        d_.setValue(done);
        QCoreApplication::processEvents();
        return !d_.wasCanceled();
    }

private:
    QProgressDialog& d_;
};

}  // namespace

ReadingGrid::ReadingGrid(QWidget* parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("DataGrid1"));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
}

void ReadingGrid::setSheetModel(ReadingSheetModel* model)
{
    model_ = model;
    setModel(model);
    // Fixed widths: a grid of twenty thousand rows is not measured row by row.
    const int w = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {10, 8, 8, 9, 11, 9, 7, 10, 4, 16};
    for (int c = 0; c < ReadingSheetModel::ColumnCount; ++c)
        setColumnWidth(c, widths[c] * w + 12);
}

void ReadingGrid::moveDown()
{
    const QModelIndex at = currentIndex();
    if (!at.isValid() || at.row() + 1 >= model()->rowCount())
        return;
    const QModelIndex next = model()->index(at.row() + 1, at.column());
    setCurrentIndex(next);
    scrollTo(next);
}

void ReadingGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    // Enter ends the cell and opens the next one down.
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
        moveDown();
        if (currentIndex().column() == ReadingSheetModel::Reading)
            edit(currentIndex());
    }
}

int ReadingGrid::paste(const QString& text)
{
    if (!model_ || !currentIndex().isValid())
        return 0;
    return model_->pasteReadings(currentIndex().row(), text);
}

void ReadingGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste) && currentIndex().column() == ReadingSheetModel::Reading) {
        paste(QGuiApplication::clipboard()->text());
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
        moveDown();
        return;
    }
    QTableView::keyPressEvent(event);
}

MonthPreviewDialog::MonthPreviewDialog(MonthRun& run, const ReadingSheet& sheet, QWidget* parent)
    : QDialog(parent), runner_(run), sheet_(sheet)
{
    setObjectName(QStringLiteral("frm_账单预览"));
    setWindowTitle(QStringLiteral("生成本月账单"));
    recompute_ = new QCheckBox(QStringLiteral("重新计算本月未缴费的已有账单"), this);
    recompute_->setObjectName(QStringLiteral("chk重算"));
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    run_ = new QPushButton(QStringLiteral("生成"), this);
    run_->setObjectName(QStringLiteral("Command1"));
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(run_);
    buttons->addWidget(cancel);
    auto* v = new QVBoxLayout(this);
    v->addWidget(recompute_);
    v->addWidget(text_, 1);
    v->addLayout(buttons);
    resize(560, 420);
    connect(recompute_, &QCheckBox::toggled, this, &MonthPreviewDialog::refresh);
    connect(run_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
}

bool MonthPreviewDialog::recompute() const
{
    return recompute_->isChecked();
}

void MonthPreviewDialog::refresh()
{
    const MonthRun::Plan p = runner_.plan(recompute());
    QStringList out;
    out << QStringLiteral("缴费月份：%1    楼号：%2").arg(sheet_.month(), sheet_.prefix().isEmpty() ? QStringLiteral("全部") : sheet_.prefix());
    out << QStringLiteral("住户：%1 户    新建账单：%2    重新计算：%3").arg(p.households).arg(p.newBills.size()).arg(p.recomputed.size());
    out << QString();
    out << QStringLiteral("各楼收费合计：");
    for (auto it = p.byBuilding.cbegin(); it != p.byBuilding.cend(); ++it)
        out << QStringLiteral("  楼号 %1：%2").arg(it.key(), formatMask(it.value(), QStringLiteral("#,##0.00")));
    out << QStringLiteral("  全部：%1").arg(formatMask(p.total, QStringLiteral("#,##0.00")));
    out << QString();
    out << QStringLiteral("已缴费，不再修改（%1 户）：%2").arg(p.paidSkipped.size()).arg(list(p.paidSkipped));
    if (!recompute())
        out << QStringLiteral("未缴费的已有账单，保持不变（%1 户）：%2").arg(p.unpaidSkipped.size()).arg(list(p.unpaidSkipped));
    if (!p.blocking.isEmpty()) {
        out << QString();
        out << QStringLiteral("以下 %1 行没有可用的读数，不能生成账单：").arg(p.blocking.size());
        for (int i = 0; i < p.blocking.size() && i < 50; ++i) {
            const SheetRow& r = sheet_.row(p.blocking[i]);
            const BillItem& item = sheet_.itemOf(p.blocking[i]);
            out << QStringLiteral("  %1  %2  %3").arg(r.door, item.name,
                                                       r.reading ? QStringLiteral("小于上月数，待确认") : QStringLiteral("未录"));
        }
        if (p.blocking.size() > 50)
            out << QStringLiteral("  ……");
    }
    text_->setPlainText(out.join(QLatin1Char('\n')));
    run_->setEnabled(p.canRun());
}

ImportReportDialog::ImportReportDialog(const ReadingImport& import, const QString& file, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frm_导入读数"));
    setWindowTitle(QStringLiteral("导入读数"));
    const QList<ReadingImport::Row> all = import.problems();
    const QList<ReadingImport::Row> bad = all.mid(0, ReadingImport::ListedProblems);
    QString text = QStringLiteral("文件：%1\n可以导入的读数：%2 条；不能使用的行：%3 行（见下表，不会导入）。")
                       .arg(QDir::toNativeSeparators(file))
                       .arg(import.matched())
                       .arg(all.size());
    if (all.size() > bad.size())
        text += QStringLiteral("\n表中列出前 %1 行，其余 %2 行未列出。").arg(bad.size()).arg(all.size() - bad.size());
    summary_ = new QLabel(text, this);
    summary_->setWordWrap(true);
    problems_ = new QTableWidget(int(bad.size()), 5, this);
    problems_->setHorizontalHeaderLabels(
        {QStringLiteral("行"), QStringLiteral("门牌号"), QStringLiteral("项目"), QStringLiteral("读数"), QStringLiteral("原因")});
    problems_->verticalHeader()->hide();
    problems_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    problems_->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < bad.size(); ++i) {
        const ReadingImport::Row& r = bad[i];
        const QStringList cells = {QString::number(r.line), r.door, r.item, r.text, ReadingImport::reasonText(r)};
        for (int c = 0; c < cells.size(); ++c)
            problems_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    problems_->resizeColumnsToContents();
    problems_->horizontalHeader()->setStretchLastSection(true);
    import_ = new QPushButton(QStringLiteral("导入"), this);
    import_->setObjectName(QStringLiteral("Command1"));
    import_->setEnabled(import.matched() > 0);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(import_);
    buttons->addWidget(cancel);
    auto* v = new QVBoxLayout(this);
    v->addWidget(summary_);
    v->addWidget(problems_, 1);
    v->addLayout(buttons);
    resize(560, 360);
    connect(import_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ReadingSheetWindow::ReadingSheetWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_抄表录入"));
    setWindowTitle(QStringLiteral("抄表录入"));
    resize(900, 560);

    sheet_ = new ReadingSheet(services_.data.db(), services_.data.rs项目());
    model_ = new ReadingSheetModel(*sheet_, this);

    auto* monthLabel = new QLabel(QStringLiteral("抄表月份:"), this);
    monthLabel->setObjectName(QStringLiteral("lblFieldLabel"));
    month_ = new QLineEdit(this);
    month_->setObjectName(QStringLiteral("Text1"));
    month_->setMaxLength(20);
    month_->setFixedWidth(month_->fontMetrics().horizontalAdvance(QStringLiteral("2024060000")));
    auto* buildingLabel = new QLabel(QStringLiteral("楼号(门牌号开头):"), this);
    buildingLabel->setObjectName(QStringLiteral("lblFieldLabel"));
    building_ = new QLineEdit(this);
    building_->setObjectName(QStringLiteral("Text2"));
    building_->setFixedWidth(month_->width());
    load_ = new QPushButton(QStringLiteral("读取"), this);
    load_->setObjectName(QStringLiteral("Command1"));

    grid_ = new ReadingGrid(this);
    grid_->setSheetModel(model_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));

    importButton_ = new QPushButton(QStringLiteral("导入读数"), this);
    importButton_->setObjectName(QStringLiteral("Command2"));
    blank_ = new QPushButton(QStringLiteral("导出空白表"), this);
    blank_->setObjectName(QStringLiteral("Command3"));
    print_ = new QPushButton(QStringLiteral("打印空白表"), this);
    print_->setObjectName(QStringLiteral("Command4"));
    run_ = new QPushButton(QStringLiteral("生成本月账单"), this);
    run_->setObjectName(QStringLiteral("Command5"));
    undo_ = new QPushButton(QStringLiteral("撤销本次账单"), this);
    undo_->setObjectName(QStringLiteral("Command6"));
    close_ = new QPushButton(QStringLiteral("关闭"), this);
    close_->setObjectName(QStringLiteral("Command7"));

    auto* top = new QHBoxLayout;
    top->addWidget(monthLabel);
    top->addWidget(month_);
    top->addSpacing(12);
    top->addWidget(buildingLabel);
    top->addWidget(building_);
    top->addWidget(load_);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {importButton_, blank_, print_, run_, undo_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(grid_, 1);
    v->addWidget(status_);
    v->addLayout(buttons);

    connect(load_, &QPushButton::clicked, this, &ReadingSheetWindow::loadSheet);
    connect(month_, &QLineEdit::returnPressed, this, &ReadingSheetWindow::loadSheet);
    connect(building_, &QLineEdit::returnPressed, this, &ReadingSheetWindow::loadSheet);
    connect(run_, &QPushButton::clicked, this, [this] {
        if (MonthPreviewDialog* d = openPreview())
            d->open();
    });
    connect(importButton_, &QPushButton::clicked, this, [this] {
        if (running_)
            return;
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("导入读数"), QString(),
                                                           QStringLiteral("抄表读数 (*.csv *.xlsx *.txt)"));
        if (path.isEmpty())
            return;
        if (ImportReportDialog* d = openImport(path))
            d->open();
    });
    connect(blank_, &QPushButton::clicked, this, &ReadingSheetWindow::exportBlank);
    connect(print_, &QPushButton::clicked, this, &ReadingSheetWindow::printBlank);
    connect(undo_, &QPushButton::clicked, this, &ReadingSheetWindow::undoRun);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    connect(model_, &QAbstractItemModel::dataChanged, this, &ReadingSheetWindow::updateStatus);
    connect(model_, &QAbstractItemModel::modelReset, this, &ReadingSheetWindow::updateStatus);
    connect(model_, &ReadingSheetModel::pasted, this,
            [this](const QString& m) { services_.prompter.inform(m, services_.app.appTitle, Prompter::Icon::Information); });
    connect(model_, &ReadingSheetModel::writeFailed, this,
            [this](const QString& m) { report(QStringLiteral("读数未能保存"), m); });

    // The month proposed as the bill entry window proposes it.
    month_->setText(monthKey(services_.clock.today().addDays(-20)));
    loadSheet();
}

ReadingSheetWindow::~ReadingSheetWindow()
{
    delete runner_;
    delete model_;
    model_ = nullptr;
    delete sheet_;
}

void ReadingSheetWindow::closeEvent(QCloseEvent* event)
{
    // The run works on this window's sheet until it ends.
    if (running_)
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void ReadingSheetWindow::report(const QString& what, const QString& message)
{
    services_.prompter.inform(what + QStringLiteral("：") + message, services_.app.appTitle, Prompter::Icon::Critical);
}

bool ReadingSheetWindow::loadSheet()
{
    // The run bills this sheet: it is not read again under it.
    if (running_)
        return false;
    if (!isValidMonthText(month_->text())) {
        services_.prompter.inform(QStringLiteral("日期格式不正确"), services_.app.appTitle, Prompter::Icon::Information);
        month_->setFocus();
        return false;
    }
    try {
        model_->beginReload();
        sheet_->load(month_->text(), building_->text());
        model_->endReload();
    } catch (const StoreError& e) {
        model_->endReload();
        report(QStringLiteral("抄表数据未能读取"), e.message());
        return false;
    }
    grid_->setCurrentIndex(model_->index(0, ReadingSheetModel::Reading));
    return true;
}

void ReadingSheetWindow::updateStatus()
{
    status_->setText(model_->statusText());
    emit statusChanged();
}

MonthPreviewDialog* ReadingSheetWindow::openPreview()
{
    // The preview and the run see the sheet as it stands in the file now.
    if (!loadSheet())
        return nullptr;
    delete runner_;
    runner_ = new MonthRun(services_.data.db(), *sheet_);
    auto* d = new MonthPreviewDialog(*runner_, *sheet_, this);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setWindowModality(Qt::WindowModal);
    connect(d, &QDialog::accepted, this, [this, d] { runMonth(d->recompute()); });
    return d;
}

ImportReportDialog* ReadingSheetWindow::openImport(const QString& path)
{
    if (running_)
        return nullptr;
    try {
        import_ = std::make_unique<ReadingImport>(*sheet_, ReadingImport::readFile(path));
    } catch (const FileError& e) {
        report(QStringLiteral("读数文件未能读取"), e.message());
        return nullptr;
    }
    auto* d = new ImportReportDialog(*import_, path, this);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setWindowModality(Qt::WindowModal);
    connect(d, &QDialog::accepted, this, [this] {
        if (!import_)
            return;
        try {
            model_->beginReload();
            import_->apply(*sheet_);
            model_->endReload();
        } catch (const StoreError& e) {
            model_->endReload();
            report(QStringLiteral("读数未能导入"), e.message());
            return;
        }
        services_.prompter.inform(QStringLiteral("已导入 %1 条读数。").arg(import_->matched()), services_.app.appTitle,
                                  Prompter::Icon::Information);
        import_.reset();
    });
    return d;
}

QString ReadingSheetWindow::exportBlank()
{
    try {
        const QString path = exportTableToReportFolder(BlankSheet::table(*sheet_), QStringLiteral("抄表单") + sheet_->month());
        services_.prompter.inform(exportDoneMessage(path), services_.app.appTitle, Prompter::Icon::Information);
        return path;
    } catch (const FileError& e) {
        report(QStringLiteral("抄表单未能导出"), e.message());
    }
    return QString();
}

void ReadingSheetWindow::printBlank()
{
    const ReadingSheet& sheet = *sheet_;
    QString error;
    if (!DocumentPrinter::print([&sheet](int width) { return BlankSheet::pages(sheet, width); },
                                QStringLiteral("抄表单") + sheet.month(), this, DocumentPrinter::Output::DefaultPrinter,
                                &error))
        report(QStringLiteral("抄表单未能打印"), error);
}

void ReadingSheetWindow::runMonth(bool recompute)
{
    if (running_)
        return;
    if (!runner_)
        runner_ = new MonthRun(services_.data.db(), *sheet_);
    const QString title = services_.app.appTitle;
    QString changed;
    try {
        // A run that would write nothing needs no safety copy.
        if (runner_->plan(recompute).canRun() && !services_.takeSafetyCopy(QStringLiteral("生成本月账单")))
            return;
    } catch (const StoreError& e) {
        report(QStringLiteral("生成账单失败，没有写入任何账单"), e.message());
        return;
    }
    running_ = true;
    QProgressDialog progress(QStringLiteral("正在生成本月账单……"), QStringLiteral("取消"), 0, 1, this);
    progress.setObjectName(QStringLiteral("frm_进度"));
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    // Shown at once: the program takes no other input from the first step of the run.
    progress.show();
    DialogProgress p(progress);
    const MonthRun::Result r = runner_->run(recompute, &p);
    progress.close();
    running_ = false;
    if (!r.changed.isEmpty())
        changed = QStringLiteral("\n\n以下住户的档案或上月读数在读取抄表数据之后有变动，没有生成账单，请重新读取后再生成：\n") +
                  r.changed.join(QStringLiteral("、"));
    switch (r.outcome) {
    case MonthRun::Outcome::Done: {
        QString text = QStringLiteral("本月账单已生成：新建 %1 户，重新计算 %2 户。").arg(r.newBills).arg(r.recomputed);
        if (!r.reminders.isEmpty())
            text += QStringLiteral("\n\n以下住户的收费说明已到期，有变动及时更改住户的档案信息：\n") +
                    r.reminders.join(QStringLiteral("、"));
        services_.prompter.inform(text + changed, title, Prompter::Icon::Information);
        break;
    }
    case MonthRun::Outcome::Blocked:
        services_.prompter.inform(QStringLiteral("还有未录或小于上月数而未确认的读数，账单没有生成。"), title,
                                  Prompter::Icon::Exclamation);
        break;
    case MonthRun::Outcome::Nothing:
        services_.prompter.inform(QStringLiteral("没有需要生成的账单。") + changed, title, Prompter::Icon::Information);
        break;
    case MonthRun::Outcome::Cancelled:
        services_.prompter.inform(QStringLiteral("已取消，没有生成任何账单。"), title, Prompter::Icon::Information);
        break;
    case MonthRun::Outcome::Failed:
        report(QStringLiteral("生成账单失败，没有写入任何账单"), r.error);
        break;
    }
}

void ReadingSheetWindow::undoRun()
{
    if (running_)
        return;
    const QString title = services_.app.appTitle;
    try {
        const QString month = MonthRun::undoableMonth(services_.data.db());
        if (month.isEmpty()) {
            services_.prompter.inform(QStringLiteral("没有可以撤销的账单。"), title, Prompter::Icon::Information);
            return;
        }
        const QString changed = MonthRun::firstChangeSince(services_.data.db());
        if (!changed.isEmpty()) {
            services_.prompter.inform(changedText(changed), title, Prompter::Icon::Exclamation);
            return;
        }
        if (!services_.prompter.askYesNo(
                QStringLiteral("撤销 %1 的本次账单？新建的账单将被删除，重新计算的账单恢复原样。").arg(month), title))
            return;
        if (MonthRun::undo(services_.data.db())) {
            services_.prompter.inform(QStringLiteral("本次账单已撤销。"), title, Prompter::Icon::Information);
        } else {
            const QString now = MonthRun::firstChangeSince(services_.data.db());
            services_.prompter.inform(now.isEmpty() ? QStringLiteral("没有可以撤销的账单。") : changedText(now), title,
                                      Prompter::Icon::Exclamation);
        }
    } catch (const StoreError& e) {
        report(QStringLiteral("撤销失败，账单保持不变"), e.message());
    }
}

QString ReadingSheetWindow::changedText(const QString& door)
{
    return QStringLiteral("住户 %1 的账单在本次生成之后已有变动（收费、重新录入、改名或删除等），不能撤销本次账单。")
        .arg(door);
}
