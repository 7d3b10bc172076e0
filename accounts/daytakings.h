#pragma once

#include "accounts/reporttable.h"

#include <QDate>
#include <QList>
#include <QString>

class Database;

// The day's takings (收款日报): every collection and reversal of a day, by one
// operator or all and at one desk or all, with the number of receipts, the cash taken, the cash reversed
// and the net cash.
struct DayTakings {
    struct Row {
        QString time;  // HH:mm:ss
        qint64 receiptNo = 0;
        QString door, name, month, kind, operatorName, note;
        QString desk;  // the host name of the desk that wrote it
        double charge = 0;        // of the bill (negative on a reversal)
        double cash = 0;          // taken (negative on a reversal: given back)
        double balanceAfter = 0;  // the household's balance after the movement
    };
    QDate day;
    QString operatorName;  // empty: all operators
    QString desk;          // empty: all desks
    QList<Row> rows;
    int receipts = 0;
    double cashTaken = 0;
    double cashReversed = 0;  // positive
    double net() const { return cashTaken - cashReversed; }

    static DayTakings read(Database& db, const QDate& day, const QString& operatorName = QString(),
                           const QString& desk = QString());
    // The operators that have movements on the day, then the other operators.
    static QStringList operators(Database& db);
    // The desks that took or gave back cash on the day.
    static QStringList desks(Database& db, const QDate& day);

    ReportTable table() const;
    // The totals as one line of text.
    QString totalsText() const;
};
