#include "bench/estategenerator.h"

#include "common/dates.h"
#include "store/database.h"
#include "store/datafile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <map>

// QCOMPARE compares doubles fuzzily; amounts must agree to the last bit.
#define COMPARE_EXACT(actual, expected)                                                                       \
    do {                                                                                                      \
        const double a_ = (actual), e_ = (expected);                                                          \
        QVERIFY2(a_ == e_, qPrintable(QString::number(a_, 'g', 17) + " != " + QString::number(e_, 'g', 17))); \
    } while (false)

namespace {

EstateOptions small(int households = 60, int months = 7)
{
    EstateOptions o;
    o.households = households;
    o.months = months;
    o.endMonth = QStringLiteral("202402");  // spans a year end
    return o;
}

// A digest of every row of the tables that the generator fills.
QByteArray digest(Database& db)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const char* sql : {"select * from 档案库 order by ID", "select * from 项目 order by 项目号",
                            "select * from 缴费历史 order by ID", "select * from 收费1 order by ID",
                            "select * from 收费2 order by ID", "select * from 操作员", "select * from 广告"})
        for (const QVariantList& row : db.query(QString::fromUtf8(sql)))
            for (const QVariant& v : row)
                h.addData((v.isNull() ? QStringLiteral("<null>") : v.toString() + QLatin1Char('|')).toUtf8());
    return h.result();
}

}  // namespace

