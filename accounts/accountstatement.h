#pragma once

#include "accounts/reporttable.h"

#include <QList>
#include <QString>
#include <QVariant>

class Database;

// A household's statement (对账单) over a range of months (of the movements'
// dates; empty bounds: from the first, to the last): the opening balance, every
// movement with the running balance, and the closing balance. Over all months
// the closing balance is the household's balance when the books agree.
struct AccountStatement {
    struct Row {
        QString date;  // yyyy-MM-dd
        QString kind, month, note;
        QVariant charge, cash, receiptNo;  // where the movement has them
        double amount = 0;
        double running = 0;
    };
    QString door, name;
    QString firstMonth, lastMonth;
    double opening = 0;
    double closing = 0;
    QVariant storedBalance;  // 档案库.账户余额 now
    QList<Row> rows;

    static AccountStatement read(Database& db, const QString& door, const QString& firstMonth = QString(),
                                 const QString& lastMonth = QString());
    // The months in which the household has movements, in order.
    static QStringList months(Database& db, const QString& door);

    ReportTable table() const;
};
