#include "operations.h"

#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "charging/billentrywindow.h"
#include "charging/itemwindow.h"
#include "charging/readingsheetmodel.h"
#include "charging/readingsheetwindow.h"
#include "collection/collection.h"
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "estate.h"
#include "maintenance/cleanupwindow.h"
#include "records/householdwindow.h"
#include "shell/mainframe.h"
#include "shell/settingswindow.h"
#include "common/windowregistry.h"
#include "store/gridview.h"
#include "store/criterion.h"
#include "store/gridview.h"
#include "store/datafile.h"
#include "store/schema.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

namespace {

const QString kDoor = QStringLiteral("门牌号");
const QString kMonth = QStringLiteral("月份");

QString door(int i) { return QStringLiteral("01%1").arg(i, 2, 10, QLatin1Char('0')); }
QString renamedDoor() { return QStringLiteral("新-") + door(7); }

double opening(int i)
{
    static const double values[] = {0, 30, 100, -20};
    return values[i % 4];
}

// Types into a line edit as the operator does (textEdited reaches the binder).
void typeInto(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    box->insert(text);
}

bool find(RecordSet& rs, const QString& column, const QVariant& v)
{
    return rs.find(Criterion::equals(column, v), RecordSet::Direction::Forward, RecordSet::Start::First);
}

}  // namespace

Session::Session(const QString& folder) : Session(folder, DataFile::openExisting(DataFile::path(folder))) {}

Session::Session(const QString& folder, std::unique_ptr<Database> db) : folder_(folder)
{
    app.receiptName = QStringLiteral("测试小区");
    app.noticeText = QStringLiteral("请按时缴费");
    env_ = std::make_unique<DataEnvironment>(std::move(db), folder);
    Accounts::install(*env_, app, clock);
    services_.reset(new Services{*env_, prompter, app, opener, clock});
}

Session::~Session()
{
    services_.reset();
    env_.reset();
}

QHash<QString, double> openingBalances()
{
    QHash<QString, double> out;
    for (int i = 1; i <= 10; ++i)
        out.insert(door(i), opening(i));
    out.insert(renamedDoor(), opening(7));  // the household that "door rename" renames
    return out;
}

QString seedFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        TestEstate e;
        e.addItem(QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
        e.addItem(QStringLiteral("02"), QStringLiteral("水费"), 2.5, true, true);
        e.addItem(QStringLiteral("03"), QStringLiteral("卫生费"), 3.0, false, false, true);
        e.addOperator(QStringLiteral("收费员"), QStringLiteral("0000"), QStringLiteral("B"));
        Database& db = e.db();
        for (int i = 1; i <= 10; ++i) {
            const QString d = door(i);
            const double area = 80 + i;
            double balance = opening(i);
            e.addHousehold(d, QStringLiteral("住户%1").arg(i), area, 0.0, QString());
            // 202405 paid (odd doors 10 short), 202406 unpaid; 0102 paid 202406 from its credit.
            for (const QString& month : {QStringLiteral("202405"), QStringLiteral("202406")}) {
                const bool june = month.endsWith(QLatin1String("06"));
                const double previous = june ? 110 : 100, current = june ? 120 : 110;
                const double charge = 50 + (current - previous) * 2.5 + 3 * area;
                e.addFixedLine(d, month, QStringLiteral("01"), QStringLiteral("物业费"), 50.0);
                e.addFixedLine(d, month, QStringLiteral("03"), QStringLiteral("卫生费(按面积)"), 3 * area);
                e.addMeteredLine(d, month, QStringLiteral("02"), QStringLiteral("水费"), previous, current, 2.5,
                                 (current - previous) * 2.5);
                const bool paid = !june || i == 2;
                if (!paid) {
                    e.addBill(d, month, charge);
                    continue;
                }
                const double cash = june ? 0 : (i % 2 ? charge - 10 : charge);
                balance += cash - charge;
                const QString on = june ? QStringLiteral("2024-06-20") : QStringLiteral("2024-05-20");
                e.addBill(d, month, charge, true, cash, balance, on);
                db.exec(QStringLiteral("update 收费1 set 缴费时间 = ? where 门牌号 = ? and 月份 = ?"), {on, d, month});
                db.exec(QStringLiteral("update 收费2 set 缴费时间 = ? where 门牌号 = ? and 月份 = ?"), {on, d, month});
            }
            db.exec(QStringLiteral("update 档案库 set 账户余额 = ? where 门牌号 = ?"), {balance, d});
        }
        // The ledger begins with these balances, as for a file of an earlier version;
        // then 0106 pays June through the program, so that it can be reversed.
        db.execScript(QStringLiteral("drop table 账户流水; drop table 账务参数;"));
        Ledger::ensure(db);
        DataEnvironment& env = e.env();
        find(env.rs档案(), kDoor, door(6));
        for (RecordSet* rs : {&env.rs缴费历史(), &env.rs收费1(), &env.rs收费2()})
            rs->setFilter(Criterion::equals(kDoor, door(6)).andEquals(kMonth, QStringLiteral("202406")));
        e.prompter.yes();
        e.prompter.no();  // the credit stays
        e.prompter.type(QStringLiteral("300"));
        e.prompter.no();
        Collection(e.services()).collect(QString());
        e.close();
        const QString p = QDir(dir.path()).filePath(QStringLiteral("seed.dat"));
        QFile::copy(e.path(), p);
        return p;
    }();
    return path;
}

