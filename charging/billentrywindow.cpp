#include "charging/billentrywindow.h"

#include "charging/continuousentry.h"
#include "charging/singleentry.h"
#include "common/dates.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/binder.h"
#include "store/criterion.h"
#include "store/dataenvironment.h"
#include "store/gridview.h"
#include "store/navbar.h"
#include "store/recordsetmodel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kDoor = QStringLiteral("门牌号");
const QString kMonth = QStringLiteral("月份");

QLineEdit* box(QWidget* parent, const QString& name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

GridColumn col(const QString& field, const QString& mask = QString())
{
    return {field, QString(), mask, GridColumn::Kind::Auto, false};
}

QLabel* label(QWidget* parent, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QStringLiteral("lblFieldLabel"));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

}  // namespace

BillEntryWindow::BillEntryWindow(Services& services, QWidget* parent) : QWidget(parent), services_(services)
{
    setObjectName(QStringLiteral("frm_缴费录入"));
    setWindowTitle(QStringLiteral("缴费录入"));
    resize(620, 467);  // 9300 x 7000 twips

    Database& db = services_.data.db();
    bill_ = new RecordSet(db, QStringLiteral("缴费历史"), QStringLiteral("ID"), this);
    fixedLines_ = new RecordSet(db, QStringLiteral("收费1"), QStringLiteral("项目号, ID"), this);
    meteredLines_ = new RecordSet(db, QStringLiteral("收费2"), QStringLiteral("项目号, ID"), this);
    households_ = new RecordSet(db, QStringLiteral("档案库"), QStringLiteral("ID"), this);
    // Until the first household is shown, the bill and line sets hold nothing: a set
    // without its door and month would read the whole table.
    const Criterion none = Criterion::equals(kDoor, QString()).andEquals(kMonth, QString());
    bill_->setBase(none);
    fixedLines_->setBase(none);
    meteredLines_->setBase(none);

    nav_ = new NavBar(this);
    nav_->setObjectName(QStringLiteral("ado档案"));
    nav_->setRecordSet(households_);
    nav_->setErrorHandler([this](const QString& m) { report(QStringLiteral("档案未能保存"), m); });

    month_ = box(this, QStringLiteral("Text1"));
    door_ = box(this, QStringLiteral("txt门牌号"));
    name_ = box(this, QStringLiteral("txt户名"));
    phone_ = box(this, QStringLiteral("txt联系电话"));
    area_ = box(this, QStringLiteral("Text2"));
    note_ = box(this, QStringLiteral("txt其他说明"));
    balance_ = box(this, QStringLiteral("txt账户余额"));
    monthBalance_ = box(this, QStringLiteral("txt账户余额"));
    charge_ = box(this, QStringLiteral("txt收费金额"));
    cash_ = box(this, QStringLiteral("txt实缴金额"));
    paidOn_ = box(this, QStringLiteral("txt缴费时间"));
    paid_ = new QCheckBox(this);
    paid_->setObjectName(QStringLiteral("chk缴费标志"));
    month_->setMaxLength(20);

    // The door box and the bar caption follow the household before the bound boxes
    // do, so that the name box's change shows the new household's bill.
    connect(households_, &RecordSet::currentChanged, this, &BillEntryWindow::householdMoved);
    const auto onError = [this](const QString& m) { report(QStringLiteral("修改未能保存"), m); };
    auto* hh = new Binder(*households_, this);
    hh->setErrorHandler(onError);
    hh->bind(name_, QStringLiteral("户名"));
    hh->bind(phone_, QStringLiteral("联系电话"));
    hh->bind(area_, QStringLiteral("面积"));
    hh->bind(note_, QStringLiteral("收费说明"));
    hh->bind(balance_, QStringLiteral("账户余额"));
    auto* bb = new Binder(*bill_, this);
    bb->setErrorHandler(onError);
    bb->bind(monthBalance_, QStringLiteral("账户余额"));
    bb->bind(charge_, QStringLiteral("收费金额"));
    bb->bind(cash_, QStringLiteral("实缴金额"));
    bb->bind(paidOn_, QStringLiteral("缴费时间"));
    bb->bind(paid_, QStringLiteral("缴费标志"));
    connect(bill_, &RecordSet::currentChanged, this, &BillEntryWindow::lockPaidBill);
    connect(bill_, &RecordSet::rowsReset, this, &BillEntryWindow::lockPaidBill);

    const QString money5 = QStringLiteral("\"￥\"#,##0.00000");
    auto* m1 = new RecordSetModel(*fixedLines_,
                                  {col(kDoor), col(QStringLiteral("项目号")), col(QStringLiteral("项目名")), col(kMonth),
                                   col(QStringLiteral("收费金额"), money5)},
                                  this);
    auto* m2 = new RecordSetModel(*meteredLines_,
                                  {col(kDoor), col(QStringLiteral("项目号")), col(QStringLiteral("项目名")), col(kMonth),
                                   col(QStringLiteral("上月数")), col(QStringLiteral("本月数")),
                                   col(QStringLiteral("单价"), money5),
                                   col(QStringLiteral("收费金额"), QStringLiteral("\"￥\"#,##0.00"))},
                                  this);
    m1->setReadOnly(true);
    m2->setReadOnly(true);
    grid1_ = new RecordSetGrid(this);
    grid1_->setObjectName(QStringLiteral("DataGrid1"));
    grid1_->setRecordSetModel(m1);
    grid2_ = new RecordSetGrid(this);
    grid2_->setObjectName(QStringLiteral("DataGrid2"));
    grid2_->setRecordSetModel(m2);

    single_ = new QPushButton(QStringLiteral("单笔录入"), this);
    single_->setObjectName(QStringLiteral("Command2"));
    continuous_ = new QPushButton(QStringLiteral("连续录入"), this);
    continuous_->setObjectName(QStringLiteral("Command3"));
    find_ = new QPushButton(QStringLiteral("查找门牌"), this);
    find_->setObjectName(QStringLiteral("Command4"));
    close_ = new QPushButton(QStringLiteral("关闭"), this);
    close_->setObjectName(QStringLiteral("Command1"));
    for (QPushButton* b : {single_, continuous_, find_, close_})
        b->setAutoDefault(false);
    connect(single_, &QPushButton::clicked, this, &BillEntryWindow::singleEntry);
    connect(continuous_, &QPushButton::clicked, this, &BillEntryWindow::continuousEntry);
    connect(find_, &QPushButton::clicked, this, &BillEntryWindow::findDoor);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);

    connect(month_, &QLineEdit::returnPressed, this, &BillEntryWindow::checkMonth);
    connect(door_, &QLineEdit::returnPressed, this, &BillEntryWindow::showBill);
    connect(name_, &QLineEdit::textChanged, this, &BillEntryWindow::showBill);
    month_->installEventFilter(this);
    door_->installEventFilter(this);

    // Layout: household and month on top, the bill below, then the lines.
    auto* top = new QGridLayout;
    top->addWidget(label(this, QStringLiteral("缴费月份:")), 0, 0);
    top->addWidget(month_, 0, 1);
    top->addWidget(label(this, QStringLiteral("门牌号:")), 0, 2);
    top->addWidget(door_, 0, 3);
    top->addWidget(label(this, QStringLiteral("户  名:")), 1, 0);
    top->addWidget(name_, 1, 1);
    top->addWidget(label(this, QStringLiteral("联系电话:")), 1, 2);
    top->addWidget(phone_, 1, 3);
    top->addWidget(label(this, QStringLiteral("面积(平米):")), 2, 0);
    top->addWidget(area_, 2, 1);
    top->addWidget(label(this, QStringLiteral("当前账户余额:")), 2, 2);
    top->addWidget(balance_, 2, 3);
    top->addWidget(label(this, QStringLiteral("其他说明:")), 3, 0);
    top->addWidget(note_, 3, 1, 1, 3);

    auto* billBox = new QGroupBox(this);
    auto* bl = new QGridLayout(billBox);
    bl->addWidget(label(billBox, QStringLiteral("收费金额:")), 0, 0);
    bl->addWidget(charge_, 0, 1);
    bl->addWidget(label(billBox, QStringLiteral("实缴金额:")), 0, 2);
    bl->addWidget(cash_, 0, 3);
    bl->addWidget(label(billBox, QStringLiteral("已缴费:")), 0, 4);
    bl->addWidget(paid_, 0, 5);
    bl->addWidget(label(billBox, QStringLiteral("缴费时间:")), 1, 0);
    bl->addWidget(paidOn_, 1, 1);
    bl->addWidget(label(billBox, QStringLiteral("月账户余额:")), 1, 2);
    bl->addWidget(monthBalance_, 1, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {single_, continuous_, find_, close_})
        buttons->addWidget(b);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(nav_);
    lay->addLayout(top);
    lay->addWidget(billBox);
    lay->addWidget(grid1_, 2);
    lay->addWidget(grid2_, 3);
    lay->addLayout(buttons);

    // Tab goes through the boxes row by row, as they read.
    QWidget* order[] = {month_, door_, name_, phone_, area_, balance_, note_, charge_, cash_, paid_, paidOn_, monthBalance_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // Load: the first household, the month of twenty days ago, its bill.
    month_->setText(monthKey(services_.clock.today().addDays(-20)));
    try {
        households_->requery();
        householdMoved();
    } catch (const StoreError& e) {
        report(QStringLiteral("档案未能读取"), e.message());
    }
}

