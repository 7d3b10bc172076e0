// Times the queries on a large estate (5,000 households, 36 months, 10 items).
// Not a test: run by hand, `bench_queries [folder]`; the estate is generated once
// into the folder and reused.
#include "queries/allitemsquery.h"
#include "queries/itemquery.h"
#include "queries/queryexport.h"
#include "store/database.h"
#include "store/datafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QString monthOf(int i)
{
    return QStringLiteral("%1%2").arg(2022 + i / 12).arg(i % 12 + 1, 2, 10, QLatin1Char('0'));
}

void generate(const QString& path)
{
    auto db = DataFile::create(path, {QStringLiteral("管理员"), QStringLiteral("1"), QStringLiteral("小区"), QString()});
    Transaction t(*db);
    for (int k = 0; k < 10; ++k)
        db->exec(QStringLiteral("insert into 项目 (项目号, 项目名, 项目标志, 固定收费, 计算标志, 按面积) values (?, ?, ?, ?, ?, 0)"),
                 {QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0')), QStringLiteral("项目%1").arg(k + 1),
                  k < 5 ? 1 : 0, 10.0 + k, k < 5 ? 1 : 0});
    for (int h = 0; h < 5000; ++h) {
        const QString door = QStringLiteral("%1-%2-%3").arg(h / 500 + 1).arg(h / 100 % 5 + 1).arg(h % 100 + 101);
        db->exec(QStringLiteral("insert into 档案库 (门牌号, 户名, 账户余额, 面积) values (?, ?, 0, 90)"),
                 {door, QStringLiteral("住户%1").arg(h)});
        for (int m = 0; m < 36; ++m) {
            const QString month = monthOf(m);
            const bool paid = m < 30 || (h + m) % 3;
            double sum = 0;
            for (int k = 0; k < 10; ++k) {
                const QString no = QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0'));
                if (k < 5) {
                    const double prev = 100.0 * m, cur = prev + 5 + (h + k) % 20;
                    const double amount = (cur - prev) * (1.5 + k);
                    sum += amount;
                    db->exec(QStringLiteral("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额, 缴费时间) "
                                            "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                             {door, month, no, QStringLiteral("项目%1").arg(k + 1), prev, cur, 1.5 + k, amount,
                              paid ? QVariant(QStringLiteral("%1-15").arg(month.left(4) + "-" + month.right(2))) : QVariant()});
                } else {
                    sum += 10 + k;
                    db->exec(QStringLiteral("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额, 缴费时间) values (?, ?, ?, ?, ?, ?)"),
                             {door, month, no, QStringLiteral("项目%1").arg(k + 1), 10.0 + k,
                              paid ? QVariant(QStringLiteral("%1-15").arg(month.left(4) + "-" + month.right(2))) : QVariant()});
                }
            }
            db->exec(QStringLiteral("insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志) "
                                    "values (?, ?, ?, ?, 0, ?, ?)"),
                     {door, month, sum, paid ? QVariant(sum) : QVariant(),
                      paid ? QVariant(QStringLiteral("%1-15").arg(month.left(4) + "-" + month.right(2))) : QVariant(),
                      paid ? 1 : 0});
        }
    }
    t.commit();
    db->execScript(QStringLiteral("ANALYZE"));
}

double median(std::function<void()> f, int runs = 5)
{
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer c;
        c.start();
        f();
        ms << c.nsecsElapsed() / 1e6;
    }
    std::sort(ms.begin(), ms.end());
    return ms[runs / 2];
}

// Steps a statement to its end, reading every column, without building texts.
qint64 bare(Database& db, const QString& sql, const QVariantList& binds)
{
    Statement st = db.prepare(sql);
    st.bindAll(binds);
    qint64 n = 0;
    while (st.step()) {
        for (int i = 0; i < st.columnCount(); ++i)
            st.value(i);
        ++n;
    }
    return n;
}