class TestEstateGenerator : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        EstateGenerator gen(small());
        db_ = gen.create(dir_.path());
        counts_ = gen.written();
        months_ = gen.months();
    }

    void rowsPerTable()
    {
        QCOMPARE(months_, QStringList({"202308", "202309", "202310", "202311", "202312", "202401", "202402"}));
        const qint64 bills = 60 * 7;
        QCOMPARE(db_->scalar("select count(*) from 档案库").toLongLong(), 60);
        QCOMPARE(db_->scalar("select count(distinct 门牌号) from 档案库").toLongLong(), 60);
        QCOMPARE(db_->scalar("select count(*) from 项目").toLongLong(), 10);
        QCOMPARE(db_->scalar("select count(*) from 缴费历史").toLongLong(), bills);
        QCOMPARE(db_->scalar("select count(distinct 门牌号 || '/' || 月份) from 缴费历史").toLongLong(), bills);
        // Every bill has one line per item: six fixed, four quantity or metered.
        QCOMPARE(db_->scalar("select count(*) from 收费1").toLongLong(), bills * 6);
        QCOMPARE(db_->scalar("select count(*) from 收费2").toLongLong(), bills * 4);
        QCOMPARE(db_->scalar("select count(distinct 门牌号 || '/' || 月份 || '/' || 项目号) from "
                             "(select 门牌号, 月份, 项目号 from 收费1 union all select 门牌号, 月份, 项目号 from 收费2)")
                     .toLongLong(),
                 bills * 10);
        QCOMPARE(counts_.bills, bills);
        QCOMPARE(counts_.fixedLines + counts_.meteredLines, bills * 10);
        QCOMPARE(db_->query("select 操作员, 密码, 操作级别 from 操作员 order by 操作级别"),
                 QList<QVariantList>({{"管理员", "1234", "A"}, {"收费员", "1234", "B"}}));
        QCOMPARE(db_->scalar("select count(*) from 广告").toLongLong(), 1);
        // The lookup indexes are back after the bulk load.
        QCOMPARE(db_->scalar("select count(*) from sqlite_master where type = 'index' and "
                             "tbl_name in ('缴费历史', '收费1', '收费2')")
                     .toLongLong(),
                 6);
    }

    void households()
    {
        const QRegularExpression door(QStringLiteral("^\\d+-\\d-\\d{4}$"));
        int notes = 0;
        for (const QVariantList& r : db_->query("select 门牌号, 户名, 面积, 收费说明 from 档案库")) {
            QVERIFY2(door.match(r[0].toString()).hasMatch(), qPrintable(r[0].toString()));
            QVERIFY(!r[1].toString().isEmpty());
            QVERIFY(r[2].toDouble() >= 50 && r[2].toDouble() <= 160);
            if (!r[3].isNull()) {
                ++notes;
                QVERIFY(QRegularExpression(QStringLiteral("^您的物业费到期日为\\d{4}年\\d\\d月\\d\\d日请及时缴纳!$"))
                            .match(r[3].toString())
                            .hasMatch());
            }
        }
        QVERIFY(notes > 0);
    }

    // Each item kind as bill entry computes it.
    void lineAmounts()
    {
        // Fixed items by area: amount × 面积 under the suffixed name.
        for (const QVariantList& r : db_->query("select l.项目名, l.收费金额, d.面积, i.项目名 from 收费1 l "
                                                "join 档案库 d on d.门牌号 = l.门牌号 join 项目 i on i.项目号 = l.项目号 "
                                                "where i.按面积 = 1 and l.月份 = '202402'")) {
            QCOMPARE(r[0].toString(), r[3].toString() + "(按面积)");
            QVERIFY(r[1].toDouble() > 0);
        }
        QCOMPARE(db_->scalar("select count(*) from 收费1 l join 项目 i on i.项目号 = l.项目号 join 档案库 d on "
                             "d.门牌号 = l.门牌号 where i.按面积 = 1 and l.月份 = '202402' and l.收费金额 <> "
                             "i.固定收费 * d.面积")
                     .toLongLong(),
                 0);
        // Metered: (本月数 − 上月数) × 单价, readings never fall; quantity items have no previous reading.
        int metered = 0;
        for (const QVariantList& r : db_->query("select l.上月数, l.本月数, l.单价, l.收费金额, i.项目标志 from 收费2 l "
                                                "join 项目 i on i.项目号 = l.项目号")) {
            if (r[4].toInt() == 1) {
                ++metered;
                QVERIFY(r[1].toDouble() >= r[0].toDouble());
                COMPARE_EXACT(r[3].toDouble(), (r[1].toDouble() - r[0].toDouble()) * r[2].toDouble());
            } else {
                QCOMPARE(r[0].toDouble(), 0.0);
                COMPARE_EXACT(r[3].toDouble(), r[1].toDouble() * r[2].toDouble());
            }
        }
        QCOMPARE(metered, 60 * 7 * 3);
    }

    // 上月数 is the 本月数 of the same household and item in the month before.
    void readingsChain()
    {
        std::map<QString, double> last;
        int chained = 0;
        for (const QVariantList& r : db_->query("select l.门牌号 || '/' || l.项目号, l.上月数, l.本月数 from 收费2 l "
                                                "join 项目 i on i.项目号 = l.项目号 where i.项目标志 = 1 "
                                                "order by l.门牌号, l.项目号, l.月份")) {
            const QString key = r[0].toString();
            if (last.count(key)) {
                COMPARE_EXACT(r[1].toDouble(), last[key]);
                ++chained;
            }
            last[key] = r[2].toDouble();
        }
        QCOMPARE(chained, 60 * 6 * 3);
    }

    // The bill total adds its stored line amounts in item order, exactly.
    void billTotals()
    {
        std::map<QString, double> sums;
        for (const QVariantList& r : db_->query("select 门牌号 || '/' || 月份, 收费金额 from "
                                                "(select 门牌号, 月份, 项目号, 收费金额 from 收费1 union all "
                                                "select 门牌号, 月份, 项目号, 收费金额 from 收费2) order by 项目号"))
            sums[r[0].toString()] += r[1].toDouble();
        for (const QVariantList& r : db_->query("select 门牌号 || '/' || 月份, 收费金额 from 缴费历史"))
            COMPARE_EXACT(r[1].toDouble(), sums.at(r[0].toString()));
    }

    // Paid bills come first; each carries old balance + cash − charge; the household
    // holds the last settlement's balance; lines carry the bill's payment date.
    void settlements()
    {
        std::map<QString, QVariantList> previous;  // door -> last bill row seen
        for (const QVariantList& r : db_->query("select 门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志 "
                                                "from 缴费历史 order by 门牌号, 月份")) {
            const QString door = r[0].toString();
            const bool paid = r[6].toInt() == 1;
            auto it = previous.find(door);
            if (it != previous.end()) {
                const QVariantList& p = it->second;
                QVERIFY2(!(paid && p[6].toInt() == 0), qPrintable(door + " paid after unpaid"));
                if (paid)
                    COMPARE_EXACT(r[4].toDouble(), (p[4].toDouble() + r[3].toDouble()) - r[2].toDouble());
            }
            if (paid) {
                const QDate on = parseStoredDate(r[5]);
                QVERIFY(on.isValid());
                QCOMPARE(monthKey(on), r[1].toString());
            } else {
                QVERIFY(r[5].isNull());
                QCOMPARE(r[3].toDouble(), 0.0);
                QVERIFY(r[4].isNull());
            }
            previous[door] = r;
        }
        const auto lastPaid = db_->query("select d.账户余额, b.账户余额 from 档案库 d join 缴费历史 b on b.门牌号 = "
                                         "d.门牌号 where b.月份 = (select max(月份) from 缴费历史 where 门牌号 = d.门牌号 "
                                         "and 缴费标志 = 1)");
        QVERIFY(lastPaid.size() > 40);
        for (const QVariantList& r : lastPaid)
            COMPARE_EXACT(r[0].toDouble(), r[1].toDouble());
        for (const char* table : {"收费1", "收费2"})
            QCOMPARE(db_->scalar(QStringLiteral("select count(*) from %1 l join 缴费历史 b on b.门牌号 = l.门牌号 and "
                                                "b.月份 = l.月份 where coalesce(l.缴费时间, '') <> coalesce(b.缴费时间, '')")
                                     .arg(QString::fromUtf8(table)))
                         .toLongLong(),
                     0);
    }

    // The estate holds the cases the windows must show: unpaid bills, credit, arrears.
    void mixOfStates()
    {
        QVERIFY(counts_.paidBills > counts_.bills / 2);
        QVERIFY(counts_.paidBills < counts_.bills);
        QVERIFY(db_->scalar("select count(*) from 档案库 where 账户余额 > 0.5").toLongLong() > 0);
        QVERIFY(db_->scalar("select count(*) from 档案库 where 账户余额 < -1").toLongLong() > 0);
        QCOMPARE(db_->scalar("select count(*) from 档案库 where 账户余额 > 0.5").toLongLong(), counts_.inCredit);
        QCOMPARE(db_->scalar("select count(*) from 档案库 where 账户余额 < -1").toLongLong(), counts_.inArrears);
        // A short payment leaves its note on the bill.
        QVERIFY(db_->scalar("select count(*) from 缴费历史 where 其他说明 like '%将合并至下次共同收缴!'").toLongLong() > 0);
    }

    void sameSeedSameEstate()
    {
        QTemporaryDir other;
        EstateGenerator again(small());
        std::unique_ptr<Database> db = again.create(other.path());
        QCOMPARE(digest(*db), digest(*db_));
        QTemporaryDir third;
        EstateOptions o = small();
        o.seed += 1;
        std::unique_ptr<Database> db3 = EstateGenerator(o).create(third.path());
        QVERIFY(digest(*db3) != digest(*db_));
    }

    void refusesExistingFile()
    {
        QTemporaryDir other;
        const QString path = DataFile::path(other.path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        EstateGenerator gen(small(5, 1));
        QVERIFY_THROWS_EXCEPTION(StoreError, gen.create(other.path()));
        QFile back(path);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("keep"));
    }

    void badOptions_data()
    {
        QTest::addColumn<int>("households");
        QTest::addColumn<int>("months");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("valid");
        QTest::newRow("defaults") << 5000 << 36 << "202612" << true;
        QTest::newRow("one of each") << 1 << 1 << "202401" << true;
        QTest::newRow("no households") << 0 << 6 << "202401" << false;
        QTest::newRow("no months") << 10 << 0 << "202401" << false;
        QTest::newRow("month 13") << 10 << 6 << "202413" << false;
        QTest::newRow("short month") << 10 << 6 << "20241" << false;
        QTest::newRow("before year 1000") << 10 << 24 << "100012" << false;
    }
    void badOptions()
    {
        QFETCH(int, households);
        QFETCH(int, months);
        QFETCH(QString, end);
        QFETCH(bool, valid);
        EstateOptions o;
        o.households = households;
        o.months = months;
        o.endMonth = end;
        QCOMPARE(EstateGenerator::check(o).isEmpty(), valid);
        if (!valid) {
            QTemporaryDir other;
            QVERIFY_THROWS_EXCEPTION(StoreError, EstateGenerator(o).create(other.path()));
            QVERIFY(!QFile::exists(DataFile::path(other.path())));
        }
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<Database> db_;
    EstateCounts counts_;
    QStringList months_;
};

QTEST_GUILESS_MAIN(TestEstateGenerator)
#include "test_estategenerator.moc"