void BillEntryWindow::report(const QString& what, const QString& message)
{
    services_.prompter.inform(what + QStringLiteral("：") + message, services_.app.appTitle,
                              Prompter::Icon::Critical);
}

void BillEntryWindow::householdMoved()
{
    if (households_->bof() || households_->eof() || !households_->hasCurrent())
        return;
    nav_->setCaption(QStringLiteral("档案号  ") + QString::number(households_->position() + 1) + QLatin1Char('/') +
                     QString::number(households_->count()));
    const QVariant d = households_->value(kDoor);
    door_->setText(d.isNull() ? QString() : d.toString());
    // The bill follows the household even when the next one has the same name.
    showBill();
}

void BillEntryWindow::loadBill()
{
    // The household is found whatever the letter case of the typed door number; its
    // bill and lines are those of its stored door number.
    QString door = door_->text();
    if (households_->find(Criterion::equals(kDoor, door), RecordSet::Direction::Forward, RecordSet::Start::First)) {
        const QVariant stored = households_->value(kDoor);
        door = stored.isNull() ? QString() : stored.toString();
        if (door_->text() != door)
            door_->setText(door);
    }
    Criterion c = Criterion::equals(kDoor, door);
    c.andEquals(kMonth, month_->text());
    bill_->setBase(c);
    fixedLines_->setBase(c);
    meteredLines_->setBase(c);
    bill_->requery();
    fixedLines_->requery();
    meteredLines_->requery();
    grid1_->resizeColumnsToContents();
    grid2_->resizeColumnsToContents();
    lockPaidBill();
}

