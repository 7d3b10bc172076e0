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
    // The part of the collected bills' charges that neither their cash nor the
    // household's credit before them covered: carried into the balance as arrears.
    double shortfall = 0;
    // Share of the month's charges that are settled: (charged - unpaid - shortfall) /
    // charged; 0 when nothing was charged.
    double rate() const { return charged > 0 ? (charged - unpaid - shortfall) / charged : 0; }
};

struct SummaryRange {
    QString first;
    QString last;
    QString separator = QStringLiteral("-");  // the building is the door number's text before it
    QString building;                         // a typed building narrows to its door numbers
};

class MonthSummary {
public:
    static QStringList headers();

    // Rows by building, then month. Throws StoreError.
    static QList<SummaryRow> load(Database& db, const SummaryRange& range);
    // All buildings together, one row per month (building ""), for the chart.
    static QList<SummaryRow> byMonth(const QList<SummaryRow>& rows);
    // The households billed in the range, each counted once. Throws StoreError.
    static int households(Database& db, const SummaryRange& range);
    // The sum of every row (building and month empty), with `households` counted
    // once each over the range.
    static SummaryRow total(const QList<SummaryRow>& rows, int households);
    // How the collection rate is formed, as the window tells it under the chart.
    static QString rateRule();

    static QString text(const SummaryRow& row, int column);
    static OutTable outTable(const QList<SummaryRow>& rows, int households);
};
