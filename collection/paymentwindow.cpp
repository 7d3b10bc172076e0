#include "collection/paymentwindow.h"

#include "accounts/reversal.h"
#include "collection/collection.h"
#include "collection/receipt.h"
#include "collection/receiptprinter.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/binder.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/dataenvironment.h"
#include "store/gridview.h"
#include "store/recordsetmodel.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

const QString kDoor = QStringLiteral("门牌号");
const QString kMonth = QStringLiteral("月份");
const QString kPaid = QStringLiteral("缴费标志");

const QString kYuan2 = QStringLiteral("\"￥\"#,##0.00");
const QString kYuan5 = QStringLiteral("\"￥\"#,##0.00000");

GridColumn col(const QString& field, const QString& format = QString(), GridColumn::Kind kind = GridColumn::Kind::Auto)
{
    return GridColumn{field, field, format, kind, false};
}

// A set that no one has narrowed yet would be read whole by its grid: it is narrowed
// to nothing until a row change gives it its filter.
void narrowToNothing(RecordSet& rs)
{
    if (rs.filter().isEmpty())
        rs.setFilter(Criterion::equals(QStringLiteral("ID"), -1));
}

RecordSetGrid* makeGrid(const QString& name, QWidget* parent)
{
    auto* g = new RecordSetGrid(parent);
    g->setObjectName(name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->horizontalHeader()->setStretchLastSection(false);
    return g;
}

void attach(RecordSetGrid* grid, RecordSet& rs, QList<GridColumn> columns)
{
    auto* model = new RecordSetModel(rs, std::move(columns), grid);
    model->setReadOnly(true);
    grid->setRecordSetModel(model);
}

}  // namespace