void BillEntryWindow::lockPaidBill()
{
    bool paid = false;
    try {
        paid = bill_->hasCurrent() && Criterion::valueIsTrue(bill_->value(QStringLiteral("缴费标志")));
    } catch (const StoreError&) {
        paid = true;  // unknown: nothing is offered for editing
    }
    for (QLineEdit* e : {charge_, cash_, paidOn_, monthBalance_})
        e->setReadOnly(paid);
    paid_->setEnabled(!paid);
}

void BillEntryWindow::showBill()
{
    if (showing_)
        return;
    showing_ = true;
    try {
        loadBill();
    } catch (const StoreError& e) {
        report(QStringLiteral("缴费记录未能读取"), e.message());
    }
    showing_ = false;
}

bool BillEntryWindow::checkMonth()
{
    if (checking_)
        return false;
    // Stricter than a date test of yyyy/mm: the month is a key, so exactly six digits.
    if (isValidMonthText(month_->text())) {
        showBill();
        return true;
    }
    checking_ = true;
    services_.prompter.inform(QStringLiteral("日期格式不正确"), services_.app.appTitle, Prompter::Icon::Information);
    month_->setFocus();
    checking_ = false;
    return false;
}

bool BillEntryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A message box or menu taking the focus is not the operator leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == month_)
                checkMonth();
            else if (watched == door_)
                showBill();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool BillEntryWindow::flushOwnEdits()
{
    if (!Binder::checkAll(this))
        return false;
    try {
        households_->update();
        bill_->updateBatch();
        return true;
    } catch (const StoreError& e) {
        report(QStringLiteral("修改未能保存"), e.message());
        return false;
    }
}