void copySeed(const QString& folder)
{
    const QString target = DataFile::path(folder);
    QFile::remove(target);
    QFile::copy(seedFile(), target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

QList<Operation> databaseOperations()
{
    QList<Operation> ops;

    // Re-entry of a paid bill: its charge goes back to the balance and it is unpaid again.
    ops.append({QStringLiteral("single entry"), Atomicity::Steps, {},
                [](Session& s, const std::function<void()>& arm) {
                    BillEntryWindow w(s.services());
                    w.monthBox()->setText(QStringLiteral("202406"));
                    w.doorBox()->setText(door(2));
                    s.prompter.yes();
                    for (const char* a : {"60", "135", "2.5", "3"})
                        s.prompter.type(QString::fromLatin1(a));
                    arm();
                    w.singleEntry();
                },
                [](Session& s) {
                    const QList<QVariantList> r = s.env().db().query(
                        QStringLiteral("select 缴费标志, 收费金额 from 缴费历史 where 门牌号 = ? and 月份 = '202406'"),
                        {door(2)});
                    return r.size() == 1 && r[0][0].toInt() == 0 &&
                           std::abs(r[0][1].toDouble() - (60 + 25 * 2.5 + 3 * 82)) < 0.001;
                }});

    ops.append({QStringLiteral("new bill entry"), Atomicity::Steps, {},
                [](Session& s, const std::function<void()>& arm) {
                    BillEntryWindow w(s.services());
                    w.monthBox()->setText(QStringLiteral("202407"));
                    w.doorBox()->setText(door(3));
                    for (const char* a : {"50", "131", "2.5", "3"})
                        s.prompter.type(QString::fromLatin1(a));
                    arm();
                    w.singleEntry();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select 收费金额 from 缴费历史 where 门牌号 = ? and 月份 = "
                                                              "'202407'"),
                                               {door(3)}).toDouble() > 0;
                }});

    ops.append({QStringLiteral("collection"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    PaymentWindow w(s.services());
                    w.setReceiptSink([](const ReceiptData&) {});
                    find(s.env().rs档案(), kDoor, door(4));
                    find(s.env().rs缴费历史(), kMonth, QStringLiteral("202406"));
                    s.prompter.yes();
                    s.prompter.type(QStringLiteral("200"));
                    s.prompter.no();
                    arm();
                    w.collect();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 门牌号 = ? and 月份 = "
                                                              "'202406'"),
                                               {door(4)}).toInt() == 1;
                }});

    ops.append({QStringLiteral("household deletion"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    HouseholdWindow w(s.services());
                    find(s.env().rs档案(), kDoor, door(5));
                    s.prompter.yes();
                    arm();
                    w.deleteHousehold();
                },
                [](Session& s) {
                    // Gone, with the closing movement that brings its ledger to 0.
                    Database& db = s.env().db();
                    return db.scalar(QStringLiteral("select count(*) from 档案库 where 门牌号 = ?"), {door(5)}).toInt() ==
                               0 &&
                           db.scalar(QStringLiteral("select count(*) from 账户流水 where 门牌号 = ? and 类别 = '销户' "
                                                    "and 余额 = 0"),
                                     {door(5)})
                                   .toInt() == 1;
                }});

    ops.append({QStringLiteral("item batch save"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    ItemWindow w(s.services());
                    RecordSet& items = s.env().rs项目();
                    items.moveTo(2);
                    w.deleteItem();
                    items.setValueAt(0, items.columnIndex(QStringLiteral("固定收费")), 55.0);
                    items.setValueAt(1, items.columnIndex(QStringLiteral("项目名")), QStringLiteral("水费（新）"));
                    items.addNew();
                    items.setValue(QStringLiteral("项目号"), QStringLiteral("04"));
                    items.setValue(QStringLiteral("项目名"), QStringLiteral("电梯费"));
                    items.setValue(QStringLiteral("固定收费"), 8.0);
                    arm();
                    w.unload();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 项目 where 项目号 = '04'")).toInt() ==
                           1;
                }});

    ops.append({QStringLiteral("settings save"), Atomicity::PerTable, {},
                [](Session& s, const std::function<void()>& arm) {
                    SettingsWindow w(s.services());
                    typeInto(w.receiptNameBox(), QStringLiteral("新小区名称"));
                    w.noticeBox()->setPlainText(QStringLiteral("请于每月十日前缴费"));
                    typeInto(w.operatorBox(), QStringLiteral("值班员"));
                    typeInto(w.passwordBox(), QStringLiteral("5678"));
                    w.levelBox()->setCurrentText(QStringLiteral("B"));
                    arm();
                    w.closeWindow();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 操作员 where 操作员 = '值班员'"))
                                   .toInt() == 1 &&
                           s.env().db().scalar(QStringLiteral("select 收据名称 from 广告")).toString() ==
                               QStringLiteral("新小区名称");
                }});

    // The month's run from the reading sheet, recomputing the eight unpaid bills of 202406.
    ops.append({QStringLiteral("month run"), Atomicity::Whole,
                {QStringLiteral("本月账单已生成：新建 0 户，重新计算 8 户。")},
                [](Session& s, const std::function<void()>& arm) {
                    ReadingSheetWindow w(s.services());
                    ReadingSheetModel* m = w.model();
                    for (int i = 0; i < m->rowCount(); ++i)
                        m->setData(m->index(i, ReadingSheetModel::Reading), QStringLiteral("125"), Qt::EditRole);
                    arm();
                    MonthPreviewDialog* d = w.openPreview();
                    if (!d)
                        return;
                    d->recomputeBox()->setChecked(true);
                    d->runButton()->click();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 收费2 where 月份 = '202406' and "
                                                              "本月数 = 125 and 上月数 = 110")).toInt() == 8;
                }});

    // 撤销本次账单 of that run, while nothing of it has changed.
    ops.append({QStringLiteral("month run undo"), Atomicity::Whole, {QStringLiteral("本次账单已撤销。")},
                [](Session& s, const std::function<void()>& arm) {
                    ReadingSheetWindow w(s.services());
                    s.prompter.yes();
                    arm();
                    w.undoButton()->click();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 收费2 where 月份 = '202406' and "
                                                              "本月数 = 125")).toInt() == 0 &&
                           s.env().db().scalar(QStringLiteral("select count(*) from 账单撤销")).toInt() == 0;
                },
                [](Session& s) {
                    findOperation(QStringLiteral("month run"))->run(s, [] {});
                }});

    ops.append({QStringLiteral("reversal"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    s.app.operatorLevel = QStringLiteral("A");
                    PaymentWindow w(s.services());
                    find(s.env().rs档案(), kDoor, door(6));
                    find(s.env().rs缴费历史(), kMonth, QStringLiteral("202406"));
                    s.prompter.type(QStringLiteral("收错了"));
                    s.prompter.yes();
                    arm();
                    w.reverse();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select 缴费标志 from 缴费历史 where 门牌号 = ? and 月份 = "
                                                              "'202406'"),
                                               {door(6)}).toInt() == 0;
                }});

    // A balance typed into the household window, saved when the grid moves on.
    ops.append({QStringLiteral("household balance"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    HouseholdWindow w(s.services());
                    find(s.env().rs档案(), kDoor, door(7));
                    typeInto(w.findChild<QLineEdit*>(QStringLiteral("txt账户余额")), QStringLiteral("77.5"));
                    arm();
                    const int row = s.env().rs档案().position();
                    w.grid()->setCurrentIndex(w.grid()->model()->index(row + 1, 0));
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {door(7)})
                               .toDouble() == 77.5;
                }});

    ops.append({QStringLiteral("cleanup"), Atomicity::Whole,
                {QStringLiteral("清理完毕，请关闭程序后重新打开程序！")},
                [](Session& s, const std::function<void()>& arm) {
                    CleanupWindow w(s.services());
                    w.firstBox()->setEditText(QStringLiteral("202405"));
                    w.lastBox()->setEditText(QStringLiteral("202405"));
                    s.prompter.yes();
                    arm();
                    w.runCleanup();
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = '202405'"))
                               .toInt() == 0;
                }});
    // "退出程序": every record set's pending edits in one transaction before the end.
    ops.append({QStringLiteral("exit save"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    const WindowRegistry none;
                    MainFrame frame(s.services(), none);
                    frame.quit = [] {};
                    find(s.env().rs档案(), kDoor, door(6));
                    s.env().rs档案().setValue(QStringLiteral("户名"), QStringLiteral("退出前改名"));
                    RecordSet& items = s.env().rs项目();
                    items.setValueAt(0, items.columnIndex(QStringLiteral("固定收费")), 66.0);
                    arm();
                    frame.dispatchKey(QStringLiteral("key2"));
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 档案库 where 户名 = '退出前改名'"))
                               .toInt() == 1;
                }});

    // A new door number typed over the old one: the household row (an optimistic
    // write) and its bills and lines move together when the cursor leaves the row.
    ops.append({QStringLiteral("door rename"), Atomicity::Whole, {},
                [](Session& s, const std::function<void()>& arm) {
                    HouseholdWindow w(s.services());
                    RecordSet& rs = s.env().rs档案();
                    find(rs, kDoor, door(7));
                    typeInto(w.doorBox(), renamedDoor());
                    arm();
                    w.grid()->selectRow(rs.position() + 1);
                },
                [](Session& s) {
                    return s.env().db().scalar(QStringLiteral("select count(*) from 缴费历史 where 门牌号 = ?"),
                                               {renamedDoor()})
                               .toInt() > 0;
                }});

    // The books check at log-in: the first writes its mark and triggers, a later one
    // moves the mark past the collection made since.
    const auto logInCheck = [](Session& s, const std::function<void()>& arm) {
        arm();
        QString problem;
        try {
            BooksCheck::atLogIn(s.env().db(), nullptr, &problem);
        } catch (const StoreError& e) {
            problem = e.message();
        }
        if (!problem.isEmpty())
            s.prompter.inform(BooksCheck::markFailureText(problem), QString(), Prompter::Icon::Critical);
    };
    ops.append({QStringLiteral("books check mark"), Atomicity::Whole, {}, logInCheck,
                [](Session& s) { return BooksCheck::sinceMark(s.env().db()).has_value(); }});
    ops.append({QStringLiteral("books check since mark"), Atomicity::Whole, {}, logInCheck,
                [](Session& s) {
                    return BooksCheck::sinceMark(s.env().db()).has_value() &&
                           s.env().db().scalar(QStringLiteral("select count(*) from 核对住户")).toInt() == 0;
                },
                [](Session& s) {
                    BooksCheck::runAndMark(s.env().db());
                    findOperation(QStringLiteral("collection"))->run(s, [] {});
                }});
    return ops;
}

