#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Database;
struct OutTable;

// The collection of each building's bills month by month.
struct SummaryRow {
    QString building;
    QString month;
    int households = 0;   // households billed for the month
    double charged = 0;   // sum of the month's charges
    double collected = 0; // cash paid for the month's collected bills
    double unpaid = 0;    // charges of the month's bills still unpaid
    // Share of the month's charges that are settled: (charged - unpaid) / charged;
    // 0 when nothing was charged.
    double rate() const { return charged > 0 ? (charged - unpaid) / charged : 0; }
};

struct SummaryRange {
    QString first;
    QString last;
    QString separator = QStringLiteral("-");  // the building is the door number's text before it
    QString building;                         // a typed prefix narrows to door numbers beginning with it
};

class MonthSummary {
public:
    static QStringList headers();

    // Rows by building, then month. Throws StoreError.
    static QList<SummaryRow> load(Database& db, const SummaryRange& range);
    // All buildings together, one row per month (building ""), for the chart.
    static QList<SummaryRow> byMonth(const QList<SummaryRow>& rows);
    // The sum of every row (building and month empty).
    static SummaryRow total(const QList<SummaryRow>& rows);

    static QString text(const SummaryRow& row, int column);
    static OutTable outTable(const QList<SummaryRow>& rows);
};
