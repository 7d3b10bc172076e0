#include "bench/estategenerator.h"

#include "common/dates.h"
#include "common/numbers.h"
#include "store/database.h"
#include "store/datafile.h"
#include "store/sqlite.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QVariant>
#include <cmath>
#include <random>
#include <vector>

namespace {

// The random source: std::mt19937 is the same everywhere; the distributions are
// our own so that a seed gives the same estate with every standard library.
class Dice {
public:
    explicit Dice(quint32 seed) : gen_(seed) {}
    // An integer in [lo, hi].
    int between(int lo, int hi) { return lo + int(gen_() % quint32(hi - lo + 1)); }
    // True with the given chance in percent.
    bool percent(int p) { return int(gen_() % 100u) < p; }
    template <typename T>
    const T& pick(const std::vector<T>& v) { return v[gen_() % v.size()]; }

private:
    std::mt19937 gen_;
};

// One insert statement for the millions of line rows: values are bound straight
// from UTF-8 texts that outlive the step, without a QVariant in between.
class Insert {
public:
    Insert(Database& db, const char* sql) : db_(db)
    {
        db_.check(sqlite3_prepare_v2(db_.handle(), sql, -1, &stmt_, nullptr), "prepare");
    }
    ~Insert() { sqlite3_finalize(stmt_); }
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    Insert& text(int i, const QByteArray& v)
    {
        db_.check(sqlite3_bind_text(stmt_, i, v.constData(), int(v.size()), SQLITE_STATIC), "bind");
        return *this;
    }
    // Empty text binds null.
    Insert& textOrNull(int i, const QByteArray& v) { return v.isEmpty() ? null(i) : text(i, v); }
    Insert& real(int i, double v)
    {
        db_.check(sqlite3_bind_double(stmt_, i, v), "bind");
        return *this;
    }
    Insert& integer(int i, int v)
    {
        db_.check(sqlite3_bind_int(stmt_, i, v), "bind");
        return *this;
    }
    Insert& null(int i)
    {
        db_.check(sqlite3_bind_null(stmt_, i), "bind");
        return *this;
    }
    void run()
    {
        const int rc = sqlite3_step(stmt_);
        sqlite3_reset(stmt_);
        if (rc != SQLITE_DONE)
            db_.check(rc, "step");
    }

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

enum class Kind { Fixed, Quantity, Metered };

struct Item {
    QString no;
    QString name;
    Kind kind;
    bool byArea;
    double price;        // 固定收费: the amount, or the unit price
    double oldPrice;     // the price of the first half of the months
    QVariant flagValue;  // 项目标志 as stored (empty for some fixed items)
};

const std::vector<Item>& items()
{
    static const std::vector<Item> list = {
        {QStringLiteral("01"), QStringLiteral("物业费"), Kind::Fixed, true, 1.2, 1.0, 0},
        {QStringLiteral("02"), QStringLiteral("电梯费"), Kind::Fixed, true, 0.3, 0.3, 0},
        {QStringLiteral("03"), QStringLiteral("卫生费"), Kind::Fixed, false, 15, 12, QVariant()},
        {QStringLiteral("04"), QStringLiteral("公共照明费"), Kind::Fixed, false, 5, 5, QVariant()},
        {QStringLiteral("05"), QStringLiteral("停车费"), Kind::Fixed, false, 80, 60, 0},
        {QStringLiteral("06"), QStringLiteral("有线电视费"), Kind::Fixed, false, 25, 22, 0},
        {QStringLiteral("07"), QStringLiteral("水费"), Kind::Metered, false, 3.5, 3.2, 1},
        {QStringLiteral("08"), QStringLiteral("电费"), Kind::Metered, false, 0.56, 0.53, 1},
        {QStringLiteral("09"), QStringLiteral("燃气费"), Kind::Metered, false, 2.8, 2.6, 1},
        {QStringLiteral("10"), QStringLiteral("热水费"), Kind::Quantity, false, 25, 25, 0},
    };
    return list;
}

const std::vector<QString> kSurnames = {
    "王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙", "马", "朱", "胡", "郭", "何", "林",
    "罗", "高", "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹", "彭", "曾", "肖", "田", "董", "潘",
    "袁", "蔡", "蒋", "余", "于", "杜", "叶", "程", "魏", "苏", "吕", "丁", "任", "卢", "姚", "沈", "钟", "姜",
    "崔", "谭", "陆", "范", "汪", "廖", "石", "金", "韦", "贾", "夏", "付", "方", "邹", "熊", "白", "孟", "秦",
    "欧阳", "司马", "诸葛"};
const std::vector<QString> kGiven = {
    "伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰", "娟", "涛", "明", "超", "秀",
    "霞", "平", "刚", "桂", "英", "华", "玉", "兰", "建", "国", "文", "辉", "红", "梅", "鹏", "宇", "浩", "婷",
    "雪", "琳", "晨", "欣", "志", "海", "东", "春", "晓", "峰", "斌", "波", "亮", "俊", "凤", "佳", "倩", "颖"};
const std::vector<QString> kUnits = {
    "市第一中学", "市人民医院", "自来水公司", "供电局", "建设银行", "区政府", "个体", "退休", "电信公司",
    "税务局", "市第二小学", "中国石化", "邮政局", "公安分局", "纺织厂", "农业银行", "广播电视台", "无"};
const std::vector<QString> kOrigins = {"浙江杭州", "江苏南京", "山东济南", "河南郑州", "湖北武汉", "四川成都",
                                       "安徽合肥", "湖南长沙", "江西南昌", "福建福州", "河北石家庄", "本地"};
const std::vector<QString> kPhonePrefixes = {"138", "139", "137", "136", "135", "150", "151", "158", "159",
                                             "186", "187", "188", "133", "153", "180", "189"};

const QString kOtherInfo = QStringLiteral("家庭主要成员：配偶:   年龄:      联系方式:     籍贯:");

enum class Habit { Regular, Prepayer, Debtor };

struct Household {
    QString door;
    QByteArray doorUtf8;
    double area = 0;
    QVariant balance;  // as the household row holds it (empty for a few)
    QString note;      // 收费说明
    Habit habit = Habit::Regular;
    int unpaidTail = 1;  // the last months left unpaid
    bool vacant = false;
    bool hasCar = false;
    bool hasTv = false;
    bool hotWater = false;
    double reading[3] = {0, 0, 0};  // water, electricity, gas
};

// The amount the payment window proposes, shown with "###0".
double proposal(double v)
{
    return formatMask(v, QStringLiteral("###0")).toDouble();
}

}  // namespace

EstateGenerator::EstateGenerator(EstateOptions options) : options_(std::move(options)) {}

QString EstateGenerator::check(const EstateOptions& o)
{
    if (o.households < 1 || o.households > MaxHouseholds)
        return QStringLiteral("households must be 1..%1").arg(MaxHouseholds);
    if (o.months < 1 || o.months > MaxMonths)
        return QStringLiteral("months must be 1..%1").arg(MaxMonths);
    if (!isValidMonthText(o.endMonth))
        return QStringLiteral("end month must be yyyymm: %1").arg(o.endMonth);
    const QDate end(o.endMonth.left(4).toInt(), o.endMonth.mid(4).toInt(), 1);
    if (end.addMonths(1 - o.months).year() < 1000)
        return QStringLiteral("too many months before %1").arg(o.endMonth);
    return QString();
}

QStringList EstateGenerator::months() const
{
    QStringList out;
    if (!check(options_).isEmpty())
        return out;
    const QDate end(options_.endMonth.left(4).toInt(), options_.endMonth.mid(4).toInt(), 1);
    for (int i = options_.months - 1; i >= 0; --i)
        out << monthKey(end.addMonths(-i));
    return out;
}

std::unique_ptr<Database> EstateGenerator::create(const QString& folder)
{
    const QString why = check(options_);
    if (!why.isEmpty())
        throw StoreError(0, why);
    if (!QDir().mkpath(folder))
        throw StoreError(0, QStringLiteral("cannot create folder %1").arg(folder));
    return DataFile::createWith(DataFile::path(folder), [this](Database& db) { fill(db); });
}

void EstateGenerator::fill(Database& db)
{
    const QString why = check(options_);
    if (!why.isEmpty())
        throw StoreError(0, why);
    counts_ = EstateCounts();
    Dice dice(options_.seed);
    Transaction transaction(db);

    // Operators and settings.
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, ?)"),
            {QStringLiteral("管理员"), QStringLiteral("1234"), QStringLiteral("A")});
    db.exec(QStringLiteral("insert into 操作员 (操作员, 密码, 操作级别) values (?, ?, ?)"),
            {QStringLiteral("收费员"), QStringLiteral("1234"), QStringLiteral("B")});
    counts_.operators = 2;
    db.exec(QStringLiteral("insert into 广告 (收据名称, 广告) values (?, ?)"),
            {QStringLiteral("阳光花园物业管理处收费收据"), QStringLiteral("请按时缴纳各项费用，谢谢合作！")});
    counts_.settings = 1;

    // Charge items.
    for (const Item& it : items()) {
        db.exec(QStringLiteral("insert into 项目 (项目号, 项目名, 项目标志, 固定收费, 计算标志, 按面积) "
                               "values (?, ?, ?, ?, ?, ?)"),
                {it.no, it.name, it.flagValue, it.price, it.kind == Kind::Fixed ? 0 : 1, it.byArea ? 1 : 0});
        ++counts_.items;
    }

    // Households: buildings of two to four units, six to twenty-six floors, two to
    // four rooms a floor; rooms of one position share a floor area.
    const QStringList monthList = months();
    const int m = int(monthList.size());
    const QDate end(options_.endMonth.left(4).toInt(), options_.endMonth.mid(4).toInt(), 1);
    std::vector<Household> homes;
    homes.reserve(size_t(options_.households));
    static const int floorsOf[] = {6, 11, 18, 26, 7};
    for (int b = 1; int(homes.size()) < options_.households; ++b) {
        const int units = 2 + b % 3;
        const int floors = floorsOf[b % 5];
        const int rooms = 2 + (b * 7) % 3;
        std::vector<double> roomArea;
        for (int r = 0; r < rooms; ++r)
            roomArea.push_back(dice.between(5000, 16000) / 100.0);
        for (int u = 1; u <= units && int(homes.size()) < options_.households; ++u)
            for (int f = 1; f <= floors && int(homes.size()) < options_.households; ++f)
                for (int r = 1; r <= rooms && int(homes.size()) < options_.households; ++r) {
                    Household h;
                    h.door = QStringLiteral("%1-%2-%3%4")
                                 .arg(b)
                                 .arg(u)
                                 .arg(f, 2, 10, QLatin1Char('0'))
                                 .arg(r, 2, 10, QLatin1Char('0'));
                    h.area = roomArea[size_t(r - 1)];
                    homes.push_back(h);
                }
    }

    const QString insertHome = QStringLiteral(
        "insert into 档案库 (门牌号, 户名, 联系电话, 单位, 籍贯, 账户余额, 面积, 其他信息, 收费说明) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (Household& h : homes) {
        h.doorUtf8 = h.door.toUtf8();
        const int habit = dice.between(0, 99);
        h.habit = habit < 78 ? Habit::Regular : habit < 90 ? Habit::Prepayer : Habit::Debtor;
        const int tail = dice.between(0, 99);
        h.unpaidTail = std::min(m, tail < 15 ? 0 : tail < 75 ? 1 : tail < 92 ? 2 : dice.between(3, 6));
        h.vacant = dice.percent(4);
        h.hasCar = !h.vacant && dice.percent(35);
        h.hasTv = !h.vacant && dice.percent(70);
        h.hotWater = !h.vacant && dice.percent(25);
        h.reading[0] = dice.between(100, 3000);
        h.reading[1] = dice.between(1000, 20000);
        h.reading[2] = dice.between(50, 2000);
        const int opening = dice.between(0, 99);
        if (opening < 80)
            h.balance = 0.0;
        else if (opening < 88)
            h.balance = double(dice.between(5, 50) * 10);
        else if (opening < 97)
            h.balance = -double(dice.between(2, 30) * 10);
        // else: an empty balance, which counts as 0
        if (dice.percent(15)) {
            const QDate due = end.addMonths(dice.between(-12, 24));
            h.note = QStringLiteral("您的物业费到期日为") +
                     chineseDate(QDate(due.year(), due.month(), due.daysInMonth())) + QStringLiteral("请及时缴纳!");
        }
        QString name = dice.pick(kSurnames) + dice.pick(kGiven);
        if (dice.percent(60))
            name += dice.pick(kGiven);
        const QString phone = dice.percent(85)
            ? dice.pick(kPhonePrefixes) + QString::number(dice.between(1000, 9999)) +
                  QString::number(dice.between(1000, 9999))
            : QStringLiteral("0571-8%1").arg(dice.between(1000000, 9999999));
        Statement st = db.prepare(insertHome);
        st.bind(1, h.door).bind(2, name).bind(3, phone).bind(4, dice.pick(kUnits)).bind(5, dice.pick(kOrigins));
        st.bind(6, h.balance).bind(7, h.area).bind(8, kOtherInfo);
        st.bind(9, h.note.isEmpty() ? QVariant() : QVariant(h.note));
        st.step();
        ++counts_.households;
    }

    // The bill and line indexes are built once after the rows, by sorting, rather
    // than row by row (twice as fast).
    const QList<QVariantList> indexes = db.query(QStringLiteral(
        "select name, sql from sqlite_master where type = 'index' and sql is not null "
        "and tbl_name in ('缴费历史', '收费1', '收费2')"));
    for (const QVariantList& ix : indexes)
        db.execScript(QStringLiteral("drop index \"%1\"").arg(ix[0].toString().replace(QLatin1Char('"'), QLatin1String("\"\""))));

    // Bills, month after month as the office enters them, each household's lines in
    // item order; the bill's total adds the line amounts in that order.
    Insert insertBill(db,
                      "insert into 缴费历史 (门牌号, 月份, 收费金额, 实缴金额, 账户余额, 缴费时间, 缴费标志, 其他说明) "
                      "values (?, ?, ?, ?, ?, ?, ?, ?)");
    Insert insertFixed(db, "insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额, 缴费时间) values (?, ?, ?, ?, ?, ?)");
    Insert insertMetered(db,
                         "insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额, 缴费时间) "
                         "values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const auto& itemList = items();
    std::vector<QByteArray> itemNos;
    std::vector<QByteArray> lineNames;
    for (const Item& it : itemList) {
        itemNos.push_back(it.no.toUtf8());
        lineNames.push_back((it.byArea ? it.name + QStringLiteral("(按面积)") : it.name).toUtf8());
    }

    for (int mi = 0; mi < m; ++mi) {
        const QByteArray month = monthList[mi].toUtf8();
        const QDate first = end.addMonths(mi - (m - 1));
        const int moy = first.month();
        const bool newPrices = mi >= m / 2;
        const int lastPayDay = mi == m - 1 ? 7 : 28;
        for (Household& h : homes) {
            const bool paid = mi < m - h.unpaidTail;
            const QDate paidOn = QDate(first.year(), moy, dice.between(3, lastPayDay));
            const QByteArray stamp = paid ? isoDate(paidOn).toUtf8() : QByteArray();
            double total = 0;
            int metered = 0;
            for (size_t k = 0; k < itemList.size(); ++k) {
                const Item& it = itemList[k];
                const double price = newPrices ? it.price : it.oldPrice;
                double amount = 0;
                if (it.kind == Kind::Fixed) {
                    double entered = price;
                    if (it.no == QLatin1String("05"))
                        entered = h.hasCar ? price : 0;
                    else if (it.no == QLatin1String("06"))
                        entered = h.hasTv ? price : 0;
                    amount = entered;
                    if (it.byArea)
                        amount = amount * h.area;
                    insertFixed.text(1, h.doorUtf8).text(2, month).text(3, itemNos[k]).text(4, lineNames[k]);
                    insertFixed.real(5, amount).textOrNull(6, stamp).run();
                    ++counts_.fixedLines;
                } else {
                    double previous = 0;
                    double current = 0;
                    if (it.kind == Kind::Metered) {
                        // Summer raises electricity, winter gas and hot water.
                        static const int lowUse[] = {3, 60, 3};
                        static const int highUse[] = {25, 300, 30};
                        const int r = metered++;
                        int use = h.vacant ? 0 : dice.between(lowUse[r], highUse[r]);
                        if (r == 1 && (moy >= 6 && moy <= 9) && !h.vacant)
                            use += dice.between(50, 150);
                        if (r == 2 && (moy <= 2 || moy == 12) && !h.vacant)
                            use += dice.between(5, 15);
                        previous = h.reading[r];
                        current = previous + use;
                        h.reading[r] = current;
                        amount = (current - previous) * price;
                    } else {
                        current = h.hotWater ? dice.between(1, 6) : 0;
                        amount = current * price;
                    }
                    if (it.byArea)
                        amount = amount * h.area;
                    insertMetered.text(1, h.doorUtf8).text(2, month).text(3, itemNos[k]).text(4, lineNames[k]);
                    insertMetered.real(5, previous).real(6, current).real(7, price).real(8, amount);
                    insertMetered.textOrNull(9, stamp).run();
                    ++counts_.meteredLines;
                }
                total += amount;
            }

            double cash = 0;
            double after = 0;
            QString remark = h.note;
            if (paid) {
                const double old = h.balance.isNull() ? 0.0 : h.balance.toDouble();
                double pay;
                if (old > 0.5)
                    pay = old >= total ? 0 : proposal(total - old);
                else if (old < -1)
                    pay = proposal(total - old);
                else
                    pay = proposal(total);
                switch (h.habit) {
                case Habit::Regular:
                    if (dice.percent(3))
                        pay = std::ceil((pay + 1) / 100) * 100;  // rounds up to the next hundred
                    else if (dice.percent(3))
                        pay = std::floor(pay * 0.8 / 10) * 10;
                    break;
                case Habit::Prepayer:
                    if (old < total)
                        pay += dice.between(5, 20) * 100;
                    break;
                case Habit::Debtor:
                    if (dice.percent(40))
                        pay = std::floor(pay * dice.between(30, 90) / 1000) * 10;
                    else if (dice.percent(10))
                        pay += dice.between(1, 5) * 50;
                    break;
                }
                const double now = (old + pay) - total;
                h.balance = now;
                cash = pay;
                after = now;
                if (now < -1)
                    remark += QStringLiteral("\r  ") + chineseDate(paidOn) + QStringLiteral("应缴费") +
                              plainNumber(pay - now) + QStringLiteral("元，实收") + plainNumber(pay) +
                              QStringLiteral("元，还欠") + plainNumber(now) +
                              QStringLiteral("元未缴，将合并至下次共同收缴!");
                ++counts_.paidBills;
            }
            insertBill.text(1, h.doorUtf8).text(2, month).real(3, total).real(4, cash);
            if (paid)
                insertBill.real(5, after);
            else
                insertBill.null(5);
            const QByteArray remarkUtf8 = remark.toUtf8();
            insertBill.textOrNull(6, stamp).integer(7, paid ? 1 : 0).textOrNull(8, remarkUtf8).run();
            ++counts_.bills;
        }
    }

    // The sorts spill to temporary files rather than to memory (this SQLite's default),
    // which would otherwise hold about the size of every index at once.
    db.execScript(QStringLiteral("PRAGMA temp_store = FILE"));
    for (const QVariantList& ix : indexes)
        db.execScript(ix[1].toString());
    db.execScript(QStringLiteral("PRAGMA temp_store = DEFAULT"));

    // The household's running balance is its last settlement's.
    const QString setBalance = QStringLiteral("update 档案库 set 账户余额 = ? where 门牌号 = ?");
    for (const Household& h : homes) {
        if (m - h.unpaidTail > 0)
            db.exec(setBalance, {h.balance, h.door});
        const double b = h.balance.isNull() ? 0.0 : h.balance.toDouble();
        counts_.inCredit += b > 0.5;
        counts_.inArrears += b < -1;
    }
    transaction.commit();
}