const Operation* findOperation(const QString& name)
{
    static const QList<Operation> ops = databaseOperations();
    for (const Operation& op : ops)
        if (op.name == name)
            return &op;
    return nullptr;
}

Snapshot snapshot(Database& db)
{
    Snapshot out;
    QStringList tables = Schema::tables();
    if (Ledger::exists(db))
        tables << QStringLiteral("账户流水") << QStringLiteral("账务参数");
    // The books check's mark and what its triggers recorded since.
    for (const QString& t : {QStringLiteral("核对标记"), QStringLiteral("核对住户"), QStringLiteral("核对门牌"),
                             QStringLiteral("核对账单")})
        if (!Schema::columns(db, t).isEmpty())
            tables << t;
    for (const QString& table : tables) {
        // A collection's key is made afresh by every run of it.
        QStringList columns{QStringLiteral("rowid")};
        for (const Database::Column& c : db.columns(table))
            if (c.name != QStringLiteral("收款键"))
                columns << QStringLiteral("\"%1\"").arg(c.name);
        QStringList rows;
        for (const QVariantList& row : db.query(
                 QStringLiteral("select %1 from \"%2\" order by rowid").arg(columns.join(QStringLiteral(", ")), table))) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
            rows << cells.join(QChar(0x1f));
        }
        out.insert(table, rows);
    }
    return out;
}

