#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>

class Database;
struct OutTable;

// Who owes: every household with unpaid bills or a balance below -1, with the
// figures an office asks for. Plain data, no widgets.
struct ArrearsRow {
    QString building;
    QString door;
    QString name;
    QString phone;
    int unpaidMonths = 0;
    QString firstMonth;   // empty without unpaid bills
    QString lastMonth;
    double unpaid = 0;    // sum of the unpaid bills' charges
    double balance = 0;   // the household's running balance (credit positive)
    // What the household owes: its unpaid charges less its own credit (or plus its
    // arrears). Credit beyond the unpaid charges is no debt of anyone: 0, not less.
    double owed() const { return std::max(0.0, unpaid - balance); }
};

struct ArrearsTotal {
    QString building;   // empty for the total of all
    int households = 0;
    int unpaidMonths = 0;
    double unpaid = 0;
    double balance = 0;
    double owed = 0;
};

struct ArrearsFilter {
    // The building of a door number is its text before the first separator (a door
    // number without it has the building ""). A typed building narrows the board to
    // its door numbers (QueryCells::buildingPatterns) and stands as their building.
    QString separator = QStringLiteral("-");
    QString building;
    int minMonths = 0;        // at least this many unpaid months
    double minOwed = 0;       // total owed at least this; 0 or less: no bound
};

class ArrearsBoard {
public:
    enum Column { Building, Door, Name, Phone, Months, First, Last, Unpaid, Balance, Owed, ColumnCount };

    // Households with a balance below this are listed without unpaid bills.
    static constexpr double ArrearsThreshold = -1.0;
    // How 欠费合计 is formed, as the board tells it.
    static QString owedRule();
    // A household owes when its unpaid charges are not covered by its credit (at
    // least a fen remains), or, without unpaid bills, when its balance is below the
    // threshold. Only such households are listed, counted and sent notices.
    static bool owes(const ArrearsRow& row);

    static QStringList headers();
    static QString buildingOf(const QString& door, const QString& separator);

    // Reads the board (door number order). Throws StoreError.
    static QList<ArrearsRow> load(Database& db, const ArrearsFilter& filter);
    // Sorts by one column; ties keep door number order.
    static void sort(QList<ArrearsRow>& rows, int column, bool ascending);
    // Totals per building (in building order), then the total of all.
    static QList<ArrearsTotal> totals(const QList<ArrearsRow>& rows);

    // The cell text of a column as the grid shows it.
    static QString text(const ArrearsRow& row, int column);

    // The board as a table for the spreadsheet: the households, then one subtotal
    // row per building and the total of all as the totals row.
    static OutTable outTable(const QList<ArrearsRow>& rows);

    // The unpaid bills of a household: month and charge, in month order.
    struct Month {
        QString month;
        double charge = 0;
    };
    static QList<Month> unpaidMonths(Database& db, const QString& door);
};