// The listing as the window once issued it: one bill statement per household,
// one line statement per bill (prepared once, rebound).
qint64 perHousehold(Database& db, const QString& item, const QString& first, const QString& last)
{
    qint64 n = 0;
    const QList<QVariantList> households = db.query(QStringLiteral("select 门牌号, 户名 from 档案库 order by ID"));
    for (const QVariantList& h : households) {
        const QList<QVariantList> bills = db.query(
            QStringLiteral("select * from 缴费历史 where 门牌号 = ? and 月份 >= ? and 月份 <= ? order by 月份"),
            {h[0], first, last});
        for (const QVariantList& b : bills) {
            db.query(QStringLiteral("select * from 收费2 where 门牌号 = ? and 项目号 = ? and 月份 = ?"), {h[0], item, b[2]});
            ++n;
        }
    }
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/fenwary-bench";
    QDir().mkpath(folder);
    const QString path = DataFile::path(folder);
    if (!QFileInfo::exists(path)) {
        QElapsedTimer c;
        c.start();
        generate(path);
        std::printf("generated %s in %.1f s\n", qPrintable(path), c.elapsed() / 1000.0);
    }
    auto db = DataFile::openExisting(path);
    const QueryRange year{QString(), QStringLiteral("202401"), QStringLiteral("202412")};
    const QueryRange building{QStringLiteral("3"), QStringLiteral("202401"), QStringLiteral("202412")};
    const ChargeItem metered{QStringLiteral("01"), QStringLiteral("项目1"), true};
    const ChargeItem fixed{QStringLiteral("07"), QStringLiteral("项目7"), false};
    qint64 rows = 0;

    auto report = [](const char* what, double ms, const qint64& n) {
        std::printf("%-52s %8.1f ms  %7lld rows\n", what, ms, n);
    };
    auto timed = [&](const char* what, const std::function<void()>& f, const qint64& n, int runs = 5) {
        const double ms = median(f, runs);
        report(what, ms, n);
    };
    if (argc > 3) {  // bench_queries <folder> "<statement>" time: its median, months bound as ?1 ?2, item as ?3
        const QString sql = QString::fromUtf8(argv[2]);
        qint64 n = 0;
        QVariantList binds{year.first, year.last, metered.number};
        binds = binds.mid(0, sql.count(u'?'));
        timed("statement", [&] { n = bare(*db, sql, binds); }, n);
        return 0;
    }
    if (argc > 2) {  // bench_queries <folder> "<statement>": its query plan
        for (const QVariantList& r : db->query(QStringLiteral("explain query plan ") + QString::fromUtf8(argv[2])))
            std::printf("%s\n", qPrintable(r.value(3).toString()));
        return 0;
    }
    timed("all-items C, 12 months", [&] { rows = AllItemsQuery(*db).run("C", year)->rowCount(); }, rows);
    timed("all-items B, 12 months", [&] { rows = AllItemsQuery(*db).run("B", year)->rowCount(); }, rows);
    timed("all-items C, building 3", [&] { rows = AllItemsQuery(*db).run("C", building)->rowCount(); }, rows);
    timed("item metered 开始查询, 12 months", [&] { rows = ItemQuery(*db).run(ItemQuery::Variant::Details, metered, "x", year)->rowCount(); }, rows);
    timed("item fixed 已缴统计, 12 months", [&] { rows = ItemQuery(*db).run(ItemQuery::Variant::Paid, fixed, "x", year)->rowCount(); }, rows);
    timed("item metered 开始查询, building 3", [&] { rows = ItemQuery(*db).run(ItemQuery::Variant::Details, metered, "x", building)->rowCount(); },
           rows);

    qint64 n = 0;
    timed("bare: all-items listing statement", [&] {
               n = bare(*db,
                        QStringLiteral("select b.门牌号, h.户名, b.月份, b.收费金额, b.实缴金额, b.账户余额, b.缴费标志, b.缴费时间 "
                                       "from 缴费历史 b left join 档案库 h on h.门牌号 = b.门牌号 "
                                       "where b.门牌号 like ?1 escape '\\' and b.月份 >= ?2 and b.月份 <= ?3 "
                                       "order by b.门牌号, b.月份 desc"),
                        {QStringLiteral("%"), year.first, year.last});
           },
           n);
    timed("bare: all-items listing, plain select (no join)", [&] {
               n = bare(*db,
                        QStringLiteral("select * from 缴费历史 where 门牌号 like ? and 月份 >= ? and 月份 <= ? "
                                       "order by 门牌号, 月份 desc"),
                        {QStringLiteral("%"), year.first, year.last});
           },
           n);
    timed("bare: all-items totals", [&] {
               n = bare(*db,
                        QStringLiteral("select sum(收费金额),sum(实缴金额),sum(账户余额) from 缴费历史 where 月份 >= ? and 月份 <= ?"),
                        {year.first, year.last});
           },
           n);
    timed("bare: item listing join (metered)", [&] {
               n = bare(*db,
                        QStringLiteral("select h.门牌号, h.户名, b.ID, b.缴费时间, l.ID, l.月份, l.收费金额, l.上月数, l.本月数, l.单价, h.ID "
                                       "from 档案库 h "
                                       "left join 缴费历史 b on b.门牌号 = h.门牌号 and b.月份 >= ?1 and b.月份 <= ?2 "
                                       "left join 收费2 l on l.ID = (select min(x.ID) from 收费2 x "
                                       "where x.门牌号 = b.门牌号 and x.项目号 = ?3 and x.月份 = b.月份) "
                                       "where ?4 = 0 or h.门牌号 like ?5 escape '\\' order by h.ID, b.月份, b.ID"),
                        {year.first, year.last, metered.number, 0, QStringLiteral("%")});
           },
           n);
    timed("bare: item listing per household and bill (metered)", [&] { n = perHousehold(*db, metered.number, year.first, year.last); }, n, 3);

    std::optional<QueryTable> t = AllItemsQuery(*db).run("C", year);
    timed("export lines of the all-items table", [&] { rows = int(QueryExport::lines(*t).size()); }, rows);
    return 0;
}
