#include "shell/demoestate.h"

#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "charging/billlines.h"
#include "collection/collection.h"
#include "common/dates.h"
#include "common/fileopener.h"
#include "common/numbers.h"
#include "common/prompter.h"
#include "common/services.h"
#include "shell/passwordhash.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"
#include "store/datamove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace {

struct Item {
    const char* no;
    const char* name;
    double price;
    bool computed;  // 计算标志: quantity x price, lines in 收费2
    bool metered;   // 项目标志: has a previous reading
    bool byArea;    // 按面积
    int meter;      // which meter a metered item reads: 0 water, 1 electricity
};

const Item kItems[] = {
    {"01", "物业管理费", 1.5, false, false, true, -1},
    {"02", "卫生费", 10, false, false, false, -1},
    {"03", "水费", 3.2, true, true, false, 0},
    {"04", "电费", 0.56, true, true, false, 1},
    {"05", "车位费", 120, true, false, false, -1},
};

const char* const kNames[] = {"王建国", "李秀英", "张伟",   "刘芳",   "陈志强", "杨丽",
                              "赵磊",   "黄敏",   "周杰",   "吴静",   "徐明",   "孙燕",
                              "马军",   "朱红",   "胡斌",   "郭玉兰", "林涛",   "何晓梅"};
const double kAreas[] = {68.5, 85.5, 92, 110.25, 126, 143.8};

}  // namespace

QStringList DemoEstate::months(const QDate& today)
{
    const QDate first(today.year(), today.month(), 1);
    return {monthKey(first.addMonths(-3)), monthKey(first.addMonths(-2)), monthKey(first.addMonths(-1))};
}

namespace {

// One household of the demo: where it stands and how it uses its meters.
struct DemoHousehold {
    int h = 0;
    QString door;
    double area = 0;
    QString note;
};

QList<DemoHousehold> demoHouseholds(const QDate& today)
{
    QList<DemoHousehold> out;
    const QString note = QStringLiteral("物业费%1年12月到期").arg(today.year());
    int h = 0;
    for (int building = 1; building <= 3; ++building)
        for (int floor = 1; floor <= 3; ++floor)
            for (int unit = 1; unit <= 2; ++unit, ++h)
                out.append({h, QStringLiteral("%1-%2%3").arg(building).arg(floor).arg(unit, 2, 10, QLatin1Char('0')),
                            kAreas[(h * 5 + building) % 6], h % 4 == 1 ? note : QString()});
    return out;
}

// What the meter reader and the clerk would answer for one household's bill. The
// meters are new: the first month's reading is its usage.
class DemoReadings : public BillAnswers {
public:
    DemoReadings(int h, int m) : h_(h), m_(m) {}
    double reading(const BillItem& item, double previous) override
    {
        const bool water = item.no.toString() == QLatin1String("03");
        return previous + (water ? 6 + (h_ * 3 + m_ * 5) % 9 : 95 + (h_ * 37 + m_ * 53) % 120);
    }
    double correctedPrevious(const BillItem&, double previous) override { return previous; }
    double quantity(const BillItem&) override { return h_ % 3 == 0 ? 1 : 0; }
    double price(const BillItem& item) override { return storedNumber(item.fixed); }
    double amount(const BillItem& item) override { return storedNumber(item.fixed); }

private:
    int h_, m_;
};

// The clerk at the payment window: takes the household's credit when it has some,
// hands over `cash` when asked for it, prints no receipt.
class DemoCashier : public Prompter {
public:
    double cash = 0;
    void inform(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString& text, const QString&, Default, Icon) override
    {
        return !text.startsWith(QStringLiteral("是否打印"));
    }
    bool askOkCancel(const QString&, const QString&, Default, Icon) override { return true; }
    std::optional<QString> input(const QString&, const QString&, const QString&) override
    {
        return QString::number(cash, 'f', 2);
    }
};

class NoFileOpener : public FileOpener {
public:
    void open(const QString&) override {}
};

}  // namespace

void DemoEstate::fillBase(Database& db, const QDate& today)
{
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, 'A')"), {adminName(), password()});
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, 'B')"), {clerkName(), password()});
    db.exec(QStringLiteral("insert into 广告 (收据名称, 广告) values (?, ?)"),
            {receiptName(), QStringLiteral("请于每月25日前缴清上月费用。本小区数据均为演示数据。")});

    for (const Item& it : kItems)
        db.exec(QStringLiteral("insert into 项目 (项目号, 项目名, 项目标志, 固定收费, 计算标志, 按面积) values (?, ?, ?, ?, ?, ?)"),
                {QString::fromUtf8(it.no), QString::fromUtf8(it.name), it.metered ? 1 : 0, it.price,
                 it.computed ? 1 : 0, it.byArea ? 1 : 0});

    const QString template_ = QStringLiteral("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:");
    for (const DemoHousehold& d : demoHouseholds(today)) {
        const QString phone =
            QStringLiteral("139%1").arg(10000000 + d.h * 7919 % 90000000, 8, 10, QLatin1Char('0'));
        // One in six paid in advance: the ledger opens with that balance.
        db.exec(QStringLiteral("insert into 档案库 (门牌号, 户名, 联系电话, 单位, 籍贯, 账户余额, 面积, 其他信息, 收费说明) "
                               "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {d.door, QString::fromUtf8(kNames[d.h]), phone, QStringLiteral("本市"), QStringLiteral("本市"),
                 d.h % 6 == 4 ? 200.0 : 0.0, d.area, template_, d.note});
    }
}