Snapshot snapshotBefore(const Operation& op)
{
    QTemporaryDir dir;
    copySeed(dir.path());
    if (op.setUp) {
        Session s(dir.path());
        op.setUp(s);
    }
    return snapshot(*DataFile::openExisting(DataFile::path(dir.path())));
}

QStringList invariantFaults(Database& db, bool checkBalances)
{
    QStringList faults;
    const QString integrity = db.engine() == Database::Engine::File
                                  ? db.scalar(QStringLiteral("PRAGMA integrity_check")).toString()
                                  : QStringLiteral("ok");
    if (integrity != QLatin1String("ok"))
        faults << QStringLiteral("integrity_check: ") + integrity;

    auto list = [&](const QString& what, const QString& sql) {
        for (const QVariantList& r : db.query(sql)) {
            QStringList cells;
            for (const QVariant& v : r)
                cells << v.toString();
            faults << what + QStringLiteral(": ") + cells.join(QLatin1Char('/'));
        }
    };
    list(QStringLiteral("paid bill without its stamps"),
         QStringLiteral("select 门牌号, 月份 from 缴费历史 where coalesce(缴费标志, 0) <> 0 and "
                        "(缴费时间 is null or 实缴金额 is null or 账户余额 is null)"));
    for (const QString& lines : {QStringLiteral("收费1"), QStringLiteral("收费2")}) {
        list(QStringLiteral("undated line of a paid bill in ") + lines,
             QStringLiteral("select b.门牌号, b.月份 from 缴费历史 b join %1 l on l.门牌号 = b.门牌号 and l.月份 = b.月份 "
                            "where coalesce(b.缴费标志, 0) <> 0 and l.缴费时间 is null")
                 .arg(lines));
        list(QStringLiteral("line without its bill in ") + lines,
             QStringLiteral("select 门牌号, 月份 from %1 l where not exists (select 1 from 缴费历史 b where "
                            "b.门牌号 = l.门牌号 and b.月份 = l.月份)")
                 .arg(lines));
    }
    list(QStringLiteral("bill without its household"),
         QStringLiteral("select 门牌号, 月份 from 缴费历史 where 门牌号 not in (select 门牌号 from 档案库)"));
    list(QStringLiteral("two bills of one month"),
         QStringLiteral("select 门牌号, 月份 from 缴费历史 group by 门牌号, 月份 having count(*) > 1"));

    // The ledger agrees with every balance and paid bill.
    if (Ledger::exists(db))
        for (const BooksCheck::Mismatch& m : BooksCheck::run(db))
            faults << QStringLiteral("books: %1 %2 %3, balance %4, ledger %5")
                          .arg(m.door, m.month, m.note)
                          .arg(m.stored)
                          .arg(m.ledger);
    // A mark left by any write, whole or interrupted, gives the full check's answer.
    if (Ledger::exists(db))
        if (const std::optional<QList<BooksCheck::Mismatch>> since = BooksCheck::sinceMark(db))
            if (since->isEmpty() != BooksCheck::run(db).isEmpty())
                faults << QStringLiteral("books: the check since the mark disagrees with the full check");

    if (checkBalances) {
        const QHash<QString, double> opening = openingBalances();
        for (const QVariantList& r : db.query(QStringLiteral(
                 "select h.门牌号, h.账户余额, (select coalesce(sum(coalesce(实缴金额, 0) - coalesce(收费金额, 0)), 0) "
                 "from 缴费历史 b where b.门牌号 = h.门牌号 and coalesce(b.缴费标志, 0) <> 0) from 档案库 h"))) {
            const QString d = r[0].toString();
            const double expected = opening.value(d) + r[2].toDouble();
            if (std::abs(r[1].toDouble() - expected) > 0.005)
                faults << QStringLiteral("balance of %1 is %2, opening plus settlements %3")
                              .arg(d)
                              .arg(r[1].toDouble())
                              .arg(expected);
        }
    }
    return faults;
}

