#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

class Database;

// A small estate to try the program on: three buildings of households, charge
// items of every kind and the bills of the three months before `today`, most
// of them paid. Every bill's 收费金额 is the sum of its lines, and each paid bill
// holds the cash, the balance after it and the date its lines are stamped with.
class DemoEstate {
public:
    static QString adminName() { return QStringLiteral("管理员"); }   // level A
    static QString clerkName() { return QStringLiteral("收费员"); }   // level B
    static QString password() { return QStringLiteral("1234"); }
    static QString receiptName() { return QStringLiteral("示例小区(演示数据)"); }

    // The billed months, oldest first.
    static QStringList months(const QDate& today);
    // Writes the estate into an empty file of the current schema.
    static void fill(Database& db, const QDate& today);
    // Builds data.dat at `path` (see DataFile::createWith).
    static std::unique_ptr<Database> create(const QString& path, const QDate& today);
};
