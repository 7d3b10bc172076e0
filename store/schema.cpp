#include "store/schema.h"

#include "store/database.h"

#include <QHash>

namespace {

const char* const kTables = R"SQL(
CREATE TABLE 档案库 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  门牌号 TEXT,
  户名 TEXT,
  联系电话 TEXT,
  单位 TEXT,
  籍贯 TEXT,
  账户余额 REAL,
  面积 REAL,
  其他信息 TEXT,
  收费说明 TEXT
);
CREATE UNIQUE INDEX 档案库_门牌号 ON 档案库(门牌号);
CREATE TABLE 项目 (
  项目号 TEXT,
  项目名 TEXT,
  项目标志 INTEGER,
  固定收费 REAL,
  计算标志 INTEGER,
  按面积 INTEGER
);
CREATE TABLE 缴费历史 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  门牌号 TEXT,
  月份 TEXT,
  收费金额 REAL,
  实缴金额 REAL,
  账户余额 REAL,
  缴费时间 TEXT,
  缴费标志 INTEGER,
  其他说明 TEXT
);
CREATE TABLE 收费1 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  门牌号 TEXT,
  月份 TEXT,
  项目号 TEXT,
  项目名 TEXT,
  收费金额 REAL,
  缴费时间 TEXT
);
CREATE TABLE 收费2 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  门牌号 TEXT,
  月份 TEXT,
  项目号 TEXT,
  项目名 TEXT,
  上月数 REAL,
  本月数 REAL,
  单价 REAL,
  收费金额 REAL,
  缴费时间 TEXT
);
CREATE TABLE 操作员 (
  操作员 TEXT,
  密码 TEXT,
  操作级别 TEXT
);
CREATE TABLE 广告 (
  收据名称 TEXT,
  广告 TEXT
);
)SQL";

// Lookups by door number and month (and item), by month alone, and by item.
const char* const kIndexes = R"SQL(
CREATE INDEX IF NOT EXISTS 缴费历史_门牌号_月份 ON 缴费历史(门牌号, 月份);
CREATE INDEX IF NOT EXISTS 缴费历史_月份 ON 缴费历史(月份);
CREATE INDEX IF NOT EXISTS 收费1_门牌号_月份_项目号 ON 收费1(门牌号, 月份, 项目号);
CREATE INDEX IF NOT EXISTS 收费1_项目号_月份 ON 收费1(项目号, 月份);
CREATE INDEX IF NOT EXISTS 收费2_门牌号_月份_项目号 ON 收费2(门牌号, 月份, 项目号);
CREATE INDEX IF NOT EXISTS 收费2_项目号_月份 ON 收费2(项目号, 月份);
)SQL";

}  // namespace

namespace Schema {

QStringList tables()
{
    return {QStringLiteral("档案库"), QStringLiteral("项目"), QStringLiteral("缴费历史"), QStringLiteral("收费1"),
            QStringLiteral("收费2"), QStringLiteral("操作员"), QStringLiteral("广告")};
}

QStringList requiredColumns(const QString& table)
{
    static const QHash<QString, QStringList> cols = {
        {QStringLiteral("档案库"), {"ID", "门牌号", "户名", "联系电话", "单位", "籍贯", "账户余额", "面积", "其他信息"}},
        {QStringLiteral("项目"), {"项目号", "项目名", "项目标志", "固定收费", "计算标志", "按面积"}},
        {QStringLiteral("缴费历史"), {"ID", "门牌号", "月份", "收费金额", "实缴金额", "账户余额", "缴费时间", "缴费标志", "其他说明"}},
        {QStringLiteral("收费1"), {"ID", "门牌号", "月份", "项目号", "项目名", "收费金额", "缴费时间"}},
        {QStringLiteral("收费2"), {"ID", "门牌号", "月份", "项目号", "项目名", "上月数", "本月数", "单价", "收费金额", "缴费时间"}},
        {QStringLiteral("操作员"), {"操作员", "密码", "操作级别"}},
        {QStringLiteral("广告"), {"收据名称", "广告"}},
    };
    return cols.value(table);
}

void create(Database& db)
{
    Transaction t(db);
    db.execScript(QString::fromUtf8(kTables));
    db.execScript(QString::fromUtf8(kIndexes));
    t.commit();
}

QStringList columns(Database& db, const QString& table)
{
    QStringList out;
    for (const Database::Column& c : db.columns(table))
        out << c.name;
    return out;
}

bool hasColumn(Database& db, const QString& table, const QString& column)
{
    return columns(db, table).contains(column, Qt::CaseInsensitive);
}

void createIndexes(Database& db, const QString& script)
{
    for (const QString& st : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (st.trimmed().isEmpty())
            continue;
        try {
            db.execScript(st);
        } catch (const StoreError& e) {
            if (e.sqlState() != QLatin1String("42501"))  // insufficient privilege
                throw;
        }
    }
}

void upgrade(Database& db)
{
    if (!hasColumn(db, QStringLiteral("档案库"), QStringLiteral("收费说明")))
        db.execScript(QStringLiteral("ALTER TABLE 档案库 ADD 收费说明 text"));
    // A file written by another program may lack the lookup indexes; they change no data.
    bool complete = true;
    for (const QString& t : tables())
        complete = complete && !columns(db, t).isEmpty();
    if (complete)
        createIndexes(db, QString::fromUtf8(kIndexes));
}

}  // namespace Schema
