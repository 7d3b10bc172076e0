#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class RecordSet;
struct OutTable;

// The fixed-width household list 档案明细.txt: one line per household, five fields,
// the first four each ended by "|".
class HouseholdExport {
public:
    static QString fileName() { return QStringLiteral("档案明细.txt"); }

    // One line. Null values count as empty texts; blank counts never go below zero.
    static QString line(const QVariant& door, const QVariant& name, const QVariant& phone,
                        const QVariant& unit, const QVariant& other);
    // The lines of every row of the record set as it stands (filter included), in
    // its order, without moving it.
    static QStringList lines(const RecordSet& households);
    // Writes the lines into the report folder (created when missing) and returns the
    // path written. `questionMarked` receives the door numbers of the households
    // whose line held characters written as "?" ("第 n 行" for a blank door
    // number). Throws FileError.
    static QString write(const RecordSet& households, QStringList* questionMarked = nullptr);

    // Every row of the record set (filter included) for the spreadsheet: the
    // household columns, balance and floor area as numbers, and a totals row with
    // the number of households and the sums of balance and area.
    static OutTable outTable(const RecordSet& households);
    static QString spreadsheetName() { return QStringLiteral("档案明细"); }
};