QStringList collectionFaults(Database& db)
{
    QStringList faults;
    const QList<QVariantList> bill = db.query(
        QStringLiteral("select coalesce(b.缴费标志, 0), b.缴费时间, b.实缴金额, b.账户余额, h.账户余额 from 缴费历史 b "
                       "join 档案库 h on h.门牌号 = b.门牌号 where b.门牌号 = ? and b.月份 = '202406'"),
        {door(4)});
    if (bill.size() != 1)
        return {QStringLiteral("the bill of 0104 202406 is missing")};
    const QVariantList& b = bill[0];
    const int dated = db.scalar(QStringLiteral("select (select count(*) from 收费1 where 门牌号 = ?1 and 月份 = '202406' "
                                               "and 缴费时间 = '2024-07-15') + (select count(*) from 收费2 where "
                                               "门牌号 = ?1 and 月份 = '202406' and 缴费时间 = '2024-07-15')"),
                                {door(4)})
                          .toInt();
    if (b[0].toInt()) {
        if (b[1].toString() != QLatin1String("2024-07-15") || b[2].toDouble() != 200 ||
            std::abs(b[3].toDouble() - b[4].toDouble()) > 0.005 || dated != 3)
            faults << QStringLiteral("bill paid in part: date %1 cash %2 balance %3/%4, %5 of 3 lines dated")
                          .arg(b[1].toString(), b[2].toString(), b[3].toString(), b[4].toString())
                          .arg(dated);
    } else if (!b[1].isNull() || dated != 0) {
        faults << QStringLiteral("unpaid bill with a payment date or %1 dated lines").arg(dated);
    }
    return faults;
}

QStringList informsAfter(const ScriptedPrompter& p, int from)
{
    QStringList out;
    for (int i = from; i < p.boxes().size(); ++i)
        if (p.boxes()[i].kind == ScriptedPrompter::Kind::Inform)
            out << p.boxes()[i].text;
    return out;
}
