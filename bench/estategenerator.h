#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>

class Database;

// A realistic estate for measurements and tests: households in buildings, units
// and floors; ten charge items of every kind; months of bills with their fixed and
// metered lines; most bills paid with the balances carried from bill to bill.
// The same options always give the same rows.
struct EstateOptions {
    int households = 5000;
    int months = 36;
    QString endMonth = QStringLiteral("202612");  // the last billed month, yyyymm
    quint32 seed = 20160915;

    // The estate of a property company: 20,000 households, ten years of bills.
    static EstateOptions large()
    {
        EstateOptions o;
        o.households = 20000;
        o.months = 120;
        return o;
    }
};

// Rows written, per table.
struct EstateCounts {
    qint64 households = 0;
    qint64 items = 0;
    qint64 bills = 0;
    qint64 paidBills = 0;
    qint64 fixedLines = 0;    // 收费1
    qint64 meteredLines = 0;  // 收费2
    qint64 operators = 0;
    qint64 settings = 0;
    qint64 inCredit = 0;      // households with 账户余额 > 0.5
    qint64 inArrears = 0;     // households with 账户余额 < -1
};

class EstateGenerator {
public:
    static constexpr int MaxHouseholds = 200000;
    static constexpr int MaxMonths = 600;

    explicit EstateGenerator(EstateOptions options = {});

    // Empty when the options can be used, else what is wrong with them.
    static QString check(const EstateOptions& options);

    // Writes every row into an empty database that has the tables of this system
    // (inside the caller's transaction, or in one of its own). Throws StoreError.
    void fill(Database& db);
    // Writes <folder>/data.dat; refuses (StoreError) when the file exists. The file
    // is built under a temporary name and appears only when complete.
    std::unique_ptr<Database> create(const QString& folder);

    const EstateOptions& options() const { return options_; }
    // The billed months, oldest first.
    QStringList months() const;
    const EstateCounts& written() const { return counts_; }

private:
    EstateOptions options_;
    EstateCounts counts_;
};
