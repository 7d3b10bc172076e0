#include "shell/demoestate.h"

#include "common/dates.h"
#include "store/database.h"
#include "store/datafile.h"

#include <QVariant>
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

QString itemName(const Item& it)
{
    QString n = QString::fromUtf8(it.name);
    if (it.byArea)
        n += QStringLiteral("(按面积)");
    return n;
}

}  // namespace

QStringList DemoEstate::months(const QDate& today)
{
    const QDate first(today.year(), today.month(), 1);
    return {monthKey(first.addMonths(-3)), monthKey(first.addMonths(-2)), monthKey(first.addMonths(-1))};
}

void DemoEstate::fill(Database& db, const QDate& today)
{
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, 'A')"), {adminName(), password()});
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, 'B')"), {clerkName(), password()});
    db.exec(QStringLiteral("insert into 广告 (收据名称, 广告) values (?, ?)"),
            {receiptName(), QStringLiteral("请于每月25日前缴清上月费用。本小区数据均为演示数据。")});

    for (const Item& it : kItems)
        db.exec(QStringLiteral("insert into 项目 (项目号, 项目名, 项目标志, 固定收费, 计算标志, 按面积) values (?, ?, ?, ?, ?, ?)"),
                {QString::fromUtf8(it.no), QString::fromUtf8(it.name), it.metered ? 1 : 0, it.price,
                 it.computed ? 1 : 0, it.byArea ? 1 : 0});

    const QStringList billMonths = months(today);
    const QString note = QStringLiteral("物业费%1年12月到期").arg(today.year());
    const QString template_ = QStringLiteral("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:");

    int h = 0;
    for (int building = 1; building <= 3; ++building) {
        for (int floor = 1; floor <= 3; ++floor) {
            for (int unit = 1; unit <= 2; ++unit, ++h) {
                const QString door = QStringLiteral("%1-%2%3").arg(building).arg(floor).arg(unit, 2, 10, QLatin1Char('0'));
                const double area = kAreas[(h * 5 + building) % 6];
                const int spots = h % 3 == 0 ? 1 : 0;
                double meters[2] = {120.0 + h * 17, 2300.0 + h * 131};
                double balance = h % 6 == 4 ? 200 : 0;  // one in six paid in advance
                const QString phone = QStringLiteral("139%1").arg(10000000 + h * 7919 % 90000000, 8, 10, QLatin1Char('0'));

                for (int m = 0; m < billMonths.size(); ++m) {
                    const QString month = billMonths[m];
                    // Paid: every household for the first month, all but a few for
                    // the second, about half for the last.
                    const bool paid = m == 0 || (m == 1 && h % 7 != 3) || (m == 2 && h % 2 == 0);
                    const QDate due = QDate::fromString(month + QStringLiteral("01"), QStringLiteral("yyyyMMdd"))
                                          .addMonths(1)
                                          .addDays(4 + h % 15);
                    const QString paidOn = paid ? isoDate(std::min(due, today)) : QString();
                    const QVariant stamp = paid ? QVariant(paidOn) : QVariant();

                    double total = 0;
                    QList<std::pair<QString, QVariantList>> lines;
                    for (const Item& it : kItems) {
                        const QString no = QString::fromUtf8(it.no);
                        if (!it.computed) {
                            const double amount = it.byArea ? it.price * area : it.price;
                            total += amount;
                            lines.append({QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额, 缴费时间) "
                                                         "values (?, ?, ?, ?, ?, ?)"),
                                          {door, month, no, itemName(it), amount, stamp}});
                            continue;
                        }
                        double previous = 0;
                        double current = spots;
                        if (it.metered) {
                            double& meter = meters[it.meter];
                            previous = meter;
                            meter += it.meter == 0 ? 6 + (h * 3 + m * 5) % 9 : 95 + (h * 37 + m * 53) % 120;
                            current = meter;
                        }
                        double amount = (current - previous) * it.price;
                        if (it.byArea)
                            amount *= area;
                        total += amount;
                        lines.append({QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, "
                                                     "收费金额, 缴费时间) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                      {door, month, no, itemName(it), previous, current, it.price, amount, stamp}});
                    }
                    for (const auto& [sql, binds] : lines)
                        db.exec(sql, binds);

                    QVariant cash = 0.0;
                    QVariant after;
                    if (paid) {
                        const double owed = total - balance;
                        double c = 0;
                        if (owed > 0)
                            c = h % 5 == 2 ? std::floor(owed / 10) * 10 : std::ceil(owed / 10) * 10;
                        balance = balance + c - total;
                        cash = c;
                        after = balance;
                    }
                    db.exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志, 其他说明) "
                                           "values (?, ?, ?, ?, ?, ?, ?, ?)"),
                            {door, month, total, cash, after, paid ? QVariant(paidOn) : QVariant(), paid ? 1 : 0,
                             h % 4 == 1 ? note : QString()});
                }

                db.exec(QStringLiteral("insert into 档案库 (门牌号, 户名, 联系电话, 单位, 籍贯, 账户余额, 面积, 其他信息, 收费说明) "
                                       "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                        {door, QString::fromUtf8(kNames[h]), phone, QStringLiteral("本市"), QStringLiteral("本市"),
                         balance, area, template_, h % 4 == 1 ? note : QString()});
            }
        }
    }
}

std::unique_ptr<Database> DemoEstate::create(const QString& path, const QDate& today)
{
    return DataFile::createWith(path, [&](Database& db) { fill(db, today); });
}