void BillEntryWindow::singleEntry()
{
    // A bill is never written under a month text that is not a month, nor while a
    // number box holds a text that is not a number (showing the bill would wipe it).
    if (!Binder::checkAll(this) || !checkMonth() || !flushOwnEdits())
        return;
    SingleEntry entry(services_);
    entry.setShowBill([this] { loadBill(); });
    const SingleEntry::Result r = entry.run(*households_, door_->text(), month_->text());
    if (r.reminded)
        note_->setFocus();
    if (r.outcome == SingleEntry::Outcome::Failed)
        report(QStringLiteral("单笔录入未完成，已录入的内容已保存"), r.error);
}

void BillEntryWindow::continuousEntry()
{
    if (!Binder::checkAll(this) || !checkMonth() || !flushOwnEdits())
        return;
    SingleEntry entry(services_);
    entry.setShowBill([this] { loadBill(); });
    ContinuousEntry run(entry, services_.prompter, services_.app);
    const ContinuousEntry::Result r = run.run(*households_, door_->text(), month_->text());
    if (r.outcome == ContinuousEntry::Outcome::Reminded)
        note_->setFocus();
    if (r.outcome == ContinuousEntry::Outcome::Failed)
        report(QStringLiteral("连续录入已停止，已录入的内容已保存"), r.error);
}

void BillEntryWindow::findDoor()
{
    if (!Binder::checkAll(this))
        return;
    const QVariant current = households_->value(kDoor);
    const std::optional<QString> answer = services_.prompter.input(
        QStringLiteral("请输入门牌号"), services_.app.appTitle, current.isNull() ? QString() : current.toString());
    try {
        if (!households_->find(Criterion::equals(kDoor, answer.value_or(QString())), RecordSet::Direction::Forward,
                               RecordSet::Start::First))
            services_.prompter.inform(QStringLiteral("无法找到,错误的门牌号!"), services_.app.appTitle,
                                      Prompter::Icon::Information);
        else if (door_->text() != households_->value(kDoor).toString())
            householdMoved();  // found where it stood: the door box still holds other text
    } catch (const StoreError& e) {
        report(QStringLiteral("档案未能保存"), e.message());
    }
}

bool BillEntryWindow::unload()
{
    if (!flushOwnEdits())
        return false;
    DataEnvironment& env = services_.data;
    for (RecordSet* rs : {&env.rs缴费历史(), &env.rs收费1(), &env.rs收费2()}) {
        try {
            rs->requery();
        } catch (const StoreError&) {
            // Another window's pending edit; that window reports it when it saves.
        }
    }
    try {
        env.rs档案().requery(true);
    } catch (const StoreError&) {
    }
    return true;
}

void BillEntryWindow::closeEvent(QCloseEvent* event)
{
    if (unload())
        event->accept();
    else
        event->ignore();
}