PaymentWindow::PaymentWindow(Services& services, QWidget* parent) : QWidget(parent), s_(services)
{
    setObjectName(QStringLiteral("frm_缴费打印"));
    setWindowTitle(QStringLiteral("缴费打印"));
    setAttribute(Qt::WA_DeleteOnClose);

    DataEnvironment& env = s_.data;
    RecordSet& households = env.rs档案();
    RecordSet& bills = env.rs缴费历史();
    RecordSet& fixed = env.rs收费1();
    RecordSet& metered = env.rs收费2();

    // Grids first, without their record sets.
    grid1_ = makeGrid(QStringLiteral("DataGrid1"), this);
    grid2_ = makeGrid(QStringLiteral("DataGrid2"), this);
    grid3_ = makeGrid(QStringLiteral("DataGrid3"), this);
    grid4_ = makeGrid(QStringLiteral("DataGrid4"), this);

    // The household's bills and the bill's lines are narrowed before any grid reads them,
    // so the big line tables are never read whole.
    try {
        householdChanged();
        if (!households.hasCurrent())
            narrowToNothing(bills);
        billChanged();
        if (!bills.hasCurrent()) {
            narrowToNothing(fixed);
            narrowToNothing(metered);
        }
    } catch (const StoreError& e) {
        fail(QStringLiteral("读取缴费记录"), e.message());
    }

    attach(grid1_, households, {col(kDoor), col(QStringLiteral("户名"))});
    attach(grid2_, bills,
           {col(kDoor), col(kMonth), col(QStringLiteral("收费金额"), kYuan2), col(QStringLiteral("实缴金额"), kYuan2),
            col(QStringLiteral("缴费时间"), QStringLiteral("yyyy-MM-dd"), GridColumn::Kind::Date),
            col(QStringLiteral("账户余额"), kYuan5), col(kPaid, QString(), GridColumn::Kind::Bool)});
    attach(grid3_, fixed,
           {col(QStringLiteral("项目号")), col(QStringLiteral("项目名")), col(kMonth),
            col(QStringLiteral("收费金额"), kYuan5)});
    attach(grid4_, metered,
           {col(QStringLiteral("项目号")), col(QStringLiteral("项目名")), col(kMonth), col(QStringLiteral("上月数")),
            col(QStringLiteral("本月数"), kYuan2), col(QStringLiteral("单价"), kYuan5),
            col(QStringLiteral("收费金额"), kYuan5)});
    for (RecordSetGrid* g : {grid1_, grid2_, grid3_, grid4_})
        g->setErrorHandler([this](const QString& m) { fail(QStringLiteral("移动记录"), m); });

    // Household boxes.
    householdBinder_ = new Binder(households, this);
    auto* form = new QGridLayout;
    struct Box {
        const char* name;
        const char* column;
        const char* label;
    };
    static const Box boxes[] = {
        {"txt门牌号", "门牌号", "门牌号:"},   {"txt户名", "户名", "户名:"},
        {"txt联系电话", "联系电话", "联系电话:"}, {"txt单位", "单位", "单位:"},
        {"txt籍贯", "籍贯", "籍贯:"},       {"txt账户余额", "账户余额", "账户余额:"},
        {"Text2", "面积", "面积(平米):"},    {"txt其他信息", "其他信息", "其他信息:"},
    };
    int i = 0;
    for (const Box& b : boxes) {
        auto* label = new QLabel(QString::fromUtf8(b.label), this);
        label->setObjectName(QStringLiteral("lblFieldLabel"));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromUtf8(b.name));
        edit->setReadOnly(true);
        householdBinder_->bind(edit, QString::fromUtf8(b.column));
        // Other information takes a row of its own.
        const bool wideBox = i == 7;
        const int row = wideBox ? 4 : i / 2, c = wideBox ? 0 : (i % 2) * 2;
        form->addWidget(label, row, c);
        form->addWidget(edit, row, c + 1, 1, wideBox ? 3 : 1);
        ++i;
    }
    householdBinder_->setErrorHandler([this](const QString& m) { fail(QStringLiteral("住户档案"), m); });

    // Remarks of the bill.
    auto* frame = new QGroupBox(QStringLiteral("其他说明"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    text1_ = new QPlainTextEdit(frame);
    text1_->setObjectName(QStringLiteral("Text1"));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(text1_);
    billBinder_ = new Binder(bills, this);
    billBinder_->bind(text1_, QStringLiteral("其他说明"));
    billBinder_->setErrorHandler([this](const QString& m) { fail(QStringLiteral("其他说明"), m); });

    // Buttons.
    struct Button {
        const char* name;
        const char* caption;
        void (PaymentWindow::*handler)();
    };
    static const Button buttons[] = {
        {"Command1", "查找", nullptr},
        {"Command2", "查看已缴费记录", &PaymentWindow::showPaid},
        {"Command3", "查看未缴费记录", &PaymentWindow::showUnpaid},
        {"Command4", "查看全部记录", &PaymentWindow::showAll},
        {"Command5", "当前记录缴费", &PaymentWindow::collect},
        {"Command6", "当前记录打印", &PaymentWindow::printCurrent},
        {"Command7", "退        出", nullptr},
        {"Command8", "冲正", &PaymentWindow::reverse},
        {"Command9", "对账单", nullptr},
    };
    auto* buttonRow = new QHBoxLayout;
    for (const Button& b : buttons) {
        auto* btn = new QPushButton(QString::fromUtf8(b.caption), this);
        btn->setObjectName(QString::fromUtf8(b.name));
        buttonRow->addWidget(btn);
        if (b.handler)
            connect(btn, &QPushButton::clicked, this, b.handler);
        if (btn->objectName() == QLatin1String("Command1"))
            connect(btn, &QPushButton::clicked, this, [this] { s_.openWindow(QStringLiteral("frm_档案查找")); });
        if (btn->objectName() == QLatin1String("Command7"))
            connect(btn, &QPushButton::clicked, this, &QWidget::close);
        if (btn->objectName() == QLatin1String("Command8"))
            btn->setEnabled(s_.app.operatorLevel == QLatin1String("A"));  // level A only
        if (btn->objectName() == QLatin1String("Command9"))
            connect(btn, &QPushButton::clicked, this, [this] { s_.openWindow(QStringLiteral("frm_对账单")); });
        if (btn->objectName() == QLatin1String("Command6")) {
            auto* preview = new QAction(QStringLiteral("打印预览..."), btn);
            connect(preview, &QAction::triggered, this, &PaymentWindow::previewCurrent);
            btn->addAction(preview);
            btn->setContextMenuPolicy(Qt::ActionsContextMenu);
        }
    }
    buttonRow->addStretch();

    // Layout: households beside their boxes and remarks; bills; the two line grids.
    auto* top = new QHBoxLayout;
    grid1_->horizontalHeader()->setStretchLastSection(true);
    grid1_->setMinimumWidth(240);
    grid1_->setMaximumWidth(320);
    top->addWidget(grid1_);
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addWidget(frame, 1);
    top->addLayout(right, 1);

    auto* lines = new QHBoxLayout;
    lines->addWidget(grid3_, 2);
    lines->addWidget(grid4_, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addLayout(buttonRow);
    layout->addWidget(grid2_, 3);
    layout->addLayout(lines, 3);
    resize(1100, 720);

    // The window follows every move of the shared sets, by this window or another.
    connect(&households, &RecordSet::currentChanged, this, &PaymentWindow::householdChanged);
    connect(&bills, &RecordSet::currentChanged, this, &PaymentWindow::billChanged);
}

PaymentWindow::~PaymentWindow()
{
    if (db_)
        db_->removeConnectionListener(connectionListener_);
}

void PaymentWindow::tellUnanswered()
{
    while (!unanswered_.isEmpty()) {
        QString text;
        try {
            text = Collection::checkUnanswered(s_.data.db(), unanswered_.first());
        } catch (const StoreError&) {
            return;  // out of reach again: told at the next reconnection
        }
        unanswered_.removeFirst();
        s_.prompter.inform(text, s_.app.appTitle, Prompter::Icon::Information);
    }
}

void PaymentWindow::fail(const QString& what, const QString& message)
{
    s_.prompter.inform(QStringLiteral("%1失败: %2").arg(what, message), s_.app.appTitle, Prompter::Icon::Critical);
}

void PaymentWindow::householdChanged()
{
    try {
        RecordSet& households = s_.data.rs档案();
        if (!households.hasCurrent()) {
            grid2_->hide();
            grid3_->hide();
            grid4_->hide();
            return;
        }
        grid2_->show();
        s_.data.rs缴费历史().setFilter(Criterion::equals(kDoor, households.value(kDoor)));
    } catch (const StoreError& e) {
        fail(QStringLiteral("读取缴费记录"), e.message());
    }
}

void PaymentWindow::billChanged()
{
    try {
        RecordSet& bills = s_.data.rs缴费历史();
        if (!bills.hasCurrent()) {
            grid3_->hide();
            grid4_->hide();
            return;
        }
        grid3_->show();
        grid4_->show();
        const QVariant door = bills.value(kDoor);
        const QVariant month = bills.value(kMonth);
        s_.data.rs收费1().setFilter(Criterion::equals(kDoor, door).andEquals(kMonth, month));
        s_.data.rs收费2().setFilter(Criterion::equals(kDoor, door).andEquals(kMonth, month));
    } catch (const StoreError& e) {
        fail(QStringLiteral("读取收费明细"), e.message());
    }
}

void PaymentWindow::filterBills(Bills which)
{
    try {
        RecordSet& households = s_.data.rs档案();
        if (!households.hasCurrent())
            return;
        Criterion c = Criterion::equals(kDoor, households.value(kDoor));
        if (which == Bills::Paid)
            c.andTrue(kPaid);
        else if (which == Bills::Unpaid)
            c.andFalse(kPaid);
        s_.data.rs缴费历史().setFilter(c);
    } catch (const StoreError& e) {
        fail(QStringLiteral("读取缴费记录"), e.message());
    }
}

void PaymentWindow::showPaid() { filterBills(Bills::Paid); }
void PaymentWindow::showUnpaid() { filterBills(Bills::Unpaid); }
void PaymentWindow::showAll() { filterBills(Bills::All); }

void PaymentWindow::collect()
{
    try {
        RecordSet& bills = s_.data.rs缴费历史();
        const QString remarks =
            bills.hasCurrent() ? bills.value(QStringLiteral("其他说明")).toString() : text1_->toPlainText();
        Collection collection(s_);
        const Collection::Outcome out = collection.collect(remarks);
        if (out.unanswered) {
            unanswered_.append(collection.unanswered());
            if (!db_) {
                db_ = &s_.data.db();
                connectionListener_ = db_->addConnectionListener([this](bool up) {
                    if (up)
                        QTimer::singleShot(0, this, &PaymentWindow::tellUnanswered);
                });
            }
            return;
        }
        if (out.printRequested)
            print(false);
    } catch (const StoreError& e) {
        fail(QStringLiteral("缴费"), e.message());
    }
}

void PaymentWindow::reverse()
{
    try {
        RecordSet& bills = s_.data.rs缴费历史();
        if (!bills.hasCurrent()) {
            s_.prompter.inform(QStringLiteral("请选择要冲正的记录"), s_.app.appTitle, Prompter::Icon::Information);
            return;
        }
        bills.updateBatch();
        s_.data.rs档案().updateBatch();
        const qint64 billId = bills.bookmark();
        Reversal reversal(s_.data.db(), s_.app, s_.clock, s_.prompter);
        const Reversal::Result r = reversal.run(billId);
        if (r.outcome != Reversal::Outcome::Reversed && r.outcome != Reversal::Outcome::Stale)
            return;
        try {
            s_.data.rs档案().requery(true);
            bills.requery(true);
            if (bills.bookmark() != billId)
                bills.moveToBookmark(billId);
            s_.data.rs收费1().requery(true);
            s_.data.rs收费2().requery(true);
        } catch (const StoreError& e) {
            if (r.outcome != Reversal::Outcome::Reversed)
                throw;
            // The reversal is saved; only the window is behind.
            s_.prompter.inform(QStringLiteral("冲正已经保存，但打开的窗口未能重新读出数据：") + e.message(),
                               s_.app.appTitle, Prompter::Icon::Exclamation);
        }
    } catch (const StoreError& e) {
        fail(QStringLiteral("冲正"), e.message());
    }
}

void PaymentWindow::printCurrent() { print(false); }
void PaymentWindow::previewCurrent() { print(true); }

void PaymentWindow::print(bool preview)
{
    try {
        RecordSet& bills = s_.data.rs缴费历史();
        if (!bills.hasCurrent() || !s_.data.rs档案().hasCurrent())
            return;
        const bool paid = Criterion::valueIsTrue(bills.value(kPaid));
        const QString remarks = bills.value(QStringLiteral("其他说明")).toString();
        const std::optional<ReceiptData> receipt = ReceiptData::fromCurrent(s_.data, s_.app, paid, remarks);
        if (!receipt)
            return;
        if (sink_) {
            sink_(*receipt);
            return;
        }
        QString error;
        if (!ReceiptPrinter::print(*receipt, this,
                                   preview ? ReceiptPrinter::Output::Preview : ReceiptPrinter::Output::DefaultPrinter,
                                   &error))
            fail(QStringLiteral("打印收据"), error);
    } catch (const StoreError& e) {
        fail(QStringLiteral("打印收据"), e.message());
    }
}

void PaymentWindow::unload()
{
    // The shared sets stay open with their last filters; edits of the remarks are saved.
    try {
        s_.data.rs缴费历史().updateBatch();
    } catch (const StoreError& e) {
        fail(QStringLiteral("保存其他说明"), e.message());
    }
}

void PaymentWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}