void DemoEstate::run(DataEnvironment& env, const QDate& today)
{
    Database& db = env.db();
    const QStringList billMonths = months(today);
    const QList<DemoHousehold> households = demoHouseholds(today);
    const QDate firstBilled = QDate::fromString(billMonths.first() + QStringLiteral("01"), QStringLiteral("yyyyMMdd"));

    FixedClock clock(firstBilled.addMonths(1));
    AppContext app;
    app.operatorName = clerkName();
    app.operatorLevel = QStringLiteral("B");
    DemoCashier cashier;
    NoFileOpener opener;
    Services services{env, cashier, app, opener, clock};
    Accounts::install(env, app, clock);
    const QList<BillItem> items = chargeItems(env.rs项目());

    for (int m = 0; m < billMonths.size(); ++m) {
        const QString month = billMonths[m];
        const QDate billed = QDate::fromString(month + QStringLiteral("01"), QStringLiteral("yyyyMMdd")).addMonths(1);
        // The month's bills, written as the month's run writes them.
        QList<std::pair<QDate, std::pair<DemoHousehold, qint64>>> toCollect;
        {
            Transaction t(db);
            for (const DemoHousehold& d : households) {
                DemoReadings readings(d.h, m);
                const qint64 billId = writeBill(db, d.door, month, d.note, d.area, 0, items, readings);
                // Paid: every household for the first month, all but a few for the
                // second, about half for the last.
                const bool paid = m == 0 || (m == 1 && d.h % 7 != 3) || (m == 2 && d.h % 2 == 0);
                if (paid)
                    toCollect.append({std::min(billed.addDays(4 + d.h % 15), today), {d, billId}});
            }
            t.commit();
        }
        std::stable_sort(toCollect.begin(), toCollect.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });

        // Collected at the payment window on the day each household came.
        for (const auto& [day, bill] : toCollect) {
            const auto& [d, billId] = bill;
            clock.set(day);
            clock.setTime(QTime(9, 0).addSecs(60 * d.h));
            const double charge = storedNumber(db.scalar(QStringLiteral("select 收费金额 from 缴费历史 where ID = ?"), {billId}));
            const double balance = storedNumber(
                db.scalar(QStringLiteral("select 账户余额 from 档案库 where 门牌号 = ?"), {d.door}));
            const double owed = charge - balance;
            cashier.cash = owed > 0 ? (d.h % 5 == 2 ? std::floor(owed / 10) * 10 : std::ceil(owed / 10) * 10) : 0;
            if (!env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), d.door), RecordSet::Direction::Forward,
                                   RecordSet::Start::First) ||
                !env.rs缴费历史().moveToBookmark(billId))
                throw StoreError(0, QStringLiteral("演示账单 %1 %2 找不到").arg(d.door, month));
            if (!Collection(services).collect(d.note).settled)
                throw StoreError(0, QStringLiteral("演示账单 %1 %2 没有收费").arg(d.door, month));
        }
    }
}

std::unique_ptr<Database> DemoEstate::create(const QString& path, const QDate& today)
{
    if (QFileInfo::exists(path))
        throw StoreError(0, QStringLiteral("数据库文件已存在: %1").arg(path));
    // Built under a name of its own and renamed into place when complete.
    const QString building = path + QStringLiteral(".demo");
    DataFile::removeWithLogs(building);
    try {
        auto db = DataFile::createWith(building, [&](Database& d) { fillBase(d, today); });
        DataEnvironment env(std::move(db), QFileInfo(path).absolutePath());
        run(env, today);
    } catch (...) {
        DataFile::removeWithLogs(building);
        throw;
    }
    if (!QFile::rename(building, path)) {
        DataFile::removeWithLogs(building);
        throw StoreError(0, QStringLiteral("无法建立数据库文件: %1").arg(path));
    }
    return DataFile::openExisting(path);
}

void DemoEstate::createOn(Database& server, const QString& folder, const QDate& today)
{
    const QString path = QDir(folder).filePath(QStringLiteral("演示小区.dat"));
    DataFile::removeWithLogs(path);
    try {
        std::unique_ptr<Database> file = create(path, today);
        DataMove::toServer(*file, server, BooksCheck::markTables(),
                           [&server](const QString& table) { PasswordHash::hashOnCopy(server, table); });
    } catch (...) {
        DataFile::removeWithLogs(path);
        throw;
    }
    DataFile::removeWithLogs(path);
}
