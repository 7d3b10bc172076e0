#pragma once

#include "charging/billlines.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

class Database;
class RecordSet;

// A household of the sheet.
struct SheetHousehold {
    qint64 id = 0;
    QString door;
    QString name;
    QString note;  // 收费说明
    double area = 0;
    int firstRow = 0;  // its rows follow one another, in item order
    int rowCount = 0;
};

// One household × item that needs a number: a metered item's reading or a quantity
// item's quantity.
struct SheetRow {
    enum class Check {
        Ok,
        Missing,          // no number yet
        Below,            // reading below the previous one, not confirmed
        BelowConfirmed,   // reading below the previous one, confirmed (replaced meter)
        High,             // usage above three times the household's recent average
        Zero,             // usage zero where it never was
        Negative,         // a quantity below zero, not confirmed
        NegativeConfirmed,  // usage below zero, confirmed without a new meter's start
    };

    int household = 0;        // index into ReadingSheet::households()
    QString door;
    QString name;
    double area = 0;
    int item = 0;             // index into ReadingSheet::items()
    double previous = 0;      // found as bill entry finds it (0 for a quantity item)
    std::optional<double> reading;  // this month's reading, or the quantity
    std::optional<double> price;    // set when the operator changed the unit price
    bool confirmed = false;         // a reading below the previous one (or a negative quantity) is meant
    std::optional<double> newStart; // the new meter's start, used as the previous reading
    double average = 0;       // mean usage over the last six billed months
    int history = 0;          // how many of those months there were
    bool everZero = false;    // one of them had a usage of zero

    // The previous reading the bill will use: the new start of a confirmed replaced
    // meter, else the one found.
    double usedPrevious() const;
    double usage(const BillItem& it) const;
    double unitPrice(const BillItem& it) const;
    double amount(const BillItem& it) const;  // × 面积 for area items
    Check check(const BillItem& it) const;
    // Needs the 确认 box: a reading below the previous one or a negative quantity.
    bool needsConfirmation(const BillItem& it) const;
    // Missing readings, unconfirmed readings below the previous and unconfirmed
    // negative quantities stop the run.
    bool blocks(const BillItem& it) const;
};

// The reading sheet of a month: every household whose door number starts with the
// building prefix, times every item that needs a number. The entered values are
// kept in the draft table 抄表草稿 until the month is billed; nothing in it is a
// charge.
class ReadingSheet {
public:
    static QString draftTable() { return QStringLiteral("抄表草稿"); }
    // Creates the draft table when the file has none.
    static void ensureDraftTable(Database& db);

    ReadingSheet(Database& db, RecordSet& items);
    // Reads households, items, previous readings, history and the draft.
    void load(const QString& month, const QString& buildingPrefix = QString());

    const QString& month() const { return month_; }
    const QString& prefix() const { return prefix_; }
    const QList<BillItem>& items() const { return items_; }
    const QList<SheetHousehold>& households() const { return households_; }
    const QList<SheetRow>& rows() const { return rows_; }
    const SheetRow& row(int i) const { return rows_[i]; }
    const BillItem& itemOf(int row) const { return items_[rows_[row].item]; }
    int rowOf(const QString& door, const QVariant& itemNo) const;

    // Edits, each saved to the draft at once. A column of several rows is one
    // transaction.
    void setReading(int row, std::optional<double> value);
    void setReadings(int firstRow, const QList<std::optional<double>>& values);
    void setReadingsAt(const QList<int>& rows, const QList<std::optional<double>>& values);
    void setPrice(int row, std::optional<double> value);
    void setConfirmed(int row, bool confirmed, std::optional<double> newStart = std::nullopt);

    struct Counts {
        int missing = 0, below = 0, confirmed = 0, high = 0, zero = 0, negative = 0, negativeConfirmed = 0;
        int blocking() const { return missing + below + negative; }
    };
    Counts counts() const;

    // The usage check looks at the household's last six billed months of the item.
    static constexpr int HistoryMonths = 6;
    // The price the sheet offers and the run uses for an unchanged row, and the
    // amount of a fixed item: the offered 固定收费 as bill entry reads it back.
    static double offeredValue(const BillItem& item);

private:
    void saveRows(const QList<int>& rows);
    void loadHistory();

    Database& db_;
    RecordSet& itemSet_;
    QString month_;
    QString prefix_;
    QList<BillItem> items_;
    QList<SheetHousehold> households_;
    QList<SheetRow> rows_;
    QHash<QString, int> index_;  // door + '\x1f' + item number → row
};

// A reading or quantity as typed into the sheet or read from a file: blanks around
// it and thousands separators dropped, full-width digits read as the number boxes
// read them, one plain decimal number ("nan", "inf" and words are none), at most
// MaxReading in size.
struct ReadingText {
    static constexpr double MaxReading = 1e9;
    enum class Kind { Empty, Number, NotNumber, TooLarge };
    Kind kind = Kind::Empty;
    double value = 0;
};
ReadingText readingNumber(const QString& text);

// The building of a door number: its text before the first "-" (all of it without one).
QString buildingOf(const QString& door);
