#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

class Database;
class DataEnvironment;

// A small estate to try the program on: three buildings of households, charge
// items of every kind and the bills of the three months before `today`, most of
// them paid. It is built through the program's own roads: the bills as the month's
// run writes them, the payments through the collection of the payment window (with
// their 收款 movements and receipt numbers), so that reversal, statements and the
// day's takings have something to show.
class DemoEstate {
public:
    static QString adminName() { return QStringLiteral("管理员"); }   // level A
    static QString clerkName() { return QStringLiteral("收费员"); }   // level B
    static QString password() { return QStringLiteral("1234"); }
    static QString receiptName() { return QStringLiteral("示例小区(演示数据)"); }

    // The billed months, oldest first.
    static QStringList months(const QDate& today);
    // Builds data.dat at `path`: under a name of its own, renamed into place when
    // complete. Throws StoreError; nothing is left at `path` then.
    static std::unique_ptr<Database> create(const QString& path, const QDate& today);
    // Builds the same estate in an empty server database: in a file of `folder`
    // first, then moved in one transaction. Throws StoreError; the database stays
    // empty then.
    static void createOn(Database& server, const QString& folder, const QDate& today);

private:
    // Operators, settings, items and households, into an empty file of the schema.
    static void fillBase(Database& db, const QDate& today);
    // The months' bills and their collections.
    static void run(DataEnvironment& env, const QDate& today);
};
